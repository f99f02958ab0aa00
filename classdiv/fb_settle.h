// An exact end-game for grades whose best state is a step or two above the
// smallest largest spread that whole-number sums allow.
//
// There a column's spread is set by a point or two of a few classes' sums,
// and several classes share the extreme average, so no single exchange
// lowers the largest spread or the sum of spreads: the walk and the polish
// see a plateau. This step changes the measure. For a target spread D below
// the best, each column gets a window of averages [A, A + D] that holds the
// column's grade average; a class of size n may then hold the whole-number
// sums S with A <= S / n <= A + D. A state is judged by how many points its
// classes' sums lie outside their windows, over all columns and classes,
// and a steepest descent over one-for-one and two-for-two exchanges between
// a class outside a window and any other class lowers that count until it
// is zero (a state whose largest spread is at most D) or nothing lowers it.
// Targets are tried from the floor upwards, each with the few window
// placements that start with the fewest points outside.
//
// Sums are counted in whole units of each column (points, or half points
// when scores are in halves), so the count is exact. A column whose scores
// share no unit, or a best state far above the floor, is left to the walk:
// there the plateau is not the problem.
//
// Exchanges are not tried as a full product: an exchange that lowers the
// count moves each column by an amount in a small interval that follows
// from the two classes' sums and windows, so the other class's students,
// alone and in pairs, are sorted by their sums in two columns and each
// student or pair of this class looks up only the ones that fit. The
// count of candidates judged is the lookups and what they meet.
//
// Deterministic and bounded: nothing depends on the clock or on a random
// stream, and each call judges at most the budget it is given.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "classdiv/fb_moves.h"
#include "classdiv/fb_polish.h"

namespace lczs::classdiv {

// The step is tried when the best largest spread is within this many steps
// of the floor, a step being the smallest move of a class average (one unit
// over the smallest class). Further up, many exchanges still lower the
// largest spread and the walk finds them faster.
inline constexpr int kSettleReach = 3;
// Candidates one call may judge.
inline constexpr long long kSettleBudget = 20'000'000;
// Targets tried per call, from the floor upwards.
inline constexpr int kSettleTargets = 24;
// Window placements tried per target, the ones with the fewest points
// outside first.
inline constexpr int kSettleWindowSets = 8;
// Window choices looked at per target before the best are kept.
inline constexpr long long kSettlePlacementsJudged = 64;
// Scores are counted in units of 1/u for the smallest u up to this that
// makes every score of the column whole.
inline constexpr int kSettleFinestUnit = 100;
// Larger scores, in units, leave the grade to the walk: sums of pairs must
// stay far inside 64 bits when two columns share one sort key.
inline constexpr long long kSettleLargestUnits = 100'000'000;
// Spreads a column's sums allow below the best state's, at most; more
// means the best is far above the floor.
inline constexpr double kSettleSpreads = 100'000;

// How far one call looks; the defaults are the constants above.
struct SettleLimits {
  int reach = kSettleReach;
  int targets = kSettleTargets;
  int placements = kSettleWindowSets;
  long long placements_judged = kSettlePlacementsJudged;
};

class FbSettle {
 public:
  // Rules that veto exchanges and tie students (not owned; may be null).
  // Tied students are left where they are, as the polish leaves them.
  explicit FbSettle(MoveRules* rules = nullptr, SettleLimits limits = {}) : rules_(rules), limits_(limits) {}

  // Exchanges, in order, that take the state to a largest spread below
  // `best_max` (the state's own), or none when the step is not worth trying
  // or finds nothing within `budget` candidates. Rows are the view's rows as
  // each exchange leaves them: row i of class a and row k of class b trade
  // students. The rules see the arrangement of `v` again on return.
  std::vector<PolishMove> settle(const PolishView& v, double best_max, long long budget = kSettleBudget);

  // Candidates judged so far.
  long long judged() const { return judged_; }
  // The smallest largest spread whole-number sums allow for the grade of
  // the latest call, as far as the columns' bounds tell; 0 when the call
  // did not search.
  double floor() const { return floor_; }

