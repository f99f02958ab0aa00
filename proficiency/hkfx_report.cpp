// 会考成绩分析: the grade counts per class and subject, and the report sheet.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "host/numbers.h"
#include "proficiency/hkfx.h"

namespace lczs::proficiency {

using host::Area;
using host::Value;

namespace {

constexpr std::array<const char*, 10> kHeaders = {"班级",    "学科",    "参考人数", "A等人数", "B等人数",
                                                  "C等人数", "D等人数", "E等人数",  "AB率",    "合格率"};
constexpr std::array<const char*, 5> kLetters = {"A", "B", "C", "D", "E"};

// The input checks keep runs within the sheet; this guards the one case
// they cannot foresee.
int checked_row(int row) {
  if (row > kLastUsableRow) {
    throw host::OverflowError("统计表要写到第 " + host::int_text(row) + " 行，超过了 " +
                              host::int_text(kLastUsableRow) + " 行的上限");
  }
  return row;
}

using Counts = std::array<int, 5>;

// The five letter counts of rows first..last of column col, with the host's
// count-if rule (letters match either case).
Counts count_letters(host::Worksheet& sheet, host::WorksheetFunctions& fn, int first, int last, int col) {
  Counts counts{};
  if (last < first) return counts;
  for (std::size_t k = 0; k < kLetters.size(); ++k)
    counts[k] = fn.count_if(sheet, Area{first, col, last, col}, Value::text(kLetters[k]));
  return counts;
}

// One row of the table: who, which subject, how many, the letter counts and
// the two rates.
void fill_row(host::ValueGrid& table, int row, const Value& who, const std::string& subject, int size,
              const Counts& counts) {
  table.at(row, 0) = who;
  table.at(row, 1) = Value::text(subject);
  table.at(row, 2) = Value::number(size);
  for (std::size_t k = 0; k < counts.size(); ++k)
    table.at(row, 3 + static_cast<int>(k)) = Value::number(counts[k]);
  // With nobody to count there is no rate to show.
  if (size == 0) return;
  table.at(row, 8) = Value::number(static_cast<double>(counts[0] + counts[1]) / size);
  table.at(row, 9) = Value::number(1.0 - static_cast<double>(counts[4]) / size);
}

}  // namespace

void hkfx_grade_stats(jobs::JobEnv& env, HkState& st) {
  host::Worksheet& sheet = *st.present_sheet;
  host::WorksheetFunctions& fn = env.host_app.worksheet_function();
  st.work_sheet = &sheet;
  sheet.activate();

  host::SortSpec by_class_number;
  by_class_number.key1 = {1, host::SortOrder::Ascending};
  by_class_number.key2 = host::SortKey{2, host::SortOrder::Ascending};
  // Row 1 is the header whatever the list holds (see hkfx_prepare).
  by_class_number.header = host::SortHeader::Yes;
  const int p = st.hk_present_count;
  const int s = st.hk_subject_count;
  sheet.sort(Area{1, 1, p + 1, s + 3}, by_class_number);

  const int h = checked_row(p + kTableGap);
  for (int k = 0; k < static_cast<int>(kHeaders.size()); ++k) sheet.set_value(h, k + 1, Value::text(kHeaders[k]));

  // The classes stand in blocks of rows; a block ends where the class
  // value differs from the next row's (below the last student the empty row
  // differs). The blocks are the same for every subject.
  struct Block {
    int first, last;
    Value cls;
  };
  std::vector<Block> blocks;
  if (p > 0) {
    const host::ValueGrid classes = sheet.values(Area{2, 1, p + 1, 1});
    int start = 2;
    for (int r = 2; r <= p + 1; ++r) {
      // The last student closes his class even when the class value would
      // read as equal to the empty row below it (class 0).
      if (r < p + 1 && !class_differs(classes.at(r - 2, 0), classes.at(r - 1, 0))) continue;
      blocks.push_back({start, r, classes.at(start - 2, 0)});
      start = r + 1;
    }
  }

  const int rows = s * (static_cast<int>(blocks.size()) + 1);
  if (static_cast<long long>(h) + rows > kLastUsableRow) checked_row(std::max(h + 1, kLastUsableRow + 1));
  if (s > 0) {
    const host::ValueGrid names = sheet.values(Area{1, 4, 1, s + 3});
    host::ValueGrid table(rows, static_cast<int>(kHeaders.size()));
    int row = 0;
    for (int j = 4; j <= s + 3; ++j) {
      const std::string name = names.at(0, j - 4).display_text();
      // Every present student stands in exactly one block, so the grade's
      // counts are the sums of the classes' counts.
      Counts grade{};
      for (const Block& b : blocks) {
        const Counts counts = count_letters(sheet, fn, b.first, b.last, j);
        for (std::size_t k = 0; k < grade.size(); ++k) grade[k] += counts[k];
        fill_row(table, row++, b.cls, name, b.last - b.first + 1, counts);
      }
      fill_row(table, row++, Value::text("年级"), name, p, grade);
    }
    sheet.write_values({h + 1, 1}, table);
  }
  st.table_last_row = h + rows;
}

void hkfx_format(jobs::JobEnv& env, HkState& st) {
  host::Application& app = env.host_app;
  host::Workbook& book = *st.work_book;
  host::Worksheet& present = *st.present_sheet;

  // A new sheet goes before the active one, "年级实考".
  present.activate();
  host::Worksheet& report = book.add_sheet();
  report.set_name(std::string(kReportSheet));
  st.report_sheet = &report;

  present.activate();
  const Area table{st.hk_present_count + kTableGap, 1, st.table_last_row, static_cast<int>(kHeaders.size())};
  app.cut(present, table);

  st.work_sheet = &report;
  report.activate();
  report.select(Area::cell(1, 1));
  app.paste(report, {1, 1});
  app.end_copy_mode();
  report.select(Area::cell(1, 1));

  const Area grid = report.current_region(1, 1);
  const host::BorderSpec none{host::LineStyle::None};
  const host::BorderSpec thin{host::LineStyle::Continuous, host::BorderWeight::Thin,
                              host::kColorIndexAutomatic};
  report.set_borders(grid, {{host::BorderIndex::DiagonalDown, none},
                            {host::BorderIndex::DiagonalUp, none},
                            {host::BorderIndex::EdgeLeft, thin},
                            {host::BorderIndex::EdgeTop, thin},
                            {host::BorderIndex::EdgeBottom, thin},
                            {host::BorderIndex::EdgeRight, thin},
                            {host::BorderIndex::InsideVertical, thin},
                            {host::BorderIndex::InsideHorizontal, thin}});
  host::AlignmentPatch centred;
  centred.horizontal = host::HAlign::Center;
  centred.vertical = host::VAlign::Center;
  centred.wrap_text = false;
  centred.orientation = 0;
  centred.add_indent = false;
  centred.shrink_to_fit = false;
  centred.merge_cells = false;
  report.set_alignment(grid, centred);

  // The two rate columns are the last two of the table, header included.
  const Area again = report.current_region(1, 1);
  const int cols = again.col_count();
  const Area rates = Area::cell(1, 1).offset(0, cols - 2).resize(again.row_count(), 2);
  report.select(rates);
  report.set_number_format(rates, "0.00%");

  report.select(again);
  report.set_column_width(again.left, again.right, 8);

  if (st.hk_has_absent) {
    host::Worksheet& absent = *st.absent_sheet;
    absent.activate();
    absent.select(Area::cell(1, 1));
    const Area list = absent.current_region(1, 1);
    absent.select(list);
    absent.replace_whole(list, "0", " ");
    absent.select(Area::cell(1, 1));
  }

  report.activate();
  report.select(Area::cell(1, 1));
  book.save();
}

}  // namespace lczs::proficiency
