// The text dump of a workbook, for golden tests and for looking at a job's
// result. One line per item; formats are written as their differences from
// the workbook's default format.
#include <cstdio>
#include <iterator>
#include <sstream>
#include <utility>

#include "model/memory_internal.h"

namespace lczs::memory {

namespace {

std::string num(double x) { return Value::number(x).display_text(); }

std::string color_text(const Color& c) {
  switch (c.kind) {
    case Color::Kind::Auto: return "auto";
    case Color::Kind::Indexed: return "index" + std::to_string(c.index);
    case Color::Kind::Rgb: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "#%08X", static_cast<unsigned>(c.argb));
      return buf + (c.tint != 0 ? "~" + num(c.tint) : std::string());
    }
    case Color::Kind::Theme: return "theme" + std::to_string(c.theme) + (c.tint != 0 ? "~" + num(c.tint) : "");
  }
  return "?";
}

std::string line_text(const BorderLine& b) {
  return std::to_string(static_cast<int>(b.style)) + "/" + std::to_string(static_cast<int>(b.weight)) + "/" +
         color_text(b.color);
}

void font_diff(std::vector<std::string>& out, const Font& f, const Font& d, const std::string& prefix) {
  if (f.name != d.name) out.push_back(prefix + "font=" + f.name);
  if (f.size != d.size) out.push_back(prefix + "size=" + num(f.size));
  if (f.bold != d.bold) out.push_back(prefix + (f.bold ? "bold" : "not-bold"));
  if (f.italic != d.italic) out.push_back(prefix + (f.italic ? "italic" : "not-italic"));
  if (f.strikethrough != d.strikethrough) out.push_back(prefix + "strike=" + (f.strikethrough ? "1" : "0"));
  if (f.superscript != d.superscript) out.push_back(prefix + "super=" + (f.superscript ? "1" : "0"));
  if (f.subscript != d.subscript) out.push_back(prefix + "sub=" + (f.subscript ? "1" : "0"));
  if (f.outline != d.outline) out.push_back(prefix + "outline=" + (f.outline ? "1" : "0"));
  if (f.shadow != d.shadow) out.push_back(prefix + "shadow=" + (f.shadow ? "1" : "0"));
  if (f.underline != d.underline) out.push_back(prefix + "underline=" + std::to_string(static_cast<int>(f.underline)));
  if (!(f.color == d.color)) out.push_back(prefix + "color=" + color_text(f.color));
}

}  // namespace

std::string format_diff(const Format& f, const Format& d) {
  std::vector<std::string> out;
  font_diff(out, f.font, d.font, "");
  if (!(f.fill == d.fill))
    out.push_back("fill=" + f.fill.pattern + ":" + color_text(f.fill.fg) + ":" + color_text(f.fill.bg));
  const Borders& b = f.borders;
  const Borders& db = d.borders;
  if (!(b.left == db.left)) out.push_back("left=" + line_text(b.left));
  if (!(b.right == db.right)) out.push_back("right=" + line_text(b.right));
  if (!(b.top == db.top)) out.push_back("top=" + line_text(b.top));
  if (!(b.bottom == db.bottom)) out.push_back("bottom=" + line_text(b.bottom));
  if (!(b.diagonal == db.diagonal) || b.diagonal_up != db.diagonal_up || b.diagonal_down != db.diagonal_down)
    out.push_back("diagonal=" + line_text(b.diagonal) + (b.diagonal_up ? "/up" : "") +
                  (b.diagonal_down ? "/down" : ""));
  const Alignment& a = f.alignment;
  const Alignment& da = d.alignment;
  if (a.horizontal != da.horizontal) out.push_back("h=" + std::to_string(static_cast<int>(a.horizontal)));
  if (a.vertical != da.vertical) out.push_back("v=" + std::to_string(static_cast<int>(a.vertical)));
  if (a.wrap_text != da.wrap_text) out.push_back(std::string("wrap=") + (a.wrap_text ? "1" : "0"));
  if (a.rotation != da.rotation) out.push_back("rotation=" + std::to_string(a.rotation));
  if (a.indent != da.indent) out.push_back("indent=" + std::to_string(a.indent));
  if (a.shrink_to_fit != da.shrink_to_fit) out.push_back(std::string("shrink=") + (a.shrink_to_fit ? "1" : "0"));
  if (f.number_format != d.number_format) out.push_back("numfmt=" + f.number_format);
  if (f.locked != d.locked) out.push_back(std::string("locked=") + (f.locked ? "1" : "0"));
  if (f.hidden != d.hidden) out.push_back(std::string("hidden=") + (f.hidden ? "1" : "0"));
  std::string s;
  for (const auto& x : out) s += (s.empty() ? "" : ", ") + x;
  return s;
}

