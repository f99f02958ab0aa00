// The report's cover sheet 封面.
#include "examanalysis/ksfx.h"

namespace lczs::examanalysis {

using host::AlignmentPatch;
using host::Area;
using host::BorderIndex;
using host::BorderSpec;
using host::FontPatch;
using host::HAlign;
using host::LineStyle;
using host::VAlign;
using host::Value;

namespace {

FontPatch song14() {
  return FontPatch{.name = "宋体", .font_style = "常规", .size = 14, .strikethrough = false,
                   .superscript = false, .subscript = false, .outline = false, .shadow = false,
                   .underline = host::Underline::None,
                   .color_index = host::kColorIndexAutomatic};
}

AlignmentPatch centred_bottom() {
  return AlignmentPatch{.horizontal = HAlign::Center, .vertical = VAlign::Bottom,
                        .wrap_text = false, .orientation = 0, .add_indent = false,
                        .indent_level = 0, .shrink_to_fit = false, .merge_cells = false};
}

}  // namespace

void Ksfx::ksfx_cover_sheet(host::Workbook& book) {
  step_ = "制作封面";
  host::Worksheet& added = book.add_sheet();
  added.set_name(kSheetCover);
  host::Worksheet& cover = book.sheet(kSheetCover);

  const Area office{1, 1, 2, 2};
  AlignmentPatch boxed = centred_bottom();
  boxed.vertical = VAlign::Center;
  boxed.merge_cells = true;
  cover.set_alignment(office, boxed);
  cover.set_formula(Area::cell(1, 1), "教 务 处");
  cover.set_characters_font(1, 1, 1, 2, song14());
  cover.select(office);
  const BorderSpec none{.style = LineStyle::None};
  const BorderSpec thin{.style = LineStyle::Continuous, .weight = host::BorderWeight::Thin,
                        .color_index = host::kColorIndexAutomatic};
  cover.set_borders(office, {{BorderIndex::DiagonalDown, none},
                             {BorderIndex::DiagonalUp, none},
                             {BorderIndex::EdgeLeft, thin},
                             {BorderIndex::EdgeTop, thin},
                             {BorderIndex::EdgeBottom, thin},
                             {BorderIndex::EdgeRight, thin},
                             {BorderIndex::InsideVertical, none},
                             {BorderIndex::InsideHorizontal, none}});

  cover.select(Area::cell(3, 1));
  cover.set_value(3, 1, Value::text("届：" + st_.ks_cohort));
  cover.set_characters_font(3, 1, 1, 2, song14());

  const Area title{15, 1, 15, 9};
  cover.select(title);
  cover.set_alignment(title, centred_bottom());
  cover.merge(title);
  cover.set_value(15, 1, Value::text(st_.ks_save_name));
  cover.set_font(title, FontPatch{.name = "黑体", .size = 18, .strikethrough = false,
                                  .superscript = false, .subscript = false, .outline = false,
                                  .shadow = false, .underline = host::Underline::None,
                                  .color_index = host::kColorIndexAutomatic});

  // The date is a live formula: it shows the day the report is opened.
  const Area date{40, 4, 40, 6};
  cover.select(date, {40, 4});
  cover.set_alignment(Area::cell(40, 4), centred_bottom());
  cover.merge(date);
  cover.set_formula_r1c1(Area::cell(40, 4), "=TODAY()");
  cover.set_characters_font(40, 4, 1, 2, song14());
  cover.set_number_format(date, "[DBNum1]yyyy\"年\"m\"月\"d\"日\"");

  const Area note{19, 3, 19, 7};
  cover.select(note, {19, 3});
  cover.set_alignment(Area::cell(19, 3), centred_bottom());
  cover.merge(note);
  cover.set_value(19, 3, Value::text("(内部参考  严禁外传)"));
  cover.set_characters_font(19, 3, 1, 2, song14());
  cover.select(note, {19, 3});
}

}  // namespace lczs::examanalysis
