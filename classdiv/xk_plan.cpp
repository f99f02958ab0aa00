// Why the search below returns the optimum.
//
// A plan is a number of classes k_F for every fixed set F (summing to K)
// and the students x_{c,F} each combination c sends to each F ⊆ c. Every
// objective depends on the groups alone: the walked lessons are
// Σ (3 - |F|)·S_F, the classes fixing fewer than two subjects are a sum of
// k_F, and a group's S_F students in k_F classes are best split evenly, which
// gives both the smallest range and the smallest squared deviation that S_F
// and k_F allow (any uneven split has a larger class and a smaller one).
//
// 1. For fixed k and a window [a, b] of class sizes, the best x is a
//    min-cost flow: source -> combination c (n_c) -> fixed set F ⊆ c ->
//    sink, the set's arc carrying k_F·a to k_F·b students. The cost of a
//    group is convex in S_F (each student walks 3 - |F|; once all k_F
//    classes hold q, the next one adds K(2q+1) - 2N to K times the squared
//    deviation), so it is laid out as parallel arcs of rising cost, and
//    the lower bound k_F·a as an arc whose cost has a first component that
//    outweighs every other. Costs are compared as triples (lower bounds
//    met, walks, squared deviation) so the order is exactly lexicographic
//    and nothing can overflow. Capacities are integral, so successive
//    shortest paths end at an integral optimum.
// 2. Every k with Σ k_F = K is reached by the depth-first search over the
//    sets (a set whose superset combinations hold fewer than a students can
//    never open a class, so its k_F is 0 in every plan). A subtree is
//    dropped only when a lower bound on its walks and its few-fixed classes
//    is no better than the best plan found: the bound is the flow in which
//    every undecided set feeds one pool that must hold R·a to R·b students,
//    R the classes left, and takes at most what its combinations have left
//    beyond the lower bounds of their own decided classes. Any completion of
//    the subtree is a feasible flow of this relaxation (its undecided groups
//    hold that many together), so none walks less; the few-fixed classes
//    already decided only grow. Under 3+1+2 no student may sit with the
//    other first choice, so every split of K between the two sides is
//    searched in turn, each side with its own pool and its own R.
// 3. The range and the squared deviation come next in the order. The
//    search first finds the least walks W and few-fixed classes L over
//    [lo, hi], then visits again every leaf whose bound does not exceed
//    (W, L) (the same bound, so no such plan is missed) and, for each that
//    reaches (W, L), tries the windows [a, a+w] for w = 0, 1, ...: a plan of
//    range r fits the window [its smallest, its largest], so the first width
//    at which some window reaches W is the leaf's least range, and the flow
//    of step 1 gives its least squared deviation there. The best leaf by
//    (range, squared deviation) is the plan.
#include "classdiv/xk_plan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <numeric>