namespace {

std::string value_text(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Empty: return "(empty)";
    case Value::Kind::Text: return "\"" + v.as_text() + "\"";
    default: return v.display_text();
  }
}

}  // namespace

std::string dump_sheet(const WorkbookData& book, const SheetData& sheet) {
  if (MemoryWorkbook* owner = detail::owner_of(book)) owner->recalculate();
  std::ostringstream o;
  const Format& d = book.formats.get(0);
  auto fmt = [&](FormatId id) { return format_diff(book.formats.get(id), d); };
  sheet.for_each([&](int r, int c, const Cell& cell) {
    o << "  " << host::column_letters(c) << r << " = " << value_text(cell.value);
    if (!cell.formula().empty()) o << " | =" << cell.formula();
    std::string f = fmt(cell.format);
    if (!f.empty()) o << " | " << f;
    if (!cell.runs().empty()) {
      o << " | runs:";
      for (const TextRun& run : cell.runs()) {
        o << " [\"" << run.text << "\"";
        if (run.font) {
          std::vector<std::string> diffs;
          font_diff(diffs, *run.font, book.formats.get(cell.format).font, "");
          for (const auto& x : diffs) o << " " << x;
        }
        o << "]";
      }
    }
    if (const Comment* note = cell.attached.comment())
      o << " | comment " << note->author << ": \"" << note->plain_text() << "\"" << (note->visible ? " shown" : "");
    if (const Hyperlink* link = cell.attached.hyperlink())
      o << " | link " << link->address << (link->location.empty() ? "" : "#" + link->location);
    o << "\n";
  });
  for (const Area& m : sheet.merges) o << "  merge " << host::address(m, false) << "\n";
  // Runs of adjacent columns with the same settings share a line ("col A:XFD"
  // after a whole-sheet format).
  for (auto it = sheet.columns.begin(); it != sheet.columns.end();) {
    const auto& [c, info] = *it;
    auto last = it;
    for (auto next = std::next(it); next != sheet.columns.end() && next->first == last->first + 1 &&
                                    next->second == info;
         ++next)
      last = next;
    int last_col = last->first;
    it = std::next(last);
    if (info == ColumnInfo{}) continue;
    o << "  col " << host::column_letters(c);
    if (last_col != c) o << ":" << host::column_letters(last_col);
    if (info.width) o << " width=" << num(*info.width);
    if (info.hidden) o << " hidden";
    if (info.format) {
      std::string f = fmt(*info.format);
      if (!f.empty()) o << " | " << f;
    }
    o << "\n";
  }
  for (const auto& [r, info] : sheet.rows) {
    if (info == RowInfo{}) continue;
    o << "  row " << r;
    if (info.height) o << " height=" << num(*info.height);
    if (info.hidden) o << " hidden";
    if (info.format) {
      std::string f = fmt(*info.format);
      if (!f.empty()) o << " | " << f;
    }
    o << "\n";
  }
  if (!sheet.row_breaks.empty()) {
    o << "  breaks";
    for (int b : sheet.row_breaks) o << " " << b;
    o << "\n";
  }
  for (const host::Chart& c : sheet.charts) {
    o << "  chart \"" << c.title << "\" at " << host::address(c.position, false) << " axes \""
      << c.category_title << "\" \"" << c.value_title << "\"\n";
    for (const host::ChartSeries& s : c.series)
      o << "    " << (s.type == host::ChartType::Line ? "line" : "column") << " \"" << s.name << "\" '"
        << s.sheet << "'!" << host::address(s.values, false) << " by " << host::address(s.categories, false)
        << "\n";
  }
  o << "  selection " << host::address(sheet.view.selection, false) << " active "
    << host::address(Area::cell(sheet.view.active_cell.row, sheet.view.active_cell.col), false) << "\n";
  return o.str();
}

std::string dump(const WorkbookData& book) {
  if (MemoryWorkbook* owner = detail::owner_of(book)) owner->recalculate();
  std::ostringstream o;
  o << "workbook";
  if (!book.path.empty()) o << " \"" << book.path << "\"";
  if (book.needs_full_recalc) o << " needs-recalc";
  o << "\n";
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    const SheetData& s = *book.sheets[i];
    o << "sheet " << (i + 1) << " \"" << s.name << "\"";
    if (static_cast<int>(i) == book.active_sheet) o << " active";
    if (s.very_hidden) o << " very-hidden";
    else if (s.hidden) o << " hidden";
    o << "\n" << dump_sheet(book, s);
  }
  return o.str();
}

std::string dump(MemoryWorkbook& book) {
  book.recalculate();
  return dump(std::as_const(book).data());
}

}  // namespace lczs::memory
