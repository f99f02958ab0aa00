// Text order for sorting: Chinese pinyin order at secondary strength (case
// and width ignored, accents count), as the spreadsheet application sorts
// with SortMethod pinyin and MatchCase False.
//
// Kept behind this small interface so that the portable build, which has no
// ICU, can supply its own table-based order.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace lczs::memory {

class Collator {
 public:
  virtual ~Collator() = default;
  // <0, 0, >0 as a sorts before, equal to, after b (UTF-8 texts).
  virtual int compare(std::string_view a, std::string_view b) const = 0;
  // A byte string whose binary order (memcmp, shorter first on a tie) is the
  // collation order; computed once per text when sorting many rows.
  virtual std::string sort_key(std::string_view text) const = 0;
};

// The collator of this build (ICU "zh" on Linux).
std::unique_ptr<Collator> make_pinyin_collator();

}  // namespace lczs::memory
