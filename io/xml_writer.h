// A small XML writer for the parts of a package: elements and attributes
// appended to a string, with the escaping SpreadsheetML needs so that any
// text reads back as written.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lczs::io::detail {

// Appends `s` escaped for XML. Characters XML cannot hold at all (control
// characters, NUL, U+FFFE/U+FFFF) become _xHHHH_, the form the file format
// gives them; "_xHHHH_" already in the text gets its underscore escaped so
// that it is not taken for one; carriage returns become _x000D_ too, since
// a parser would turn them into line feeds. In attributes, tabs and line
// feeds become character references (a parser would turn them into
// spaces). Invalid UTF-8 becomes U+FFFD: the file must stay readable.
void append_escaped(std::string& out, std::string_view s, bool attribute);

// The shortest text that reads back as the same double ("0.1",
// "63.699999999999996", "5E-324"). Only finite values.
void append_double(std::string& out, double v);
std::string double_text(double v);

// Names of the elements open at a point of a part, outermost first.
using OpenElements = std::vector<std::string_view>;

// Where a large part's text goes piece by piece while it is written, with
// the elements still open after the piece.
using PieceSink = std::function<void(std::string piece, const OpenElements& open)>;

class XmlWriter {
 public:
  // A part starts with the XML declaration; a fragment (an element to be
  // put into a part later) does not.
  explicit XmlWriter(bool declaration = true);

  // "<name"; attributes follow, then content or end().
  XmlWriter& start(std::string_view name);
  XmlWriter& attr(std::string_view name, std::string_view value);
  XmlWriter& attr(std::string_view name, const char* value) { return attr(name, std::string_view(value)); }
  XmlWriter& attr(std::string_view name, const std::string& value) { return attr(name, std::string_view(value)); }
  XmlWriter& attr(std::string_view name, long long value);
  XmlWriter& attr(std::string_view name, int value) { return attr(name, static_cast<long long>(value)); }
  XmlWriter& attr(std::string_view name, unsigned value) { return attr(name, static_cast<long long>(value)); }
  XmlWriter& attr(std::string_view name, std::size_t value) { return attr(name, static_cast<long long>(value)); }
  XmlWriter& attr(std::string_view name, double value);
  XmlWriter& attr(std::string_view name, bool value) = delete;  // say "1" or "0"
  // An attribute whose value the caller knows needs no escaping (a cell
  // reference, digits): a large sheet writes one per cell.
  XmlWriter& attr_plain(std::string_view name, std::string_view value);
  // Escaped character content of the element started last.
  XmlWriter& text(std::string_view s);
  // Markup written as it is (a part carried from another file).
  XmlWriter& raw(std::string_view xml);
  // Closes the element started last: "/>" when it has no content.
  XmlWriter& end();
  // <name val="value"/>, the common shape of style properties.
  XmlWriter& val(std::string_view name, std::string_view value);
  XmlWriter& val(std::string_view name, long long value);
  XmlWriter& val(std::string_view name, double value);
  // <name>text</name>
  XmlWriter& element(std::string_view name, std::string_view text);
  // <name>text</name> for a text that needs no escaping (digits, an error
  // value), as attr_plain.
  XmlWriter& element_plain(std::string_view name, std::string_view text);

  // From now on, whenever the text reaches `piece_size` bytes at the end of
  // an element, it goes to `sink` and the writer starts afresh: a large part
  // is checked and compressed while it is still being written. str(),
  // size() and take() then cover only what has not gone yet.
  void spill_to(PieceSink sink, std::size_t piece_size);

  // The part so far (every element must have ended) and its size; take()
  // hands the text over.
  const std::string& str() const { return out_; }
  std::string take();
  std::size_t size() const { return out_.size(); }

 private:
  void close_start();
  void spill();
  std::string out_;
  PieceSink sink_;
  std::size_t piece_size_ = 0;
  std::vector<std::string_view> open_;  // element names are literals
  bool in_start_ = false;
};

}  // namespace lczs::io::detail
