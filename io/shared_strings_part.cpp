// xl/sharedStrings.xml: the text of every text cell, each distinct plain
// text once; rich texts each get their own item.
#include "io/parts.h"

namespace lczs::io::detail {

namespace {

// Leading or trailing spaces, tabs and line breaks survive only with
// xml:space="preserve".
bool needs_preserve(const std::string& s) {
  if (s.empty()) return false;
  auto edge = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  return edge(s.front()) || edge(s.back());
}

void text_element(XmlWriter& w, const std::string& s) {
  w.start("t");
  if (needs_preserve(s)) w.attr("xml:space", "preserve");
  w.text(s).end();
}

}  // namespace

std::size_t StringTable::index(const std::string& text) {
  ++uses_;
  // Most texts of a sheet repeat (class names, subjects): a lookup first,
  // so that only a new text costs a copy into the table.
  if (auto it = plain_.find(text); it != plain_.end()) return it->second;
  plain_.emplace(text, count_);
  items_.start("si");
  text_element(items_, text);
  items_.end();
  return count_++;
}

void write_runs(XmlWriter& w, const std::vector<memory::TextRun>& runs) {
  for (const auto& run : runs) {
    if (run.text.empty()) continue;
    w.start("r");
    if (run.font) {
      w.start("rPr");
      StyleTable::font_properties(w, *run.font, true);
      w.end();
    }
    text_element(w, run.text);
    w.end();
  }
}

std::size_t StringTable::index(const std::vector<memory::TextRun>& runs) {
  ++uses_;
  items_.start("si");
  write_runs(items_, runs);
  items_.end();
  return count_++;
}

std::string StringTable::part() const {
  XmlWriter w;
  w.start("sst").attr("xmlns", kMainNs).attr("count", uses_).attr("uniqueCount", count_);
  w.raw(items_.str());
  w.end();
  return w.take();
}

}  // namespace lczs::io::detail
