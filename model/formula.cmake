# The formula engine of the in-memory model. Standard library only, so that
# the portable (mingw-w64) build carries it too.
add_library(lczs_formula STATIC
  ${CMAKE_CURRENT_LIST_DIR}/formula.cpp
  ${CMAKE_CURRENT_LIST_DIR}/formula_eval.cpp
  ${CMAKE_CURRENT_LIST_DIR}/formula_lex.cpp)
target_link_libraries(lczs_formula PUBLIC lczs_host)
