// Steepest descent over every small exchange that can narrow the worst
// column, for the moments the random walk stops finding them.
//
// Once the classes are close, the exchange that helps is one of a few in
// millions, and random or near-neighbour candidates seldom draw it. The
// polish judges them all: every one-for-one exchange of students of the
// same gender, and every two-for-two exchange with the same genders on both
// sides, between the class at the top or the bottom of the worst column and
// any other class. Those are the only exchanges that can lower the largest
// spread, so when one of them does, the polish finds the best of all such
// exchanges in the grade by the true measure: the largest spread, then the
// sum of spreads. When none does, it looks for one that keeps the largest
// spread and lowers the sum, between the top and the bottom class of each
// other column.
//
// The two-for-two exchanges are not tried as a full product (about 1.5
// million per pair of classes of 100). An exchange narrows a column only
// when what it moves in that column lies in an interval that follows from
// the averages, so the pairs of the other class are sorted by their sum in
// that column and each pair of this class scans only its window.
//
// A candidate is judged in O(M) against the extremes of the classes that do
// not change, columns in order of spread so most are refused at the first.
// Nothing depends on the clock or on a random stream: the same state gives
// the same exchange.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "classdiv/fb_moves.h"

namespace lczs::classdiv {

// Within this, two measures are the same: averages are sums over sizes, so
// equal arrangements may differ in the last bits.
inline constexpr double kPolishTolerance = 1e-9;

// The state the polish reads, owned by the search. Between calls on the
// same scores array, a record number keeps its scores wherever it stands.
struct PolishView {
  int students = 0, columns = 0, classes = 0;
  const double* scores = nullptr;              // [row][column], rows from 0
  const std::array<int, 4>* blocks = nullptr;  // [class]: first, last boy, first girl, last row
  const double* sizes = nullptr;               // [class]
  const double* sums = nullptr;                // [class][column]
  const int* ids = nullptr;                    // record number by row
};

// Rows out_of_a[n] of class a and out_of_b[n] of class b trade classes;
// `count` is 1 or 2.
struct PolishMove {
  int a = 0, b = 0, count = 0;
  std::array<int, 2> out_of_a{}, out_of_b{};
  double max_spread = 0, spread_sum = 0;  // after the exchange
};

// What the exchange moves out of class a into class b, per column: the
// same sums the search adds and takes away, so its averages afterwards are
// the ones the polish judged.
void polish_delta(const PolishView& v, const PolishMove& move, double* d);

// The averages of the state `v` shows, each column's spread and its top
// and bottom class (the lower class number on a tie), the largest spread
// and their sum, and the columns by spread, widest first: where every
// exhaustive step starts.
void measure_columns(const PolishView& v, std::vector<double>& avg, std::vector<double>& spread,
                     std::vector<int>& top, std::vector<int>& bottom, std::vector<int>& order, double& max,
                     double& sum);

// Per column, the highest and the lowest average of the classes other
// than a and b: what an exchange between a and b leaves in place.
void other_extremes(const std::vector<double>& avg, int m, int k, int a, int b, std::vector<double>& top,
                    std::vector<double>& bottom);

// The interval that D, what an exchange moves out of class a (average A,
// size sa) into class b (B, sb) in a column, must fall in for the column to
// end at most S wide, the other classes' extremes being T and L; false when
// it is empty. Widened by more than rounding, so the judge decides.
bool exchange_window(double A, double B, double sa, double sb, double T, double L, double S, double* lo,
                     double* hi);

class FbPolish {
 public:
  // Rules that veto exchanges and tie students (not owned; may be null).
  // Tied students are left where they are: moving a group whole is the
  // walk's work.
  explicit FbPolish(MoveRules* rules = nullptr) : rules_(rules) {}

  // The best exchange that improves the state by the true measure, or
  // nullopt when the polish finds none the rules allow. After `budget`
  // candidates it stops and gives the best it has found by then.
  std::optional<PolishMove> best_exchange(const PolishView& v, long long budget = -1);

