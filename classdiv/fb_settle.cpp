#include "classdiv/fb_settle.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace lczs::classdiv {

namespace {

// Averages are ratios of whole numbers; within this they are the same.
constexpr double kEps = 1e-7;

long long distance(long long sum, long long lo, long long hi) { return std::max({0LL, lo - sum, sum - hi}); }

}  // namespace

bool FbSettle::prepare(const PolishView& v) {
  n_ = v.students;
  m_ = v.columns;
  k_ = v.classes;
  if (k_ < 2 || m_ < 1 || n_ < 2) return false;
  per_unit_.assign(m_, 0);
  for (int j = 0; j < m_; ++j) {
    for (int u = 1; u <= kSettleFinestUnit && !per_unit_[j]; ++u) {
      bool whole = true;
      for (int r = 0; r < n_ && whole; ++r) {
        const double x = v.scores[static_cast<std::size_t>(r) * m_ + j] * u;
        whole = std::abs(x) <= static_cast<double>(kSettleLargestUnits) && std::abs(x - std::nearbyint(x)) <= 1e-6;
      }
      if (whole) per_unit_[j] = u;
    }
    if (!per_unit_[j]) return false;
  }
  start_units_.resize(static_cast<std::size_t>(n_) * m_);
  for (int r = 0; r < n_; ++r)
    for (int j = 0; j < m_; ++j)
      start_units_[static_cast<std::size_t>(r) * m_ + j] =
          std::llround(v.scores[static_cast<std::size_t>(r) * m_ + j] * per_unit_[j]);

  blocks_.assign(v.blocks, v.blocks + k_ + 1);
  class_size_.assign(k_ + 1, 0);
  sizes_.clear();
  for (int c = 1; c <= k_; ++c) {
    class_size_[c] = blocks_[c][3] - blocks_[c][0] + 1;
    // An empty class, or one whose size the search counts otherwise, has
    // averages this step cannot reason about.
    if (class_size_[c] <= 0 || class_size_[c] != v.sizes[c]) return false;
    sizes_.push_back(class_size_[c]);
  }
  std::sort(sizes_.begin(), sizes_.end());
  sizes_.erase(std::unique(sizes_.begin(), sizes_.end()), sizes_.end());
  size_index_.assign(k_ + 1, 0);
  for (int c = 1; c <= k_; ++c)
    size_index_[c] = static_cast<int>(std::lower_bound(sizes_.begin(), sizes_.end(), class_size_[c]) - sizes_.begin());

  start_sums_.assign(static_cast<std::size_t>(k_ + 1) * m_, 0);
  totals_.assign(m_, 0);
  for (int c = 1; c <= k_; ++c)
    for (int r = blocks_[c][0]; r <= blocks_[c][3]; ++r)
      for (int j = 0; j < m_; ++j) start_sums_[c * m_ + j] += start_units_[static_cast<std::size_t>(r) * m_ + j];
  for (int c = 1; c <= k_; ++c)
    for (int j = 0; j < m_; ++j) totals_[j] += start_sums_[c * m_ + j];

  start_ids_.assign(v.ids, v.ids + n_);
  class_of_id_.assign(*std::max_element(start_ids_.begin(), start_ids_.end()) + 1, 0);
  tied_.assign(n_, 0);
  for (int c = 1; c <= k_; ++c)
    for (int r = blocks_[c][0]; r <= blocks_[c][3]; ++r) {
      class_of_id_[start_ids_[r]] = c;
      tied_[r] = rules_ && !rules_->companions(start_ids_[r]).empty();
    }

  total_column_ = -1;
  for (int t = 0; t < m_ && total_column_ < 0 && m_ > 1; ++t) {
    bool sum = std::all_of(per_unit_.begin(), per_unit_.end(), [&](int u) { return u == per_unit_[0]; });
    for (int r = 0; r < n_ && sum; ++r) {
      long long others = 0;
      for (int j = 0; j < m_; ++j)
        if (j != t) others += start_units_[static_cast<std::size_t>(r) * m_ + j];
      sum = others == start_units_[static_cast<std::size_t>(r) * m_ + t];
    }
    if (sum) total_column_ = t;
  }

  // The two columns whose scores vary most make the pairs' sort key, so a
  // lookup by both meets few pairs that the other columns then refuse.
  low_.assign(m_, 0);
  high_.assign(m_, 0);
  std::vector<int> order(m_);
  for (int j = 0; j < m_; ++j) {
    low_[j] = high_[j] = start_units_[j];
    for (int r = 1; r < n_; ++r) {
      low_[j] = std::min(low_[j], start_units_[static_cast<std::size_t>(r) * m_ + j]);
      high_[j] = std::max(high_[j], start_units_[static_cast<std::size_t>(r) * m_ + j]);
    }
    order[j] = j;
  }
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return high_[x] - low_[x] > high_[y] - low_[y]; });
  key1_ = order[0];
  key2_ = order[m_ > 1 ? 1 : 0];
  return true;
}

