# The fan tool: CPU time of one cooling cycle, and SIGTERM-to-exit time of the running tool.
quill_add_bench(bench_tool_cycle SOURCES ${CMAKE_CURRENT_LIST_DIR}/tool_cycle_bench.cpp
                LIBS tool_core smc_testing sim)

# A whole-process measurement, not a Google Benchmark: run it as root.
add_executable(bench_tool_stop_latency ${CMAKE_CURRENT_LIST_DIR}/tool_stop_latency.cpp
                                       ${PROJECT_SOURCE_DIR}/tests/ventwarden_process.cpp)
target_link_libraries(bench_tool_stop_latency PRIVATE sim quill_warnings)
target_compile_definitions(bench_tool_stop_latency
                           PRIVATE VENTWARDEN_PATH="$<TARGET_FILE:ventwarden>")
add_dependencies(bench_tool_stop_latency ventwarden)
