# The administrator command lines through the real /bin/sh, and the checking splitter that the
# fuzz target uses compared with it.
add_executable(admin_shell_test ${CMAKE_CURRENT_LIST_DIR}/admin_shell_test.cpp
                                ${PROJECT_SOURCE_DIR}/fuzz/shell_words.cpp)
target_link_libraries(admin_shell_test PRIVATE app_core sim_testing GTest::gtest GTest::gtest_main
                                               quill_warnings)
gtest_discover_tests(admin_shell_test DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
