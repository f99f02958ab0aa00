// The balancing search held in memory.
//
// The search used to read every score and class average from the sheet and
// let the application compute maxima, minima and means for every candidate
// exchange. This engine keeps the score table, the class averages and the
// spreads in memory and computes each value in the precision the sheet-based
// search used, so that it picks the same exchanges in the same order:
//   - class averages, spreads, the worst column and the high and low classes
//     are doubles, as the sheet's AVERAGEA cells give them: the scores of a
//     class's row block summed in row order and divided by its size,
//     recomputed from the rows after every exchange;
//   - the averages copied at the start of a cycle, the candidate averages,
//     candidate spreads and gains are single precision.
//
// Within one cycle only the high class h and the low class l change, so the
// extremes of the other classes are found once per cycle and a candidate
// costs O(M). The plain judge recomputes every class's spread per
// candidate (O(M*K)); it exists to measure the speed-up against and gives
// the same results bit for bit.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "classdiv/fb_moves.h"

namespace lczs::classdiv {

struct SearchInput {
  int students = 0;  // N: sheet rows 2..N+1
  int columns = 0;   // M score columns
  int classes = 0;   // K
  // scores[(r - 2) * M + (j - 1)] = score of sheet row r in score column j.
  std::vector<double> scores;
  // Per class c = 1..K (index 0 unused): {first row, last boy row, first
  // girl row, last row} and its size.
  std::vector<std::array<int, 4>> rows;
  std::vector<int> sizes;
  // Record number of the student in each row, ids[r - 2]; empty means r - 1.
  std::vector<int> ids;
};

// Which student stands in which row, hashed so that a state met before is
// found in O(1): the exclusive or of one random word per (row, student).
// An exchange of two rows changes four terms.
std::uint64_t row_key(int row, int id);


enum class Judge { Fast, Plain };

class FbSearch {
 public:
  explicit FbSearch(SearchInput input, Judge judge = Judge::Fast);

  // Rules the exchanges must keep (not owned; nullptr for none). A cycle
  // then makes the best allowed exchange; the rules are told of the
  // arrangement now and of every exchange made.
  void set_rules(MoveRules* rules);

  // The sheet's view of the current assignment.
  double class_average(int j, int c) const { return avg_[idx(j, c)]; }
  double spread(int j) const { return spread_[j - 1]; }
  int high_class(int j) const { return high_[j - 1]; }
  // Sum of the M spreads, the tie-break between equal largest spreads.
  double spread_sum() const;
  int low_class(int j) const { return low_[j - 1]; }
  float max_spread() const { return max_spread_; }  // fb_max_spread
  int worst_column() const { return worst_; }        // w

  // One cycle: judges every same-gender exchange between the high and the
  // low class of the worst column and makes the best one, whatever the sign
  // of its gain. Returns the rows exchanged (high class's row first), or
  // nullopt when the two classes have no pair of the same gender (that the
  // rules allow).
  std::optional<std::pair<int, int>> cycle();
  // The two halves of a cycle: the exchange the cycle would make, and making
  // it. choose() leaves the assignment as it is.
  std::optional<std::pair<int, int>> choose();
  void exchange(int i, int k);

  // The arrangement's hash, and what it would be after exchanging rows i, k.
  std::uint64_t state_hash() const { return hash_; }
  std::uint64_t hash_after(int i, int k) const;
  // Record numbers by row, ids()[r - 2].
  const std::vector<int>& ids() const { return in_.ids; }
  const SearchInput& input() const { return in_; }

  float best_gain() const { return best_gain_; }             // fb_best_gain
  long long candidates_judged() const { return judged_; }
  // fb_class_avg as copied at the start of the latest cycle, [j][c].
  std::vector<std::vector<float>> class_avg_table() const;
  // The score of sheet row r in column j (after the exchanges so far).
  double score(int r, int j) const { return in_.scores[(r - 2) * cols_ + (j - 1)]; }

 private:
  int idx(int j, int c) const { return (j - 1) * (classes_ + 1) + c; }
  void resum(int c);
  void refresh_extremes();
  int class_of_row(int r) const;
  bool allowed(int i, int k, int h, int l) const;
  float judge_fast(int i, int k, int h, int l, double row_mean);
  float judge_plain(int i, int k, int h, int l, double row_mean);

  SearchInput in_;
  Judge judge_;
  MoveRules* rules_ = nullptr;
  int cols_;
  int classes_;
  std::vector<double> avg_;     // [j][c] doubles, as the sheet
  std::vector<double> spread_;  // per column
  std::vector<int> high_, low_;
  float max_spread_ = 0;
  int worst_ = 1;
  float best_gain_ = 0;
  long long judged_ = 0;
  std::uint64_t hash_ = 0;
  // Per cycle.
  std::vector<float> cls_avg_;    // fb_class_avg [j][c]
  std::vector<float> cand_avg_;   // fb_cand_avg, plain judge only
  std::vector<float> other_max_, other_min_;  // extremes of the classes other than h, l
  std::vector<float> ah_, al_;    // fb_class_avg of h and l per column
};

}  // namespace lczs::classdiv
