kdisk_test(webdav_server_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/WebDAVServerTests.cpp ${CMAKE_CURRENT_LIST_DIR}/WebDAVServiceTests.cpp
          ${CMAKE_CURRENT_LIST_DIR}/KMUploadTransferServiceTests.cpp
  LIBS kdisk_webdav)
add_dependencies(webdav_server_tests kdisk-service)
