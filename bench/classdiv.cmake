# Class division: the search's judge against the plain one, and whole runs.
add_executable(classdiv_bench ${CMAKE_CURRENT_LIST_DIR}/classdiv_bench.cpp)
target_link_libraries(classdiv_bench PRIVATE lczs_classdiv lczs_memhost benchmark::benchmark_main)
# Quality over time of the search: a plain program printing a table.
add_executable(classdiv_quality ${CMAKE_CURRENT_LIST_DIR}/classdiv_quality.cpp)
target_link_libraries(classdiv_quality PRIVATE lczs_classdiv)
