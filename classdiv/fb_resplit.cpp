#include "classdiv/fb_resplit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lczs::classdiv {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Partners of the same gender a student's single exchange is asked about
// before the student is counted as one that rules keep in place.
constexpr int kPartnerTries = 4;
// Narrowest interval the guide scales by, in sums: one a hit can only
// graze still pulls with a finite force.
constexpr double kNarrowest = 1e-3;

bool better(double mx, double sum, double ref_max, double ref_sum) {
  return mx < ref_max - kPolishTolerance || (mx <= ref_max + kPolishTolerance && sum < ref_sum - kPolishTolerance);
}

}  // namespace

std::optional<ResplitMove> FbResplit::best_resplit(const PolishView& v, long long pair_budget) {
  const int m = v.columns, k = v.classes;
  if (k < 2 || m < 1) return std::nullopt;
  // The worst column and its classes from the highest average down.
  int w = 0;
  double widest = -1;
  std::vector<int> order(k);
  auto avg = [&](int c, int j) { return v.sums[c * m + j] / v.sizes[c]; };
  for (int j = 0; j < m; ++j) {
    double hi = -kInf, lo = kInf;
    for (int c = 1; c <= k; ++c) {
      hi = std::max(hi, avg(c, j));
      lo = std::min(lo, avg(c, j));
    }
    if (hi - lo > widest) {
      widest = hi - lo;
      w = j;
    }
  }
  for (int c = 1; c <= k; ++c) order[c - 1] = c;
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return avg(x, w) > avg(y, w); });
  // Only a pair holding the top or the bottom class can narrow the column;
  // a partner far along at the other end gives the most room.
  std::vector<std::pair<int, int>> pairs{{order[0], order[k - 1]}};
  for (int x = 1; x < k - 1 && static_cast<int>(pairs.size()) < kResplitPairs; ++x) {
    pairs.emplace_back(order[0], order[k - 1 - x]);
    if (static_cast<int>(pairs.size()) < kResplitPairs) pairs.emplace_back(order[x], order[k - 1]);
  }
  for (auto [a, b] : pairs)
    if (auto move = resplit_pair(v, a, b, pair_budget)) return move;
  return std::nullopt;
}

bool FbResplit::movable(int r, int other) const {
  if (!rules_) return true;
  if (!rules_->companions(v_.ids[r]).empty()) return false;
  const int from = other == a_ ? b_ : a_;
  const bool boy = r <= v_.blocks[from][1];
  const auto& bl = v_.blocks[other];
  const int first = boy ? bl[0] : bl[2], last = boy ? bl[1] : bl[3];
  int tries = 0;
  for (int y = first; y <= last && tries < kPartnerTries; ++y) {
    if (!rules_->companions(v_.ids[y]).empty()) continue;
    ++tries;
    const int out = v_.ids[r], in = v_.ids[y];
    if (rules_->allowed(Exchange{from, other, {&out, 1}, {&in, 1}})) return true;
  }
  return false;
}

FbResplit::Measure FbResplit::measure(const double* d) {
  const int m = v_.columns;
  Measure out;
  for (int j = 0; j < m; ++j) {
    // The same expressions as the search's own update, so the spreads
    // judged are the ones the state will have.
    const double na = (v_.sums[a_ * m + j] - d[j]) / size_a_;
    const double nb = (v_.sums[b_ * m + j] + d[j]) / size_b_;
    const double sp = std::max({top_[j], na, nb}) - std::min({bottom_[j], na, nb});
    spreads_[j] = sp;
    out.max = std::max(out.max, sp);
    out.sum += sp;
  }
  return out;
}

