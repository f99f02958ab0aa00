// Pools the students of two classes and splits them again, for states
// where no exchange of one or two students helps.
//
// Once the polish finds nothing, the classes at the ends of the worst column
// can often still be evened out, but only by trading many students at once:
// averages of 50 to 125 students move in steps of 0.01, so lowering the
// largest spread means hitting a narrow interval of class sums in many
// columns together, and each exchange of one or two students that moves
// one column into place pushes others out. The re-split takes two classes
// a and b with the other classes fixed. For a goal S just below the
// largest spread, every column gives the interval of class a's sum (class
// b has the rest of the pool) within which the column ends no wider than
// S; when a column at the largest spread has its ends in other classes,
// the goal is instead that no column widens and those at the largest
// spread that the pair can narrow do, which lowers the sum of spreads.
// The search moves students between a and b, same gender for same gender,
// to bring a's sums into all those intervals at once, guided by the
// squared distances from their middles. Every hit sets the goal again from
// what it reached, and the search goes on from there. The best split it
// hits is kept only when the true measure (the largest spread over all
// columns, then the sum of spreads) is lower than now.
//
// Inside the pair the search anneals over one-for-one and two-for-two
// exchanges: half trade a student with a near neighbour on the other side,
// the smallest steps there are, and of the others half are aimed, the
// partner being the student of the other class that brings a's sums
// nearest the middle of the intervals. Its random stream is its own and
// its work is a budget in candidates, so the same state and the same
// calls give the same split on any machine.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "classdiv/fb_moves.h"
#include "classdiv/fb_polish.h"

namespace lczs::classdiv {

// Candidates one re-split of a pair may judge, and the pairs tried per call:
// the two ends of the worst column first, then either end with the classes
// nearest the other end.
inline constexpr long long kResplitPairBudget = 400'000;
inline constexpr int kResplitPairs = 4;
// Re-splits made in one descent of the polish at most, which bounds its
// work at kResplitsPerDescent + 1 calls.
inline constexpr int kResplitsPerDescent = 8;
// Annealing's temperature inside a pair, at the start and at the end of its
// budget, in units of the guide: (distance from an interval's middle over
// its half width) squared, summed over the columns.
inline constexpr double kResplitHot = 30;
inline constexpr double kResplitCold = 1;
// Share of the pair's candidates that exchange two students for two, and of
// those whose (last) partner is aimed rather than random, in 1/16ths.
inline constexpr int kResplitPairSixteenths = 5;
inline constexpr int kResplitAimedSixteenths = 8;
// Share of candidates that trade students with near neighbours of theirs,
// in 1/16ths, and the neighbours kept per student.
inline constexpr int kResplitNearSixteenths = 8;
inline constexpr int kResplitNeighbours = 8;

// Students that trade classes: out_of_a[n] (a row of class a) goes to b and
// out_of_b[n] (a row of b, of the same gender) comes to a.
struct ResplitMove {
  int a = 0, b = 0;
  std::vector<int> out_of_a, out_of_b;
  double max_spread = 0, spread_sum = 0;  // after the exchange
};

class FbResplit {
 public:
  // Rules that veto exchanges and tie students (not owned; may be null).
  // Tied students and students that no single exchange may move stay where
  // they are; the whole exchange is asked of the rules before it is given.
  explicit FbResplit(MoveRules* rules = nullptr, std::uint64_t seed = 0x5e5911u) : rules_(rules), rng_(seed) {}

  // The best re-split of the pairs of classes that can narrow the worst
  // column, or nullopt when none of them lowers the true measure.
  std::optional<ResplitMove> best_resplit(const PolishView& v, long long pair_budget = kResplitPairBudget);
  // The best re-split of classes a and b found within `budget` candidates
  // that lowers the true measure, or nullopt.
  std::optional<ResplitMove> resplit_pair(const PolishView& v, int a, int b, long long budget);

  // Candidates judged so far.
  long long judged() const { return judged_; }

 private:
  struct Measure {
    double max = 0, sum = 0;
  };
  // The spreads with class a's sums at sa (b holding the rest of the pool).
  Measure measure(const double* d);
  // Sets the intervals of a's sums for columns no wider than `goal`; false
  // when the other classes alone are wider in some column.
  bool set_goal(const Measure& ref);
  // Squared distance of a's sums moved by `d` from the intervals, in units
  // of a's average.
  double distance(const double* d) const;
  bool inside(const double* d) const;
  // The partner in b's side of gender g that brings a's sums moved by
  // `d` minus row u's scores nearest the intervals; -1 when there is none.
  int nearest(int g, const double* d, int skip, double* best);
  std::uint64_t below(std::uint64_t n) { return ((rng_() >> 32) * n) >> 32; }
  const double* row(int r) const { return &v_.scores[static_cast<std::size_t>(r) * v_.columns]; }
  bool movable(int r, int other) const;
  // Student in_a_[g][p] and in_b_[g][q] change sides.
  void trade(int g, int p, int q);

  MoveRules* rules_;
  std::mt19937_64 rng_;
  long long judged_ = 0;
  // Per pair.
  PolishView v_;
  int a_ = 0, b_ = 0;
  double size_a_ = 1, size_b_ = 1;
  std::vector<double> top_, bottom_;  // extremes of the other classes
  std::vector<double> lo_, hi_, mid_, scale_;
  // Spreads by column of the latest measure, and of the goal's state.
  std::vector<double> spreads_, ref_spreads_;
  // Movable rows by gender now in a, now in b.
  std::array<std::vector<int>, 2> in_a_, in_b_;
  std::vector<double> d_, e_, e2_;
  // Pooled rows; by row: the side (0 in a, 1 in b), the place in that
  // side's list, the gender, and kResplitNeighbours near neighbours.
  std::vector<int> pooled_, side_, slot_, gender_, near_;
};

}  // namespace lczs::classdiv
