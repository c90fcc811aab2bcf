# Wall time of each test item on the simulated board against its lower bound.
add_executable(bench_items_overhead ${CMAKE_CURRENT_LIST_DIR}/items_overhead.cpp)
target_link_libraries(bench_items_overhead PRIVATE karvex_sequencer karvex_sim)
