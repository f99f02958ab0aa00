#include "classdiv/fb_polish.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lczs::classdiv {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Whether (mx, sum) is better than (ref_max, ref_sum) by more than noise.
bool better(double mx, double sum, double ref_max, double ref_sum) {
  return mx < ref_max - kPolishTolerance || (mx <= ref_max + kPolishTolerance && sum < ref_sum - kPolishTolerance);
}

}  // namespace

void polish_delta(const PolishView& v, const PolishMove& move, double* d) {
  const int m = v.columns;
  const double* s1 = &v.scores[static_cast<std::size_t>(move.out_of_a[0]) * m];
  const double* t1 = &v.scores[static_cast<std::size_t>(move.out_of_b[0]) * m];
  if (move.count == 1) {
    for (int j = 0; j < m; ++j) d[j] = s1[j] - t1[j];
    return;
  }
  const double* s2 = &v.scores[static_cast<std::size_t>(move.out_of_a[1]) * m];
  const double* t2 = &v.scores[static_cast<std::size_t>(move.out_of_b[1]) * m];
  for (int j = 0; j < m; ++j) d[j] = (s1[j] + s2[j]) - (t1[j] + t2[j]);
}

void measure_columns(const PolishView& v, std::vector<double>& avg, std::vector<double>& spread,
                     std::vector<int>& top, std::vector<int>& bottom, std::vector<int>& order, double& max,
                     double& sum) {
  const int m = v.columns, k = v.classes;
  avg.assign(static_cast<std::size_t>(k + 1) * m, 0.0);
  for (int c = 1; c <= k; ++c)
    for (int j = 0; j < m; ++j) avg[c * m + j] = v.sums[c * m + j] / v.sizes[c];
  spread.assign(m, 0.0);
  top.assign(m, 1);
  bottom.assign(m, 1);
  max = sum = 0;
  for (int j = 0; j < m; ++j) {
    for (int c = 2; c <= k; ++c) {
      if (avg[c * m + j] > avg[top[j] * m + j]) top[j] = c;
      if (avg[c * m + j] < avg[bottom[j] * m + j]) bottom[j] = c;
    }
    spread[j] = avg[top[j] * m + j] - avg[bottom[j] * m + j];
    max = std::max(max, spread[j]);
    sum += spread[j];
  }
  order.resize(m);
  for (int j = 0; j < m; ++j) order[j] = j;
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return spread[x] > spread[y]; });
}

std::optional<PolishMove> FbPolish::best_exchange(const PolishView& v, long long budget) {
  // Another grade, or one of another shape, starts the sorted pairs afresh.
  if (v.scores != v_.scores || v.columns != v_.columns || v.classes != v_.classes) sorted_.clear();
  v_ = v;
  stop_at_ = budget < 0 ? -1 : judged_ + budget;
  const int m = v.columns, k = v.classes;
  best_.reset();
  if (k < 2 || m < 1) return best_;
  sorted_.resize(k + 1);
  std::vector<int> top, bottom;
  measure_columns(v, avg_, spread_, top, bottom, order_, now_max_, now_sum_);

  // Only an exchange that moves the worst column's top or bottom class can
  // narrow it, and the largest spread cannot fall unless it narrows.
  const int w = order_[0], hi = top[w], lo = bottom[w];
  if (hi == lo) return best_;  // every class alike: nothing to improve
  search_pair(hi, lo, -1);
  up_.clear();
  for (int c = 1; c <= k; ++c)
    if (c != hi && c != lo) up_.push_back(c);
  if (likeliest_first_) {
    std::stable_sort(up_.begin(), up_.end(), [&](int x, int y) { return avg_[x * m + w] < avg_[y * m + w]; });
    down_ = up_;
    std::stable_sort(down_.begin(), down_.end(), [&](int x, int y) { return avg_[x * m + w] > avg_[y * m + w]; });
    for (std::size_t x = 0; x < up_.size(); ++x) {
      search_pair(hi, up_[x], -1);
      search_pair(down_[x], lo, -1);
    }
  } else {
    for (int c : up_) search_pair(hi, c, -1);
    for (int c : up_) search_pair(c, lo, -1);
  }
  if (best_ && best_->max_spread < now_max_ - kPolishTolerance) return best_;

  // The largest spread stays; narrowing another column lowers the sum and
  // leaves room for the next move.
  std::vector<std::pair<int, int>> seen{{hi, lo}};
  for (int x = 1; x < m; ++x) {
    const int j = order_[x];
    if (spread_[j] <= kPolishTolerance) break;
    const std::pair<int, int> p{top[j], bottom[j]};
    if (std::find(seen.begin(), seen.end(), p) != seen.end()) continue;
    seen.push_back(p);
    search_pair(p.first, p.second, j);
  }
  return best_;
}

