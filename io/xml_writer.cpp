#include "io/xml_writer.h"

#include <cassert>
#include <charconv>
#include <cmath>

namespace lczs::io::detail {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void append_x_escape(std::string& out, unsigned cp) {
  out += "_x";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 0xF];
  out += '_';
}

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Length of the valid UTF-8 sequence at s[i] and its code point; 0 when the
// bytes are no valid sequence.
std::size_t utf8_at(std::string_view s, std::size_t i, unsigned& cp) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t len;
  if ((c & 0xE0) == 0xC0) len = 2, cp = c & 0x1F;
  else if ((c & 0xF0) == 0xE0) len = 3, cp = c & 0x0F;
  else if ((c & 0xF8) == 0xF0) len = 4, cp = c & 0x07;
  else return 0;
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return len;
}

}  // namespace

void append_escaped(std::string& out, std::string_view s, bool attribute) {
  std::size_t plain = 0;  // start of the run not yet copied
  auto flush = [&](std::size_t i) {
    out.append(s.data() + plain, i - plain);
  };
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      unsigned cp = 0;
      std::size_t len = utf8_at(s, i, cp);
      if (len == 0) {
        flush(i);
        out += "\xEF\xBF\xBD";
        plain = ++i;
      } else if (cp == 0xFFFE || cp == 0xFFFF) {
        flush(i);
        append_x_escape(out, cp);
        plain = i += len;
      } else {
        i += len;
      }
      continue;
    }
    const char* ref = nullptr;
    switch (c) {
      case '<': ref = "&lt;"; break;
      case '>': ref = "&gt;"; break;
      case '&': ref = "&amp;"; break;
      case '"': ref = attribute ? "&quot;" : nullptr; break;
      case '\t': ref = attribute ? "&#9;" : nullptr; break;
      case '\n': ref = attribute ? "&#10;" : nullptr; break;
      default: break;
    }
    if (ref != nullptr) {
      flush(i);
      out += ref;
      plain = ++i;
      continue;
    }
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
      // DEL is legal XML, but the application escapes it too.
      flush(i);
      append_x_escape(out, c);
      plain = ++i;
      continue;
    }
    if (c == '_' && i + 7 <= s.size() && s[i + 1] == 'x' && s[i + 6] == '_' && is_hex(s[i + 2]) &&
        is_hex(s[i + 3]) && is_hex(s[i + 4]) && is_hex(s[i + 5])) {
      flush(i);
      out += "_x005F_";
      plain = ++i;
      continue;
    }
    ++i;
  }
  flush(s.size());
}

void append_double(std::string& out, double v) {
  assert(std::isfinite(v));
  if (v == 0) v = 0;  // no "-0"
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  (void)ec;
  // The application writes "1E-7"; some readers know only the capital.
  for (char* p = buf; p != end; ++p)
    if (*p == 'e') *p = 'E';
  out.append(buf, end);
}

std::string double_text(double v) {
  std::string s;
  append_double(s, v);
  return s;
}

XmlWriter::XmlWriter(bool declaration) {
  if (declaration) out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
}

void XmlWriter::close_start() {
  if (in_start_) {
    out_ += '>';
    in_start_ = false;
  }
}

XmlWriter& XmlWriter::start(std::string_view name) {
  close_start();
  out_ += '<';
  out_ += name;
  open_.push_back(name);
  in_start_ = true;
  return *this;
}

XmlWriter& XmlWriter::attr(std::string_view name, std::string_view value) {
  assert(in_start_);
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  append_escaped(out_, value, true);
  out_ += '"';
  return *this;
}

XmlWriter& XmlWriter::attr_plain(std::string_view name, std::string_view value) {
  assert(in_start_);
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  out_ += value;
  out_ += '"';
  return *this;
}

XmlWriter& XmlWriter::attr(std::string_view name, long long value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  out_.append(buf, end);
  out_ += '"';
  return *this;
}

XmlWriter& XmlWriter::attr(std::string_view name, double value) {
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  append_double(out_, std::isfinite(value) ? value : 0);
  out_ += '"';
  return *this;
}

XmlWriter& XmlWriter::text(std::string_view s) {
  close_start();
  append_escaped(out_, s, false);
  return *this;
}

XmlWriter& XmlWriter::raw(std::string_view xml) {
  close_start();
  out_ += xml;
  return *this;
}

XmlWriter& XmlWriter::end() {
  assert(!open_.empty());
  if (in_start_) {
    out_ += "/>";
    in_start_ = false;
  } else {
    out_ += "</";
    out_ += open_.back();
    out_ += '>';
  }
  open_.pop_back();
  if (sink_ && out_.size() >= piece_size_) spill();
  return *this;
}

void XmlWriter::spill_to(PieceSink sink, std::size_t piece_size) {
  sink_ = std::move(sink);
  piece_size_ = piece_size;
}

void XmlWriter::spill() {
  std::string piece;
  // The next piece grows in place, not by doubling from nothing.
  piece.reserve(piece_size_ + piece_size_ / 8);
  piece.swap(out_);
  sink_(std::move(piece), open_);
}

XmlWriter& XmlWriter::val(std::string_view name, std::string_view value) { return start(name).attr("val", value).end(); }
XmlWriter& XmlWriter::val(std::string_view name, long long value) { return start(name).attr("val", value).end(); }
XmlWriter& XmlWriter::val(std::string_view name, double value) { return start(name).attr("val", value).end(); }

XmlWriter& XmlWriter::element(std::string_view name, std::string_view s) { return start(name).text(s).end(); }

XmlWriter& XmlWriter::element_plain(std::string_view name, std::string_view s) {
  close_start();
  out_ += '<';
  out_ += name;
  out_ += '>';
  out_ += s;
  out_ += "</";
  out_ += name;
  out_ += '>';
  if (sink_ && out_.size() >= piece_size_) spill();
  return *this;
}

std::string XmlWriter::take() {
  assert(open_.empty());
  return std::move(out_);
}

}  // namespace lczs::io::detail
