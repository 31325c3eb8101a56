# How every folder declares what it builds on, its tests, its benchmarks and its fuzz targets. Each
# folder's CMakeLists.txt lists its own targets through these functions; nothing is globbed.

# quill_add_layer(<dir>): one folder of the tree. A folder without its CMakeLists.txt is a broken
# checkout, and the configure says so instead of building less.
function(quill_add_layer dir)
  if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    message(FATAL_ERROR "${dir}/CMakeLists.txt is missing: the checkout is incomplete, and every "
                        "part of the tree is needed to build it")
  endif()
  add_subdirectory(${PROJECT_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
endfunction()

# quill_require(<who> <target>...): configure fails, naming what is missing, when a target that
# <who> builds on was not made by the folder that should make it.
function(quill_require who)
  foreach(target IN LISTS ARGN)
    if(NOT TARGET ${target})
      message(FATAL_ERROR "${who} needs the target ${target}, which no folder of the tree made "
                          "(a folder is missing, or its CMakeLists.txt no longer makes it)")
    endif()
  endforeach()
endfunction()

# quill_require_later(<who> <target>...): the same check for a target of a folder added later,
# made once the whole tree has been read.
function(quill_require_later who)
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL quill_require "${who}" ${ARGN})
endfunction()

# Each of the programs is built before <target>, and its path is compiled in as <NAME>_PATH: the
# target's name in capitals with "-" as "_" (ventwarden: VENTWARDEN_PATH, smc-sim: SMC_SIM_PATH).
function(quill_compile_in_paths target)
  foreach(program IN LISTS ARGN)
    quill_require(${target} ${program})
    string(TOUPPER "${program}_PATH" macro)
    string(REPLACE "-" "_" macro "${macro}")
    target_compile_definitions(${target} PRIVATE ${macro}="$<TARGET_FILE:${program}>")
    add_dependencies(${target} ${program})
  endforeach()
endfunction()

# quill_add_test(<name> SOURCES <file>... [LIBS <target>...] [PROGRAMS <target>...]
#                [DEFINITIONS <definition>...] [TIMEOUT <seconds>] [LOCK <resource>]
#                [LABELS <label>...])
#   A GoogleTest executable, each of its cases a ctest test. PROGRAMS as for
#   quill_compile_in_paths. LOCK names a resource no two tests that hold it use at once ("pidfile":
#   the tool's pid file, which has one path for the whole machine). TIMEOUT defaults to 120.
# quill_add_test(<name> COMMAND <command>... [TIMEOUT <seconds>] [LOCK <resource>]
#                [LABELS <label>...] [SKIP_OUTPUT <regex>])
#   One ctest test that runs a command: exit status 77, or output that matches SKIP_OUTPUT, is a
#   skip.
# Nothing is added when the tests are off.
function(quill_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT;LOCK;SKIP_OUTPUT"
                        "SOURCES;LIBS;PROGRAMS;DEFINITIONS;LABELS;COMMAND" ${ARGN})
  if(NOT QUILL_TESTS)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(properties TIMEOUT ${T_TIMEOUT})
  if(T_LOCK)
    list(APPEND properties RESOURCE_LOCK ${T_LOCK})
  endif()
  if(T_LABELS)
    list(APPEND properties LABELS ${T_LABELS})
  endif()

  if(T_COMMAND)
    add_test(NAME ${name} COMMAND ${T_COMMAND})
    set_tests_properties(${name} PROPERTIES ${properties} SKIP_RETURN_CODE 77)
    if(T_SKIP_OUTPUT)
      set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "${T_SKIP_OUTPUT}")
    endif()
    return()
  endif()

  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main quill_warnings)
  if(T_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${T_DEFINITIONS})
  endif()
  quill_compile_in_paths(${name} ${T_PROGRAMS})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES ${properties})
endfunction()

# quill_add_skipped_test(<name> <reason>): a test that cannot be built here. It still shows in
# the suite, as skipped, and prints "skipped: <reason>".
function(quill_add_skipped_test name reason)
  quill_add_test(${name} COMMAND sh -c "echo \"skipped: $1\"; exit 77" skip "${reason}")
endfunction()

# quill_add_bench(<name> SOURCES <file>... [LIBS <target>...] [PROGRAMS <target>...] [OWN_MAIN])
#   A Google Benchmark executable; with OWN_MAIN, a measurement program with its own main().
#   PROGRAMS as for quill_compile_in_paths. Nothing is added when the benchmarks are off.
function(quill_add_bench name)
  cmake_parse_arguments(B "OWN_MAIN" "" "SOURCES;LIBS;PROGRAMS" ${ARGN})
  if(NOT QUILL_BENCH)
    return()
  endif()
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} quill_warnings)
  if(NOT B_OWN_MAIN)
    target_link_libraries(${name} PRIVATE benchmark::benchmark benchmark::benchmark_main)
  endif()
  quill_compile_in_paths(${name} ${B_PROGRAMS})
endfunction()

# quill_add_fuzzer(<name> SOURCES <file>... [LIBS <target>...]): a libFuzzer executable with its
# seed corpus in corpus/<name without the _fuzz suffix>, also a ctest test (label "fuzz") that
# runs it for QUILL_FUZZ_SECONDS over that corpus.
function(quill_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS} quill_warnings)
  string(REGEX REPLACE "_fuzz$" "" corpus ${name})
  set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${corpus})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/work/${corpus})
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${name}
           COMMAND ${name} -max_total_time=${QUILL_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
                   -print_final_stats=1 ${work} ${seeds})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()