const std::vector<std::array<int, 2>>& FbPolish::sorted_pairs(int c, int column, int kind) {
  const int m = v_.columns;
  const auto& bl = v_.blocks[c];
  SortedPairs& cache = sorted_[c];
  const int* ids = v_.ids + bl[0];
  const std::size_t size = bl[3] >= bl[0] ? static_cast<std::size_t>(bl[3] - bl[0] + 1) : 0;
  if (cache.block != bl || cache.ids.size() != size || !std::equal(ids, ids + size, cache.ids.begin())) {
    cache.block = bl;
    cache.ids.assign(ids, ids + size);
    for (auto& by_column : cache.by_column) by_column.assign(m, {});
    cache.sorted.assign(m, 0);
  }
  if (!cache.sorted[column]) {
    cache.sorted[column] = 1;
    const double* sc = v_.scores;
    for (int k = 0; k < 3; ++k) {
      // Two boys, two girls; then a boy and a girl, the boy first so that
      // the two sides pair up by gender.
      auto& pairs = cache.by_column[k][column];
      pairs.clear();
      const int first1 = bl[k == 1 ? 2 : 0], last1 = bl[k == 1 ? 3 : 1];
      for (int r1 = first1; r1 <= last1; ++r1) {
        if (tied(r1)) continue;
        const int first2 = k == 2 ? bl[2] : r1 + 1, last2 = k == 2 ? bl[3] : last1;
        for (int r2 = first2; r2 <= last2; ++r2)
          if (!tied(r2)) pairs.push_back({r1, r2});
      }
      auto key = [&](const std::array<int, 2>& p) {
        return sc[static_cast<std::size_t>(p[0]) * m + column] + sc[static_cast<std::size_t>(p[1]) * m + column];
      };
      std::stable_sort(pairs.begin(), pairs.end(), [&](const auto& x, const auto& y) { return key(x) < key(y); });
    }
  }
  return cache.by_column[kind][column];
}

void FbPolish::make_pairs(int c, int window, Pairs (&out)[3]) {
  const int m = v_.columns;
  const double* sc = v_.scores;
  for (int kind = 0; kind < 3; ++kind) {
    Pairs& o = out[kind];
    o.rows = sorted_pairs(c, window, kind);
    o.key.resize(o.rows.size());
    o.sums.resize(o.rows.size() * m);
    for (std::size_t n = 0; n < o.rows.size(); ++n) {
      const double* s1 = &sc[static_cast<std::size_t>(o.rows[n][0]) * m];
      const double* s2 = &sc[static_cast<std::size_t>(o.rows[n][1]) * m];
      for (int j = 0; j < m; ++j) o.sums[n * m + j] = s1[j] + s2[j];
      o.key[n] = o.sums[n * m + window];
    }
  }
}

void other_extremes(const std::vector<double>& avg, int m, int k, int a, int b, std::vector<double>& top,
                    std::vector<double>& bottom) {
  top.assign(m, -kInf);
  bottom.assign(m, kInf);
  for (int c = 1; c <= k; ++c) {
    if (c == a || c == b) continue;
    for (int j = 0; j < m; ++j) {
      top[j] = std::max(top[j], avg[c * m + j]);
      bottom[j] = std::min(bottom[j], avg[c * m + j]);
    }
  }
}

