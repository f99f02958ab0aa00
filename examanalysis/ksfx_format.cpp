// The report's formatting: number format of the averages, the uniform table
// style, page breaks, title rows, and the tables appended to the averages.
#include <algorithm>

#include "examanalysis/ksfx.h"
#include "host/numbers.h"
#include "host/page_breaks.h"

namespace lczs::examanalysis {

using host::AlignmentPatch;
using host::Area;
using host::BorderIndex;
using host::BorderSpec;
using host::FontPatch;
using host::HAlign;
using host::LineStyle;
using host::SortHeader;
using host::SortKey;
using host::SortOrder;
using host::SortSpec;
using host::VAlign;
using host::Value;

FontPatch plain_song(double size) {
  return FontPatch{.name = "宋体", .size = size, .strikethrough = false, .superscript = false,
                   .subscript = false, .outline = false, .shadow = false,
                   .underline = host::Underline::None,
                   .color_index = host::kColorIndexAutomatic};
}

namespace {

std::string quoted(const host::Worksheet& sheet) { return "工作表“" + sheet.name() + "”"; }

}  // namespace

bool Ksfx::keeps_class_codes(const host::Worksheet& sheet) const {
  static const char* const kCoded[] = {kSheetRaw, kSheetAll, kSheetSat, kSheetAbsent, kSheetBands,
                                       kSheetAverages};
  const std::string name = sheet.name();
  for (const char* coded : kCoded)
    if (name == coded) return true;
  return std::find(extract_names_.begin(), extract_names_.end(), name) != extract_names_.end();
}

void Ksfx::ksfx_average_format(host::Worksheet& averages) {
  step_ = "设置均分的数字格式";
  averages.activate();
  Area region = averages.current_region(1, 1);
  Area cells{2, 3, region.bottom, region.right};
  averages.select(cells);
  averages.set_number_format(cells, "0.00");
}

void Ksfx::ksfx_format_sheet(host::Worksheet& sheet) {
  // A hidden sheet cannot be activated; it keeps its own look.
  if (!sheet.visible()) return;
  step_ = "设置工作表“" + sheet.name() + "”的格式";
  sheet.activate();
  Area region = sheet.current_region(1, 1);
  sheet.select(region);
  host_app.end_copy_mode();
  // A class code of 0 is a class like any other: blanked it would read as no
  // class, sort after the others and end the run of column A early.
  Area blanked = region;
  if (keeps_class_codes(sheet)) blanked.left = region.left + 1;
  if (blanked.left <= blanked.right) sheet.replace_whole(blanked, "0", "");
  sheet.autofit_columns(region.left, region.right);
  sheet.set_font(region, plain_song(10));

  sheet.select(Area::cell(1, 1));
  ksfx_grid(sheet, sheet.current_region(1, 1));
}

void Ksfx::ksfx_grid(host::Worksheet& sheet, const Area& region) {
  const BorderSpec none{.style = LineStyle::None};
  const BorderSpec thin{.style = LineStyle::Continuous, .weight = host::BorderWeight::Thin,
                        .color_index = host::kColorIndexAutomatic};
  sheet.set_borders(region, {{BorderIndex::DiagonalDown, none},
                             {BorderIndex::DiagonalUp, none},
                             {BorderIndex::EdgeLeft, thin},
                             {BorderIndex::EdgeTop, thin},
                             {BorderIndex::EdgeBottom, thin},
                             {BorderIndex::EdgeRight, thin},
                             {BorderIndex::InsideVertical, thin},
                             {BorderIndex::InsideHorizontal, thin}});
  sheet.set_alignment(region, AlignmentPatch{.horizontal = HAlign::Center,
                                             .vertical = VAlign::Center,
                                             .wrap_text = false,
                                             .orientation = 0,
                                             .add_indent = false,
                                             .indent_level = 0,
                                             .shrink_to_fit = true});
}

void Ksfx::ksfx_paginate(host::Worksheet& sheet) {
  step_ = "为工作表“" + sheet.name() + "”分页";
  sheet.activate();
  Area region = sheet.current_region(1, 1);
  sheet.select(region);
  sheet.sort(region, SortSpec{.key1 = {1, SortOrder::Ascending},
                              .key2 = SortKey{2, SortOrder::Ascending},
                              .header = SortHeader::Yes});
  region = sheet.current_region(1, 1);
  // A break above the first student of every class but the first, and one
  // below the last student.
  const int last = region.row_count() + 1;
  const host::ValueGrid codes = sheet.values(Area{2, 1, last, 1});
  std::vector<int> rows;
  for (int i = 3; i <= last; ++i)
    // The empty cell below the list equals a class code of 0.
    if (i == last || !codes.at(i - 3, 0).vba_equals(codes.at(i - 2, 0))) rows.push_back(i);
  const std::size_t fit = host::page_breaks_that_fit(sheet, rows);
  for (std::size_t b = 0; b < fit; ++b) {
    sheet.select(Area::cell(rows[b], 1));
    sheet.add_page_break(rows[b]);
  }
  if (fit < rows.size()) {
    const int row = rows[fit];
    const std::string which = row < last ? "从班级 " + codes.at(row - 2, 0).display_text() + " 起"
                                         : "最后一个班之后";
    ui_.notice(quoted(sheet) + "最多只能有 " + host::int_text(host::kMaxPageBreaks) + " 个手动分页符，" +
               which + "不再分页。");
  }
}

void Ksfx::ksfx_title_row(host::Worksheet& sheet) {
  step_ = "为工作表“" + sheet.name() + "”加标题行";
  sheet.activate();
  const int w = sheet.current_region(1, 1).col_count();
  sheet.select(Area::cell(1, 1));
  sheet.insert_cells(Area::rows(1, 1), host::Shift::Down);
  const Area title{1, 1, 1, w};
  sheet.set_alignment(title, AlignmentPatch{.horizontal = HAlign::Center,
                                            .vertical = VAlign::Bottom,
                                            .wrap_text = false,
                                            .orientation = 0,
                                            .add_indent = false,
                                            .indent_level = 0,
                                            .shrink_to_fit = false,
                                            .merge_cells = false});
  if (w > 1) sheet.merge(title);
  sheet.set_row_height(1, 1, 45);
  sheet.set_value(1, 1, Value::text(sheet.name()));
  FontPatch font = plain_song(14);
  font.bold = true;
  sheet.set_font(Area::cell(1, 1), font);
  sheet.set_alignment(Area::cell(1, 1), AlignmentPatch{.horizontal = HAlign::Center,
                                                       .vertical = VAlign::Top,
                                                       .wrap_text = false,
                                                       .orientation = 0,
                                                       .add_indent = false,
                                                       .indent_level = 0,
                                                       .shrink_to_fit = true});
  sheet.select(Area::cell(1, 1));
}

void Ksfx::ksfx_append_to_averages(host::Worksheet& averages, const std::string& source_name) {
  step_ = "把工作表“" + source_name + "”附到“" + kSheetAverages + "”下面";
  host_app.set_display_alerts(false);
  host::Worksheet& source = work_book->sheet(source_name);
  source.activate();
  host::CellRef at = source.active_cell();
  Area table = source.current_region(at.row, at.col);
  source.select(table);
  host_app.copy(source, table);
  averages.activate();
  // Directly below the last row the run wrote there: an empty cell in column
  // A (a class nobody sat in, a code the style blanked) must not decide it.
  const int below = averages_end_ + 1;
  averages.select(Area::cell(below, 1));
  host_app.paste(averages, {below, 1});
  host_app.end_copy_mode();
  averages_end_ += table.row_count();
  work_book->delete_sheet(source);
}

}  // namespace lczs::examanalysis