namespace lczs::classdiv {

int xk_popcount(XkMask m) { return std::popcount(m); }

namespace {

// A cost compared lexicographically: lower bounds left unmet (a unit on a
// lower-bound arc earns -1), walks, K times the squared deviation.
struct Cost {
  long long unmet = 0, walks = 0, squares = 0;
  Cost operator+(const Cost& o) const { return {unmet + o.unmet, walks + o.walks, squares + o.squares}; }
  Cost operator-() const { return {-unmet, -walks, -squares}; }
  auto operator<=>(const Cost&) const = default;
};
constexpr Cost kInfinite{std::numeric_limits<long long>::max() / 4, 0, 0};

// Successive shortest paths on a graph of a hundred nodes, Bellman-Ford
// style (the arcs of lower bounds cost less than nothing).
class Network {
 public:
  explicit Network(int nodes) : head_(nodes, -1) {}
  int arc(int from, int to, int capacity, Cost cost) {
    const int id = static_cast<int>(to_.size());
    add(from, to, capacity, cost);
    add(to, from, 0, -cost);
    return id;
  }
  int flow(int id) const { return cap_[id ^ 1]; }
  // Sends as much as it can from s to t at the least cost.
  int run(int s, int t) {
    const int n = static_cast<int>(head_.size());
    int total = 0;
    std::vector<Cost> dist(n);
    std::vector<int> via(n);
    std::vector<char> queued(n);
    std::vector<int> queue;
    for (;;) {
      std::fill(dist.begin(), dist.end(), kInfinite);
      std::fill(via.begin(), via.end(), -1);
      dist[s] = Cost{};
      queue.assign(1, s);
      std::fill(queued.begin(), queued.end(), 0);
      queued[s] = 1;
      for (std::size_t qi = 0; qi < queue.size(); ++qi) {
        const int u = queue[qi];
        queued[u] = 0;
        for (int e = head_[u]; e >= 0; e = next_[e]) {
          if (cap_[e] <= 0) continue;
          const Cost d = dist[u] + cost_[e];
          if (d < dist[to_[e]]) {
            dist[to_[e]] = d;
            via[to_[e]] = e;
            if (!queued[to_[e]]) {
              queued[to_[e]] = 1;
              queue.push_back(to_[e]);
            }
          }
        }
      }
      if (via[t] < 0) return total;
      int push = std::numeric_limits<int>::max();
      for (int v = t; v != s; v = to_[via[v] ^ 1]) push = std::min(push, cap_[via[v]]);
      for (int v = t; v != s; v = to_[via[v] ^ 1]) {
        cap_[via[v]] -= push;
        cap_[via[v] ^ 1] += push;
      }
      total += push;
    }
  }

 private:
  void add(int from, int to, int capacity, Cost cost) {
    to_.push_back(to);
    cap_.push_back(capacity);
    cost_.push_back(cost);
    next_.push_back(head_[from]);
    head_[from] = static_cast<int>(to_.size()) - 1;
  }
  std::vector<int> head_, to_, cap_, next_;
  std::vector<Cost> cost_;
};

struct FixedSet {
  XkMask mask = 0;
  int walks = 0;
  int reach = 0;  // students whose combination holds the set
  int side = 0;   // under 3+1+2, 1 for the second first choice's sets
};

// Classes still to give out, per side: under 3+1+2 the two first choices
// share no student, so each side needs whole classes of its own.
using Left = std::array<int, 2>;

struct Outcome {
  long long walks = 0;
  long long squares = 0;          // Σ (K·size - N)², exact
  std::vector<int> students;      // per set
  std::vector<std::vector<int>> x;  // [combo][set]
};

// Subject order of the table: the set whose lowest differing subject comes
// first goes first.
bool table_order(XkMask a, XkMask b) {
  if (xk_popcount(a) != xk_popcount(b)) return xk_popcount(a) > xk_popcount(b);
  const XkMask diff = a ^ b;
  const XkMask low = diff & (~diff + 1);
  return (a & low) != 0;
}

class Search {
 public:
  explicit Search(const XkPlanInput& in) : in_(in) {
    N_ = 0;
    for (auto& [m, n] : in.combos) N_ += n;
    // Every set a class may fix: a subset of some combination, holding its
    // first choice under 3+1+2.
    std::vector<XkMask> masks;
    for (auto& [c, n] : in.combos) {
      (void)n;
      for (XkMask f = c;; f = (f - 1) & c) {
        const bool ok = in.first_choices ? (f & in.first_choices) != 0 : true;
        if (ok && std::find(masks.begin(), masks.end(), f) == masks.end()) masks.push_back(f);
        if (f == 0) break;
      }
    }
    for (XkMask f : masks) {
      const XkMask first = in.first_choices & (~in.first_choices + 1);
      FixedSet s{f, 3 - xk_popcount(f), 0, in.first_choices && !(f & first) ? 1 : 0};
      for (auto& [c, n] : in.combos)
        if ((c & f) == f) s.reach += n;
      all_.push_back(s);
    }
    for (auto& [c, n] : in.combos) {
      const XkMask first = in.first_choices & (~in.first_choices + 1);
      side_students_[in.first_choices && !(c & first) ? 1 : 0] += n;
    }
    std::sort(all_.begin(), all_.end(), [](const FixedSet& a, const FixedSet& b) {
      if (a.walks != b.walks) return a.walks < b.walks;
      if (a.reach != b.reach) return a.reach > b.reach;
      return a.mask < b.mask;
    });
  }