std::vector<double> FbSettle::lattice(int j, double limit) const {
  // The spread between classes of sizes p and q is a multiple of
  // gcd(p, q) / (p q) units.
  std::vector<double> out;
  for (std::size_t x = 0; x < sizes_.size(); ++x)
    for (std::size_t y = x; y < sizes_.size(); ++y) {
      const double p = sizes_[x], q = sizes_[y];
      const double step = std::gcd(sizes_[x], sizes_[y]) / (p * q) / per_unit_[j];
      for (long long t = 1; t * step < limit - kEps * step; ++t) out.push_back(t * step);
    }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end(), [](double a, double b) { return b - a < 1e-12; }), out.end());
  return out;
}

std::vector<FbSettle::Window> FbSettle::windows(int j, double target) const {
  // Every class average in [A, A + D] puts the grade's average there too,
  // and the lowest average A is a class's own: s / n for one of the sizes.
  const double span = target * per_unit_[j];
  const double mean = static_cast<double>(totals_[j]) / n_;
  const int kinds = static_cast<int>(sizes_.size());
  std::vector<Window> out;
  for (int s0 : sizes_) {
    const auto first = static_cast<long long>(std::ceil((mean - span) * s0 - kEps));
    const auto last = static_cast<long long>(std::floor(mean * s0 + kEps));
    for (long long s = first; s <= last; ++s) {
      Window w;
      w.lo.resize(kinds);
      w.hi.resize(kinds);
      bool fits = true;
      for (int x = 0; x < kinds; ++x) {
        const double at = static_cast<double>(s) * sizes_[x] / s0;
        w.lo[x] = static_cast<long long>(std::ceil(at - kEps));
        w.hi[x] = static_cast<long long>(std::floor(at + span * sizes_[x] + kEps));
        fits = fits && w.lo[x] <= w.hi[x];
      }
      long long lo = 0, hi = 0;
      for (int c = 1; c <= k_; ++c) {
        lo += w.lo[size_index_[c]];
        hi += w.hi[size_index_[c]];
      }
      if (!fits || lo > totals_[j] || hi < totals_[j]) continue;
      for (int c = 1; c <= k_; ++c)
        w.outside += distance(start_sums_[c * m_ + j], w.lo[size_index_[c]], w.hi[size_index_[c]]);
      out.push_back(std::move(w));
    }
  }
  // A window inside another for every size is never the better one.
  auto within = [&](const Window& a, const Window& b) {
    for (int x = 0; x < kinds; ++x)
      if (a.lo[x] < b.lo[x] || a.hi[x] > b.hi[x]) return false;
    return true;
  };
  std::vector<Window> kept;
  for (std::size_t x = 0; x < out.size(); ++x) {
    bool dominated = false;
    for (std::size_t y = 0; y < out.size() && !dominated; ++y)
      dominated = y != x && within(out[x], out[y]) && (!within(out[y], out[x]) || y < x);
    if (!dominated) kept.push_back(out[x]);
  }
  std::stable_sort(kept.begin(), kept.end(), [](const Window& a, const Window& b) { return a.outside < b.outside; });
  return kept;
}