bool exchange_window(double A, double B, double sa, double sb, double T, double L, double S, double* lo,
                     double* hi) {
  // D, what moves out of a, leaves the column at most S wide only if every
  // pair of a new top and a new bottom stays within it: the new averages
  // A - D/size a and B + D/size b give six bounds on D.
  if (!(T - L <= S)) return false;
  const double both = 1.0 / (1.0 / sa + 1.0 / sb);
  *lo = std::max({(T - S - B) * sb, (A - L - S) * sa, (A - B - S) * both});
  *hi = std::min({(A - T + S) * sa, (L + S - B) * sb, (A - B + S) * both});
  // Widened by more than rounding: the judge has the last word.
  const double slack = 1e-7 * (1 + std::abs(A) + std::abs(B)) * (sa + sb);
  *lo -= slack;
  *hi += slack;
  return *lo < *hi;
}

bool FbPolish::window_of(int window, double limit, double* lo, double* hi) const {
  const int m = v_.columns;
  return exchange_window(avg_[a_ * m + window], avg_[b_ * m + window], v_.sizes[a_], v_.sizes[b_],
                         other_top_[window], other_bottom_[window], limit, lo, hi);
}

void FbPolish::search_pair(int a, int b, int narrow) {
  const int m = v_.columns, k = v_.classes;
  a_ = a;
  b_ = b;
  other_extremes(avg_, m, k, a, b, other_top_, other_bottom_);
  set_windows();

  const auto& ba = v_.blocks[a];
  const auto& bb = v_.blocks[b];
  const double* sc = v_.scores;
  for (int g = 0; g < 2; ++g) {
    for (int i = ba[g ? 2 : 0]; i <= ba[g ? 3 : 1]; ++i) {
      if (spent()) return;
      if (tied(i)) continue;
      for (int x = bb[g ? 2 : 0]; x <= bb[g ? 3 : 1]; ++x)
        if (!tied(x)) judge(&sc[static_cast<std::size_t>(i) * m], &sc[static_cast<std::size_t>(x) * m], &i, &x, 1);
    }
  }

  // No column can end wider than the best exchange found so far, and the
  // one to narrow must end narrower than it is. Each gives a window; the
  // pairs are scanned in the one that holds the fewest, as the window's
  // width over the spread of the two classes' scores in that column tells.
  auto limit = [&](int j) {
    const double ref = best_ ? best_->max_spread : now_max_;
    return (j == narrow ? std::min(ref, spread_[j] - kPolishTolerance) : ref) + kPolishTolerance;
  };
  int window = -1;
  double lo, hi, fewest = kInf;
  for (int j = 0; j < m; ++j) {
    if (!window_of(j, limit(j), &lo, &hi)) return;
    double top = -kInf, bottom = kInf;
    for (int c : {a, b})
      for (int r = v_.blocks[c][0]; r <= v_.blocks[c][3]; ++r) {
        top = std::max(top, sc[static_cast<std::size_t>(r) * m + j]);
        bottom = std::min(bottom, sc[static_cast<std::size_t>(r) * m + j]);
      }
    const double share = (hi - lo) / (top - bottom + 1);
    if (share < fewest) {
      fewest = share;
      window = j;
    }
  }
  make_pairs(a, window, pairs_a_);
  make_pairs(b, window, pairs_b_);
  for (int kind = 0; kind < 3; ++kind) {
    const Pairs& ps = pairs_a_[kind];
    const Pairs& qs = pairs_b_[kind];
    for (std::size_t p = 0; p < ps.rows.size(); ++p) {
      if (spent() || !window_of(window, limit(window), &lo, &hi)) return;
      // D = key p - key q in (lo, hi): key q in (key p - hi, key p - lo).
      const double pk = ps.key[p];
      const auto first = std::lower_bound(qs.key.begin(), qs.key.end(), pk - hi);
      const auto last = std::lower_bound(first, qs.key.end(), pk - lo);
      // Every pair in the window is a candidate judged; each column's
      // window, turned into bounds on the other pair's sums, refuses most
      // of them without a subtraction.
      judged_ += last - first;
      const double* pa = &ps.sums[p * m];
      bounds_for(pa);
      const double* below = other_lo_.data();
      const double* above = other_hi_.data();
      for (auto q = static_cast<std::size_t>(first - qs.key.begin()); q < static_cast<std::size_t>(last - qs.key.begin()); ++q) {
        const double* pb = &qs.sums[q * m];
        bool inside = true;
        for (const int j : order_)
          if (!(pb[j] >= below[j] && pb[j] <= above[j])) {
            inside = false;
            break;
          }
        if (inside && settle(pa, pb, ps.rows[p].data(), qs.rows[q].data(), 2)) bounds_for(pa);
      }
    }
  }
}

