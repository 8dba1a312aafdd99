kdisk_test(webdav_apache_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/WebDAVApacheTests.cpp LIBS kdisk_webdav)
