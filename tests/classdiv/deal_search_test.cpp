// The serpentine deal and the in-memory search on their own.
#include <gtest/gtest.h>

#include <random>

#include "classdiv/fb_main.h"
#include "classdiv/fb_search.h"

namespace lczs::classdiv {
namespace {

TEST(Deal, FollowsTheSerpentineAndTheContinuationRule) {
  struct Case {
    int boys, girls, classes;
    std::vector<int> want;
  };
  const Case cases[] = {
      // The three worked deals for three classes.
      {6, 4, 3, {1, 2, 3, 3, 2, 1, /*girls*/ 3, 2, 1, 1}},
      {4, 5, 3, {1, 2, 3, 3, /*whole pass*/ 3, 2, 1, /*continuation*/ 2, 1}},
      {4, 2, 3, {1, 2, 3, 3, 2, 1}},
      // No boys: the girls start at the last class.
      {0, 7, 3, {3, 2, 1, 1, 2, 3, 3}},
      // No girls.
      {7, 0, 3, {1, 2, 3, 3, 2, 1, 1}},
      // An even number of whole boy passes continues upwards, wrapping to 1.
      {7, 2, 3, {1, 2, 3, 3, 2, 1, 1, /*girls*/ 2, 3}},
      {8, 2, 3, {1, 2, 3, 3, 2, 1, 1, 2, /*girls*/ 3, 1}},
      // Two classes.
      {3, 3, 2, {1, 2, 2, /*girls: 3 - 1 = 2 walk*/ 2, 1, /*continuation, 3 div 2 odd*/ 1}},
      // One student per class.
      {1, 2, 3, {1, 2, 3}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fb_deal(c.boys, c.girls, c.classes), c.want)
        << c.boys << " boys, " << c.girls << " girls, " << c.classes << " classes";
  }
}

TEST(Deal, KeepsClassSizesAndGendersWithinOne) {
  for (int K = 2; K <= 7; ++K)
    for (int B = 0; B <= 20; ++B)
      for (int G = 0; G <= 20; ++G) {
        if (B + G < K) continue;
        auto d = fb_deal(B, G, K);
        std::vector<int> size(K + 1), boys(K + 1);
        for (int n = 0; n < B + G; ++n) {
          ASSERT_GE(d[n], 1);
          ASSERT_LE(d[n], K);
          ++size[d[n]];
          if (n < B) ++boys[d[n]];
        }
        auto [lo, hi] = std::minmax_element(size.begin() + 1, size.end());
        EXPECT_LE(*hi - *lo, 1) << B << " " << G << " " << K;
        EXPECT_GE(*lo, 1);
        auto [blo, bhi] = std::minmax_element(boys.begin() + 1, boys.end());
        EXPECT_LE(*bhi - *blo, 1);
      }
}

SearchInput worked_example() {
  // Two classes of boys, one subject and the total (equal to it).
  SearchInput in;
  in.students = 4;
  in.columns = 2;
  in.classes = 2;
  for (double x : {90.0, 70.0, 60.0, 50.0}) {
    in.scores.push_back(x);
    in.scores.push_back(x);
  }
  in.rows = {{0, 0, 0, 0}, {2, 3, 4, 3}, {4, 5, 6, 5}};
  in.sizes = {0, 2, 2};
  return in;
}

TEST(Search, WorkedExampleExchangesRowsTwoAndFour) {
  for (Judge judge : {Judge::Fast, Judge::Plain}) {
    FbSearch s(worked_example(), judge);
    EXPECT_EQ(s.spread(1), 25);
    EXPECT_EQ(s.high_class(1), 1);
    EXPECT_EQ(s.low_class(1), 2);
    // (2,4) and (3,5) both gain 20; the lower row of the high class wins.
    auto ex = s.cycle();
    ASSERT_TRUE(ex);
    EXPECT_EQ(*ex, std::make_pair(2, 4));
    EXPECT_EQ(s.best_gain(), 20.0f);
    EXPECT_EQ(s.class_average(1, 1), 65);
    EXPECT_EQ(s.class_average(1, 2), 70);
    EXPECT_EQ(s.spread(1), 5);
    EXPECT_EQ(s.max_spread(), 5.0f);
    EXPECT_EQ(s.candidates_judged(), 4);
  }
}

TEST(Search, TiedExtremesNameTheLowerClassAndTheLeftmostColumn) {
  SearchInput in;
  in.students = 3;
  in.columns = 3;
  in.classes = 3;
  // Column 1: classes 1 and 2 tie highest; column 2: 2 and 3 tie lowest;
  // columns 1 and 3 share the largest spread.
  in.scores = {80, 70, 60,   //
               80, 60, 65,   //
               60, 60, 80};
  in.rows = {{0, 0, 0, 0}, {2, 2, 3, 2}, {3, 3, 4, 3}, {4, 4, 5, 4}};
  in.sizes = {0, 1, 1, 1};
  FbSearch s(in);
  EXPECT_EQ(s.high_class(1), 1);
  EXPECT_EQ(s.low_class(1), 3);
  EXPECT_EQ(s.high_class(2), 1);
  EXPECT_EQ(s.low_class(2), 2);
  EXPECT_EQ(s.worst_column(), 1);
  EXPECT_EQ(s.max_spread(), 20.0f);
}

TEST(Search, NoPairOfTheSameGenderEndsTheSearch) {
  SearchInput in;
  in.students = 2;
  in.columns = 1;
  in.classes = 2;
  in.scores = {90, 50};
  // Class 1 only a boy, class 2 only a girl.
  in.rows = {{0, 0, 0, 0}, {2, 2, 3, 2}, {3, 2, 3, 3}};
  in.sizes = {0, 1, 1};
  FbSearch s(in);
  EXPECT_FALSE(s.cycle());
}

TEST(Search, EqualAveragesEverywhereStillMakeAnExchange) {
  // h = l = class 1: a row is exchanged with itself, nothing moves.
  SearchInput in;
  in.students = 4;
  in.columns = 1;
  in.classes = 2;
  in.scores = {70, 50, 60, 60};
  in.rows = {{0, 0, 0, 0}, {2, 3, 4, 3}, {4, 5, 6, 5}};
  in.sizes = {0, 2, 2};
  FbSearch s(in);
  ASSERT_EQ(s.max_spread(), 0.0f);
  auto ex = s.cycle();
  ASSERT_TRUE(ex);
  EXPECT_EQ(*ex, std::make_pair(2, 2));
  EXPECT_EQ(s.score(2, 1), 70);
}

// The fast judge must agree with recomputing every spread, bit for bit,
// on data whose decimals make float and double disagree.
TEST(Search, FastJudgeMakesTheSameExchangesAsThePlainOne) {
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    std::mt19937 rng(seed);
    const int K = 2 + seed % 5, per = 9, N = K * per, M = 4;
    SearchInput in;
    in.students = N;
    in.columns = M;
    in.classes = K;
    for (int n = 0; n < N * M; ++n) in.scores.push_back((rng() % 1000) / 10.0 + (rng() % 3) * 0.05);
    in.rows.assign(K + 1, {0, 0, 0, 0});
    in.sizes.assign(K + 1, per);
    for (int c = 1; c <= K; ++c) {
      int first = 2 + (c - 1) * per;
      int boys = 4 + c % 2;
      in.rows[c] = {first, first + boys - 1, first + boys, first + per - 1};
    }
    FbSearch fast(in, Judge::Fast), plain(in, Judge::Plain);
    for (int cyc = 0; cyc < 60; ++cyc) {
      auto a = fast.cycle();
      auto b = plain.cycle();
      ASSERT_EQ(a, b) << "seed " << seed << " cycle " << cyc;
      ASSERT_EQ(fast.best_gain(), plain.best_gain());
      ASSERT_EQ(fast.max_spread(), plain.max_spread());
    }
  }
}

TEST(EndMessage, RoundsHalvesToEvenAndSplitsMinutes) {
  const std::pair<double, const char*> cases[] = {
      {60, "程序共执行了1分0秒，分班结束!"},   {59.4, "程序共执行了59秒，分班结束!"},
      {75, "程序共执行了1分15秒，分班结束!"},  {42, "程序共执行了42秒，分班结束!"},
      {0.5, "程序共执行了0秒，分班结束!"},     {1.5, "程序共执行了2秒，分班结束!"},
      {2.5, "程序共执行了2秒，分班结束!"},     {59.5, "程序共执行了1分0秒，分班结束!"},
      {3600, "程序共执行了60分0秒，分班结束!"},
  };
  for (auto [t, want] : cases) EXPECT_EQ(fb_end_message(t), want) << t;
}

}  // namespace
}  // namespace lczs::classdiv
