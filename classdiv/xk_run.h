// A division by elective combination from the plan to the sheets it writes:
// which group each student joins, the deal within each group, the sheet
// 选科分班 and the 结果 column of 选科.
//
// Groups are numbered in the plan's order (more fixed subjects first, then
// by the subject table) and the classes of one group together, so 组合班
// come first and the classes that walk most come last.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "classdiv/conditions.h"
#include "classdiv/xk_input.h"
#include "classdiv/xk_plan.h"
#include "jobs/job.h"

namespace lczs::classdiv {

// Options of `lczs classdiv` that override 选科设置.
inline constexpr const char* kElectiveSystemOption = "--elective-system";
inline constexpr const char* kSizeFloatOption = "--size-float";
inline constexpr const char* kTeachingCapOption = "--teaching-cap";

struct XkRun {
  Roster roster;
  XkChoices choices;
  XkPlan plan;
  // Per group: its first class and its name for the sheets (物化生 …).
  std::vector<int> first_class;
  // Per roster index: the group, filled by the deal.
  std::vector<int> group_of;
  // Per record number (1..N, as the search names students): roster index.
  std::vector<int> roster_of_record;
  int group_of_class(int c) const;
  std::string group_name(int g) const;
};

// Reads 选科 (and 选科设置) and plans, or the refusal's message.
std::variant<XkRun, std::string> xk_prepare(jobs::JobEnv& env, host::Workbook& book,
                                            const host::Worksheet& data, int students, int classes);

// The class of each row of the sorted sheet (`sorted` holds roster indices,
// boys first and each gender by total descending): each combination's
// students shared out over its groups in that order, then every group dealt
// in serpentine order over its own classes. Fills run.group_of.
std::vector<int> xk_deal(XkRun& run, const std::vector<int>& sorted, int boys);

// One teaching class (教学班) of a walked subject: 化学1, 化学2, …
struct XkTeachingClass {
  int subject = 0;  // in the subject table
  std::string name;
  std::vector<int> students;  // roster indices
};

// For each walked subject, the fewest teaching classes within 教学班上限
// that hold every student who walks to it, balanced by gender and by the
// score in that subject (the data sheet's column of that name, else the
// total). Needs run.group_of.
std::vector<XkTeachingClass> xk_teaching_classes(const XkRun& run, const std::vector<int>& class_of,
                                                 const std::vector<std::vector<double>>& scores,
                                                 const std::vector<std::string>& columns);

// The sheet 选科分班 (replaced when there) and 结果 on 选科. `class_of`
// holds each roster index's final class; `scores` the data sheet's score
// columns by roster index, for the spread of each group's averages.
void xk_write_results(const XkRun& run, host::Workbook& book, const std::vector<int>& class_of,
                      const std::vector<std::vector<double>>& scores, const std::vector<std::string>& columns);

// The one line on what the plan made.
std::string xk_summary(const XkRun& run);

}  // namespace lczs::classdiv
