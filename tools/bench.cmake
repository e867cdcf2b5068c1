# bench_console: figures for the polling cycle's cost; a program to run, not a test.
add_executable(bench_console ${CMAKE_CURRENT_LIST_DIR}/bench_console.cpp)
target_link_libraries(bench_console PRIVATE orvel_console orvel_sim)
