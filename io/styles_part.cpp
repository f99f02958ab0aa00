// xl/styles.xml: fonts, fills, borders, number formats and the cell style
// records (xf) of the formats the sheets use, and the differential formats
// (dxf) of their conditional formats and colour filters.
#include <cstdio>

#include "host/host.h"
#include "io/internal.h"
#include "io/parts.h"

namespace lczs::io::detail {

using memory::Color;
using memory::Font;
using memory::Format;

namespace {

std::string hex_argb(std::uint32_t argb) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", argb);
  return buf;
}

std::string_view horizontal_name(host::HAlign h) {
  switch (h) {
    case host::HAlign::General: return "";
    case host::HAlign::Left: return "left";
    case host::HAlign::Center: return "center";
    case host::HAlign::Right: return "right";
    case host::HAlign::Fill: return "fill";
    case host::HAlign::Justify: return "justify";
    case host::HAlign::CenterAcrossSelection: return "centerContinuous";
    case host::HAlign::Distributed: return "distributed";
  }
  return "";
}

std::string_view vertical_name(host::VAlign v) {
  switch (v) {
    case host::VAlign::Bottom: return "";
    case host::VAlign::Top: return "top";
    case host::VAlign::Center: return "center";
    case host::VAlign::Justify: return "justify";
    case host::VAlign::Distributed: return "distributed";
  }
  return "";
}

std::string_view underline_name(host::Underline u) {
  switch (u) {
    case host::Underline::None: return "";
    case host::Underline::Single: return "single";
    case host::Underline::Double: return "double";
    case host::Underline::SingleAccounting: return "singleAccounting";
    case host::Underline::DoubleAccounting: return "doubleAccounting";
  }
  return "";
}

std::string fragment(XmlWriter& w) { return w.take(); }

}  // namespace

void StyleTable::color(XmlWriter& w, std::string_view name, const Color& c) {
  w.start(name);
  switch (c.kind) {
    case Color::Kind::Auto:
      w.attr("indexed", 64);
      break;
    case Color::Kind::Indexed:
      w.attr("indexed", c.index);
      break;
    case Color::Kind::Rgb:
      w.attr("rgb", hex_argb(c.argb));
      break;
    case Color::Kind::Theme:
      w.attr("theme", c.theme);
      break;
  }
  if (c.kind != Color::Kind::Auto && c.kind != Color::Kind::Indexed && c.tint != 0) w.attr("tint", c.tint);
  w.end();
}

void StyleTable::font_properties(XmlWriter& w, const Font& f, bool run) {
  if (f.bold) w.start("b").end();
  if (f.italic) w.start("i").end();
  if (f.strikethrough) w.start("strike").end();
  if (f.outline) w.start("outline").end();
  if (f.shadow) w.start("shadow").end();
  if (auto u = underline_name(f.underline); !u.empty()) {
    if (u == "single") w.start("u").end();
    else w.val("u", u);
  }
  if (f.superscript) w.val("vertAlign", "superscript");
  else if (f.subscript) w.val("vertAlign", "subscript");
  w.val("sz", f.size);
  color(w, "color", f.color);
  w.val(run ? "rFont" : "name", f.name);
  if (f.family > 0) w.val("family", static_cast<long long>(f.family));
  if (f.charset >= 0 && f.charset < 256) w.val("charset", static_cast<long long>(f.charset));
  if (!f.scheme.empty()) w.val("scheme", f.scheme);
}

StyleTable::StyleTable(const memory::FormatPool& pool, const std::string& shown_path)
    : pool_(pool), path_(shown_path) {
  // The two fills every file starts with.
  XmlWriter none(false), gray(false);
  none.start("fill").start("patternFill").attr("patternType", "none").end().end();
  gray.start("fill").start("patternFill").attr("patternType", "gray125").end().end();
  intern(fills_, fill_index_, fragment(none));
  intern(fills_, fill_index_, fragment(gray));
  xf(0);
}

