kdisk_test(viewing_integration_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileLoadingServiceTests.cpp ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_screens)
target_include_directories(viewing_integration_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/uikit)
add_dependencies(viewing_integration_tests kdisk-service kdisk_images)
