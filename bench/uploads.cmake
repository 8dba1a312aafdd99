# 1 GiB through the upload queue to nginx's WebDAV module beside curl -T.
add_executable(upload_queue_bench ${CMAKE_CURRENT_LIST_DIR}/UploadQueueBench.cpp)
target_link_libraries(upload_queue_bench PRIVATE kdisk_manager kdisk_test_support)
