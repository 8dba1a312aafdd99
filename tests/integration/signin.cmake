# The login screen on the headless host against kdisk-service.
kdisk_test(signin_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SignInScreenTests.cpp
          ${CMAKE_SOURCE_DIR}/tests/uikit/UIKitTestSupport.cpp
          ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_screens)
target_include_directories(signin_integration_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/uikit)
add_dependencies(signin_integration_tests kdisk-service kdisk_images)

# The same screen in a desktop window with the real web engine, under a
# virtual display: registration on kdisk-service's page ends sign-in.
if(TARGET kdisk_uikit_gtk)
  add_executable(kdisk-signin-end-to-end ${CMAKE_CURRENT_LIST_DIR}/SignInEndToEndProgram.cpp)
  target_link_libraries(kdisk-signin-end-to-end PRIVATE kdisk_screens kdisk_uikit_gtk)
  add_dependencies(kdisk-signin-end-to-end kdisk_images kdisk-service)
  add_test(NAME signin_web_end_to_end
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/signin_web_end_to_end.sh
                   $<TARGET_FILE:kdisk-signin-end-to-end> $<TARGET_FILE:kdisk-service>)
  set_tests_properties(signin_web_end_to_end PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77
    ENVIRONMENT "KDISK_RESOURCES_DIR=${KDISK_RESOURCES_OUTPUT}")
endif()
