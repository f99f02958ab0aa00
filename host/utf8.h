// Reading UTF-8 text one character at a time. Every text of the model is
// UTF-8; files in other encodings are converted when they are read.
#pragma once

#include <string_view>

namespace lczs::host {

// The code point starting at byte `i` of `s`; advances `i` past it. A byte
// that does not start a well-formed sequence yields U+FFFD and advances by
// one, so a loop over malformed text always ends. Requires i < s.size().
char32_t next_code_point(std::string_view s, std::size_t& i);

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

}  // namespace lczs::host
