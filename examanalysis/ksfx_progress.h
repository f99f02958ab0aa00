// 进退步: each student's grade rank (and each subject's) against an earlier
// exam, matched by name since 学号 restarts in each class and classes change
// between exams. Pure functions of the two exams' rows; the sheet is made by
// Ksfx.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

namespace lczs::examanalysis {

inline constexpr const char* kSheetPrevious = "上次成绩";
inline constexpr const char* kSheetProgress = "进退步";
inline constexpr const char* kSheetOptions = "分析选项";
// The command's option that loads the earlier exam from a file.
inline constexpr const char* kPreviousOption = "--previous";
inline constexpr double kDefaultThreshold = 50;
// How many of the largest rises and falls the sheet lists.
inline constexpr int kLargestMoves = 20;

// The 分析选项 sheet (名称 | 值).
struct AnalysisOptions {
  std::string match_by = "姓名";  // 匹配依据
  double threshold = kDefaultThreshold;  // 进退步阈值
  std::string problem;
};
AnalysisOptions read_options(const host::Worksheet* sheet);

// One exam's students: who they are and their grade ranks (0 = not ranked),
// overall and per subject of `subjects`.
struct Roster {
  std::vector<std::string> key;     // the 匹配依据 column's text
  std::vector<std::string> name;    // 姓名
  std::vector<std::string> number;  // 学号
  std::vector<double> code;         // 班级
  std::vector<int> rank;
  std::vector<std::vector<int>> subject_rank;  // [subject][student]
};

// Shared ranks, the highest first (600, 590, 590, 580: 1, 2, 2, 4); NaN
// scores are not ranked (0).
std::vector<int> grade_ranks(const std::vector<double>& scores);

// Reads the earlier exam from 上次成绩: the input layout (班级, 学号, 姓名,
// scores) or an lczs report's 年级实考 (then 总分 ends the subjects).
// `subjects` are this exam's; `elective` marks those a blank in which is not
// absence. Sets `problem` when the sheet has no usable layout.
Roster read_previous(const host::Worksheet& sheet, const std::string& match_by,
                     const std::vector<std::string>& subjects, const std::vector<bool>& elective,
                     std::string& problem);

// Pairs (now, then) of matched students, and the unmatched of each side. A
// key that occurs more than once on either side is matched by key, 学号 and
// 班级 where that is unique on both sides.
struct Matching {
  std::vector<std::pair<int, int>> pairs;
  std::vector<int> unmatched_now, unmatched_then;
};
Matching match_students(const Roster& now, const Roster& then);

}  // namespace lczs::examanalysis