  // Least (walks, few-fixed classes) and, with a target, the least squared
  // deviation among plans reaching it, within the window [a, b].
  struct Best {
    bool found = false;
    long long walks = 0;
    int few = 0;
    long long squares = 0;
    int range = 0;
    std::vector<int> k;
    Outcome out;
  };
  Best run(int a, int b, const Best* target) {
    a_ = a;
    b_ = b;
    target_ = target;
    sets_.clear();
    for (const FixedSet& s : all_)
      if (s.reach >= a) sets_.push_back(s);
    best_ = Best{};
    k_.assign(sets_.size(), 0);
    last_of_side_ = {-1, -1};
    for (std::size_t i = 0; i < sets_.size(); ++i) last_of_side_[sets_[i].side] = static_cast<int>(i);
    if (sets_.empty()) return best_;
    const int K = in_.classes;
    if (!in_.first_choices) {
      dfs(0, Left{K, 0}, 0);
      return best_;
    }
    // Every split of the classes between the sides, the one nearest the
    // sides' shares first.
    const int guess = std::clamp(
        static_cast<int>((static_cast<long long>(side_students_[0]) * K + N_ / 2) / std::max(1, N_)), 0, K);
    auto split = [&](int first) { dfs(0, Left{first, K - first}, 0); };
    for (int step = 0; guess + step <= K || guess - step >= 0; ++step) {
      if (guess + step <= K) split(guess + step);
      if (step > 0 && guess - step >= 0) split(guess - step);
    }
    return best_;
  }
  const std::vector<FixedSet>& sets() const { return sets_; }
  long long nodes() const { return nodes_; }
  int students() const { return N_; }

 private:
  // The flow with the first `decided` sets at k_ and the rest pooled.
  std::optional<Outcome> flow(std::size_t decided, Left left, bool squares) {
    const int C = static_cast<int>(in_.combos.size());
    const int F = static_cast<int>(sets_.size());
    const int src = 0, pool = C + F + 1, sink = C + F + 3;
    Network net(C + F + 4);
    const long long K = in_.classes;
    std::vector<std::vector<int>> arcs(C, std::vector<int>(F, -1));
    for (int c = 0; c < C; ++c) {
      net.arc(src, 1 + c, in_.combos[c].second, Cost{});
      for (int f = 0; f < F; ++f)
        if ((in_.combos[c].first & sets_[f].mask) == sets_[f].mask)
          arcs[c][f] = net.arc(1 + c, 1 + C + f, in_.combos[c].second, Cost{});
    }
    std::vector<int> bound_arcs;
    for (int f = 0; f < F; ++f) {
      const int node = 1 + C + f;
      const long long w = sets_[f].walks;
      if (static_cast<std::size_t>(f) >= decided) {
        // Its classes are at most its reach over a, each holding at most b.
        const int reach = reach_now(f, decided);
        const long long most = std::min(left[sets_[f].side], reach / a_);
        net.arc(node, pool + sets_[f].side, static_cast<int>(std::min<long long>(reach, most * b_)), Cost{0, w, 0});
        continue;
      }
      const int k = k_[f];
      if (k == 0) continue;
      bound_arcs.push_back(net.arc(node, sink, k * a_, Cost{-1, w, 0}));
      if (!squares) {
        if (b_ > a_) net.arc(node, sink, k * (b_ - a_), Cost{0, w, 0});
      } else {
        for (int q = a_; q < b_; ++q) net.arc(node, sink, k, Cost{0, w, K * (2 * q + 1) - 2LL * N_});
      }
    }
    for (int side : {0, 1}) {
      if (left[side] == 0) continue;
      bound_arcs.push_back(net.arc(pool + side, sink, left[side] * a_, Cost{-1, 0, 0}));
      if (b_ > a_) net.arc(pool + side, sink, left[side] * (b_ - a_), Cost{});
    }
    if (net.run(src, sink) != N_) return std::nullopt;
    // Every lower bound must be met in full.
    {
      std::size_t i = 0;
      for (int f = 0; f < F && static_cast<std::size_t>(f) < decided; ++f) {
        if (k_[f] == 0) continue;
        if (net.flow(bound_arcs[i++]) != k_[f] * a_) return std::nullopt;
      }
      for (int side : {0, 1})
        if (left[side] > 0 && net.flow(bound_arcs[i++]) != left[side] * a_) return std::nullopt;
    }
    Outcome out;
    out.students.assign(F, 0);
    out.x.assign(C, std::vector<int>(F, 0));
    for (int c = 0; c < C; ++c)
      for (int f = 0; f < F; ++f)
        if (arcs[c][f] >= 0) {
          const int moved = net.flow(arcs[c][f]);
          out.x[c][f] = moved;
          out.students[f] += moved;
          out.walks += static_cast<long long>(moved) * sets_[f].walks;
        }
    if (decided == sets_.size())
      for (int f = 0; f < F; ++f) {
        if (k_[f] == 0) continue;
        for (int i = 0; i < k_[f]; ++i) {
          const long long size = out.students[f] / k_[f] + (i < out.students[f] % k_[f] ? 1 : 0);
          const long long d = K * size - N_;
          out.squares += d * d;
        }
      }
    return out;
  }

