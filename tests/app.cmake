# Quillomatics started as a real process against simulated devices, with the real ventwarden.
# Every run reads (and may signal) the tool's pid file at termination, so these tests hold the
# "pidfile" lock too.
# The Linux shell's --snapshot is what they read; a Mac's Quillomatics is the AppKit application.
if(TARGET Quillomatics AND NOT APPLE)
  add_executable(app_process_test ${CMAKE_CURRENT_LIST_DIR}/app_snapshot_test.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/admin_agent.cpp)
  target_link_libraries(app_process_test PRIVATE app_core sim sim_testing GTest::gtest
                                                 GTest::gtest_main quill_warnings)
  target_compile_definitions(app_process_test PRIVATE
    QUILLOMATICS_PATH="$<TARGET_FILE:Quillomatics>"
    VENTWARDEN_PATH="$<TARGET_FILE:ventwarden>")
  add_dependencies(app_process_test Quillomatics ventwarden)
  gtest_discover_tests(app_process_test DISCOVERY_TIMEOUT 30
                       PROPERTIES TIMEOUT 120 RESOURCE_LOCK pidfile)
endif()