std::vector<PolishMove> FbSettle::settle(const PolishView& v, double best_max, long long budget) {
  floor_ = 0;
  if (!prepare(v)) return {};
  const long long stop = judged_ + budget;

  // Spreads below the best are counted one by one: a best state so far
  // above the floor that they are many is the walk's anyway.
  for (int j = 0; j < m_; ++j)
    for (std::size_t x = 0; x < sizes_.size(); ++x)
      for (std::size_t y = x; y < sizes_.size(); ++y)
        if (best_max * per_unit_[j] * sizes_[x] * sizes_[y] / std::gcd(sizes_[x], sizes_[y]) > kSettleSpreads)
          return {};

  // No column can go below its own floor, so the targets start at the
  // highest of those.
  double lowest = 0;
  std::vector<std::vector<double>> lattices(m_);
  for (int j = 0; j < m_; ++j) {
    lattices[j] = lattice(j, best_max);
    double own = best_max;
    for (double t : lattices[j])
      if (!windows(j, t).empty()) {
        own = t;
        break;
      }
    lowest = std::max(lowest, own);
  }
  double step = 0;
  for (int j = 0; j < m_; ++j) step = std::max(step, 1.0 / (per_unit_[j] * sizes_.front()));
  if (best_max - lowest > limits_.reach * step + kEps * step) return {};
  std::vector<double> targets;
  for (const auto& l : lattices)
    for (double t : l)
      if (t >= lowest - 1e-12) targets.push_back(t);
  std::sort(targets.begin(), targets.end());
  targets.erase(std::unique(targets.begin(), targets.end(), [](double a, double b) { return b - a < 1e-12; }),
                targets.end());

  // The floor: the lowest target some placement allows once the total
  // column ties the others.
  std::vector<std::vector<Placement>> plans;
  double floor = 0;
  for (double t : targets) {
    plans.push_back(placements(t));
    if (plans.back().empty()) {
      plans.pop_back();
      continue;
    }
    if (plans.size() == 1) floor = t;
    if (static_cast<int>(plans.size()) == limits_.targets) break;
  }
  if (plans.empty() || best_max - floor > limits_.reach * step + kEps * step) return {};
  floor_ = floor;

  pairs_.assign(k_ + 1, {});
  singles_.assign(k_ + 1, {});
  const std::vector<Placement>* before = nullptr;
  for (const auto& plan : plans) {
    // A target whose placements are the last one's would fail the same way.
    if (before && *before == plan) continue;
    before = &plan;
    for (const Placement& p : plan) {
      if (judged_ >= stop) return {};
      if (descend(p, stop)) return moves_;
    }
  }
  return {};
}

std::vector<FbSettle::Placement> FbSettle::placements(double target) const {
  std::vector<std::vector<Window>> w(m_);
  for (int j = 0; j < m_; ++j) {
    w[j] = windows(j, target);
    if (w[j].empty()) return {};
  }
  // One window per column; each column keeps its best few so that the
  // product stays small.
  std::vector<int> keep(m_);
  long long product = 1;
  for (int j = 0; j < m_; ++j) {
    keep[j] = static_cast<int>(w[j].size());
    product *= keep[j];
  }
  while (product > limits_.placements_judged) {
    const int j = static_cast<int>(std::max_element(keep.begin(), keep.end()) - keep.begin());
    product = product / keep[j] * (keep[j] - 1);
    --keep[j];
  }
  std::vector<Placement> out;
  std::vector<int> pick(m_, 0);
  for (;;) {
    Placement p;
    p.lo.resize(m_);
    p.hi.resize(m_);
    for (int j = 0; j < m_; ++j) {
      p.lo[j] = w[j][pick[j]].lo;
      p.hi[j] = w[j][pick[j]].hi;
    }
    if (tighten(&p)) out.push_back(std::move(p));
    int j = 0;
    while (j < m_ && ++pick[j] == keep[j]) pick[j++] = 0;
    if (j == m_) break;
  }
  std::stable_sort(out.begin(), out.end(), [](const Placement& x, const Placement& y) { return x.outside < y.outside; });
  if (out.size() > static_cast<std::size_t>(limits_.placements)) out.resize(limits_.placements);
  return out;
}

