// Writes model/pinyin_table.inc: the primary rank of every character
// the portable collator knows, in the order of ICU's "zh" (pinyin)
// collation. The portable build (mingw-w64) has no ICU; this table lets it
// sort text as the Linux build does.
//
//   g++ -std=c++20 tools/gen_pinyin_table.cpp $(pkg-config --cflags --libs icu-i18n icu-uc) -o gen
//   ./gen > model/pinyin_table.inc
#include <unicode/coll.h>
#include <unicode/ucol.h>
#include <unicode/uset.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// The blocks the table covers; everything else sorts after them by code point.
constexpr std::pair<char32_t, char32_t> kBlocks[] = {
    {0x0020, 0x007E},  // ASCII
    {0x00A0, 0x00FF},  // Latin-1
    {0x2010, 0x2027},  // general punctuation (dashes, quotes, ellipsis)
    {0x3000, 0x303F},  // CJK symbols and punctuation
    {0x3400, 0x4DBF},  // CJK extension A
    {0x4E00, 0x9FFF},  // CJK unified ideographs
    {0xFF01, 0xFF5E},  // full-width forms
};

}  // namespace

int main() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Collator> coll(icu::Collator::createInstance(icu::Locale("zh"), status));
  if (U_FAILURE(status)) {
    std::fprintf(stderr, "no zh collator: %s\n", u_errorName(status));
    return 1;
  }
  coll->setStrength(icu::Collator::PRIMARY);

  struct Entry {
    char32_t cp;
    std::string key;
  };
  std::vector<Entry> entries;
  for (auto [first, last] : kBlocks) {
    for (char32_t cp = first; cp <= last; ++cp) {
      icu::UnicodeString s(static_cast<UChar32>(cp));
      int n = coll->getSortKey(s, nullptr, 0);
      std::string key(static_cast<std::size_t>(n), '\0');
      coll->getSortKey(s, reinterpret_cast<uint8_t*>(key.data()), n);
      entries.push_back({cp, key});
    }
  }
  std::vector<Entry> sorted = entries;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Entry& a, const Entry& b) { return a.key < b.key; });
  // Rank 0: ignorable at primary strength (the key holds only the level
  // separator). Equal primary keys share a rank.
  std::vector<std::pair<char32_t, unsigned>> rank_of;
  unsigned rank = 0;
  std::string prev;
  for (const auto& e : sorted) {
    bool ignorable = e.key.size() <= 1;  // only the terminating zero
    if (ignorable) {
      rank_of.push_back({e.cp, 0});
      continue;
    }
    if (e.key != prev) {
      ++rank;
      prev = e.key;
    }
    rank_of.push_back({e.cp, 2 * rank});  // odd ranks are left for contractions
  }
  std::sort(rank_of.begin(), rank_of.end());

  // Multi-character tailorings that start with a Han character (沈阳, 藏文,
  // 重庆: the first character read as in that word). Each becomes the ranks of
  // the single characters whose keys spell its key.
  std::map<std::string, unsigned> rank_by_key;  // key without its terminator
  for (const auto& e : sorted) {
    if (e.key.size() <= 1) continue;
    auto it = std::lower_bound(rank_of.begin(), rank_of.end(), std::make_pair(e.cp, 0u));
    rank_by_key.emplace(e.key.substr(0, e.key.size() - 1), it->second);
  }
  struct Contraction {
    std::u32string text;
    std::vector<unsigned> ranks;
  };
  std::vector<Contraction> contractions;
  {
    UCollator* uc = ucol_open("zh", &status);
    ucol_setStrength(uc, UCOL_PRIMARY);
    USet* con = uset_openEmpty();
    USet* exp = uset_openEmpty();
    ucol_getContractionsAndExpansions(uc, con, exp, false, &status);
    for (int32_t i = 0; i < uset_getItemCount(con); ++i) {
      UChar32 s0, e0;
      UChar buf[16];
      int32_t len = uset_getItem(con, i, &s0, &e0, buf, 16, &status);
      if (len <= 0 || buf[0] < 0x3400 || buf[0] > 0x9FFF) continue;
      icu::UnicodeString us(buf, len);
      uint8_t keybuf[64];
      int n = ucol_getSortKey(uc, buf, len, keybuf, sizeof keybuf);
      std::string key(reinterpret_cast<char*>(keybuf), static_cast<std::size_t>(n - 1));
      Contraction c;
      for (int32_t k = 0; k < us.length();) {
        UChar32 cp = us.char32At(k);
        c.text.push_back(static_cast<char32_t>(cp));
        k += U16_LENGTH(cp);
      }
      // The first character's weight in the word is its own (a reading that
      // differs from its single-character one): it ranks just after the
      // greatest single-character key below it. The rest spell ordinary
      // characters.
      bool done = false;
      for (std::size_t first = 1; first < key.size() && !done; ++first) {
        std::vector<unsigned> rest;
        std::size_t p = first;
        while (p < key.size()) {
          std::size_t best = 0;
          unsigned best_rank = 0;
          for (std::size_t l = 1; p + l <= key.size(); ++l) {
            auto it = rank_by_key.find(key.substr(p, l));
            if (it != rank_by_key.end()) { best = l; best_rank = it->second; }
          }
          if (best == 0) break;
          rest.push_back(best_rank);
          p += best;
        }
        if (p != key.size()) continue;
        auto below = rank_by_key.lower_bound(key.substr(0, first));
        unsigned lead = below == rank_by_key.begin() ? 1 : std::prev(below)->second + 1;
        c.ranks.push_back(lead);
        c.ranks.insert(c.ranks.end(), rest.begin(), rest.end());
        done = true;
      }
      std::size_t p = done ? key.size() : 0;
      if (p == key.size() && c.text.size() <= 3 && c.ranks.size() <= 3) contractions.push_back(c);
      else std::fprintf(stderr, "contraction %d left out\n", int(i));
    }
    uset_close(con);
    uset_close(exp);
    ucol_close(uc);
  }

  std::printf("// Generated by tools/gen_pinyin_table.cpp from ICU %s's \"zh\" collation.\n",
              U_ICU_VERSION);
  std::printf("// Primary ranks; 0 = ignorable. Do not edit.\n");
  std::printf("static constexpr unsigned kPinyinMaxRank = %u;\n", 2 * rank + 1);
  std::printf("static constexpr PinyinBlock kPinyinBlocks[] = {\n");
  std::size_t offset = 0;
  for (auto [first, last] : kBlocks) {
    std::printf("    {0x%04X, 0x%04X, %zu},\n", unsigned(first), unsigned(last), offset);
    offset += last - first + 1;
  }
  std::printf("};\n");
  std::printf("static constexpr unsigned short kPinyinRanks[] = {\n");
  for (std::size_t i = 0; i < rank_of.size(); ++i) {
    std::printf("%s%u,", i % 16 == 0 ? "    " : " ", rank_of[i].second);
    if (i % 16 == 15 || i + 1 == rank_of.size()) std::printf("\n");
  }
  std::printf("};\n");
  std::printf("static constexpr PinyinContraction kPinyinContractions[] = {\n");
  for (const auto& c : contractions) {
    std::printf("    {{");
    for (char32_t cp : c.text) std::printf("0x%04X, ", unsigned(cp));
    std::printf("0}, {");
    for (unsigned r : c.ranks) std::printf("%u, ", r);
    std::printf("0}},\n");
  }
  std::printf("};\n");
  return 0;
}
