# Workbook files: reading and writing a 30,000-row workbook (bench/io_vs_openpyxl.sh
# compares it with openpyxl on the same file).
lczs_add_bench(io_bench io_bench.cpp LIBS lczs_io)