bool FbSettle::tighten(Placement* p) const {
  // Bounds that hold in any state inside the windows: a total is the sum
  // of the other columns, and a column's sums add up to the grade's. Both
  // hold for one class and for all the classes of one size together, and
  // the second is much the stronger: where each class may move a column by
  // a point or two, the classes of a size together may be held to one sum
  // that the total column then contradicts. Narrowed until nothing
  // changes; an empty window means no state reaches the target with this
  // placement.
  const int kinds = static_cast<int>(sizes_.size());
  std::vector<long long> count(kinds, 0);
  for (int c = 1; c <= k_; ++c) ++count[size_index_[c]];
  auto& lo = p->lo;
  auto& hi = p->hi;
  // [column][size]: what the classes of that size hold together.
  std::vector<std::vector<long long>> group_lo(m_, std::vector<long long>(kinds)), group_hi = group_lo;
  for (int j = 0; j < m_; ++j)
    for (int s = 0; s < kinds; ++s) {
      group_lo[j][s] = count[s] * lo[j][s];
      group_hi[j][s] = count[s] * hi[j][s];
    }
  for (bool changed = true; changed;) {
    changed = false;
    auto raise = [&](long long& x, long long to) {
      if (to > x) x = to, changed = true;
    };
    auto lower = [&](long long& x, long long to) {
      if (to < x) x = to, changed = true;
    };
    // The total is the sum of the others, for bounds lo..hi per column.
    auto add_up = [&](std::vector<std::vector<long long>>& l, std::vector<std::vector<long long>>& h, int s) {
      const int t = total_column_;
      long long sum_lo = 0, sum_hi = 0;
      for (int j = 0; j < m_; ++j)
        if (j != t) sum_lo += l[j][s], sum_hi += h[j][s];
      raise(l[t][s], sum_lo);
      lower(h[t][s], sum_hi);
      for (int j = 0; j < m_; ++j)
        if (j != t) {
          raise(l[j][s], l[t][s] - (sum_hi - h[j][s]));
          lower(h[j][s], h[t][s] - (sum_lo - l[j][s]));
        }
    };
    for (int s = 0; s < kinds && total_column_ >= 0; ++s) {
      add_up(lo, hi, s);
      add_up(group_lo, group_hi, s);
    }
    for (int j = 0; j < m_; ++j) {
      for (int s = 0; s < kinds; ++s) {
        raise(group_lo[j][s], count[s] * lo[j][s]);
        lower(group_hi[j][s], count[s] * hi[j][s]);
      }
      long long all_lo = 0, all_hi = 0;
      for (int s = 0; s < kinds; ++s) all_lo += group_lo[j][s], all_hi += group_hi[j][s];
      for (int s = 0; s < kinds; ++s) {
        raise(group_lo[j][s], totals_[j] - (all_hi - group_hi[j][s]));
        lower(group_hi[j][s], totals_[j] - (all_lo - group_lo[j][s]));
        // One class holds what its size holds less the most the others can.
        raise(lo[j][s], group_lo[j][s] - (count[s] - 1) * hi[j][s]);
        lower(hi[j][s], group_hi[j][s] - (count[s] - 1) * lo[j][s]);
      }
    }
    for (int j = 0; j < m_; ++j)
      for (int s = 0; s < kinds; ++s)
        if (lo[j][s] > hi[j][s] || group_lo[j][s] > group_hi[j][s]) return false;
  }
  p->outside = 0;
  for (int c = 1; c <= k_; ++c)
    for (int j = 0; j < m_; ++j)
      p->outside += distance(start_sums_[c * m_ + j], lo[j][size_index_[c]], hi[j][size_index_[c]]);
  return true;
}

