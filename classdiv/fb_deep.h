// Every three-for-three (or four-for-four) exchange between the worst
// column's top or bottom class and each other class, for the states where
// no smaller exchange lowers the largest spread any more.
//
// Once the polish (fb_polish.h) finds nothing, the exchanges that still
// help move three students each way: a few in hundreds of millions per pair
// of classes of 50, too rare for the walk to draw and too many to judge one
// by one. They are met in the middle: the groups of one class (three
// students, the same genders as the group they trade with) against the
// groups of the other. An exchange narrows a column only when what it
// moves there lies in an interval that follows from the averages, so the
// other class's groups are filed in a grid over the two columns whose
// intervals are narrowest against what the groups move, each cell sorted
// by a third column. A group of this class then scans only the cells its
// intervals meet and, within each, the run its third interval allows; the
// rest of the columns are judged with an early exit.
//
// Groups of four are the next step where groups of three find nothing: a
// class of 50 has 230,300 of them, so a group is kept as the offsets of
// its rows and what it holds is summed from the scores when judged; only
// the filed side is kept at all, and only the three columns it is filed by.
// Classes with more groups than kDeepMostGroups (kQuadMostGroups for four)
// are passed over: among classes of 100 the groups of four number
// millions, and a scan of one pair would cost more than the walk gains in
// that time.
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
// Students a side moves at most.
inline constexpr int kDeepMostAtOnce = 4;
// Groups of one class at most: of three, two million (classes of 230);
// of four, 600,000 (classes of 62). Among classes of 76 (30 classes of
// 2,300) a search for four for four judged some 30 million candidates
// and found nothing in thirteen tries, time the walk had put to use.
inline constexpr long long kDeepMostGroups = 2'000'000;
inline constexpr long long kQuadMostGroups = 600'000;

// Candidates one call may judge: at most kDeepBudget, at least
// kDeepLeast, and otherwise kDeepShare times the walk's candidates so far.
// Among classes of 50 a call ends within a million; among classes of 100
// it takes tens of millions (seconds), which early on the walk's own
// candidates buy more with.
inline constexpr long long kDeepBudget = 50'000'000;
inline constexpr long long kDeepLeast = 1'000'000;
inline constexpr long long kDeepShare = 4;
// The same for groups of four, which among classes of 50 judge about a
// hundred million candidates per call.
inline constexpr long long kQuadBudget = 400'000'000;

// Rows out_of_a[n] of class a and out_of_b[n] of class b, n < count,
// trade classes; the two of every pair are of the same gender.
struct DeepMove {
  int a = 0, b = 0, count = 3;
  std::array<int, kDeepMostAtOnce> out_of_a{}, out_of_b{};
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
  // `size` students move each way: 3 or 4.
  explicit FbDeep(MoveRules* rules = nullptr, int size = 3) : rules_(rules), size_(size) {}

  // The best exchange of `size` for `size` that lowers the largest spread, or
  // nullopt when there is none the rules allow. After `budget` candidates
  // (-1: none) it stops and gives the best found by then. The arrangement
  // of the last call that searched everything and found nothing gives
  // nothing again at once: the walk often stands still between two calls.
  std::optional<DeepMove> best_exchange(const PolishView& v, long long budget = -1);

  // Candidates judged so far; a group made, filed or scanning its cells
  // counts as one too.
  long long judged() const { return judged_; }

 private:
  using Offsets = std::array<std::uint16_t, kDeepMostAtOnce>;  // rows from the class's first
  // The groups of one class's free students, in the order they are made.
  struct Groups {
    std::vector<Offsets> at;
    std::vector<std::uint8_t> kind;  // how many girls among them
  };
  // Calls visit(offsets, kind) for each group of class c's free students,
  // in the order of their rows, until it returns false; false when the
  // class has more than most_groups() of them (nothing visited).
  template <class Visit>
  bool for_each_group(int c, Visit visit) const;
  // What the group at offsets `g` of class c holds, summed in the order of
  // its rows, in column j.
  double group_sum(int c, const Offsets& g, int j) const;
  void search_pair(int a, int b);
  // Files b's groups by cell, each cell's run by the key column.
  void file_groups();
  // Judges group `g` of a, holding `pa`, against group q of b.
  void judge(const Offsets& g, const double* pa, int q);
  // The interval what moves out of a must fall in for the column to end no
  // wider than `limit`; false when it is empty.
  bool window_of(int j, double limit, double* lo, double* hi) const;
  // Sets each column's limit and interval for the pair; false when some
  // interval is empty.
  bool set_limits();
  bool tied(int r) const { return rules_ && !rules_->companions(v_.ids[r]).empty(); }
  bool spent() const { return stop_at_ >= 0 && judged_ >= stop_at_; }
  int cell_of(int dim, double x) const;
  // Free students of class c, and the groups they make.
  long long free_in(int c) const;
  long long groups_of(long long n) const;
  long long most_groups() const { return size_ > 3 ? kQuadMostGroups : kDeepMostGroups; }

  MoveRules* rules_;
  int size_;
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
  Groups tb_;
  int ta_class_ = 0, tb_class_ = 0;  // whose groups were made this call
  std::array<int, 3> key_{};         // two grid columns, then the sort column
  std::array<double, 2> origin_{}, width_{};
  std::array<int, 2> cells_{};
  std::vector<int> cell_start_;      // [kind][cell 0][cell 1] into filed_
  std::vector<int> filed_;           // b's groups by cell and key
  std::vector<double> filed_key_;
  std::vector<double> sums_;         // [column]: scratch
  std::vector<int> xa_, xb_;
};

}  // namespace lczs::classdiv
