// Every three-for-three exchange between the worst column's top or bottom
// class and each other class, for the states where no one-for-one or
// two-for-two exchange lowers the largest spread any more.
//
// Once the polish (fb_polish.h) finds nothing, the exchanges that still
// help move three students each way: a few in hundreds of millions per pair
// of classes of 50, too rare for the walk to draw and too many to judge one
// by one. They are met in the middle: the triples of one class (three
// students, the same genders as the triple they trade with) against the
// triples of the other. An exchange narrows a column only when what it
// moves there lies in an interval that follows from the averages, so the
// other class's triples are filed in a grid over the two columns whose
// intervals are narrowest against what the triples move, each cell sorted
// by a third column. A triple of this class then scans only the cells its
// intervals meet and, within each, the run its third interval allows; the
// rest of the columns are judged with an early exit.
//
// It judges by the true measure, the largest spread and then the sum of
// spreads, and hands back the best exchange that lowers the largest spread;
// where none does, one that narrows another column without widening any
// past the largest spread, as the polish does.
// The work is counted in candidates and bounded by a budget; nothing
// depends on the clock or a random stream, so the same state and budget
// give the same exchange.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "classdiv/fb_moves.h"
#include "classdiv/fb_polish.h"

namespace lczs::classdiv {

// Cells of the grid per column at most: enough to cut the scan to the
// intervals, few enough that an empty cell costs nothing to pass.
inline constexpr int kDeepCellsPerColumn = 128;
// How many cells an interval spans: narrower cells cut more, but a query
// then visits more of them.
inline constexpr int kDeepCellsPerWindow = 3;

// Candidates one call may judge: at most kDeepBudget, at least
// kDeepLeast, and otherwise kDeepShare times the walk's candidates so far.
// Among classes of 50 a call ends within a million; among classes of 100
// it takes tens of millions (seconds), which early on the walk's own
// candidates buy more with.
inline constexpr long long kDeepBudget = 50'000'000;
inline constexpr long long kDeepLeast = 1'000'000;
inline constexpr long long kDeepShare = 4;

// Rows out_of_a[n] of class a and out_of_b[n] of class b trade classes;
// the two of every pair are of the same gender.
struct DeepMove {
  int a = 0, b = 0;
  std::array<int, 3> out_of_a{}, out_of_b{};
  double max_spread = 0, spread_sum = 0;  // after the exchange
};

// What the exchange moves out of class a into class b, per column, summed
// in the order the judge summed it, so the search's averages afterwards are
// the ones judged.
void deep_delta(const PolishView& v, const DeepMove& move, double* d);

class FbDeep {
 public:
  // Rules that veto exchanges and tie students (not owned; may be null).
  // Tied students stay where they are, as in the polish.
  explicit FbDeep(MoveRules* rules = nullptr) : rules_(rules) {}

  // The best three-for-three exchange that lowers the largest spread, or
  // nullopt when there is none the rules allow. After `budget` candidates
  // (-1: none) it stops and gives the best found by then. The arrangement
  // of the last call that searched everything and found nothing gives
  // nothing again at once: the walk often stands still between two calls.
  std::optional<DeepMove> best_exchange(const PolishView& v, long long budget = -1);

  // Candidates judged so far; a triple made, filed or scanning its cells
  // counts as one too.
  long long judged() const { return judged_; }

 private:
  // Three students of one class and what they hold together.
  struct Triples {
    std::vector<std::array<int, 3>> rows;
    std::vector<int> kind;     // how many girls among them
    std::vector<double> sums;  // [triple][column], ((s1 + s2) + s3)
  };
  void make_triples(int c, Triples* out);
  void search_pair(int a, int b);
  // Files b's triples by cell, each cell's run by the key column.
  void file_triples();
  // Judges triple p of a against triple q of b.
  void judge(int p, int q);
  // The interval what moves out of a must fall in for the column to end no
  // wider than `limit`; false when it is empty.
  bool window_of(int j, double limit, double* lo, double* hi) const;
  // Sets each column's limit and interval for the pair; false when some
  // interval is empty.
  bool set_limits();
  bool tied(int r) const { return rules_ && !rules_->companions(v_.ids[r]).empty(); }
  bool spent() const { return stop_at_ >= 0 && judged_ >= stop_at_; }
  int cell_of(int dim, double x) const;

  MoveRules* rules_;
  long long judged_ = 0;
  // Per call.
  long long stop_at_ = 0;
  std::uint64_t fruitless_ = 0;  // the arrangement the last call found nothing in
  PolishView v_;
  std::vector<double> avg_, spread_;
  std::vector<int> order_;  // columns by spread, widest first
  double now_max_ = 0, now_sum_ = 0;
  std::optional<DeepMove> best_;
  // Per pair of classes.
  int a_ = 0, b_ = 0;
  std::vector<double> other_top_, other_bottom_;
  int narrow_ = -1;  // the column to narrow, -1 while lowering the largest spread
  std::vector<double> limit_;    // how wide each column may end
  std::vector<double> lo_, hi_;  // the intervals of what moves out of a
  Triples ta_, tb_;
  int ta_class_ = 0, tb_class_ = 0;  // whose triples they hold this call
  std::array<int, 3> key_{};         // two grid columns, then the sort column
  std::array<double, 2> origin_{}, width_{};
  std::array<int, 2> cells_{};
  std::vector<int> cell_start_;      // [kind][cell 0][cell 1] into filed_
  std::vector<int> filed_;           // b's triples by cell and key
  std::vector<double> filed_key_;
  std::vector<int> xa_, xb_;
};

}  // namespace lczs::classdiv
