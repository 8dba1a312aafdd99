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
