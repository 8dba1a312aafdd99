kdisk_test(cli_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CliTests.cpp
  LIBS kdisk_manager)
target_compile_definitions(cli_integration_tests PRIVATE KDISK_CLI_BINARY="$<TARGET_FILE:kdisk>")
add_dependencies(cli_integration_tests kdisk-service kdisk)
if(TARGET kdisk-clipboard)
  target_compile_definitions(cli_integration_tests PRIVATE KDISK_CLIPBOARD_BINARY="$<TARGET_FILE:kdisk-clipboard>")
endif()
