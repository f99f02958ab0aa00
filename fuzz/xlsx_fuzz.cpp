// Any bytes given to the .xlsx reader give a workbook or a FileError.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "io/io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    auto book = lczs::io::read_xlsx_bytes(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.xlsx");
    // What was read is whole: every sheet can be walked.
    std::size_t cells = 0;
    for (const auto& sheet : book.sheets) sheet->for_each([&](int, int, const auto&) { ++cells; });
    (void)cells;
  } catch (const lczs::io::FileError&) {
  }
  return 0;
}