bool FbSettle::descend(const Placement& p, long long stop) {
  units_ = start_units_;
  sums_ = start_sums_;
  ids_ = start_ids_;
  moves_.clear();
  pairs_fresh_.assign(k_ + 1, 0);
  lo_.assign(static_cast<std::size_t>(k_ + 1) * m_, 0);
  hi_.assign(lo_.size(), 0);
  for (int c = 1; c <= k_; ++c)
    for (int j = 0; j < m_; ++j) {
      lo_[c * m_ + j] = p.lo[j][size_index_[c]];
      hi_[c * m_ + j] = p.hi[j][size_index_[c]];
    }
  bool inside = false;
  while (judged_ < stop) {
    bool any = false, moved = false;
    for (int a = 1; a <= k_ && !moved && judged_ < stop; ++a) {
      long long points = 0;
      for (int j = 0; j < m_; ++j) points += outside(a, j, sums_[a * m_ + j]);
      if (!points) continue;
      any = true;
      if (best_from(a, stop)) {
        exchange(found_);
        moved = true;
      }
    }
    if (!any) {
      inside = true;
      break;
    }
    // No exchange lowers the count: pass a class's points outside to
    // another class, from where an exchange with a third may take them in.
    for (int a = 1; a <= k_ && !moved && judged_ < stop; ++a) {
      long long points = 0;
      for (int j = 0; j < m_; ++j) points += outside(a, j, sums_[a * m_ + j]);
      for (int b = 1; b <= k_ && points && !moved && judged_ < stop; ++b) {
        if (b == a) continue;
        passing_ = true;
        found_gain_ = 0;
        found_drop_ = 0;
        search_pair(a, b, stop);
        passing_ = false;
        if (!found_drop_) continue;
        const PolishMove pass = found_;
        exchange(pass);
        if (best_from(b, stop)) {
          exchange(found_);
          moved = true;
        } else {
          // Back: the same rows trade again.
          exchange(pass);
          moves_.resize(moves_.size() - 2);
        }
      }
    }
    if (!moved) break;
  }
  // The caller makes the exchanges again, and the rules count them then.
  if (rules_ && !moves_.empty()) rules_->reset(class_of_id_);
  return inside;
}

long long FbSettle::outside(int c, int j, long long sum) const {
  return distance(sum, lo_[c * m_ + j], hi_[c * m_ + j]);
}

bool FbSettle::best_from(int a, long long stop) {
  found_gain_ = 0;
  for (int b = 1; b <= k_ && judged_ < stop; ++b)
    if (b != a) search_pair(a, b, stop);
  return found_gain_ > 0;
}

