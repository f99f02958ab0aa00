// A colour as a file carries it.
#pragma once

#include <cstdint>

namespace lczs::memory {

struct Color {
  enum class Kind { Auto, Indexed, Rgb, Theme };
  Kind kind = Kind::Auto;
  std::uint32_t argb = 0;  // Rgb
  int index = 64;          // Indexed (64 = system foreground, "automatic")
  int theme = 0;           // Theme
  double tint = 0;         // Theme and Rgb
  friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace lczs::memory
