// 会考成绩分析: the driver, the input checks and the preparation of
// "原始数据", "年级实考" and "年级缺考".
#include "proficiency/hkfx.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "host/numbers.h"
#include "proficiency/hk_state.h"
#include "proficiency/proficiency.h"
#include "ui/ui.h"

namespace lczs::proficiency {

using host::Area;
using host::Value;

namespace {

std::string cell_name(int row, int col) { return host::address(Area::cell(row, col), false); }

bool is_blank(const Value& v) { return v.is_empty() || (v.is_text() && v.as_text().empty()); }

bool is_zero(const Value& v) { return v.is_number() && v.as_number() == 0; }

bool is_grade_letter(const Value& v) {
  if (!v.is_text() || v.as_text().size() != 1) return false;
  char ch = v.as_text()[0];
  return (ch >= 'A' && ch <= 'E') || (ch >= 'a' && ch <= 'e');
}

// A class value as a key that tells apart what class_differs tells apart.
std::string class_key(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Text:
      return "t" + v.as_text();
    case Value::Kind::Error:
      return "e" + std::string(host::error_text(v.as_error()));
    case Value::Kind::Empty:
      return "n0";
    case Value::Kind::Number:
    case Value::Kind::Boolean: {
      double d = v.is_boolean() ? (v.as_boolean() ? -1.0 : 0.0) : v.as_number();
      if (d == 0) d = 0;  // -0 and 0 are one class
      std::uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      return "n" + std::to_string(bits);
    }
  }
  return {};
}

// Why a cell that looks like a grade letter is not one, for the refusal
// box: the two slips a user cannot see in the cell itself.
std::string letter_slip(const Value& v) {
  if (!v.is_text()) return {};
  const std::string trimmed = host::trim(v.as_text());
  if (trimmed != v.as_text() && is_grade_letter(Value::text(trimmed))) return "，前后多了空格";
  // Ａ..Ｅ and ａ..ｅ, as an input method in full-width mode types them.
  if (trimmed.size() == 3 && static_cast<unsigned char>(trimmed[0]) == 0xEF) {
    const auto b1 = static_cast<unsigned char>(trimmed[1]), b2 = static_cast<unsigned char>(trimmed[2]);
    if ((b1 == 0xBC && b2 >= 0xA1 && b2 <= 0xA5) || (b1 == 0xBD && b2 >= 0x81 && b2 <= 0x85))
      return "，是全角字母，请改为半角";
  }
  return {};
}

std::string quoted_sheet(const host::Worksheet& sheet) { return "工作表“" + sheet.name() + "”"; }

}  // namespace

bool class_differs(const Value& a, const Value& b) {
  auto numeric = [](const Value& v, double& out) {
    if (v.is_empty()) { out = 0; return true; }
    if (v.is_number()) { out = v.as_number(); return true; }
    if (v.is_boolean()) { out = v.as_boolean() ? -1 : 0; return true; }
    return false;
  };
  if (a.is_error() || b.is_error()) return !(a.is_error() && b.is_error() && a.as_error() == b.as_error());
  if (a.is_text() && b.is_text()) return a.as_text() != b.as_text();
  if (a.is_text() && b.is_empty()) return !a.as_text().empty();
  if (a.is_empty() && b.is_text()) return !b.as_text().empty();
  double x = 0, y = 0;
  if (numeric(a, x) && numeric(b, y)) return x != y;
  return true;  // a number and a text never stand for the same class
}

