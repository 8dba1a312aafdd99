kdisk_test(upload_queue_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/UploadQueueServiceTests.cpp
  LIBS kdisk_manager)
add_dependencies(upload_queue_integration_tests kdisk-service)
