# The operator window: start-up and shut-down time, idle CPU, UI latency under traffic, and the
# log view's append cost and memory as the log grows.
foreach(name startup idle_cpu ui_latency log_append)
    add_executable(bench_window_${name} ${CMAKE_CURRENT_LIST_DIR}/window_${name}.cpp)
    target_link_libraries(bench_window_${name} PRIVATE karvex_window karvex_sim Qt6::Test)
    target_include_directories(bench_window_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
endforeach()
target_compile_definitions(bench_window_startup PRIVATE
    KARVEX_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples/sequences")
