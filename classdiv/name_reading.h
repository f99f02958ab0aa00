// How a name sounds: the toneless pinyin of each ideograph by its most
// common reading, from a table generated out of ICU's Han-Latin
// transliterator (tools/gen_reading_table.cpp), so the portable build needs
// no ICU. Two names that read the same would get two answers to one call
// in class, which is why the class division can keep them apart.
#pragma once

#include <string>
#include <string_view>

namespace lczs::classdiv {

// The reading of `name`: syllables joined by spaces; characters without a
// known reading (letters, rare ideographs) stand for themselves, and
// spaces and the middle dot are dropped. Equal readings mean the names
// sound the same: name_reading("李娜") == name_reading("李纳") == "li na".
std::string name_reading(std::string_view name);

// The toneless syllable of one ideograph, or "" when the table has none.
std::string_view syllable_of(char32_t cp);

}  // namespace lczs::classdiv
