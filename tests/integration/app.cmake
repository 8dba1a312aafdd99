# The application delegate on the headless host against kdisk-service.
kdisk_test(app_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/KalumoDiskAppDelegateTests.cpp
          ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_app)
target_include_directories(app_integration_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/uikit)
add_dependencies(app_integration_tests kdisk-service kdisk_images)
