// The end-game against a brute force over every single exchange of small
// grades, some with a total column, with and without a rule that vetoes one.
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

}  // namespace
}  // namespace lczs::classdiv
