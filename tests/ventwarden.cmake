# ventwarden started as a real process against the simulated device. The tool's pid file has one
# fixed path, so these tests hold the "pidfile" lock against every other test that runs it.
add_executable(ventwarden_process_test ${CMAKE_CURRENT_LIST_DIR}/ventwarden_test.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/ventwarden_process.cpp)
target_link_libraries(ventwarden_process_test PRIVATE sim sim_testing GTest::gtest GTest::gtest_main
                                                      quill_warnings)
target_compile_definitions(ventwarden_process_test
                           PRIVATE VENTWARDEN_PATH="$<TARGET_FILE:ventwarden>")
add_dependencies(ventwarden_process_test ventwarden)
# The guard holds the fans only for the bundle's own monitor, so its tests run the real one.
if(TARGET Quillomatics AND NOT APPLE)
  target_compile_definitions(ventwarden_process_test
                             PRIVATE QUILLOMATICS_PATH="$<TARGET_FILE:Quillomatics>")
  add_dependencies(ventwarden_process_test Quillomatics)
endif()
gtest_discover_tests(ventwarden_process_test DISCOVERY_TIMEOUT 30
                     PROPERTIES TIMEOUT 120 RESOURCE_LOCK pidfile)
