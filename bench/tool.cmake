# The fan tool: CPU time of one cooling cycle.
quill_add_bench(bench_tool_cycle SOURCES ${CMAKE_CURRENT_LIST_DIR}/tool_cycle_bench.cpp
                LIBS tool_core smc_testing)
