kdisk_test(auth_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AuthTokenTests.cpp ${CMAKE_CURRENT_LIST_DIR}/AuthStartupTests.cpp
  LIBS kdisk_auth)
add_dependencies(auth_integration_tests kdisk-service)