bool FbResplit::set_goal(const Measure& ref) {
  // No column may end wider than it is in `ref`, and the widest ones the
  // pair can narrow must narrow: any hit then lowers the sum of the
  // spreads, and the largest spread once no column at it is left. The
  // widest columns whose extremes are other classes stay as they are.
  const int m = v_.columns;
  const double sa = size_a_, sb = size_b_, both = 1.0 / (1.0 / sa + 1.0 / sb);
  bool narrows = false, lowers = true;
  for (int j = 0; j < m; ++j)
    if (ref_spreads_[j] >= ref.max - kPolishTolerance) {
      const bool can = top_[j] - bottom_[j] <= ref.max - kPolishTolerance;
      narrows = narrows || can;
      lowers = lowers && can;
    }
  for (int j = 0; j < m; ++j) {
    const double A = v_.sums[a_ * m + j] / sa, B = v_.sums[b_ * m + j] / sb;
    const double T = top_[j], L = bottom_[j];
    const bool narrow = ref_spreads_[j] >= ref.max - kPolishTolerance && T - L <= ref.max - kPolishTolerance;
    // When the largest spread can fall, every column may widen up to below
    // it; otherwise none may widen, so that the sum falls.
    const double S = narrow || lowers ? ref.max - kPolishTolerance : ref_spreads_[j] + kPolishTolerance;
    // Beyond rounding: a column to narrow must narrow by the true measure
    // too, and one that may stay as it is may stay whatever the last bits.
    const double slack = (narrow || lowers ? 1e-7 : -1e-7) * (1 + std::abs(A) + std::abs(B)) * (sa + sb);
    lo_[j] = std::max({(T - S - B) * sb, (A - L - S) * sa, (A - B - S) * both}) + slack;
    hi_[j] = std::min({(A - T + S) * sa, (L + S - B) * sb, (A - B + S) * both}) - slack;
    // The guide pulls towards the middle of every interval, so columns
    // already within keep room for the moves the others still need.
    mid_[j] = (lo_[j] + hi_[j]) / 2;
    scale_[j] = 2 / std::max(hi_[j] - lo_[j], kNarrowest);
    // The pool's own average can lie where no split keeps the column
    // within the goal.
    if (lo_[j] > hi_[j]) return false;
  }
  return narrows;
}

bool FbResplit::inside(const double* d) const {
  for (int j = 0; j < v_.columns; ++j)
    if (d[j] < lo_[j] || d[j] > hi_[j]) return false;
  return true;
}

double FbResplit::distance(const double* d) const {
  double total = 0;
  for (int j = 0; j < v_.columns; ++j) {
    const double u = (d[j] - mid_[j]) * scale_[j];
    total += u * u;
  }
  return total;
}

int FbResplit::nearest(int g, const double* d, int skip, double* best) {
  const int m = v_.columns;
  int found = -1;
  *best = kInf;
  for (int q = 0; q < static_cast<int>(in_b_[g].size()); ++q) {
    if (q == skip) continue;
    ++judged_;
    const double* t = row(in_b_[g][q]);
    for (int j = 0; j < m; ++j) e_[j] = d[j] - t[j];
    const double x = distance(e_.data());
    if (x < *best) {
      *best = x;
      found = q;
    }
  }
  return found;
}

void FbResplit::trade(int g, int p, int q) {
  const int u = in_a_[g][p], w = in_b_[g][q];
  in_a_[g][p] = w;
  in_b_[g][q] = u;
  side_[u] = 1;
  slot_[u] = q;
  side_[w] = 0;
  slot_[w] = p;
}

