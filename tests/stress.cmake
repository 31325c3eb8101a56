# Stress runs: the application's refresh soaked under changing SMC faults beside a proactive
# ventwarden that is stopped and started again and again, and a storm of signals stopping the
# tool at random moments. Bounded here; longer on demand through the environment (see the
# sources). Both run the tool, so both hold the "pidfile" lock.
add_executable(signal_storm_test ${CMAKE_CURRENT_LIST_DIR}/signal_storm_test.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/ventwarden_process.cpp)
target_link_libraries(signal_storm_test PRIVATE sim sim_testing GTest::gtest GTest::gtest_main quill_warnings)
target_compile_definitions(signal_storm_test PRIVATE VENTWARDEN_PATH="$<TARGET_FILE:ventwarden>")
add_dependencies(signal_storm_test ventwarden)
gtest_discover_tests(signal_storm_test DISCOVERY_TIMEOUT 30
                     PROPERTIES TIMEOUT 300 RESOURCE_LOCK pidfile LABELS stress)

if(TARGET app_testing)
  add_executable(soak_test ${CMAKE_CURRENT_LIST_DIR}/soak_test.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/ventwarden_process.cpp)
  target_link_libraries(soak_test PRIVATE app_core app_testing sim sim_testing GTest::gtest GTest::gtest_main
                                          quill_warnings)
  target_compile_definitions(soak_test PRIVATE VENTWARDEN_PATH="$<TARGET_FILE:ventwarden>")
  add_dependencies(soak_test ventwarden)
  gtest_discover_tests(soak_test DISCOVERY_TIMEOUT 30
                       PROPERTIES TIMEOUT 300 RESOURCE_LOCK pidfile LABELS stress)
endif()
