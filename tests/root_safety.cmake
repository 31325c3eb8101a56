# ventwarden's inputs as an attacker would set them: loader variables, the device variable
# naming files, links, device nodes and other users' devices, and the rest of the environment.
# Linux only: the checks read ELF headers and use mount namespaces.
if(TARGET ventwarden AND NOT APPLE)
  add_library(preload_canary MODULE ${CMAKE_CURRENT_LIST_DIR}/preload_canary.cpp)
  target_link_libraries(preload_canary PRIVATE quill_warnings)
  add_executable(root_safety_test ${CMAKE_CURRENT_LIST_DIR}/root_safety_test.cpp)
  target_link_libraries(root_safety_test PRIVATE sim sim_testing GTest::gtest GTest::gtest_main
                                                 quill_warnings)
  target_compile_definitions(root_safety_test PRIVATE
    VENTWARDEN_PATH="$<TARGET_FILE:ventwarden>"
    PRELOAD_CANARY="$<TARGET_FILE:preload_canary>")
  add_dependencies(root_safety_test ventwarden preload_canary)
  gtest_discover_tests(root_safety_test DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
endif()