  // Candidates judged so far.
  long long judged() const { return judged_; }

  // Whether the partners of the worst column's top class are scanned from
  // the lowest in that column up and those of its bottom class from the
  // highest down, taking turns, instead of by class number, the top
  // class's first. Among many classes (40 of 125) the budget runs out
  // within these scans, so what is scanned first is all that is scanned:
  // this way both ends are tried, and with the likeliest partners first.
  // Among few the descent finishes and the order only decides ties, which
  // the class number decides as before.
  void scan_likeliest_first(bool on) { likeliest_first_ = on; }

 private:
  // Pairs of students of one class of the same kind (two boys, two girls,
  // a boy and a girl), by their sum in the window's column.
  struct Pairs {
    std::vector<std::array<int, 2>> rows;
    std::vector<double> sums;  // [pair][column]
    std::vector<double> key;   // [pair]: the sum in the window's column
  };
  // Judges every exchange between classes a and b: all one-for-one ones,
  // and the two-for-two ones that leave no column wider than the best so
  // far and column `narrow` (when not -1) narrower than it is.
  void search_pair(int a, int b, int narrow);
  // Judges the exchange that moves pa[j] - pb[j] out of a.
  void judge(const double* pa, const double* pb, const int* out_a, const int* out_b, int count);
  // The judge's exact part, for a candidate inside every column's window;
  // whether it is the best so far.
  bool settle(const double* pa, const double* pb, const int* out_a, const int* out_b, int count);
  // Sets other_lo_, other_hi_: the windows as bounds on the sums of the
  // pair of class b that goes with the pair of class a summing to pa.
  void bounds_for(const double* pa);
  // Sets every column's window for the largest spread to beat, which
  // refuses most candidates without a division.
  void set_windows();
  // The interval that what moves out of a in the column must fall in for
  // the column to end at most `limit` wide; false when it is empty.
  bool window_of(int window, double limit, double* lo, double* hi) const;
  void make_pairs(int c, int window, Pairs (&out)[3]);
  // The pairs of class c of each kind sorted by their sum in `column`,
  // sorted again only after the class has changed.
  const std::vector<std::array<int, 2>>& sorted_pairs(int c, int column, int kind);
  bool tied(int r) const { return rules_ && !rules_->companions(v_.ids[r]).empty(); }

  MoveRules* rules_;
  bool likeliest_first_ = false;
  long long judged_ = 0;
  // Per call.
  long long stop_at_ = 0;  // judged_ at which the search stops
  bool spent() const { return stop_at_ >= 0 && judged_ >= stop_at_; }
  PolishView v_;
  std::vector<double> avg_, spread_;
  std::vector<int> order_;                  // columns by spread, widest first
  std::vector<int> up_, down_;              // classes but the worst column's ends, by it up and down
  double now_max_ = 0, now_sum_ = 0;
  std::optional<PolishMove> best_;
  // Per pair of classes.
  int a_ = 0, b_ = 0;
  std::vector<double> other_top_, other_bottom_;  // extremes of the classes but a and b
  Pairs pairs_a_[3], pairs_b_[3];  // two boys, two girls, a boy and a girl
  std::vector<double> window_lo_, window_hi_;  // [column], for set_windows
  std::vector<double> other_lo_, other_hi_;    // [column], for bounds_for
  std::vector<int> xa_, xb_;
  // Across calls: the walk changes two classes per exchange, so most
  // classes come back unchanged and their sorted pairs still hold. A class
  // is known by the record numbers its rows hold.
  struct SortedPairs {
    std::array<int, 4> block{};
    std::vector<int> ids;
    std::vector<std::vector<std::array<int, 2>>> by_column[3];  // [kind][column]
    std::vector<char> sorted;                                   // [column]
  };
  std::vector<SortedPairs> sorted_;  // [class]
};

}  // namespace lczs::classdiv