 private:
  // For one column: a class of size sizes_[s] may hold sums lo[s]..hi[s].
  struct Window {
    std::vector<long long> lo, hi;
    long long outside = 0;  // points outside at the start
  };
  // One window per column, narrowed by what the columns imply together:
  // a class of size sizes_[s] may hold sums lo[j][s]..hi[j][s] in column j.
  struct Placement {
    std::vector<std::vector<long long>> lo, hi;
    long long outside = 0;  // points outside at the start
    bool operator==(const Placement& o) const { return lo == o.lo && hi == o.hi; }
  };
  // Rows of one class, alone (a boy, a girl) or in pairs (two boys, two
  // girls, a boy and a girl), sorted by their sums in the two key columns.
  struct Pairs {
    std::vector<long long> key;
    std::vector<std::array<int, 2>> rows;  // a row alone has -1 second
    std::vector<long long> sums;           // [entry][column]
    // The key columns' sums lie in low1..high1 and low2..high2.
    long long low1 = 0, high1 = 0, low2 = 0, high2 = 0;
    long long at(long long v1, long long v2) const { return (v1 - low1) * (high2 - low2 + 1) + (v2 - low2); }
  };

  bool prepare(const PolishView& v);
  // The target spreads of column j below `limit`, ascending.
  std::vector<double> lattice(int j, double limit) const;
  std::vector<Window> windows(int j, double target) const;
  // The placements for a target that some state may fill, the fewest
  // points outside first.
  std::vector<Placement> placements(double target) const;
  // Narrows a placement; false when it cannot be filled.
  bool tighten(Placement* p) const;
  // Descends from the starting state; whether every class ended inside.
  bool descend(const Placement& p, long long stop);
  // The exchange between class a and any class b (all b when 0) that
  // lowers the points outside the most; false when none does.
  bool best_from(int a, long long stop);
  void search_pair(int a, int b, long long stop);
  // The exchanges of an entry of ps for an entry of qs whose change of
  // every column lies in the boxes.
  void match(int a, int b, const Pairs& ps, const Pairs& qs, int count, long long stop);
  bool fits(const long long* d) const;
  void consider(int a, int b, const long long* d, const int* out_a, const int* out_b, int count);
  void make_pairs(int c);
  void exchange(const PolishMove& move);
  long long outside(int c, int j, long long sum) const;
  long long unit(int r, int j) const { return units_[static_cast<std::size_t>(r) * m_ + j]; }

  MoveRules* rules_;
  SettleLimits limits_;
  long long judged_ = 0;
  double floor_ = 0;

  // The grade of the call.
  int n_ = 0, m_ = 0, k_ = 0;
  std::vector<int> per_unit_;           // [column]: u
  std::vector<long long> start_units_;  // [row][column]
  std::vector<long long> start_sums_;   // [class][column]
  std::vector<int> start_ids_;
  std::vector<int> class_of_id_;        // for the rules
  std::vector<std::array<int, 4>> blocks_;
  std::vector<int> class_size_, size_index_;  // [class]
  std::vector<int> sizes_;                    // distinct sizes, ascending
  std::vector<long long> totals_;             // [column]
  // A column that is every row's sum of the others (the total), -1 when
  // none: it ties the others' windows together.
  int total_column_ = -1;
  int key1_ = 0, key2_ = 0;
  std::vector<long long> low_, high_;  // [column]: a row's least and most

  // The descent's state.
  std::vector<long long> units_, sums_;
  std::vector<int> ids_;
  std::vector<char> tied_;              // [row]
  std::vector<long long> lo_, hi_;      // [class][column]
  std::vector<std::array<Pairs, 3>> pairs_;
  std::vector<std::array<Pairs, 2>> singles_;
  std::vector<char> pairs_fresh_;       // [class]
  std::vector<PolishMove> moves_;
  // The best exchange of the latest search.
  PolishMove found_;
  long long found_gain_ = 0;            // points outside it removes
  // Looking for a pass: an exchange that loses nothing and moves class a's
  // points outside (found_drop_ of them) to class b.
  bool passing_ = false;
  long long found_drop_ = 0;
  std::vector<long long> box_lo_, box_hi_;  // [column]: what may move out of a
  std::vector<long long> d_;
  std::vector<int> xa_, xb_;
};

}  // namespace lczs::classdiv