void FbSettle::search_pair(int a, int b, long long stop) {
  // What moves out of a, d, changes column j's points outside by
  // f(d) = |a's sum - d outside| + |b's sum + d outside| - both now, a
  // convex function. An exchange better than the best so far needs the
  // sum of f over the columns at most -(gain + 1), so each column's d lies
  // where f is at most that less what the other columns can give back.
  box_lo_.resize(m_);
  box_hi_.resize(m_);
  std::vector<long long> least(m_), now(m_);
  long long all = 0;
  for (int j = 0; j < m_; ++j) {
    const long long sa = sums_[a * m_ + j], sb = sums_[b * m_ + j];
    const long long p1 = sa - hi_[a * m_ + j], q1 = sa - lo_[a * m_ + j];
    const long long p2 = lo_[b * m_ + j] - sb, q2 = hi_[b * m_ + j] - sb;
    now[j] = outside(a, j, sa) + outside(b, j, sb);
    least[j] = std::max(0LL, std::max(p1, p2) - std::min(q1, q2)) - now[j];
    all += least[j];
  }
  // A pass only has to lose nothing.
  const long long want = passing_ ? 0 : -(found_gain_ + 1);
  if (all > want) return;
  for (int j = 0; j < m_; ++j) {
    const long long sa = sums_[a * m_ + j], sb = sums_[b * m_ + j];
    const long long p1 = sa - hi_[a * m_ + j], q1 = sa - lo_[a * m_ + j];
    const long long p2 = lo_[b * m_ + j] - sb, q2 = hi_[b * m_ + j] - sb;
    const long long room = want - (all - least[j]) + now[j];
    auto g = [&](long long d) { return distance(d, p1, q1) + distance(d, p2, q2); };
    long long left = std::min(std::max(p1, p2), std::min(q1, q2));
    long long right = std::max(std::max(p1, p2), std::min(q1, q2));
    while (g(left - 1) <= room) --left;
    while (g(right + 1) <= room) ++right;
    box_lo_[j] = left;
    box_hi_[j] = right;
  }
  d_.resize(m_);
  if (!pairs_fresh_[a]) make_pairs(a);
  if (!pairs_fresh_[b]) make_pairs(b);
  for (int g = 0; g < 2; ++g) match(a, b, singles_[a][g], singles_[b][g], 1, stop);
  if (judged_ >= stop) return;
  for (int kind = 0; kind < 3; ++kind) match(a, b, pairs_[a][kind], pairs_[b][kind], 2, stop);
}

bool FbSettle::fits(const long long* d) const {
  for (int j = 0; j < m_; ++j)
    if (d[j] < box_lo_[j] || d[j] > box_hi_[j]) return false;
  return true;
}

void FbSettle::match(int a, int b, const Pairs& ps, const Pairs& qs, int count, long long stop) {
  for (std::size_t p = 0; p < ps.rows.size(); ++p) {
    if (judged_ >= stop) return;
    const long long* sp = &ps.sums[p * m_];
    // An entry q of b needs q's sum = p's sum - d in both key columns.
    const long long lo2 = std::max(qs.low2, sp[key2_] - box_hi_[key2_]);
    const long long hi2 = std::min(qs.high2, sp[key2_] - box_lo_[key2_]);
    if (lo2 > hi2) continue;
    const long long last1 = std::min(qs.high1, sp[key1_] - box_lo_[key1_]);
    for (long long v1 = std::max(qs.low1, sp[key1_] - box_hi_[key1_]); v1 <= last1; ++v1) {
      ++judged_;
      const long long from = qs.at(v1, lo2), to = qs.at(v1, hi2);
      for (auto q = std::lower_bound(qs.key.begin(), qs.key.end(), from) - qs.key.begin();
           q < static_cast<long long>(qs.key.size()) && qs.key[q] <= to; ++q) {
        ++judged_;
        const long long* sq = &qs.sums[q * m_];
        for (int j = 0; j < m_; ++j) d_[j] = sp[j] - sq[j];
        if (fits(d_.data())) consider(a, b, d_.data(), ps.rows[p].data(), qs.rows[q].data(), count);
      }
    }
  }
}

void FbSettle::consider(int a, int b, const long long* d, const int* out_a, const int* out_b, int count) {
  long long gain = 0, drop = 0;
  for (int j = 0; j < m_; ++j) {
    const long long sa = sums_[a * m_ + j], sb = sums_[b * m_ + j];
    drop += outside(a, j, sa) - outside(a, j, sa - d[j]);
    gain += outside(a, j, sa) + outside(b, j, sb) - outside(a, j, sa - d[j]) - outside(b, j, sb + d[j]);
  }
  if (passing_ ? gain < 0 || drop <= found_drop_ : gain <= found_gain_) return;
  if (rules_) {
    xa_.clear();
    xb_.clear();
    for (int x = 0; x < count; ++x) {
      xa_.push_back(ids_[out_a[x]]);
      xb_.push_back(ids_[out_b[x]]);
    }
    if (!rules_->allowed(Exchange{a, b, xa_, xb_})) return;
  }
  found_ = PolishMove{};
  found_.a = a;
  found_.b = b;
  found_.count = count;
  for (int x = 0; x < count; ++x) {
    found_.out_of_a[x] = out_a[x];
    found_.out_of_b[x] = out_b[x];
  }
  found_gain_ = gain;
  found_drop_ = drop;
}

