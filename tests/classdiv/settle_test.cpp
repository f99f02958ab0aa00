// The end-game against a brute force over every single exchange of small
// grades, some with a total column, with and without a rule that vetoes one;
// and the floor it reasons out against the best of every arrangement.
#include <gtest/gtest.h>

#include <random>

#include "classdiv/fb_settle.h"
#include "tests/classdiv/small_grade.h"

namespace lczs::classdiv {
namespace {

using namespace testing;

TEST(Settle, ReachesWhatOneExchangeReachesAndKeepsTheRules) {
  std::mt19937 rng(11);
  // Every target and placement between the floor and the state: the
  // search itself is what is checked here.
  const SettleLimits everything{kSettleReach, 1000, 100000, 1 << 20};
  int lowered = 0;  // grades near their floor where one exchange helps
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    const Grade g = random_grade(rng, 3, 3, trial % 2);
    OneVeto veto(rng, g.n);
    for (MoveRules* rules : {static_cast<MoveRules*>(nullptr), static_cast<MoveRules*>(&veto)}) {
      SCOPED_TRACE(rules ? "with a veto" : "without rules");
      const double now = g.measure(g.class_of).first;
      FbSettle settle(rules, everything);
      const std::vector<PolishMove> moves = settle.settle(g.view(), now, 1LL << 40);
      // The exchanges, made row by row, keep sizes, genders and the rules.
      Grade after = g;
      for (const PolishMove& move : moves)
        for (int x = 0; x < move.count; ++x) {
          const int i = move.out_of_a[x], k = move.out_of_b[x];
          ASSERT_EQ(g.class_of[i], move.a);
          ASSERT_EQ(g.class_of[k], move.b);
          EXPECT_EQ(g.boy[i], g.boy[k]);
          if (rules) {
            const std::vector<int> out_a{after.ids[i]}, out_b{after.ids[k]};
            EXPECT_TRUE(rules->allowed(Exchange{move.a, move.b, out_a, out_b}));
            EXPECT_TRUE(rules->companions(after.ids[i]).empty() && rules->companions(after.ids[k]).empty());
          }
          std::swap_ranges(&after.scores[i * g.m], &after.scores[(i + 1) * g.m], &after.scores[k * g.m]);
          std::swap(after.ids[i], after.ids[k]);
        }
      const double reached = after.measure(after.class_of).first;
      if (!moves.empty()) {
        EXPECT_LT(reached, now - kPolishTolerance);
      }
      const Found want = best_single_exchange(g, rules);
      if (settle.floor() > 0 && want.any && want.measure.first < now - kPolishTolerance) {
        ++lowered;
        EXPECT_LE(reached, want.measure.first + kPolishTolerance);
      }
    }
  }
  // The grades must exercise the comparison.
  EXPECT_GT(lowered, 20);
}

// The lowest largest spread of any arrangement with the classes' sizes and
// gender counts.
double best_arrangement(const Grade& g) {
  std::vector<std::array<int, 2>> room(g.k + 1, {0, 0});  // [class]: boys, girls
  for (int r = 0; r < g.n; ++r) ++room[g.class_of[r]][g.boy[r] ? 0 : 1];
  std::vector<int> cls(g.n);
  double best = g.measure(g.class_of).first;
  auto place = [&](auto&& self, int r) -> void {
    if (r == g.n) {
      best = std::min(best, g.measure(cls).first);
      return;
    }
    for (int c = 1; c <= g.k; ++c) {
      int& left = room[c][g.boy[r] ? 0 : 1];
      if (!left) continue;
      --left;
      cls[r] = c;
      self(self, r + 1);
      ++left;
    }
  };
  place(place, 0);
  return best;
}

TEST(Settle, FloorIsNoHigherThanAnyArrangementReaches) {
  std::mt19937 rng(5);
  // The first target some placement allows, every placement judged.
  const SettleLimits anywhere{1000, 1, 100000, 1 << 16};
  int checked = 0;
  for (int trial = 0; trial < 400; ++trial) {
    SCOPED_TRACE(trial);
    const Grade g = random_grade(rng, 2, 2, trial % 4 != 0);
    // Arrangements: the multinomials of boys and of girls over the classes.
    double count = 1;
    std::array<int, 2> seen{0, 0};
    std::vector<std::array<int, 2>> in(g.k + 1, {0, 0});
    for (int r = 0; r < g.n; ++r) {
      const int x = g.boy[r] ? 0 : 1;
      count *= ++seen[x];
      count /= ++in[g.class_of[r]][x];
    }
    if (count > 30000) continue;
    FbSettle settle(nullptr, anywhere);
    settle.settle(g.view(), g.measure(g.class_of).first, 1000);
    // Targets are spreads above zero; a grade that can have none is not
    // what the floor speaks of.
    const double best = best_arrangement(g);
    if (settle.floor() == 0 || best < kPolishTolerance) continue;
    ++checked;
    EXPECT_LE(settle.floor(), best + kPolishTolerance);
  }
  EXPECT_GT(checked, 40);
}

}  // namespace
}  // namespace lczs::classdiv
