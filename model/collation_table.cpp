#include "model/collation_table.h"

#include <cstdint>
#include <vector>

#include "host/utf8.h"

namespace lczs::memory {
namespace {

struct PinyinBlock {
  char32_t first;
  char32_t last;
  unsigned offset;
};

// A word the collation reads as a whole (重庆: 重 read "chong"); zero-ended.
struct PinyinContraction {
  char32_t text[4];
  unsigned ranks[4];
};

#include "model/pinyin_table.inc"

// Characters outside the table sort after every known one, by code point.
std::uint32_t rank_of(char32_t cp) {
  for (const auto& b : kPinyinBlocks) {
    if (cp >= b.first && cp <= b.last) return kPinyinRanks[b.offset + (cp - b.first)];
  }
  return kPinyinMaxRank + 1 + static_cast<std::uint32_t>(cp);
}

std::vector<char32_t> code_points(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) out.push_back(host::next_code_point(s, i));
  return out;
}

// The text's primary ranks: contractions first, then character by character;
// ignorable characters give nothing.
std::vector<std::uint32_t> ranks(std::string_view s) {
  std::vector<char32_t> cps = code_points(s);
  std::vector<std::uint32_t> out;
  out.reserve(cps.size());
  for (std::size_t i = 0; i < cps.size();) {
    bool matched = false;
    for (const auto& c : kPinyinContractions) {
      std::size_t n = 0;
      while (c.text[n] != 0 && i + n < cps.size() && cps[i + n] == c.text[n]) ++n;
      if (c.text[n] != 0) continue;
      for (std::size_t k = 0; c.ranks[k] != 0; ++k) out.push_back(c.ranks[k]);
      i += n;
      matched = true;
      break;
    }
    if (matched) continue;
    std::uint32_t r = rank_of(cps[i++]);
    if (r != 0) out.push_back(r);
  }
  return out;
}

class TableCollator : public Collator {
 public:
  int compare(std::string_view a, std::string_view b) const override {
    auto ra = ranks(a), rb = ranks(b);
    std::size_t n = std::min(ra.size(), rb.size());
    for (std::size_t i = 0; i < n; ++i)
      if (ra[i] != rb[i]) return ra[i] < rb[i] ? -1 : 1;
    if (ra.size() == rb.size()) return 0;
    return ra.size() < rb.size() ? -1 : 1;
  }
  std::string sort_key(std::string_view text) const override {
    std::string key;
    for (std::uint32_t r : ranks(text)) {
      key.push_back(static_cast<char>((r >> 16) & 0xFF));
      key.push_back(static_cast<char>((r >> 8) & 0xFF));
      key.push_back(static_cast<char>(r & 0xFF));
    }
    return key;
  }
};

}  // namespace

std::unique_ptr<Collator> make_table_collator() { return std::make_unique<TableCollator>(); }

}  // namespace lczs::memory
