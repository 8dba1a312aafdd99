file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/Service*Tests.cpp)
kdisk_test(service_integration_tests SOURCES ${sources})
add_dependencies(service_integration_tests kdisk-service)