std::optional<std::string> hkfx_check_input(host::Workbook& book, host::Worksheet& input,
                                            InputShape* shape) {
  // The run names sheets it makes; a taken name would make it fail halfway.
  for (std::string_view made : {kPresentSheet, kAbsentSheet, kReportSheet, kRawSheet}) {
    host::Worksheet* found = book.find_sheet(std::string(made));
    if (found == nullptr || (made == kRawSheet && found == &input)) continue;
    return "工作簿中已有工作表“" + std::string(made) + "”，分析要新建同名的工作表。请将它改名或删除后再运行。";
  }

  const Area region = input.current_region(1, 1);
  const int n = region.row_count() - 1;
  const int c = region.right;
  const std::string where = quoted_sheet(input);
  if (region.is_single_cell() && input.value(1, 1).is_empty()) {
    return where + "从 A1 起没有数据。请先选中会考成绩所在的工作表，再运行。";
  }
  if (c < 4) {
    return where + "从 A1 起的数据只有 " + host::int_text(c) +
           " 列，没有学科列（学科从 D 列开始）。请按格式要求调整后再运行。";
  }

  bool has_blank = false;
  std::vector<host::CellRef> blanks;
  int with_gap = 0;  // students with a blank or a 0 in some subject
  std::set<std::string> all_classes, gapless_classes;
  const host::ValueGrid table = n > 0 ? input.values(Area{2, 1, n + 1, c}) : host::ValueGrid();
  for (int r = 2; r <= n + 1; ++r) {
    const Value& cls = table.at(r - 2, 0);
    if (is_blank(cls)) {
      return where + "的单元格 " + cell_name(r, 1) + " 没有填写班级，请填写后再运行。";
    }
    bool gap = false;
    for (int col = 4; col <= c; ++col) {
      const Value& v = table.at(r - 2, col - 1);
      if (is_blank(v)) {
        has_blank = gap = true;
        blanks.push_back({r, col});
      } else if (is_zero(v)) {
        gap = true;
      } else if (!is_grade_letter(v)) {
        return where + "的单元格 " + cell_name(r, col) + " 不是等级（应为 A 至 E 的字母或留空，现为“" +
               v.display_text() + "”" + letter_slip(v) + "），请处理后再运行。";
      }
    }
    std::string key = class_key(cls);
    all_classes.insert(key);
    if (gap) {
      ++with_gap;
    } else {
      gapless_classes.insert(key);
    }
  }

  // A 0 moves its student out only when some grade is blank; otherwise
  // every student stays.
  const long long absent = has_blank ? with_gap : 0;
  const long long present = n - absent;
  const long long classes = has_blank ? gapless_classes.size() : all_classes.size();
  const long long subjects = c - 3;
  long long last = n + 1;
  if (has_blank) last = std::max(last, n + kParkGap + absent);
  last = std::max(last, present + kTableGap + subjects * (classes + 1));
  if (last > kLastUsableRow) {
    return where + "有 " + host::int_text(n) + " 名学生、" + host::int_text(subjects) +
           " 门学科，分析要用到第 " + host::int_text(last) + " 行，超过了 " +
           host::int_text(kLastUsableRow) + " 行的上限。请分成几份后再运行。";
  }
  if (shape != nullptr) *shape = InputShape{n, c, std::move(blanks)};
  return std::nullopt;
}

void hkfx_prepare(jobs::JobEnv& env, HkState& st) {
  st.hk_go_on = true;
  st.hk_has_absent = false;

  if (env.ui.message_box(kAskStart, ui::Buttons::OkCancel, ui::kTitle) == ui::kCancel) {
    st.hk_go_on = false;
    return;
  }
  {
    auto form = make_hkgssz(st);
    env.ui.show_modal(*form);
  }
  if (!st.hk_go_on) return;

  host::Application& app = env.host_app;
  host::Workbook& book = *st.work_book;
  host::Worksheet& input = *st.work_sheet;
  InputShape shape;
  if (auto refusal = hkfx_check_input(book, input, &shape)) {
    env.ui.message_box(*refusal, ui::Buttons::Ok, ui::kTitle);
    st.refused = true;
    st.hk_go_on = false;
    return;
  }

  input.activate();
  app.set_screen_updating(false);

  // The input keeps its place as "原始数据"; the working copy goes right
  // after the first sheet, wherever the input stands.
  input.set_name(std::string(kRawSheet));
  host::Worksheet& present = book.copy_sheet_after(input, book.sheet(1));
  present.set_name(std::string(kPresentSheet));
  st.work_sheet = st.present_sheet = &present;

  // The copy's block is the input's, as the checks measured it: header
  // row, N students, C columns.
  const int n = shape.students;
  const int c = shape.columns;
  const int s = c - 3;
  st.hk_student_count = n;
  st.hk_subject_count = s;
  const Area block{1, 1, n + 1, c};

  // A missing grade becomes 0 so that the student can be found again below.
  for (const host::CellRef& cell : shape.blanks) {
    present.set_value(cell.row, cell.col, Value::number(0));
    st.hk_has_absent = true;
  }

  // Row 1 is the header by the layout the form shows. Letting the
  // application guess fails on a list written wholly as text (class names,
  // student numbers such as "01"): the header then sorts in among students.
  host::SortSpec by_class;
  by_class.key1 = {1, host::SortOrder::Ascending};
  by_class.header = host::SortHeader::Yes;
  present.sort(block, by_class);

  int moved = 0;
  if (st.hk_has_absent) {
    host::Worksheet& absent = book.add_sheet();
    absent.set_name(std::string(kAbsentSheet));
    book.move_sheet_before(absent, present);
    st.absent_sheet = &absent;

    app.copy(present, Area::rows(1, 1));
    app.paste(absent, {1, 1});
    app.end_copy_mode();

    host::SortSpec by_class_number = by_class;
    by_class_number.key2 = host::SortKey{2, host::SortOrder::Ascending};
    present.sort(block, by_class_number);

    // Each student with a missing grade is parked below the list once,
    // however many grades he lacks.
    const int park = n + kParkGap + 1;
    // Moving a row out changes no row read later, so one read serves all.
    const host::ValueGrid grades = present.values(Area{2, 4, n + 1, s + 3});
    for (int r = 2; r <= n + 1; ++r) {
      for (int col = 4; col <= s + 3; ++col) {
        if (!is_zero(grades.at(r - 2, col - 4))) continue;
        app.copy(present, Area::rows(r, r));
        app.paste(present, {park + moved, 1});
        app.end_copy_mode();
        present.clear_contents(Area::rows(r, r));
        ++moved;
        break;
      }
    }

    // The parked rows stand together, every one with its class filled in.
    const Area parked{park, 1, park + moved - 1, c};
    app.copy(present, parked);
    app.paste(absent, {2, 1});
    app.end_copy_mode();
    present.delete_cells(parked, host::Shift::Auto);
  }

  // Close the gaps the parked students left. The header stays out of the
  // sort: class names written as text would otherwise sort above it.
  if (n > 0) {
    host::SortSpec gaps_last;
    gaps_last.key1 = {1, host::SortOrder::Descending};
    gaps_last.header = host::SortHeader::No;
    present.sort(Area{2, 1, n + 1, c}, gaps_last);
  }
  const int p = n - moved;
  st.hk_present_count = p;
  if (st.hk_has_absent && n > p) present.delete_cells(Area{p + 2, 1, n + 1, c}, host::Shift::Auto);
}

