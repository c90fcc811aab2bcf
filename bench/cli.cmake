# karvex-run on 16 simulated boards, local and behind ser2net: CPU while waiting, reply-to-next-
# command gaps, start-up.
add_executable(bench_cli_boards ${CMAKE_CURRENT_LIST_DIR}/cli_boards.cpp)
target_link_libraries(bench_cli_boards PRIVATE karvex_sim)
target_include_directories(bench_cli_boards PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(bench_cli_boards PRIVATE KARVEX_RUN_PROGRAM="$<TARGET_FILE:karvex-run>")
add_dependencies(bench_cli_boards karvex-run)
