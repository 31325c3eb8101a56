# The simulated SMC device: one exchange, alone and with other processes reading.
quill_add_bench(bench_sim_exchange SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_exchange_bench.cpp
                LIBS sim)