  // Whether (walks, few) is worse than what is kept (or the target).
  // Whether a plan (or a bound) of these walks and few-fixed classes can be
  // dropped: when looking for the target, anything above it; otherwise
  // anything not strictly better than the best plan found.
  bool worse(long long walks, int few) const {
    if (target_) {
      if (walks != target_->walks) return walks > target_->walks;
      return few > target_->few;
    }
    if (!best_.found) return false;
    if (walks != best_.walks) return walks > best_.walks;
    return few >= best_.few;
  }

  // Students a set can still be given: its combinations' students less
  // those the decided classes of a single combination must take.
  int reach_now(std::size_t i, std::size_t decided) const {
    const FixedSet& s = sets_[i];
    if (s.walks == 0) return s.reach;
    long long r = s.reach;
    for (std::size_t j = 0; j < decided; ++j)
      if (sets_[j].walks == 0 && (sets_[j].mask & s.mask) == s.mask) r -= static_cast<long long>(k_[j]) * a_;
    return static_cast<int>(std::max(0LL, r));
  }

  void leaf(int few) {
    if (target_) {
      if (few == target_->few) narrowest(few);
      return;
    }
    auto out = flow(sets_.size(), Left{0, 0}, false);
    if (!out || worse(out->walks, few)) return;
    best_.found = true;
    best_.walks = out->walks;
    best_.few = few;
    best_.k = k_;
    best_.out = std::move(*out);
  }

  // A leaf that reaches the target: its narrowest window of class sizes and
  // there its least squared deviation, kept when better than the best.
  void narrowest(int few) {
    const auto whole = flow(sets_.size(), Left{0, 0}, false);
    if (!whole || whole->walks != target_->walks) return;
    const int a0 = a_, b0 = b_;
    const int widest = best_.found ? std::min(best_.range, b0 - a0) : b0 - a0;
    for (int w = 0; w <= widest; ++w) {
      bool any = false;
      for (int a = a0; a + w <= b0; ++a) {
        a_ = a;
        b_ = a + w;
        auto out = flow(sets_.size(), Left{0, 0}, true);
        if (!out || out->walks != target_->walks) continue;
        any = true;
        if (best_.found && (w > best_.range || (w == best_.range && out->squares >= best_.squares))) continue;
        best_.found = true;
        best_.walks = out->walks;
        best_.few = few;
        best_.squares = out->squares;
        best_.range = w;
        best_.k = k_;
        best_.out = std::move(*out);
      }
      if (any) break;
    }
    a_ = a0;
    b_ = b0;
  }

