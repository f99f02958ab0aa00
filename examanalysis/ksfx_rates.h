// 三率一分 and score bands: the figures a teaching office reports per class
// and subject, with the settings that define them. The figures are pure
// functions of the scores; the sheets that show them are made by Ksfx.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

namespace lczs::examanalysis {

inline constexpr const char* kSheetSettings = "分析设置";
inline constexpr const char* kSheetSubjects = "学科分析";
inline constexpr const char* kSheetBandCounts = "分数段";
inline constexpr const char* kSheetCharts = "图表";
inline constexpr const char* kTotal = "总分";
// The command's switch that asks for the figures without a settings sheet.
inline constexpr const char* kRatesOption = "--rates";

// Default lines and band width, in percent of 满分.
inline constexpr double kExcellentPercent = 85;
inline constexpr double kPassPercent = 60;
inline constexpr double kLowPercent = 40;
inline constexpr double kBandPercent = 10;
// 满分 of a subject the settings leave out: the first of these not below the
// highest score, else the next multiple of kFullStep.
inline constexpr double kUsualFullMarks[] = {100, 120, 150};
inline constexpr double kFullStep = 10;
// More bands than this makes a table nobody reads (and a width typed in the
// wrong unit); such a width is refused.
inline constexpr int kMaxBands = 200;

// How one subject (or 总分) is judged: 优秀 at or above `excellent`, 及格 at
// or above `pass`, 低分 below `low`; bands of `width` from `full` down.
struct SubjectRule {
  std::string subject;
  double full = 100;
  double excellent = 85;
  double pass = 60;
  double low = 40;
  double width = 10;
  bool inferred = false;  // 满分 guessed from the highest score
  bool summed = false;    // 总分's 满分 is the sum of the subjects'
};

// The rules of every subject in data order, then 总分.
struct RateRules {
  std::vector<SubjectRule> rules;
  std::string problem;  // refusal text, "" when the settings are usable
};

// The rule with the default lines and width for `full`.
SubjectRule default_rule(const std::string& subject, double full);
// 满分 guessed from a subject's highest score.
double inferred_full(double highest);

// Reads the settings sheet (nullptr: none, every subject on defaults).
// `subjects` and `highest` are the data's subject columns and their highest
// scores. Refusals name the settings sheet, the row and the cell.
RateRules read_rate_rules(const host::Worksheet* settings, const std::vector<std::string>& subjects,
                          const std::vector<double>& highest);

// The edges of the bands, from `full` down to 0: band k (from 0) holds the
// scores in [edges[k+1], edges[k]), the top band also `full` itself, the
// bottom band everything below its upper edge.
std::vector<double> band_edges(const SubjectRule& rule);
// The band of a score among `edges` (0 = the top band).
int band_of(double score, const std::vector<double>& edges);
// "135–150": the label of band k.
std::string band_label(const std::vector<double>& edges, int k);

// The figures of one group of scores (a class or the grade).
struct Figures {
  int count = 0;
  double mean = 0;
  double highest = 0;
  double lowest = 0;
  double deviation = 0;  // population standard deviation
  int excellent = 0;
  int pass = 0;
  int low = 0;
  std::vector<int> bands;  // per band of band_edges(rule)
};
Figures compute_figures(const std::vector<double>& scores, const SubjectRule& rule);

// Ranks of averages among classes: the highest is 1, equal averages share the
// better rank (1, 2, 2, 4); a class without students (nan) gets 0.
std::vector<int> average_ranks(const std::vector<double>& means);

}  // namespace lczs::examanalysis
