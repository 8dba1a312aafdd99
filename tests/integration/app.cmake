# The application delegate on the headless host against kdisk-service.
kdisk_test(app_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/KalumoDiskAppDelegateTests.cpp
          ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_app)
target_include_directories(app_integration_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/uikit)
add_dependencies(app_integration_tests kdisk-service kdisk_images)

# The desktop file as the desktop's tools read it.
find_program(KDISK_DESKTOP_FILE_VALIDATE desktop-file-validate)
if(KDISK_DESKTOP_FILE_VALIDATE)
  add_test(NAME desktop_file_valid
           COMMAND ${KDISK_DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/src/app/desktop/ru.kalumo.Disk.desktop)
endif()

# kalumo-disk itself under a virtual display and a session bus of its own:
# sign-in typed into the form, a folder opened, a file handed over by a
# second invocation uploaded through the running one. The script skips (77)
# only when Xvfb, xdotool or dbus-run-session is missing.
if(TARGET kalumo-disk)
  add_test(NAME app_end_to_end
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/app_end_to_end.sh $<TARGET_FILE:kalumo-disk>
                   $<TARGET_FILE:kdisk-service> ${CMAKE_BINARY_DIR}/artefacts/app)
  set_tests_properties(app_end_to_end PROPERTIES TIMEOUT 90 SKIP_RETURN_CODE 77
    ENVIRONMENT "KDISK_RESOURCES_DIR=${KDISK_RESOURCES_OUTPUT}")
endif()
