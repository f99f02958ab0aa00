// Electives and 等级赋分: which subjects a student may leave out, the grading
// schemes (built in or typed on 赋分方案) and the conversion of one subject's
// raw scores into graded ones. Pure functions of the settings and the
// scores; the sheets that show them are made by Ksfx.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

namespace lczs::examanalysis {

inline constexpr const char* kSheetSchemes = "赋分方案";
inline constexpr const char* kSheetGrading = "赋分对照";
inline constexpr const char* kCategoryRequired = "必考";
inline constexpr const char* kCategoryElective = "选考";
inline constexpr const char* kGradedTotal = "赋分总分";
// The converted column of a subject is its name with this after it.
inline constexpr const char* kGradedSuffix = "赋分";
// Shares are typed in percent with a couple of decimals; a sum this close to
// 100 is 100.
inline constexpr double kShareTolerance = 1e-6;
// Raw scores and scheme ends are turned into whole units of 10^-kMaxDecimals
// so that the conversion is done in integers; more decimals than this are
// rounded to it.
inline constexpr int kMaxDecimals = 4;

// One band of a scheme: its share of the takers and the range its scores are
// mapped into, `high` at the top.
struct GradeBand {
  std::string grade;
  double percent = 0;
  double high = 0;
  double low = 0;
};

struct GradingScheme {
  std::string name;
  std::vector<GradeBand> bands;  // best band first
};

// 五级 and 八级.
std::vector<GradingScheme> builtin_schemes();

// The built-in schemes and those of the 赋分方案 sheet (a sheet's scheme of
// a built-in name replaces it).
struct SchemeBook {
  std::vector<GradingScheme> schemes;
  std::string problem;  // refusal text, "" when usable
  // Index of a scheme by name, -1 when there is none.
  int find(const std::string& name) const;
};
SchemeBook read_schemes(const host::Worksheet* sheet);

// How each subject of the data is taken and converted, from the 类别 and 赋分
// columns of 分析设置.
struct ExamPlan {
  std::vector<bool> elective;   // per subject in data order
  std::vector<int> scheme;      // index into the scheme book, -1 = raw
  std::vector<int> scheme_row;  // the settings row naming it, for refusals
  std::string settings_name;    // the settings sheet's name, for refusals
  int scheme_col = 0;           // the 赋分 column
  bool electives = false;       // some subject is 选考
  bool grading = false;         // some subject is converted
  std::string problem;
};
ExamPlan read_exam_plan(const host::Worksheet* settings, const std::vector<std::string>& subjects,
                        const SchemeBook& book);

// One subject's conversion: every taker's raw score ranked highest first,
// cut into the scheme's bands and mapped into each band's range.
struct ScorePoint {
  double raw = 0;
  int count = 0;       // takers with this raw score
  int cumulative = 0;  // takers at or above it
  int band = 0;        // index into the scheme's bands
  double converted = 0;
};
struct BandResult {
  int count = 0;
  double target = 0;      // takers x the band's share
  double top_raw = 0;     // Y2, when count > 0
  double bottom_raw = 0;  // Y1, when count > 0
};
struct Grading {
  int takers = 0;
  std::vector<BandResult> bands;
  std::vector<ScorePoint> points;  // one per distinct raw score, highest first
  // The converted score of a raw score a taker has.
  double convert(double raw) const;
};
// `raw` holds the takers' scores in any order.
Grading grade_scores(std::vector<double> raw, const GradingScheme& scheme);

}  // namespace lczs::examanalysis
