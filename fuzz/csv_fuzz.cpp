// Any bytes given to the .csv reader give a workbook or a FileError.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "io/io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    auto book = lczs::io::read_csv_bytes(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.csv");
    (void)book;
  } catch (const lczs::io::FileError&) {
  }
  return 0;
}
