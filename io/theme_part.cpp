// xl/theme/theme1.xml: the default Office theme, whose colours are the ones
// the reader resolves theme colours with (detail::default_theme), so a
// theme colour written means what it meant when read.
#include <cstdio>

#include "io/internal.h"
#include "io/parts.h"

namespace lczs::io::detail {

namespace {

// Fill, line and effect styles the theme must list (three of each); the
// application's plain ones.
constexpr std::string_view kFormatScheme =
    "<a:fmtScheme name=\"Office\">"
    "<a:fillStyleLst><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
    "<a:solidFill><a:schemeClr val=\"phClr\"><a:tint val=\"50000\"/></a:schemeClr></a:solidFill>"
    "<a:solidFill><a:schemeClr val=\"phClr\"><a:shade val=\"80000\"/></a:schemeClr></a:solidFill></a:fillStyleLst>"
    "<a:lnStyleLst>"
    "<a:ln w=\"9525\" cap=\"flat\" cmpd=\"sng\" algn=\"ctr\"><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
    "<a:prstDash val=\"solid\"/></a:ln>"
    "<a:ln w=\"25400\" cap=\"flat\" cmpd=\"sng\" algn=\"ctr\"><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
    "<a:prstDash val=\"solid\"/></a:ln>"
    "<a:ln w=\"38100\" cap=\"flat\" cmpd=\"sng\" algn=\"ctr\"><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
    "<a:prstDash val=\"solid\"/></a:ln></a:lnStyleLst>"
    "<a:effectStyleLst><a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle>"
    "<a:effectStyle><a:effectLst/></a:effectStyle></a:effectStyleLst>"
    "<a:bgFillStyleLst><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
    "<a:solidFill><a:schemeClr val=\"phClr\"><a:tint val=\"95000\"/></a:schemeClr></a:solidFill>"
    "<a:solidFill><a:schemeClr val=\"phClr\"><a:shade val=\"90000\"/></a:schemeClr></a:solidFill></a:bgFillStyleLst>"
    "</a:fmtScheme>";

}  // namespace

std::string theme_part() {
  const ThemePalette& p = default_theme();
  static constexpr std::string_view kSlots[] = {"lt1", "dk1", "lt2", "dk2", "accent1", "accent2",
                                                "accent3", "accent4", "accent5", "accent6", "hlink", "folHlink"};
  // The file lists dk1 before lt1 and dk2 before lt2.
  static constexpr int kOrder[] = {1, 0, 3, 2, 4, 5, 6, 7, 8, 9, 10, 11};
  XmlWriter w;
  w.start("a:theme").attr("xmlns:a", "http://schemas.openxmlformats.org/drawingml/2006/main").attr("name", "Office Theme");
  w.start("a:themeElements");
  w.start("a:clrScheme").attr("name", "Office");
  for (int i : kOrder) {
    char hex[7];
    std::snprintf(hex, sizeof hex, "%06X", p[i] & 0xFFFFFF);
    std::string tag = "a:" + std::string(kSlots[i]);
    w.raw("<" + tag + ">");
    w.start("a:srgbClr").attr("val", hex).end();
    w.raw("</" + tag + ">");
  }
  w.end();
  w.start("a:fontScheme").attr("name", "Office");
  for (auto [kind, latin, hans] : {std::tuple<std::string_view, std::string_view, std::string_view>{"a:majorFont", "Cambria", "宋体"},
                                   {"a:minorFont", "Calibri", "宋体"}}) {
    w.start(kind);
    w.start("a:latin").attr("typeface", latin).end();
    w.start("a:ea").attr("typeface", "").end();
    w.start("a:cs").attr("typeface", "").end();
    w.start("a:font").attr("script", "Hans").attr("typeface", hans).end();
    w.end();
  }
  w.end();
  w.raw(kFormatScheme);
  w.end();
  w.start("a:objectDefaults").end().start("a:extraClrSchemeLst").end();
  w.end();
  return w.take();
}

}  // namespace lczs::io::detail
