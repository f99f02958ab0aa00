# Class division: the search's judge against the plain one, and whole runs.
add_executable(classdiv_bench ${CMAKE_CURRENT_LIST_DIR}/classdiv_bench.cpp)
target_link_libraries(classdiv_bench PRIVATE lczs_classdiv lczs_memhost benchmark::benchmark_main)
# Quality over time of the search: a plain program printing a table.
add_executable(classdiv_quality ${CMAKE_CURRENT_LIST_DIR}/classdiv_quality.cpp)
target_link_libraries(classdiv_quality PRIVATE lczs_classdiv)
# The elective plan against an integer program solved by GLPK (Debian's
# libglpk-dev, for this benchmark only: the add-in links no solver).
find_library(LCZS_GLPK_LIBRARY glpk)
find_path(LCZS_GLPK_INCLUDE_DIR glpk.h)
if(LCZS_GLPK_LIBRARY AND LCZS_GLPK_INCLUDE_DIR)
  add_executable(xk_plan_bench ${CMAKE_CURRENT_LIST_DIR}/xk_plan_bench.cpp)
  target_include_directories(xk_plan_bench PRIVATE ${LCZS_GLPK_INCLUDE_DIR})
  target_link_libraries(xk_plan_bench PRIVATE lczs_classdiv ${LCZS_GLPK_LIBRARY})
endif()
