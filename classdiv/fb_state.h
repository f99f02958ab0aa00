// The class division's module state: the settings of the current run, the
// counts and tables that the input step leaves for the search and the
// write-back, and the search's own working values.
//
// Integers that the application held as 16-bit are kept as int here; the
// steps check the ranges that matter (rows within the sheet) before they start.
// Reals that the application held in single precision are float, so the
// search computes exactly what it did.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "classdiv/fb_moves.h"
#include "host/host.h"

namespace lczs::classdiv {

// The search's seed when none is given: every run of the same book and
// settings makes the same choices.
inline constexpr std::uint64_t kFbDefaultSeed = 20240901;

struct FbConditions;  // classdiv/conditions.h
struct XkRun;         // classdiv/xk_run.h

struct FbState {
  // ---- the run ----------------------------------------------------------
  host::Workbook* work_book = nullptr;
  host::Worksheet* work_sheet = nullptr;

  // ---- settings (defaults restored by fb_run and fb_reset) -----------------
  int fb_time_limit = 120;   // seconds
  float fb_max_diff = 1.0f;  // largest spread of class averages accepted
  int fb_class_count = 0;    // K
  bool fb_go_on = true;
  // The search's random stream, and a bound in candidates judged that
  // replaces the clock when set (-1: the clock decides).
  std::uint64_t fb_seed = kFbDefaultSeed;
  long long fb_evaluation_limit = -1;
  // Whether the search goes on after the greedy cycles and writes back its
  // best state (ClassDivision::set_search).
  bool fb_whole_search = true;
  // Rules every exchange must keep; none when empty.
  std::unique_ptr<MoveRules> fb_rules;

  // ---- tables of the input step ------------------------------------------
  // Indexed from 1 like the sheet: fb_class_rows[c][1..4] = first row, last
  // boy row, first girl row, last row; fb_class_sizes[c][1..3] = size, boys,
  // girls. Row 0 and column 0 are unused.
  std::vector<std::vector<int>> fb_class_rows;
  std::vector<std::vector<int>> fb_class_sizes;
  // fb_record_no[r] for sheet rows r = 2..N+1 (entries 0 and 1 unused).
  std::vector<int> fb_record_no;
  int fb_score_cols = 0;     // M
  int fb_student_count = 0;  // N
  int fb_boy_count = 0;      // B
  int fb_girl_count = 0;     // G

  // ---- the search -----------------------------------------------------------
  // Clock readings (seconds of a monotonic clock) and the search's duration.
  double fb_start_time = 0;
  double fb_end_time = 0;
  double fb_elapsed = 0;
  float fb_max_spread = 0;
  float fb_best_gain = 0;
  // fb_class_avg[j][c], fb_cand_avg[j][c] for score column j = 1..M and class
  // c = 1..K, as read at the start of the latest cycle.
  std::vector<std::vector<float>> fb_class_avg;
  std::vector<std::vector<float>> fb_cand_avg;
  // Every exchange of the greedy cycles, in order: the rows (high class,
  // low class).
  std::vector<std::pair<int, int>> fb_exchanges;
  int fb_cycles = 0;                // greedy cycles run
  long long fb_candidates = 0;      // candidate exchanges judged, both phases
  bool fb_repeated = false;         // the greedy cycles came back to a state
  long long fb_refine_candidates = 0;  // of them judged after the greedy cycles
  // The best state's largest spread as the search computed it; the sheet's
  // spread row then shows it again (fb_max_spread after the write-back).
  double fb_best_spread = 0;

  // ---- conditions --------------------------------------------------------
  // What the workbook's 分班条件 sheet asks; null without that sheet, and
  // then nothing of the run differs.
  std::shared_ptr<FbConditions> fb_conditions;
  // The division by elective combination the sheet 选科 asks for; null
  // without that sheet, and then nothing of the run differs.
  std::shared_ptr<XkRun> fb_electives;

  // Row of the statistics block's header: N + 9.
  int stats_row() const { return fb_student_count + 9; }
};

}  // namespace lczs::classdiv