// ---- The driver ---------------------------------------------------------------

Proficiency::Proficiency() : state_(std::make_unique<HkState>()) {}
Proficiency::~Proficiency() = default;

HkState& Proficiency::state() { return *state_; }

std::vector<jobs::Command> Proficiency::commands() {
  return {{.name = "proficiency",
           .aliases = {"会考"},
           .button = "会考成绩分析",
           .summary = "会考成绩分析：按班统计各科 A～E 的人数、AB 率和合格率",
           .book_required = true,
           .saves = true,
           .exit_message = std::string(kQuit),
           .forms = {hkgssz_flags()},
           // 班级, 学号, 姓名 and a subject at least.
           .sheet_fits = [](const host::Worksheet& ws) { return jobs::table_from_a1(ws, 4); }}};
}

namespace {

// Leaves the application as a user expects it after an unfinished run.
void restore_application(jobs::JobEnv& env) {
  try {
    env.host_app.end_copy_mode();
    env.host_app.set_screen_updating(true);
  } catch (const std::exception&) {
    // The run already reports its failure; nothing more to tell.
  }
}

}  // namespace

jobs::JobOutcome Proficiency::hkfx_run(jobs::JobEnv& env) {
  HkState& st = *state_;
  st.reset();
  std::string step = "准备数据";
  try {
    st.work_book = &env.host_app.active_workbook();
    st.work_sheet = &st.work_book->active_sheet();
    st.hk_go_on = true;
    hkfx_prepare(env, st);
    if (st.hk_go_on) {
      step = "统计各等级人数";
      hkfx_grade_stats(env, st);
      step = "生成分析表并保存";
      hkfx_format(env, st);
      env.ui.message_box(kDone, ui::Buttons::Ok, ui::kTitle);
      env.host_app.set_screen_updating(true);
      return jobs::JobOutcome::Completed;
    }
  } catch (const host::SaveError& e) {
    restore_application(env);
    env.ui.message_box(std::string("保存工作簿失败：") + e.what(), ui::Buttons::Ok, ui::kTitle);
    return jobs::JobOutcome::SaveFailed;
  } catch (const std::exception& e) {
    restore_application(env);
    st.reset();
    env.ui.message_box("会考成绩分析在“" + step + "”时出错：" + e.what() +
                           "\n分析没有完成，工作簿没有保存。",
                       ui::Buttons::Ok, ui::kTitle);
    env.ui.message_box(kQuit, ui::Buttons::Ok, ui::kTitle);
    return jobs::JobOutcome::Stopped;
  }
  st.reset();
  env.ui.message_box(kQuit, ui::Buttons::Ok, ui::kTitle);
  return jobs::JobOutcome::Stopped;
}

}  // namespace lczs::proficiency
