kdisk_test(manager_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ManagerDirectoryTests.cpp ${CMAKE_CURRENT_LIST_DIR}/ManagerFileTests.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ManagerBadInputTests.cpp ${CMAKE_CURRENT_LIST_DIR}/ManagerServersTests.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ManagerUploadTests.cpp
  LIBS kdisk_manager kdisk_manager_images)
add_dependencies(manager_integration_tests kdisk-service)
