# The whole application under random input against a faulty kdisk-service.
# KDISK_RANDOM_EVENTS=20000 for the long run (scripts/random-input).
kdisk_test(app_random_input_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RandomInputTests.cpp
          ${CMAKE_CURRENT_LIST_DIR}/RandomInput.cpp
          ${CMAKE_CURRENT_LIST_DIR}/UploadLedger.cpp
          ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp
  LIBS kdisk_app)
add_dependencies(app_random_input_tests kdisk-service kdisk_images)
