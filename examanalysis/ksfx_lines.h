// Score lines (分数线): the lines the office sets on the total, and per line
// how many reach it, which subjects carry them (有效分, 单上线, 双上线, 贡献率,
// 命中率) and who is just below (临界生). Pure functions of the settings and
// the present students' scores; the sheet is made by Ksfx.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

namespace lczs::examanalysis {

inline constexpr const char* kSheetLines = "分数线";
inline constexpr const char* kSheetLineReport = "上线分析";
// Width of the band below a line whose students are 临界生, unless the line's
// row gives another.
inline constexpr double kDefaultDelta = 10;

struct ScoreLine {
  std::string name;
  double line = 0;
  double delta = kDefaultDelta;
  std::string typed;  // the 分数线 cell as typed ("前100名" or the number)
};

struct LineBook {
  std::vector<ScoreLine> lines;
  std::string problem;  // refusal text, "" when usable
};

// Reads 名称 | 分数线 | δ. `highest_total` is the highest total the settings
// allow; `totals` the present students' totals (any order), for 前N名.
LineBook read_lines(const host::Worksheet& sheet, double highest_total, std::vector<double> totals);

// The present students: class code, total, and each subject's score (NaN
// where the student did not take it).
struct LineStudents {
  std::vector<double> codes;
  std::vector<double> totals;
  std::vector<std::vector<double>> scores;  // [subject][student]
};

struct SubjectAtLine {
  bool defined = false;  // someone who took it reached the line
  double effective = 0;  // 有效分
  int single = 0;        // 单上线
  int both = 0;          // 双上线
  int reached = 0;       // takers at or above the line (贡献率's divisor)
};

struct LineFigures {
  std::vector<int> above;               // per class (codes ascending), the grade last
  std::vector<int> present;             // the same groups' sizes
  std::vector<SubjectAtLine> subjects;  // grade figures per subject
  std::vector<int> near;                // 临界生: students, class then total descending
  std::vector<int> weakest;             // per 临界生, the subject (-1 when none)
};

// `classes` ascending.
LineFigures line_figures(const LineStudents& students, const std::vector<double>& classes,
                         const ScoreLine& line);

}  // namespace lczs::examanalysis
