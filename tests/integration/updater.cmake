# The update checker against kdisk-service's update manifest, its alert on the
# headless host and the desktop's handler of the download URL.
kdisk_test(updater_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/UpdateCheckerTests.cpp
          ${CMAKE_SOURCE_DIR}/tests/uikit/UIKitTestSupport.cpp
          ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_screens)
target_include_directories(updater_integration_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/uikit)
add_dependencies(updater_integration_tests kdisk-service kdisk_images)
