# The login screen on the headless host against kdisk-service.
kdisk_test(signin_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SignInScreenTests.cpp
          ${CMAKE_SOURCE_DIR}/tests/uikit/UIKitTestSupport.cpp
          ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_screens)
target_include_directories(signin_integration_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/uikit)
add_dependencies(signin_integration_tests kdisk-service kdisk_images)
