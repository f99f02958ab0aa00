// Rules the search keeps: vetoed exchanges are never made and tied students
// move only as a whole group, in both phases of the search.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "classdiv/fb_moves.h"
#include "classdiv/fb_refine.h"
#include "classdiv/fb_search.h"

namespace lczs::classdiv {
namespace {

// Some students may not leave their class, some are tied in groups. The
// rules follow the arrangement through reset() and made() and check what
// they are told against it.
class TestRules : public MoveRules {
 public:
  std::set<int> fixed;
  std::vector<std::vector<int>> groups;
  std::vector<int> group_of;  // [record number], -1 for none
  std::vector<int> class_of;
  std::vector<int> boy;  // [record number]
  mutable int split_asked = 0;
  int group_moves = 0;

  bool allowed(const Exchange& x) const override {
    for (auto side : {x.out_of_a, x.out_of_b})
      for (int id : side)
        if (fixed.count(id)) return false;
    return !splits(x);
  }
  void made(const Exchange& x) override {
    EXPECT_FALSE(splits(x));
    EXPECT_EQ(x.out_of_a.size(), x.out_of_b.size());
    for (std::size_t n = 0; n < x.out_of_a.size(); ++n) {
      const int i = x.out_of_a[n], k = x.out_of_b[n];
      EXPECT_EQ(class_of[i], x.a);
      EXPECT_EQ(class_of[k], x.b);
      EXPECT_EQ(boy[i], boy[k]);
      EXPECT_FALSE(fixed.count(i) || fixed.count(k));
      group_moves += group_of[i] >= 0;
      class_of[i] = x.b;
      class_of[k] = x.a;
    }
  }
  void reset(std::span<const int> now) override { class_of.assign(now.begin(), now.end()); }
  std::span<const int> companions(int id) const override {
    return group_of[id] < 0 ? std::span<const int>{} : std::span<const int>(mates[id]);
  }
  std::vector<std::vector<int>> mates;  // [record number]: the others of its group

 private:
  // Whether some group would end in two classes.
  bool splits(const Exchange& x) const {
    std::set<int> moving(x.out_of_a.begin(), x.out_of_a.end());
    moving.insert(x.out_of_b.begin(), x.out_of_b.end());
    for (int id : moving)
      if (group_of[id] >= 0)
        for (int other : mates[id])
          if (!moving.count(other)) {
            ++split_asked;
            return true;
          }
    return false;
  }
};

TEST(MoveRules, VetoedExchangesAreNeverMadeAndGroupsMoveWhole) {
  int group_moves = 0;  // over all books: groups must move at all
  // The last book has classes enough for the annealing walk.
  for (unsigned seed : {1u, 2u, 3u, static_cast<unsigned>(kAnnealClasses - 3)}) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    const int K = 3 + seed, per = 20, N = K * per, M = 3;
    SearchInput in;
    in.students = N;
    in.columns = M;
    in.classes = K;
    for (int n = 0; n < N * M; ++n) in.scores.push_back(20 + rng() % 80);
    in.rows.assign(K + 1, {0, 0, 0, 0});
    in.sizes.assign(K + 1, per);
    TestRules rules;
    rules.boy.assign(N + 1, 0);
    rules.group_of.assign(N + 1, -1);
    rules.mates.assign(N + 1, {});
    for (int c = 1; c <= K; ++c) {
      const int first = 2 + (c - 1) * per, boys = 8 + c % 3;
      in.rows[c] = {first, first + boys - 1, first + boys, first + per - 1};
      for (int r = first; r < first + boys; ++r) rules.boy[r - 1] = 1;
      rules.fixed.insert(first - 1 + 2);  // a boy
      // A boy and a girl tied, and two girls.
      for (std::vector<int> g : {std::vector<int>{first - 1, first - 1 + per - 1},
                                 std::vector<int>{first - 1 + per - 2, first - 1 + per - 3}}) {
        for (int id : g) {
          rules.group_of[id] = static_cast<int>(rules.groups.size());
          for (int other : g)
            if (other != id) rules.mates[id].push_back(other);
        }
        rules.groups.push_back(g);
      }
    }
    FbSearch greedy(in);
    greedy.set_rules(&rules);
    for (int cycle = 0; cycle < 40 && greedy.cycle(); ++cycle) {
    }
    rules.split_asked = 0;  // the greedy phase proposes single students only
    FbRefine refine(greedy.input(), seed, &rules);
    refine.run(50000, -1);
    refine.polish_best(-1);
    EXPECT_EQ(rules.split_asked, 0);
    group_moves += rules.group_moves;
    // The best state written back keeps the rules too.
    std::vector<int> class_at(N + 1, 0), start(N + 1, 0);
    for (int c = 1; c <= K; ++c)
      for (int r = in.rows[c][0]; r <= in.rows[c][3]; ++r) {
        class_at[refine.best_ids()[r - 2]] = c;
        start[r - 1] = c;
      }
    for (int id : rules.fixed) EXPECT_EQ(class_at[id], start[id]);
    for (const auto& g : rules.groups)
      for (int id : g) EXPECT_EQ(class_at[id], class_at[g[0]]);
  }
  EXPECT_GT(group_moves, 0);
}

}  // namespace
}  // namespace lczs::classdiv
