// The polish against a brute force over every one-for-one and two-for-two
// exchange of a small grade, with and without a rule that vetoes one.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "classdiv/fb_polish.h"

namespace lczs::classdiv {
namespace {

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

Grade random_grade(std::mt19937& rng) {
  Grade g;
  g.k = 2 + rng() % 4;
  g.m = 1 + rng() % 3;
  const bool halves = rng() % 2;
  for (int c = 1; c <= g.k; ++c) {
    const int boys = rng() % 4, girls = 1 + rng() % 3;
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
bool lower(std::pair<double, double> x, std::pair<double, double> than) {
  const double e = kPolishTolerance;
  return x.first < than.first - e || (x.first < than.first + e && x.second < than.second - e);
}

struct Found {
  std::pair<double, double> measure;
  bool any = false;
};

// Every same-gender one-for-one exchange and every two-for-two exchange
// with the same genders on both sides, between any two classes.
Found brute_force(const Grade& g, const MoveRules* rules) {
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

TEST(Polish, FindsTheBestExchangeABruteForceFindsAndKeepsTheRules) {
  std::mt19937 rng(7);
  int lowered = 0, vetoed = 0;
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    const Grade g = random_grade(rng);
    OneVeto veto;
    veto.fixed = 1 + rng() % g.n;
    veto.tied = 1 + rng() % g.n;
    veto.mate = {1 + static_cast<int>(rng() % g.n)};
    for (MoveRules* rules : {static_cast<MoveRules*>(nullptr), static_cast<MoveRules*>(&veto)}) {
      SCOPED_TRACE(rules ? "with a veto" : "without rules");
      FbPolish polish(rules);
      const auto move = polish.best_exchange(g.view());
      const Found want = brute_force(g, rules);
      const auto now = g.measure(g.class_of);
      if (want.any && want.measure.first < now.first - kPolishTolerance) {
        // Whatever lowers the largest spread, the polish finds the best of.
        ++lowered;
        ASSERT_TRUE(move);
        EXPECT_NEAR(move->max_spread, want.measure.first, 1e-9);
        EXPECT_NEAR(move->spread_sum, want.measure.second, 1e-9);
      }
      if (!move) continue;
      // What it hands back is an improvement that the rules allow, and it
      // is what it claims to be.
      std::vector<int> cls = g.class_of;
      std::vector<int> out_a, out_b;
      for (int x = 0; x < move->count; ++x) {
        const int i = move->out_of_a[x], k = move->out_of_b[x];
        EXPECT_EQ(g.class_of[i], move->a);
        EXPECT_EQ(g.class_of[k], move->b);
        EXPECT_EQ(g.boy[i], g.boy[k]);
        cls[i] = move->b;
        cls[k] = move->a;
        out_a.push_back(g.ids[i]);
        out_b.push_back(g.ids[k]);
      }
      if (rules) {
        vetoed += brute_force(g, nullptr).measure != want.measure;
        EXPECT_TRUE(rules->allowed(Exchange{move->a, move->b, out_a, out_b}));
        for (int id : out_a) EXPECT_TRUE(rules->companions(id).empty());
        for (int id : out_b) EXPECT_TRUE(rules->companions(id).empty());
      }
      const auto after = g.measure(cls);
      EXPECT_NEAR(after.first, move->max_spread, 1e-9);
      EXPECT_NEAR(after.second, move->spread_sum, 1e-9);
      EXPECT_TRUE(lower(after, now));
    }
  }
  // The grades must exercise both sides of the comparison.
  EXPECT_GT(lowered, 100);
  EXPECT_GT(vetoed, 20);
}

}  // namespace
}  // namespace lczs::classdiv
