# The formula engine's benchmark links only the engine, which the model's
# library may have compiled in without defining lczs_formula.
if(NOT TARGET lczs_formula)
  include(${CMAKE_SOURCE_DIR}/model/formula.cmake)
endif()
lczs_add_bench(formula_bench formula_bench.cpp LIBS lczs_formula)
