// The elective plan against a brute force that knows nothing of groups,
// even splits or flows: every choice of a fixed set per class and every
// way of spreading each combination's students over the classes it may
// sit in, on small random grades under both systems.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <tuple>

#include "classdiv/xk_plan.h"

namespace lczs::classdiv {
namespace {

constexpr XkMask kPhysics = 1u << 0, kHistory = 1u << 4;

struct Score {
  long long walked = 0;
  int few = 0;
  int range = 0;
  double squares = 0;
  bool operator<(const Score& o) const {
    return std::tie(walked, few, range) < std::tie(o.walked, o.few, o.range) ||
           (std::tie(walked, few, range) == std::tie(o.walked, o.few, o.range) && squares < o.squares - 1e-9);
  }
};

std::optional<Score> brute_force(const XkPlanInput& in, int subjects) {
  std::vector<XkMask> sets;
  for (XkMask f = 0; f < (1u << subjects); ++f) {
    if (xk_popcount(f) > 3) continue;
    if (in.first_choices && !(f & in.first_choices)) continue;
    bool inside = false;
    for (auto& [c, n] : in.combos) inside |= (c & f) == f;
    if (inside) sets.push_back(f);
  }
  const int K = in.classes;
  int N = 0;
  for (auto& [c, n] : in.combos) N += n;
  std::optional<Score> best;
  std::vector<int> pick(K);
  std::vector<int> size(K);
  long long walked = 0;
  // Combination ci spreads its students over the classes, one class at a time.
  std::function<void(std::size_t, int, int)> spread = [&](std::size_t ci, int cls, int left) {
    if (ci == in.combos.size()) {
      Score s;
      s.walked = walked;
      int lo = 1 << 30, hi = 0;
      for (int c = 0; c < K; ++c) {
        if (size[c] < in.lo || size[c] > in.hi) return;
        lo = std::min(lo, size[c]);
        hi = std::max(hi, size[c]);
        s.few += xk_popcount(sets[pick[c]]) < 2;
        s.squares += (size[c] - double(N) / K) * (size[c] - double(N) / K);
      }
      s.range = hi - lo;
      if (!best || s < *best) best = s;
      return;
    }
    const XkMask combo = in.combos[ci].first;
    if (cls == K) {
      if (left == 0) spread(ci + 1, 0, ci + 1 < in.combos.size() ? in.combos[ci + 1].second : 0);
      return;
    }
    const XkMask f = sets[pick[cls]];
    const int most = (combo & f) == f ? std::min(left, in.hi - size[cls]) : 0;
    for (int n = 0; n <= most; ++n) {
      size[cls] += n;
      walked += static_cast<long long>(n) * (3 - xk_popcount(f));
      spread(ci, cls + 1, left - n);
      size[cls] -= n;
      walked -= static_cast<long long>(n) * (3 - xk_popcount(f));
    }
  };
  std::function<void(int, int)> choose = [&](int cls, int from) {
    if (cls == K) {
      std::fill(size.begin(), size.end(), 0);
      spread(0, 0, in.combos[0].second);
      return;
    }
    for (int i = from; i < static_cast<int>(sets.size()); ++i) {
      pick[cls] = i;
      choose(cls + 1, i);
    }
  };
  choose(0, 0);
  return best;
}

XkMask random_combo(std::mt19937& rng, int subjects, bool first_choice) {
  for (;;) {
    XkMask m = 0;
    if (first_choice) m |= rng() % 2 ? kPhysics : kHistory;
    while (xk_popcount(m) < 3) {
      const int bit = static_cast<int>(rng() % subjects);
      if (first_choice && (bit == 0 || bit == 4)) continue;
      m |= 1u << bit;
    }
    return m;
  }
}

TEST(ElectivePlan, MatchesBruteForceOnSmallGrades) {
  std::mt19937 rng(7);
  int compared = 0, feasible = 0;
  for (int round = 0; round < 160; ++round) {
    const bool first_choice = round % 2 == 0;
    const int subjects = first_choice ? 6 : (round % 4 == 1 ? 6 : 7);
    XkPlanInput in;
    in.first_choices = first_choice ? (kPhysics | kHistory) : 0;
    in.classes = 2 + static_cast<int>(rng() % 2);
    const int N = in.classes * 2 + static_cast<int>(rng() % 3);
    const int kinds = 1 + static_cast<int>(rng() % 3);
    std::vector<XkMask> masks;
    while (static_cast<int>(masks.size()) < kinds) {
      const XkMask m = random_combo(rng, subjects, first_choice);
      if (std::find(masks.begin(), masks.end(), m) == masks.end()) masks.push_back(m);
    }
    std::vector<int> counts(kinds, 1);
    for (int i = kinds; i < N; ++i) ++counts[rng() % kinds];
    for (int i = 0; i < kinds; ++i) in.combos.emplace_back(masks[i], counts[i]);
    const int d = static_cast<int>(rng() % 3);
    in.lo = std::max(1, N / in.classes - d);
    in.hi = (N + in.classes - 1) / in.classes + d;
    SCOPED_TRACE("round " + std::to_string(round));
    const auto expected = brute_force(in, subjects);
    const auto plan = xk_best_plan(in);
    ++compared;
    ASSERT_EQ(expected.has_value(), plan.has_value());
    if (!plan) continue;
    ++feasible;
    EXPECT_EQ(plan->walked, expected->walked);
    EXPECT_EQ(plan->few_fixed_classes, expected->few);
    EXPECT_EQ(plan->size_range, expected->range);
    EXPECT_NEAR(plan->squared_deviation, expected->squares, 1e-9);
    // The plan places every student once, only where the class's fixed
    // subjects are the student's own, in classes within the bounds.
    int classes = 0;
    std::vector<int> placed(in.combos.size(), 0);
    for (const XkGroup& g : plan->groups) {
      classes += g.classes;
      int sum = 0;
      for (auto& [c, n] : g.from) {
        EXPECT_EQ(c & g.fixed, g.fixed);
        sum += n;
        for (std::size_t i = 0; i < in.combos.size(); ++i)
          if (in.combos[i].first == c) placed[i] += n;
      }
      EXPECT_EQ(sum, g.students);
      for (int i = 0; i < g.classes; ++i) {
        EXPECT_GE(g.class_size(i), in.lo);
        EXPECT_LE(g.class_size(i), in.hi);
      }
    }
    EXPECT_EQ(classes, in.classes);
    for (std::size_t i = 0; i < in.combos.size(); ++i) EXPECT_EQ(placed[i], in.combos[i].second);
  }
  EXPECT_GT(feasible, compared / 3);
}

}  // namespace
}  // namespace lczs::classdiv
