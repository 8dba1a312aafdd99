# The folder picker on the headless host against kdisk-service.
kdisk_test(selection_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/KMDirectorySelectionViewControllerTests.cpp
          ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_screens)
target_include_directories(selection_integration_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/uikit)
add_dependencies(selection_integration_tests kdisk-service kdisk_images)
