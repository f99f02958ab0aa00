#include "host/memory/collation_table.h"

#include <cstdint>
#include <vector>

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

#include "host/memory/pinyin_table.inc"

// Characters outside the table sort after every known one, by code point.
std::uint32_t rank_of(char32_t cp) {
  for (const auto& b : kPinyinBlocks) {
    if (cp >= b.first && cp <= b.last) return kPinyinRanks[b.offset + (cp - b.first)];
  }
  return kPinyinMaxRank + 1 + static_cast<std::uint32_t>(cp);
}

// Decodes UTF-8; a malformed byte counts as U+FFFD.
std::vector<char32_t> code_points(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    int len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c >> 5) == 6) { cp = c & 0x1F; len = 2; }
    else if ((c >> 4) == 14) { cp = c & 0x0F; len = 3; }
    else if ((c >> 3) == 30) { cp = c & 0x07; len = 4; }
    else { cp = 0xFFFD; len = 1; }
    if (len > 1) {
      if (i + len > s.size()) { cp = 0xFFFD; len = static_cast<int>(s.size() - i); }
      else for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    i += len;
    out.push_back(cp);
  }
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
