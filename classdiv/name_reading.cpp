#include "classdiv/name_reading.h"

#include "host/utf8.h"

namespace lczs::classdiv {

namespace {

struct ReadingBlock {
  char32_t first, last;
  unsigned offset;
};

#include "classdiv/reading_table.inc"

// Written between the parts of a name and never heard: spaces (half- and
// full-width) and the middle dots of transcribed names.
bool silent(char32_t cp) {
  return cp == U' ' || cp == U'\t' || cp == 0x3000 || cp == 0x00B7 || cp == 0x30FB || cp == 0xFF0E;
}

}  // namespace

std::string_view syllable_of(char32_t cp) {
  for (const auto& b : kReadingBlocks)
    if (cp >= b.first && cp <= b.last) return kSyllables[kReadings[b.offset + (cp - b.first)]];
  return {};
}

std::string name_reading(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t start = i;
    const char32_t cp = host::next_code_point(name, i);
    if (silent(cp)) continue;
    if (!out.empty()) out += ' ';
    const std::string_view syllable = syllable_of(cp);
    if (!syllable.empty())
      out += syllable;
    else
      out += name.substr(start, i - start);
  }
  return out;
}

}  // namespace lczs::classdiv
