# Exam analysis: the analysis alone, and the whole run with reading and saving
# the .xlsx files when the file formats are part of the build.
if(TARGET lczs_exam AND TARGET lczs_memhost)
  add_executable(exam_bench ${CMAKE_CURRENT_LIST_DIR}/exam_bench.cpp)
  target_link_libraries(exam_bench PRIVATE lczs_exam lczs_memhost lczs_ui benchmark::benchmark_main)
  if(TARGET lczs_io)
    target_link_libraries(exam_bench PRIVATE lczs_io)
    target_compile_definitions(exam_bench PRIVATE LCZS_BENCH_WITH_IO)
  endif()
endif()
