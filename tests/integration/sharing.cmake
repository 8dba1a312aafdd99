# The share manager against kdisk-service, once on a desktop without mail or
# messaging applications and once with both (GIO reads a desktop once per
# process, hence two programs).
foreach(program IN ITEMS share_manager_tests share_handover_tests)
  if(program STREQUAL share_manager_tests)
    set(source ShareManagerTests.cpp)
  else()
    set(source ShareHandOverTests.cpp)
  endif()
  # Text drawing loads fontconfig, whose globals the leak checker must not count.
  kdisk_test(${program} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${source}
             ${CMAKE_SOURCE_DIR}/cmake/SanitizerSuppressions.cpp LIBS kdisk_screens)
  add_dependencies(${program} kdisk-service kdisk_resources)
endforeach()