  void dfs(std::size_t i, Left left, int few) {
    ++nodes_;
    if (left[0] == 0 && left[1] == 0) {
      // Every set left keeps no class.
      for (std::size_t j = i; j < sets_.size(); ++j) k_[j] = 0;
      leaf(few);
      return;
    }
    if (i == sets_.size()) return;
    // The classes left on each side must fit into its sets left.
    Left room{0, 0};
    for (std::size_t j = i; j < sets_.size(); ++j) room[sets_[j].side] += reach_now(j, i) / a_;
    if (room[0] < left[0] || room[1] < left[1]) return;
    const auto bound = flow(i, left, false);
    if (!bound || worse(bound->walks, few)) return;
    const FixedSet& s = sets_[i];
    const int most = std::min(left[s.side], reach_now(i, i) / a_);
    const int least = static_cast<int>(i) == last_of_side_[s.side] ? left[s.side] : 0;
    if (least > most) return;
    // The relaxation's own choice first, then outwards from it: a good plan
    // found early cuts more.
    const int guess = std::clamp((bound->students[i] + b_ - 1) / b_, least, most);
    auto visit = [&](int k) {
      // A plan found below a sibling may already reach this node's bound.
      if (worse(bound->walks, few)) return;
      k_[i] = k;
      Left next = left;
      next[s.side] -= k;
      dfs(i + 1, next, few + (s.walks >= 2 ? k : 0));
    };
    for (int step = 0; guess + step <= most || guess - step >= least; ++step) {
      if (guess + step <= most) visit(guess + step);
      if (step > 0 && guess - step >= least) visit(guess - step);
    }
    k_[i] = 0;
  }

  const XkPlanInput& in_;
  int N_ = 0;
  std::vector<FixedSet> all_, sets_;
  int a_ = 0, b_ = 0;
  const Best* target_ = nullptr;
  Best best_;
  std::vector<int> k_;
  long long nodes_ = 0;
  std::array<int, 2> side_students_{0, 0};
  std::array<int, 2> last_of_side_{-1, -1};
};

}  // namespace

std::optional<XkPlan> xk_best_plan(const XkPlanInput& in) {
  if (in.classes < 1 || in.lo < 1 || in.hi < in.lo) return std::nullopt;
  Search search(in);
  const auto optimum = search.run(in.lo, in.hi, nullptr);
  if (!optimum.found) return std::nullopt;
  // Every plan reaching the optimum is visited once more for the range and
  // the squared deviation.
  const Search::Best best = search.run(in.lo, in.hi, &optimum);
  const std::vector<FixedSet> sets = search.sets();
  XkPlan plan;
  plan.nodes = search.nodes();
  const int N = search.students();
  for (std::size_t f = 0; f < sets.size(); ++f) {
    if (best.k[f] == 0) continue;
    XkGroup g;
    g.fixed = sets[f].mask;
    g.classes = best.k[f];
    g.students = best.out.students[f];
    for (std::size_t c = 0; c < in.combos.size(); ++c)
      if (best.out.x[c][f] > 0) g.from.emplace_back(in.combos[c].first, best.out.x[c][f]);
    plan.groups.push_back(std::move(g));
  }
  std::sort(plan.groups.begin(), plan.groups.end(),
            [](const XkGroup& a, const XkGroup& b) { return table_order(a.fixed, b.fixed); });
  plan.walked = best.walks;
  plan.few_fixed_classes = best.few;
  int largest = 0, smallest = std::numeric_limits<int>::max();
  const double mean = static_cast<double>(N) / in.classes;
  for (const XkGroup& g : plan.groups)
    for (int i = 0; i < g.classes; ++i) {
      largest = std::max(largest, g.class_size(i));
      smallest = std::min(smallest, g.class_size(i));
      plan.squared_deviation += (g.class_size(i) - mean) * (g.class_size(i) - mean);
    }
  plan.size_range = largest - smallest;
  return plan;
}

}  // namespace lczs::classdiv
