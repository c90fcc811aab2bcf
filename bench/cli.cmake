# karvex-run on 16 simulated boards, local and behind ser2net: CPU while waiting, reply-to-next-
# command gaps, start-up.
add_executable(bench_cli_boards ${CMAKE_CURRENT_LIST_DIR}/cli_boards.cpp)
target_link_libraries(bench_cli_boards PRIVATE karvex_sim)
target_include_directories(bench_cli_boards PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(bench_cli_boards PRIVATE KARVEX_RUN_PROGRAM="$<TARGET_FILE:karvex-run>")
add_dependencies(bench_cli_boards karvex-run)

# karvex-run's memory over 10,000 rounds on one fast simulated board.
add_executable(bench_cli_rounds ${CMAKE_CURRENT_LIST_DIR}/cli_rounds.cpp)
target_link_libraries(bench_cli_rounds PRIVATE karvex_sim)
target_include_directories(bench_cli_rounds PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(bench_cli_rounds PRIVATE KARVEX_RUN_PROGRAM="$<TARGET_FILE:karvex-run>")
add_dependencies(bench_cli_rounds karvex-run)
# The time to draw and write the reports of 16 boards x 12 items x 100 rounds, and their size.
add_executable(bench_cli_report ${CMAKE_CURRENT_LIST_DIR}/cli_report.cpp)
target_link_libraries(bench_cli_report PRIVATE karvex_run_core)
