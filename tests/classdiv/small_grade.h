// Small random grades for the exhaustive exchange steps' brute forces:
// classes of a few boys and girls, one to three columns, integer or
// half-point scores, and a rule that vetoes one student and ties two.
#pragma once

#include <algorithm>
#include <array>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "classdiv/fb_moves.h"
#include "classdiv/fb_polish.h"

namespace lczs::classdiv::testing {

struct Grade {
  int n = 0, m = 0, k = 0;
  std::vector<double> scores;              // [row][column]
  std::vector<std::array<int, 4>> blocks;  // [class]
  std::vector<int> boy, class_of, ids;     // [row]
  std::vector<double> sizes, sums;

  PolishView view() const { return {n, m, k, scores.data(), blocks.data(), sizes.data(), sums.data(), ids.data()}; }
  // (largest spread, sum of spreads) with rows moved to other classes,
  // averages counted afresh.
  std::pair<double, double> measure(const std::vector<int>& cls) const {
    double mx = 0, total = 0;
    for (int j = 0; j < m; ++j) {
      double hi = -1e300, lo = 1e300;
      for (int c = 1; c <= k; ++c) {
        double s = 0;
        for (int r = 0; r < n; ++r)
          if (cls[r] == c) s += scores[r * m + j];
        hi = std::max(hi, s / sizes[c]);
        lo = std::min(lo, s / sizes[c]);
      }
      mx = std::max(mx, hi - lo);
      total += hi - lo;
    }
    return {mx, total};
  }
};

inline Grade random_grade(std::mt19937& rng, int most_boys = 3, int most_girls = 3) {
  Grade g;
  g.k = 2 + rng() % 4;
  g.m = 1 + rng() % 3;
  const bool halves = rng() % 2;
  for (int c = 1; c <= g.k; ++c) {
    const int boys = rng() % (most_boys + 1), girls = 1 + rng() % most_girls;
    for (int x = 0; x < boys + girls; ++x) {
      g.boy.push_back(x < boys);
      g.class_of.push_back(c);
      for (int j = 0; j < g.m; ++j) g.scores.push_back(static_cast<double>(rng() % 13) / (halves ? 2 : 1));
    }
  }
  g.n = static_cast<int>(g.boy.size());
  g.blocks.assign(g.k + 1, {0, -1, 0, -1});
  g.sizes.assign(g.k + 1, 1);
  g.sums.assign((g.k + 1) * g.m, 0);
  for (int r = 0; r < g.n; ++r) {
    auto& b = g.blocks[g.class_of[r]];
    const bool first = r == 0 || g.class_of[r - 1] != g.class_of[r];
    if (first) b = {r, r - 1, r, r - 1};
    if (g.boy[r]) b[1] = r, b[2] = r + 1;
    b[3] = r;
    for (int j = 0; j < g.m; ++j) g.sums[g.class_of[r] * g.m + j] += g.scores[r * g.m + j];
  }
  for (int c = 1; c <= g.k; ++c) g.sizes[c] = g.blocks[c][3] - g.blocks[c][0] + 1;
  for (int r = 0; r < g.n; ++r) g.ids.push_back(r + 1);
  return g;
}

// One student may not leave their class and another is tied to a third.
class OneVeto : public MoveRules {
 public:
  int fixed = 0, tied = 0;
  std::vector<int> mate;
  bool allowed(const Exchange& x) const override {
    for (auto side : {x.out_of_a, x.out_of_b})
      if (std::count(side.begin(), side.end(), fixed)) return false;
    return true;
  }
  std::span<const int> companions(int id) const override {
    return id == tied || (!mate.empty() && id == mate[0]) ? std::span<const int>(mate) : std::span<const int>{};
  }
};

// Lower largest spread, or the same one and a lower sum, beyond rounding.
inline bool lower(std::pair<double, double> x, std::pair<double, double> than) {
  const double e = kPolishTolerance;
  return x.first < than.first - e || (x.first < than.first + e && x.second < than.second - e);
}

}  // namespace lczs::classdiv::testing
