// What 进退步 adds to the report: the earlier exam read and matched before
// anything changes, and the sheet 进退步 (per class, the largest moves, every
// matched student, and everyone left unmatched).
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "examanalysis/ksfx.h"
#include "host/numbers.h"

namespace lczs::examanalysis {

using host::Area;
using host::Value;
using host::ValueGrid;

namespace {

constexpr double kColumnWidth = 10;
constexpr int kBlockGap = 1;
constexpr const char* kMoveHeaders[] = {"班级", "学号", "姓名", "上次年级名次", "本次年级名次", "名次变化"};
constexpr int kMoveColumns = static_cast<int>(std::size(kMoveHeaders));

std::string number_text(double v) { return Value::number(v).display_text(); }

}  // namespace

std::string Ksfx::ksfx_collect_progress() {
  options_ = std::make_unique<AnalysisOptions>(read_options(companion_sheet(kSheetOptions)));
  if (!options_->problem.empty()) return options_->problem;
  const ExamPlan& p = plan();
  host::Worksheet& data = *work_sheet;
  const int n = static_cast<int>(student_codes_.size());
  subject_names_.clear();
  for (const SubjectRule& r : rate_rules_.rules) subject_names_.push_back(r.subject);
  subject_names_.pop_back();  // 总分

  std::string problem;
  std::vector<bool> elective = p.electives ? p.elective : std::vector<bool>(subject_names_.size(), false);
  then_ = read_previous(*companion_sheet(kSheetPrevious), options_->match_by, subject_names_, elective, problem);
  if (!problem.empty()) return problem;

  now_ = Roster{};
  const ValueGrid ids = data.values(Area{2, 1, n + 1, 3});
  for (int i = 0; i < n; ++i) {
    now_.code.push_back(student_codes_[i]);
    now_.number.push_back(host::trim(ids.at(i, 1).display_text()));
    now_.name.push_back(host::trim(ids.at(i, 2).display_text()));
    now_.key.push_back(options_->match_by == "学号" ? now_.number.back() : now_.name.back());
  }
  const std::vector<double> totals = present_totals();
  now_.rank = grade_ranks(totals);
  for (const std::vector<double>& scores : student_scores_) {
    // Ranked among the present students who took the subject.
    std::vector<double> taken(n, std::nan(""));
    for (int i = 0; i < n; ++i)
      if (!std::isnan(totals[i]) && !std::isnan(scores[i])) taken[i] = scores[i];
    now_.subject_rank.push_back(grade_ranks(taken));
  }
  matching_ = match_students(now_, then_);
  const long long matched = static_cast<long long>(matching_.pairs.size());
  if (2 * matched < n)
    return std::string("工作表“") + kSheetPrevious + "”与本次成绩按" + options_->match_by + "只对上了" +
           host::int_text(matched) + "名学生，不到本次" + host::int_text(n) +
           "名学生的一半，可能不是同一个年级的成绩，请检查后再运行。";
  return "";
}

void Ksfx::ksfx_progress_sheet() {
  step_ = std::string("制作工作表“") + kSheetProgress + "”";
  host::Worksheet& back = work_book->active_sheet();
  host::Worksheet& sheet = ksfx_last_sheet(kSheetProgress);
  const int classes = static_cast<int>(class_codes_.size());
  const int subjects = static_cast<int>(subject_names_.size());
  const double threshold = options_->threshold;
  const std::string limit = number_text(threshold);
  auto id_cells = [&](ValueGrid& g, int r, const Roster& who, int i) {
    g.at(r, 0) = Value::number(who.code[i]);
    g.at(r, 1) = Value::text(who.number[i]);
    g.at(r, 2) = Value::text(who.name[i]);
  };
  // The matched students ranked in both exams, with their change.
  struct Move {
    int now, then, change;
  };
  std::vector<Move> moves;
  for (auto [i, k] : matching_.pairs)
    if (now_.rank[i] > 0 && then_.rank[k] > 0) moves.push_back({i, k, then_.rank[k] - now_.rank[i]});

  int top = 1;
  // Per class.
  sheet.set_value(top, 1, Value::text("各班进退步"));
  const char* class_headers[] = {"班级", "两次都有名次的人数", "平均名次变化", "进步超过阈值人数", "退步超过阈值人数"};
  ValueGrid per_class(classes + 2, 5);
  for (int c = 0; c < 5; ++c) per_class.at(0, c) = Value::text(class_headers[c]);
  for (int g = 0; g <= classes; ++g) {
    int count = 0, up = 0, down = 0;
    double sum = 0;
    for (const Move& m : moves) {
      if (g < classes && now_.code[m.now] != class_codes_[g]) continue;
      ++count;
      sum += m.change;
      up += m.change > threshold;
      down += -m.change > threshold;
    }
    per_class.at(g + 1, 0) = g < classes ? Value::number(class_codes_[g]) : Value::text("年级");
    per_class.at(g + 1, 1) = Value::number(count);
    if (count > 0) per_class.at(g + 1, 2) = Value::number(sum / count);
    per_class.at(g + 1, 3) = Value::number(up);
    per_class.at(g + 1, 4) = Value::number(down);
  }
  sheet.write_values({top + 1, 1}, per_class);
  sheet.set_number_format(Area{top + 2, 3, top + 2 + classes, 3}, "0.00");
  ksfx_block_style(sheet, Area{top, 1, top + 2 + classes, 5});
  top = ksfx_notes(sheet, top + 3 + classes,
              {"名次变化＝上次年级名次－本次年级名次，正数为进步、负数为退步；按本次所在班级统计。",
               "进步（退步）超过阈值：名次变化大于 " + limit + "（小于 −" + limit + "）的人数；阈值在“" +
                   std::string(kSheetOptions) + "”的“进退步阈值”一行，默认 " + number_text(kDefaultThreshold) + " 名。"}) +
        kBlockGap;

  // The largest rises and falls.
  for (bool rise : {true, false}) {
    std::vector<Move> sorted = moves;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const Move& a, const Move& b) {
      return rise ? a.change > b.change : a.change < b.change;
    });
    std::vector<Move> shown;
    for (const Move& m : sorted)
      if (static_cast<int>(shown.size()) < kLargestMoves && (rise ? m.change > 0 : m.change < 0)) shown.push_back(m);
    sheet.set_value(top, 1, Value::text(std::string("年级") + (rise ? "进步" : "退步") + "最大的" +
                                        host::int_text(kLargestMoves) + "名"));
    ValueGrid list(static_cast<int>(shown.size()) + 1, kMoveColumns);
    for (int c = 0; c < kMoveColumns; ++c) list.at(0, c) = Value::text(kMoveHeaders[c]);
    for (std::size_t r = 0; r < shown.size(); ++r) {
      const Move& m = shown[r];
      id_cells(list, static_cast<int>(r) + 1, now_, m.now);
      list.at(static_cast<int>(r) + 1, 3) = Value::number(then_.rank[m.then]);
      list.at(static_cast<int>(r) + 1, 4) = Value::number(now_.rank[m.now]);
      list.at(static_cast<int>(r) + 1, 5) = Value::number(m.change);
    }
    sheet.write_values({top + 1, 1}, list);
    ksfx_block_style(sheet, Area{top, 1, top + 1 + static_cast<int>(shown.size()), kMoveColumns});
    top += 2 + static_cast<int>(shown.size()) + kBlockGap;
  }

  // Every matched student: the grade rank and each subject's, then and now.
  std::vector<std::pair<int, int>> pairs = matching_.pairs;
  std::stable_sort(pairs.begin(), pairs.end(), [&](auto a, auto b) {
    if (now_.code[a.first] != now_.code[b.first]) return now_.code[a.first] < now_.code[b.first];
    const int ra = now_.rank[a.first] ? now_.rank[a.first] : INT32_MAX;
    const int rb = now_.rank[b.first] ? now_.rank[b.first] : INT32_MAX;
    return ra < rb;
  });
  const int width = kMoveColumns + 3 * subjects;
  sheet.set_value(top, 1, Value::text("学生进退步"));
  ValueGrid all(static_cast<int>(pairs.size()) + 1, width);
  for (int c = 0; c < kMoveColumns; ++c) all.at(0, c) = Value::text(kMoveHeaders[c]);
  for (int j = 0; j < subjects; ++j) {
    all.at(0, kMoveColumns + 3 * j) = Value::text(subject_names_[j] + "上次");
    all.at(0, kMoveColumns + 3 * j + 1) = Value::text(subject_names_[j] + "本次");
    all.at(0, kMoveColumns + 3 * j + 2) = Value::text(subject_names_[j] + "变化");
  }
  auto ranks = [&](ValueGrid& g, int r, int col, int then_rank, int now_rank) {
    if (then_rank) g.at(r, col) = Value::number(then_rank);
    if (now_rank) g.at(r, col + 1) = Value::number(now_rank);
    if (then_rank && now_rank) g.at(r, col + 2) = Value::number(then_rank - now_rank);
  };
  for (std::size_t r = 0; r < pairs.size(); ++r) {
    const auto [i, k] = pairs[r];
    const int row = static_cast<int>(r) + 1;
    id_cells(all, row, now_, i);
    ranks(all, row, 3, then_.rank[k], now_.rank[i]);
    for (int j = 0; j < subjects; ++j)
      ranks(all, row, kMoveColumns + 3 * j, then_.subject_rank[j][k], now_.subject_rank[j][i]);
  }
  sheet.write_values({top + 1, 1}, all);
  ksfx_block_style(sheet, Area{top, 1, top + 1 + static_cast<int>(pairs.size()), width});
  top = ksfx_notes(sheet, top + 2 + static_cast<int>(pairs.size()),
              {"按本次班级和本次年级名次排列；名次为空表示那次缺考（或没考这一科）。各科名次是该科在考了这一科的学生中的年级名次。",
               "学生按“" + options_->match_by + "”对应（“" + std::string(kSheetOptions) + "”的“匹配依据”一行可改为学号）；"
               "重名的学生按姓名、学号和班级都相同来对应，仍对不上的列在下面。"}) +
        kBlockGap;

  // The unmatched of both sides, never dropped silently.
  sheet.set_value(top, 1, Value::text("未对应的学生"));
  const int unmatched = static_cast<int>(matching_.unmatched_now.size() + matching_.unmatched_then.size());
  ValueGrid rest(unmatched + 1, 4);
  const char* rest_headers[] = {"班级", "学号", "姓名", "出现在"};
  for (int c = 0; c < 4; ++c) rest.at(0, c) = Value::text(rest_headers[c]);
  int r = 1;
  for (int i : matching_.unmatched_now) {
    id_cells(rest, r, now_, i);
    rest.at(r++, 3) = Value::text("本次");
  }
  for (int k : matching_.unmatched_then) {
    id_cells(rest, r, then_, k);
    rest.at(r++, 3) = Value::text(std::string("上次（“") + kSheetPrevious + "”）");
  }
  sheet.write_values({top + 1, 1}, rest);
  ksfx_block_style(sheet, Area{top, 1, top + 1 + unmatched, 4});

  sheet.set_column_width(1, std::max(width, 6), kColumnWidth);
  ksfx_title_row(sheet);
  back.activate();
}

}  // namespace lczs::examanalysis
