kdisk_pkg(libxml-2.0)
add_executable(webdav_multistatus_bench ${CMAKE_CURRENT_LIST_DIR}/MultistatusParseBench.cpp)
target_link_libraries(webdav_multistatus_bench PRIVATE kdisk_webdav PkgConfig::libxml_2_0)
