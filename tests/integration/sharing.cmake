# The share manager against kdisk-service, once on a desktop without mail or
# messaging applications and once with both (GIO reads a desktop once per
# process, hence two programs).
kdisk_test(share_manager_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShareManagerTests.cpp LIBS kdisk_screens)
kdisk_test(share_handover_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShareHandOverTests.cpp LIBS kdisk_screens)
foreach(program share_manager_tests share_handover_tests)
  add_dependencies(${program} kdisk-service kdisk_resources)
endforeach()
