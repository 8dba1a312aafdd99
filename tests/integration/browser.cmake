kdisk_test(browser_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/KMDirectoryViewControllerTests.cpp
          ${CMAKE_CURRENT_LIST_DIR}/KMDirectoryViewControllerActionsTests.cpp
          ${CMAKE_CURRENT_LIST_DIR}/KMDirectoryViewControllerDropTests.cpp
          ${CMAKE_CURRENT_LIST_DIR}/KASettingsViewControllerTests.cpp
          ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_screens)
target_include_directories(browser_integration_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/uikit)
add_dependencies(browser_integration_tests kdisk-service kdisk_images)
