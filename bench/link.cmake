# The modem link and the runner on the simulated board: CPU while waiting, turnaround between
# commands, disconnect time, CPU after the device vanished.
add_executable(bench_link ${CMAKE_CURRENT_LIST_DIR}/link_figures.cpp)
target_link_libraries(bench_link PRIVATE karvex_sequencer karvex_sim)
target_include_directories(bench_link PRIVATE ${PROJECT_SOURCE_DIR}/tests)
