# Screens on the headless host against kdisk-service.
kdisk_test(screens_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/KMCreateDirectoryDialogServiceTests.cpp
          ${CMAKE_CURRENT_LIST_DIR}/KMUploadFileDialogServiceTests.cpp
          ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_screens kdisk_manager)
add_dependencies(screens_integration_tests kdisk-service kdisk_images)