void FbPolish::set_windows() {
  const int m = v_.columns;
  const double limit = (best_ ? best_->max_spread : now_max_) + kPolishTolerance;
  window_lo_.resize(m);
  window_hi_.resize(m);
  for (int j = 0; j < m; ++j)
    if (!window_of(j, limit, &window_lo_[j], &window_hi_[j])) {
      window_lo_[j] = kInf;  // the other classes alone are too far apart
      window_hi_[j] = -kInf;
    }
}

void FbPolish::bounds_for(const double* pa) {
  const int m = v_.columns;
  other_lo_.resize(m);
  other_hi_.resize(m);
  for (int j = 0; j < m; ++j) {
    other_lo_[j] = pa[j] - window_hi_[j];
    other_hi_[j] = pa[j] - window_lo_[j];
  }
}

void FbPolish::judge(const double* pa, const double* pb, const int* out_a, const int* out_b, int count) {
  ++judged_;
  // Outside a column's window the judge would find that column too wide;
  // the windows are wider than rounding, so it has the last word.
  const double* lo = window_lo_.data();
  const double* hi = window_hi_.data();
  for (const int j : order_) {
    const double d = pa[j] - pb[j];
    if (!(d >= lo[j] && d <= hi[j])) return;
  }
  settle(pa, pb, out_a, out_b, count);
}

bool FbPolish::settle(const double* pa, const double* pb, const int* out_a, const int* out_b, int count) {
  const int m = v_.columns, a = a_, b = b_;
  const double sa = v_.sizes[a], sb = v_.sizes[b];
  const double ref_max = best_ ? best_->max_spread : now_max_;
  const double ref_sum = best_ ? best_->spread_sum : now_sum_;
  double mx = 0, sum = 0;
  for (int j : order_) {
    // The same expressions as polish_delta and the search's own update.
    const double d = pa[j] - pb[j];
    const double na = (v_.sums[a * m + j] - d) / sa;
    const double nb = (v_.sums[b * m + j] + d) / sb;
    const double sp = std::max({other_top_[j], na, nb}) - std::min({other_bottom_[j], na, nb});
    if (sp > ref_max + kPolishTolerance) return false;
    mx = std::max(mx, sp);
    sum += sp;
  }
  if (!better(mx, sum, ref_max, ref_sum)) return false;
  if (rules_) {
    xa_.clear();
    xb_.clear();
    for (int n = 0; n < count; ++n) {
      xa_.push_back(v_.ids[out_a[n]]);
      xb_.push_back(v_.ids[out_b[n]]);
    }
    if (!rules_->allowed(Exchange{a, b, xa_, xb_})) return false;
  }
  PolishMove move;
  move.a = a;
  move.b = b;
  move.count = count;
  for (int n = 0; n < count; ++n) {
    move.out_of_a[n] = out_a[n];
    move.out_of_b[n] = out_b[n];
  }
  move.max_spread = mx;
  move.spread_sum = sum;
  best_ = move;
  set_windows();
  return true;
}

}  // namespace lczs::classdiv