int StyleTable::intern(std::vector<std::string>& list, std::unordered_map<std::string, int>& index, std::string xml) {
  auto [it, added] = index.emplace(std::move(xml), static_cast<int>(list.size()));
  if (added) list.push_back(it->first);
  return it->second;
}

int StyleTable::xf(memory::FormatId id) {
  if (id >= pool_.size()) id = 0;
  if (id >= xf_of_format_.size()) xf_of_format_.resize(pool_.size(), -1);
  if (xf_of_format_[id] >= 0) return xf_of_format_[id];
  if (xfs_.size() >= kMaxCellStyles)
    throw host::SaveError("无法保存文件“" + path_ + "”：单元格格式超过 " + std::to_string(kMaxCellStyles) + " 种");
  const Format& f = pool_.get(id);

  XmlWriter font(false);
  font.start("font");
  font_properties(font, f.font, false);
  font.end();
  int font_id = intern(fonts_, font_index_, fragment(font));

  XmlWriter fill(false);
  fill.start("fill").start("patternFill").attr("patternType", f.fill.pattern);
  if (f.fill.pattern != "none") {
    if (f.fill.fg.kind != Color::Kind::Auto) color(fill, "fgColor", f.fill.fg);
    color(fill, "bgColor", f.fill.bg);
  }
  fill.end().end();
  int fill_id = intern(fills_, fill_index_, fragment(fill));

  XmlWriter border(false);
  const auto& b = f.borders;
  border.start("border");
  if (b.diagonal_up) border.attr("diagonalUp", "1");
  if (b.diagonal_down) border.attr("diagonalDown", "1");
  auto side = [&](std::string_view name, const memory::BorderLine& line) {
    border.start(name);
    std::string_view style = border_style_name(line);
    if (line.style != host::LineStyle::None && !style.empty() && style != "none") {
      border.attr("style", style);
      if (line.color.kind != Color::Kind::Auto) color(border, "color", line.color);
    }
    border.end();
  };
  side("left", b.left);
  side("right", b.right);
  side("top", b.top);
  side("bottom", b.bottom);
  side("diagonal", b.diagonal);
  border.end();
  int border_id = intern(borders_, border_index_, fragment(border));

  int numfmt = 0;
  if (auto builtin = builtin_format_id(f.number_format)) {
    numfmt = *builtin;
  } else {
    auto [it, added] = numfmt_index_.emplace(f.number_format, kFirstCustomNumFmt + static_cast<int>(numfmts_.size()));
    if (added) numfmts_.emplace_back(it->second, f.number_format);
    numfmt = it->second;
  }

  const auto& a = f.alignment;
  bool aligned = a != memory::Alignment{};
  bool protected_default = f.locked && !f.hidden;
  XmlWriter x(false);
  x.start("xf").attr("numFmtId", numfmt).attr("fontId", font_id).attr("fillId", fill_id).attr("borderId", border_id);
  x.attr("xfId", 0);
  if (id != 0) {
    if (numfmt != 0) x.attr("applyNumberFormat", "1");
    if (font_id != 0) x.attr("applyFont", "1");
    if (fill_id != 0) x.attr("applyFill", "1");
    if (border_id != 0) x.attr("applyBorder", "1");
    if (aligned) x.attr("applyAlignment", "1");
    if (!protected_default) x.attr("applyProtection", "1");
  }
  if (aligned) {
    x.start("alignment");
    if (auto h = horizontal_name(a.horizontal); !h.empty()) x.attr("horizontal", h);
    if (auto v = vertical_name(a.vertical); !v.empty()) x.attr("vertical", v);
    if (a.rotation == 255) x.attr("textRotation", 255);
    else if (a.rotation > 0 && a.rotation <= 90) x.attr("textRotation", a.rotation);
    else if (a.rotation < 0 && a.rotation >= -90) x.attr("textRotation", 90 - a.rotation);
    if (a.wrap_text) x.attr("wrapText", "1");
    if (a.indent > 0) x.attr("indent", std::min(a.indent, 250));
    if (a.shrink_to_fit) x.attr("shrinkToFit", "1");
    x.end();
  }
  if (!protected_default) {
    x.start("protection");
    if (!f.locked) x.attr("locked", "0");
    if (f.hidden) x.attr("hidden", "1");
    x.end();
  }
  x.end();
  xfs_.push_back(fragment(x));
  if (fonts_.size() > kMaxCellStyles)
    throw host::SaveError("无法保存文件“" + path_ + "”：字体超过 " + std::to_string(kMaxCellStyles) + " 种");
  return xf_of_format_[id] = static_cast<int>(xfs_.size() - 1);
}