std::optional<ResplitMove> FbResplit::resplit_pair(const PolishView& v, int a, int b, long long budget) {
  v_ = v;
  a_ = a;
  b_ = b;
  const int m = v.columns, k = v.classes;
  size_a_ = v.sizes[a];
  size_b_ = v.sizes[b];
  top_.assign(m, -kInf);
  bottom_.assign(m, kInf);
  for (int c = 1; c <= k; ++c) {
    if (c == a || c == b) continue;
    for (int j = 0; j < m; ++j) {
      const double x = v.sums[c * m + j] / v.sizes[c];
      top_[j] = std::max(top_[j], x);
      bottom_[j] = std::min(bottom_[j], x);
    }
  }
  lo_.assign(m, 0.0);
  hi_.assign(m, 0.0);
  mid_.assign(m, 0.0);
  scale_.assign(m, 0.0);
  d_.assign(m, 0.0);
  e_.assign(m, 0.0);
  e2_.assign(m, 0.0);
  spreads_.assign(m, 0.0);
  const Measure now = measure(d_.data());
  ref_spreads_ = spreads_;
  if (!set_goal(now)) return std::nullopt;

  for (int g = 0; g < 2; ++g) {
    in_a_[g].clear();
    in_b_[g].clear();
    // Gender blocks: boys first, then girls.
    const auto& ba = v.blocks[a];
    const auto& bb = v.blocks[b];
    for (int r = ba[g ? 2 : 0]; r <= ba[g ? 3 : 1]; ++r)
      if (movable(r, b)) in_a_[g].push_back(r);
    for (int r = bb[g ? 2 : 0]; r <= bb[g ? 3 : 1]; ++r)
      if (movable(r, a)) in_b_[g].push_back(r);
  }
  // Each pooled student's nearest of the same gender, by all columns.
  pooled_.clear();
  side_.assign(v.students, -1);
  slot_.assign(v.students, -1);
  gender_.assign(v.students, 0);
  near_.assign(static_cast<std::size_t>(v.students) * kResplitNeighbours, -1);
  std::vector<std::pair<double, int>> by_distance;
  for (int g = 0; g < 2; ++g) {
    std::vector<int> both = in_a_[g];
    both.insert(both.end(), in_b_[g].begin(), in_b_[g].end());
    for (std::size_t x = 0; x < both.size(); ++x) {
      const int r = both[x];
      pooled_.push_back(r);
      side_[r] = x < in_a_[g].size() ? 0 : 1;
      slot_[r] = static_cast<int>(side_[r] == 0 ? x : x - in_a_[g].size());
      gender_[r] = g;
      by_distance.clear();
      for (int o : both) {
        if (o == r) continue;
        double dist = 0;
        for (int j = 0; j < m; ++j) dist += (row(r)[j] - row(o)[j]) * (row(r)[j] - row(o)[j]);
        by_distance.emplace_back(dist, o);
      }
      judged_ += static_cast<long long>(both.size());
      const int keep = std::min<int>(kResplitNeighbours, static_cast<int>(by_distance.size()));
      std::partial_sort(by_distance.begin(), by_distance.begin() + keep, by_distance.end());
      for (int n = 0; n < keep; ++n) near_[static_cast<std::size_t>(r) * kResplitNeighbours + n] = by_distance[n].second;
      for (int n = keep; n < kResplitNeighbours; ++n)
        near_[static_cast<std::size_t>(r) * kResplitNeighbours + n] = keep > 0 ? by_distance[n % keep].second : -1;
    }
  }
  // Students of a that can trade with someone in b.
  const int choices0 = in_b_[0].empty() ? 0 : static_cast<int>(in_a_[0].size());
  const int choices = choices0 + (in_b_[1].empty() ? 0 : static_cast<int>(in_a_[1].size()));
  if (choices == 0) return std::nullopt;
  auto draw = [&](int* g) {
    const int x = static_cast<int>(below(choices));
    *g = x < choices0 ? 0 : 1;
    return x < choices0 ? x : x - choices0;
  };

  Measure best = now;
  std::array<std::vector<int>, 2> best_a, best_b;
  double cost = distance(d_.data());
  std::vector<double> next(m);
  struct Trade {
    int g, p, q;
  };
  Trade trades[2];
  const long long start = judged_, stop = judged_ + budget;
  while (judged_ < stop) {
    if (inside(d_.data())) {
      // Within every interval: a lower measure. Keep it, and aim below it.
      const Measure hit = measure(d_.data());
      if (!better(hit.max, hit.sum, best.max, best.sum)) break;  // only rounding left to gain
      best = hit;
      best_a = in_a_;
      best_b = in_b_;
      ref_spreads_ = spreads_;
      if (!set_goal(best)) break;
      cost = distance(d_.data());
      continue;
    }
    ++judged_;
    const bool two = static_cast<int>(below(16)) < kResplitPairSixteenths && choices > 1;
    int count = 0;
    if (static_cast<int>(below(16)) < kResplitNearSixteenths) {
      // A student and a near neighbour of theirs on the other side trade
      // places: the smallest steps there are.
      for (; count < (two ? 2 : 1); ++count) {
        const int r = pooled_[below(pooled_.size())];
        const int o = near_[static_cast<std::size_t>(r) * kResplitNeighbours + below(kResplitNeighbours)];
        if (o < 0 || side_[r] == side_[o]) break;
        const int x = side_[r] == 0 ? r : o, y = side_[r] == 0 ? o : r;
        if (count == 1 && (slot_[x] == trades[0].p || slot_[y] == trades[0].q) && gender_[x] == trades[0].g) break;
        trades[count] = {gender_[x], slot_[x], slot_[y]};
      }
      if (count < (two ? 2 : 1)) continue;
      std::copy(d_.begin(), d_.end(), next.begin());
      for (int n = 0; n < count; ++n) {
        const double* su = row(in_a_[trades[n].g][trades[n].p]);
        const double* tw = row(in_b_[trades[n].g][trades[n].q]);
        for (int j = 0; j < m; ++j) next[j] += su[j] - tw[j];
      }
    } else {
      // Students of a drawn at random; the (last) partner aimed or random.
      const bool aimed = static_cast<int>(below(16)) < kResplitAimedSixteenths;
      int g1, g2 = 0;
      const int p1 = draw(&g1);
      trades[0] = {g1, p1, -1};
      count = 1;
      std::copy(d_.begin(), d_.end(), next.begin());
      const double* s1 = row(in_a_[g1][p1]);
      for (int j = 0; j < m; ++j) next[j] += s1[j];
      int skip = -1;
      if (two) {
        int p2;
        do p2 = draw(&g2);
        while (p2 == p1 && g2 == g1);
        trades[0].q = static_cast<int>(below(in_b_[g1].size()));
        const double* s2 = row(in_a_[g2][p2]);
        const double* t1 = row(in_b_[g1][trades[0].q]);
        for (int j = 0; j < m; ++j) next[j] += s2[j] - t1[j];
        trades[1] = {g2, p2, -1};
        count = 2;
        skip = g2 == g1 ? trades[0].q : -1;
      }
      Trade& last = trades[count - 1];
      const int span = static_cast<int>(in_b_[last.g].size()) - (skip >= 0);
      if (span <= 0) continue;
      double ignored;
      if (aimed) {
        last.q = nearest(last.g, next.data(), skip, &ignored);
      } else {
        last.q = static_cast<int>(below(span));
        if (skip >= 0 && last.q >= skip) ++last.q;
      }
      const double* t = row(in_b_[last.g][last.q]);
      for (int j = 0; j < m; ++j) next[j] -= t[j];
    }
    // Annealing: worse splits are taken the more often the more budget is
    // left, so the walk crosses the ridges between the intervals' hits.
    const double x = distance(next.data());
    const double done = static_cast<double>(judged_ - start) / static_cast<double>(budget);
    const double heat = kResplitHot * std::pow(kResplitCold / kResplitHot, std::min(1.0, done));
    const double uniform = (static_cast<double>(rng_() >> 11) + 0.5) * 0x1.0p-53;
    if (x <= cost || x <= cost - heat * std::log(uniform)) {
      for (int n = 0; n < count; ++n) trade(trades[n].g, trades[n].p, trades[n].q);
      d_.swap(next);
      cost = x;
    }
  }
  if (!better(best.max, best.sum, now.max, now.sum)) return std::nullopt;

  // The students that end on the other side, paired by gender.
  ResplitMove move;
  move.a = a;
  move.b = b;
  move.max_spread = best.max;
  move.spread_sum = best.sum;
  const auto& ba = v.blocks[a];
  const auto& bb = v.blocks[b];
  for (int g = 0; g < 2; ++g) {
    for (int r : best_b[g])
      if (ba[0] <= r && r <= ba[3]) move.out_of_a.push_back(r);
    for (int r : best_a[g])
      if (bb[0] <= r && r <= bb[3]) move.out_of_b.push_back(r);
  }
  if (rules_) {
    std::vector<int> xa, xb;
    for (int r : move.out_of_a) xa.push_back(v.ids[r]);
    for (int r : move.out_of_b) xb.push_back(v.ids[r]);
    if (!rules_->allowed(Exchange{a, b, xa, xb})) return std::nullopt;
  }
  return move;
}

}  // namespace lczs::classdiv
