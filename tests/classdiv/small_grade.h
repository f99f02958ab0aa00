// Small random grades for the exhaustive exchange steps' brute forces:
// classes of a few boys and girls, one to three columns, integer or
// half-point scores, and a rule that vetoes one student and ties two; and
// the brute force over every single exchange.
#pragma once

#include <algorithm>
#include <array>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

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

// With `total`, a last column holds each row's sum of the others.
inline Grade random_grade(std::mt19937& rng, int most_boys = 3, int most_girls = 3, bool total = false) {
  Grade g;
  g.k = 2 + rng() % 4;
  g.m = 1 + rng() % 3;
  const bool halves = rng() % 2;
  for (int c = 1; c <= g.k; ++c) {
    const int boys = rng() % (most_boys + 1), girls = 1 + rng() % most_girls;
    for (int x = 0; x < boys + girls; ++x) {
      g.boy.push_back(x < boys);
      g.class_of.push_back(c);
      double sum = 0;
      for (int j = 0; j < g.m; ++j) {
        g.scores.push_back(static_cast<double>(rng() % 13) / (halves ? 2 : 1));
        sum += g.scores.back();
      }
      if (total) g.scores.push_back(sum);
    }
  }
  g.m += total;
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
  // The three students drawn at random from a grade of n.
  OneVeto(std::mt19937& rng, int n) {
    fixed = 1 + rng() % n;
    tied = 1 + rng() % n;
    mate = {1 + static_cast<int>(rng() % n)};
  }
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

struct Found {
  std::pair<double, double> measure;
  bool any = false;
};

// Every same-gender one-for-one exchange and every two-for-two exchange
// with the same genders on both sides, between any two classes.
inline Found best_single_exchange(const Grade& g, const MoveRules* rules) {
  Found best;
  best.measure = g.measure(g.class_of);
  auto free = [&](int r) { return !rules || rules->companions(g.ids[r]).empty(); };
  for (int i1 = 0; i1 < g.n; ++i1)
    for (int i2 = i1; i2 < g.n; ++i2)
      for (int k1 = 0; k1 < g.n; ++k1)
        for (int k2 = 0; k2 < g.n; ++k2) {
          const int a = g.class_of[i1], b = g.class_of[k1];
          if (a == b || g.class_of[i2] != a || g.class_of[k2] != b) continue;
          if (g.boy[i1] != g.boy[k1] || g.boy[i2] != g.boy[k2]) continue;
          if ((i1 == i2) != (k1 == k2) || (i1 != i2 && k1 == k2)) continue;
          if (!free(i1) || !free(i2) || !free(k1) || !free(k2)) continue;
          std::vector<int> out_a{g.ids[i1]}, out_b{g.ids[k1]};
          if (i2 != i1) out_a.push_back(g.ids[i2]), out_b.push_back(g.ids[k2]);
          if (rules && !rules->allowed(Exchange{a, b, out_a, out_b})) continue;
          std::vector<int> cls = g.class_of;
          for (int r : {i1, i2}) cls[r] = b;
          for (int r : {k1, k2}) cls[r] = a;
          const auto m = g.measure(cls);
          if (lower(m, best.measure)) best = {m, true};
        }
  return best;
}

// Checks that the first `count` trades of `move` pair students of one gender
// from its two classes, and gives the classes after it and the record
// numbers that leave each side.
template <class Move>
void expect_trades(const Grade& g, const Move& move, int count, std::vector<int>& cls, std::vector<int>& out_a,
                   std::vector<int>& out_b) {
  cls = g.class_of;
  out_a.clear();
  out_b.clear();
  for (int x = 0; x < count; ++x) {
    const int i = move.out_of_a[x], k = move.out_of_b[x];
    EXPECT_EQ(g.class_of[i], move.a);
    EXPECT_EQ(g.class_of[k], move.b);
    EXPECT_EQ(g.boy[i], g.boy[k]);
    cls[i] = move.b;
    cls[k] = move.a;
    out_a.push_back(g.ids[i]);
    out_b.push_back(g.ids[k]);
  }
}

}  // namespace lczs::classdiv::testing