int StyleTable::dxf(const memory::DiffFormat& d) {
  XmlWriter x(false);
  x.start("dxf");
  const memory::DiffFont& f = d.font;
  if (f != memory::DiffFont{}) {
    x.start("font");
    auto flag = [&](std::string_view name, const std::optional<bool>& v) {
      if (v) x.start(name).attr("val", *v ? "1" : "0").end();
    };
    flag("b", f.bold);
    flag("i", f.italic);
    flag("strike", f.strikethrough);
    if (f.underline) {
      std::string_view u = underline_name(*f.underline);
      x.val("u", u.empty() ? "none" : u);
    }
    if (f.size) x.val("sz", *f.size);
    if (f.color) color(x, "color", *f.color);
    if (f.name) x.val("name", *f.name);
    x.end();
  }
  if (d.number_format) {
    int id = 0;
    if (auto builtin = builtin_format_id(*d.number_format)) {
      id = *builtin;
    } else {
      auto [it, added] = numfmt_index_.emplace(*d.number_format, kFirstCustomNumFmt + static_cast<int>(numfmts_.size()));
      if (added) numfmts_.emplace_back(it->second, *d.number_format);
      id = it->second;
    }
    x.start("numFmt").attr("numFmtId", id).attr("formatCode", *d.number_format).end();
  }
  if (d.has_fill) {
    x.start("fill").start("patternFill");
    if (d.fill_pattern) x.attr("patternType", *d.fill_pattern);
    if (d.fill_fg) color(x, "fgColor", *d.fill_fg);
    if (d.fill_bg) color(x, "bgColor", *d.fill_bg);
    x.end().end();
  }
  if (d.left || d.right || d.top || d.bottom) {
    x.start("border");
    auto side = [&](std::string_view name, const std::optional<memory::DiffLine>& line) {
      if (!line) return;
      x.start(name).attr("style", line->style);
      if (line->color) color(x, "color", *line->color);
      x.end();
    };
    side("left", d.left);
    side("right", d.right);
    side("top", d.top);
    side("bottom", d.bottom);
    x.end();
  }
  x.end();
  return intern(dxfs_, dxf_index_, x.take());
}

std::string StyleTable::part() const {
  XmlWriter w;
  w.start("styleSheet").attr("xmlns", kMainNs);
  if (!numfmts_.empty()) {
    w.start("numFmts").attr("count", numfmts_.size());
    for (const auto& [id, code] : numfmts_) w.start("numFmt").attr("numFmtId", id).attr("formatCode", code).end();
    w.end();
  }
  auto list = [&](std::string_view name, const std::vector<std::string>& items) {
    w.start(name).attr("count", items.size());
    for (const auto& i : items) w.raw(i);
    w.end();
  };
  list("fonts", fonts_);
  list("fills", fills_);
  list("borders", borders_);
  w.start("cellStyleXfs").attr("count", 1);
  w.start("xf").attr("numFmtId", 0).attr("fontId", 0).attr("fillId", 0).attr("borderId", 0).end();
  w.end();
  list("cellXfs", xfs_);
  w.start("cellStyles").attr("count", 1);
  w.start("cellStyle").attr("name", "Normal").attr("xfId", 0).attr("builtinId", 0).end();
  w.end();
  list("dxfs", dxfs_);
  w.start("tableStyles").attr("count", 0).attr("defaultTableStyle", "TableStyleMedium9")
      .attr("defaultPivotStyle", "PivotStyleLight16").end();
  w.end();
  return w.take();
}

}  // namespace lczs::io::detail