void FbSettle::exchange(const PolishMove& move) {
  const int a = move.a, b = move.b;
  if (rules_) {
    xa_.clear();
    xb_.clear();
    for (int x = 0; x < move.count; ++x) {
      xa_.push_back(ids_[move.out_of_a[x]]);
      xb_.push_back(ids_[move.out_of_b[x]]);
    }
    rules_->made(Exchange{a, b, xa_, xb_});
  }
  for (int x = 0; x < move.count; ++x) {
    const int i = move.out_of_a[x], k = move.out_of_b[x];
    for (int j = 0; j < m_; ++j) {
      const long long d = unit(i, j) - unit(k, j);
      sums_[a * m_ + j] -= d;
      sums_[b * m_ + j] += d;
    }
    std::swap_ranges(&units_[static_cast<std::size_t>(i) * m_], &units_[static_cast<std::size_t>(i + 1) * m_],
                     &units_[static_cast<std::size_t>(k) * m_]);
    std::swap(ids_[i], ids_[k]);
  }
  pairs_fresh_[a] = pairs_fresh_[b] = 0;
  moves_.push_back(move);
}

void FbSettle::make_pairs(int c) {
  const auto& bl = blocks_[c];
  auto sort = [&](Pairs& out, std::vector<std::array<int, 2>> rows, int per) {
    out.low1 = per * low_[key1_];
    out.high1 = per * high_[key1_];
    out.low2 = per * low_[key2_];
    out.high2 = per * high_[key2_];
    auto sum = [&](const std::array<int, 2>& p, int j) { return unit(p[0], j) + (p[1] >= 0 ? unit(p[1], j) : 0); };
    auto key = [&](const std::array<int, 2>& p) { return out.at(sum(p, key1_), sum(p, key2_)); };
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& x, const auto& y) { return key(x) < key(y); });
    out.rows = std::move(rows);
    out.key.resize(out.rows.size());
    out.sums.resize(out.rows.size() * m_);
    for (std::size_t p = 0; p < out.rows.size(); ++p) {
      out.key[p] = key(out.rows[p]);
      for (int j = 0; j < m_; ++j) out.sums[p * m_ + j] = sum(out.rows[p], j);
    }
  };
  // Boys, then girls, alone: a single exchange is looked up as a pair's.
  for (int g = 0; g < 2; ++g) {
    std::vector<std::array<int, 2>> rows;
    for (int r = bl[g ? 2 : 0]; r <= bl[g ? 3 : 1]; ++r)
      if (!tied_[r]) rows.push_back({r, -1});
    sort(singles_[c][g], std::move(rows), 1);
  }
  for (int kind = 0; kind < 3; ++kind) {
    // Two boys, two girls; then a boy and a girl, the boy first so that
    // the two sides pair up by gender.
    std::vector<std::array<int, 2>> rows;
    const int first1 = bl[kind == 1 ? 2 : 0], last1 = bl[kind == 1 ? 3 : 1];
    for (int r1 = first1; r1 <= last1; ++r1) {
      if (tied_[r1]) continue;
      const int first2 = kind == 2 ? bl[2] : r1 + 1, last2 = kind == 2 ? bl[3] : last1;
      for (int r2 = first2; r2 <= last2; ++r2)
        if (!tied_[r2]) rows.push_back({r1, r2});
    }
    sort(pairs_[c][kind], std::move(rows), 2);
  }
  pairs_fresh_[c] = 1;
}

}  // namespace lczs::classdiv
