# The application: one refresh against the shared simulated device beside its bare exchanges,
# and (bench/app_idle.sh) the idle cost of the running monitor.
if(TARGET sim AND TARGET app_testing)
  quill_add_bench(bench_app_refresh SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_refresh_bench.cpp
                  LIBS app_core app_testing sim smc_testing)
endif()

# bench/app_idle.sh as a target: cmake --build <build> --target bench_app_idle
if(TARGET Quillomatics AND TARGET smc-sim)
  add_custom_target(bench_app_idle
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/app_idle.sh ${CMAKE_BINARY_DIR} 60
    DEPENDS Quillomatics smc-sim
    USES_TERMINAL
    COMMENT "Idle cost of the running monitor over 60 s")
endif()

# The wake-only floor bench/refresh_cost.sh compares the running monitor with.
add_executable(bench_wake_floor ${CMAKE_CURRENT_LIST_DIR}/wake_floor.cpp)
target_link_libraries(bench_wake_floor PRIVATE quill_warnings)

# Loaded into a running monitor by bench/refresh_cost.sh to split its CPU between its waits and
# its work.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_library(bench_wait_split MODULE ${CMAKE_CURRENT_LIST_DIR}/wait_split.cpp)
  set_target_properties(bench_wait_split PROPERTIES PREFIX "")
  target_link_libraries(bench_wait_split PRIVATE ${CMAKE_DL_LIBS} quill_warnings)
endif()
