kdisk_test(cli_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CliTests.cpp
  LIBS kdisk_manager)
target_compile_definitions(cli_integration_tests PRIVATE KDISK_CLI_BINARY="$<TARGET_FILE:kdisk>")
add_dependencies(cli_integration_tests kdisk-service kdisk)
if(TARGET kdisk-clipboard)
  target_compile_definitions(cli_integration_tests PRIVATE KDISK_CLIPBOARD_BINARY="$<TARGET_FILE:kdisk-clipboard>")
endif()
# kdisk draws nothing: a manager change that pulls the image libraries back in
# would slow every command's start.
add_test(NAME kdisk_starts_without_image_libraries
  COMMAND sh -c "readelf -d \"$1\" | grep NEEDED && ! readelf -d \"$1\" | grep -E 'NEEDED.*(cairo|pixbuf|pango|libX11)'"
          sh $<TARGET_FILE:kdisk>)
