#include "classdiv/fb_deep.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lczs::classdiv {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

void deep_delta(const PolishView& v, const DeepMove& move, double* d) {
  const int m = v.columns;
  // The judge summed each triple in the order of its rows.
  std::array<int, 3> ra = move.out_of_a, rb = move.out_of_b;
  std::sort(ra.begin(), ra.end());
  std::sort(rb.begin(), rb.end());
  auto row = [&](int r) { return &v.scores[static_cast<std::size_t>(r) * m]; };
  const double *s1 = row(ra[0]), *s2 = row(ra[1]), *s3 = row(ra[2]);
  const double *t1 = row(rb[0]), *t2 = row(rb[1]), *t3 = row(rb[2]);
  for (int j = 0; j < m; ++j) d[j] = ((s1[j] + s2[j]) + s3[j]) - ((t1[j] + t2[j]) + t3[j]);
}

std::optional<DeepMove> FbDeep::best_exchange(const PolishView& v, long long budget) {
  v_ = v;
  stop_at_ = budget < 0 ? -1 : judged_ + budget;
  const int m = v.columns, k = v.classes;
  best_.reset();
  // FNV-1a over who stands in which row.
  std::uint64_t state = 14695981039346656037ull;
  for (int r = 0; r < v.students; ++r) state = (state ^ static_cast<std::uint32_t>(v.ids[r])) * 1099511628211ull;
  if (state == fruitless_) return best_;
  ta_class_ = tb_class_ = 0;
  if (k < 2 || m < 1) return best_;
  std::vector<int> top, bottom;
  measure_columns(v, avg_, spread_, top, bottom, order_, now_max_, now_sum_);

  // Only the worst column's top or bottom class can narrow it.
  const int w = order_[0], hi = top[w], lo = bottom[w];
  if (hi == lo) return best_;
  narrow_ = -1;
  search_pair(hi, lo);
  for (int c = 1; c <= k; ++c)
    if (c != hi && c != lo) search_pair(hi, c);
  for (int c = 1; c <= k; ++c)
    if (c != hi && c != lo) search_pair(c, lo);
  if (best_) return best_;

  // Where several columns share the largest spread, no one exchange lowers
  // it; narrowing one of them keeps it and lowers the sum, and the next
  // step can go on from there.
  std::vector<std::pair<int, int>> seen{{hi, lo}};
  for (int x = 1; x < m; ++x) {
    const int j = order_[x];
    if (spread_[j] <= kPolishTolerance) break;
    const std::pair<int, int> p{top[j], bottom[j]};
    if (std::find(seen.begin(), seen.end(), p) != seen.end()) continue;
    seen.push_back(p);
    narrow_ = j;
    search_pair(p.first, p.second);
  }
  if (!best_ && !spent()) fruitless_ = state;
  return best_;
}

void FbDeep::make_triples(int c, Triples* out) {
  const int m = v_.columns;
  const auto& bl = v_.blocks[c];
  out->rows.clear();
  out->kind.clear();
  out->sums.clear();
  std::vector<int> free;
  for (int r = bl[0]; r <= bl[3]; ++r)
    if (!tied(r)) free.push_back(r);
  const int n = static_cast<int>(free.size());
  judged_ += static_cast<long long>(n) * (n - 1) * (n - 2) / 6;
  auto row = [&](int r) { return &v_.scores[static_cast<std::size_t>(r) * m]; };
  for (int x = 0; x < n; ++x)
    for (int y = x + 1; y < n; ++y)
      for (int z = y + 1; z < n; ++z) {
        const int r1 = free[x], r2 = free[y], r3 = free[z];
        out->rows.push_back({r1, r2, r3});
        out->kind.push_back((r1 >= bl[2]) + (r2 >= bl[2]) + (r3 >= bl[2]));
        const double *s1 = row(r1), *s2 = row(r2), *s3 = row(r3);
        for (int j = 0; j < m; ++j) out->sums.push_back((s1[j] + s2[j]) + s3[j]);
      }
}

bool FbDeep::set_limits() {
  // Lowering the largest spread: every column strictly below it until an
  // exchange is found, then no wider than that one, so a lower sum of
  // spreads can still win. Narrowing a column: none wider than the largest
  // spread (or the best found), that column narrower than it is.
  const int m = v_.columns;
  const double ref = best_ ? best_->max_spread : narrow_ < 0 ? now_max_ - 2 * kPolishTolerance : now_max_;
  limit_.assign(m, ref + kPolishTolerance);
  if (narrow_ >= 0) limit_[narrow_] = std::min(ref, spread_[narrow_] - kPolishTolerance) + kPolishTolerance;
  lo_.resize(m);
  hi_.resize(m);
  bool open = true;
  for (int j = 0; j < m; ++j) open = window_of(j, limit_[j], &lo_[j], &hi_[j]) && open;
  return open;
}

bool FbDeep::window_of(int j, double limit, double* lo, double* hi) const {
  const int m = v_.columns;
  return exchange_window(avg_[a_ * m + j], avg_[b_ * m + j], v_.sizes[a_], v_.sizes[b_], other_top_[j],
                         other_bottom_[j], limit, lo, hi);
}

int FbDeep::cell_of(int dim, double x) const {
  const double f = std::floor((x - origin_[dim]) / width_[dim]);
  if (!(f > 0)) return 0;  // also NaN
  return f >= cells_[dim] - 1 ? cells_[dim] - 1 : static_cast<int>(f);
}

void FbDeep::search_pair(int a, int b) {
  const int m = v_.columns, k = v_.classes;
  a_ = a;
  b_ = b;
  other_extremes(avg_, m, k, a, b, other_top_, other_bottom_);
  if (spent() || !set_limits()) return;
  // One class stays through most pairs of a call; its triples are kept.
  if (ta_class_ != a) make_triples(a, &ta_);
  if (tb_class_ != b) make_triples(b, &tb_);
  ta_class_ = a;
  tb_class_ = b;
  if (ta_.rows.empty() || tb_.rows.empty()) return;
  file_triples();
  // Making and filing the triples is work of its own: among 40 classes of
  // 125 it costs as much as the scans, so the budget counts it.
  judged_ += static_cast<long long>(tb_.rows.size());

  const int nb = cells_[0] * cells_[1];
  for (std::size_t p = 0; p < ta_.rows.size(); ++p) {
    if (spent()) return;
    ++judged_;
    const double* s = &ta_.sums[p * m];
    // What b's triple holds must lie in [s - hi, s - lo] in every column.
    const int c0 = key_[0], c1 = key_[1], c2 = key_[2];
    const int x0 = cell_of(0, s[c0] - hi_[c0]), x1 = cell_of(0, s[c0] - lo_[c0]);
    const int y0 = cell_of(1, s[c1] - hi_[c1]), y1 = cell_of(1, s[c1] - lo_[c1]);
    const int base = ta_.kind[p] * nb;
    for (int x = x0; x <= x1; ++x)
      for (int y = y0; y <= y1; ++y) {
        const int cell = base + x * cells_[1] + y;
        const auto first = filed_key_.begin() + cell_start_[cell];
        const auto last = filed_key_.begin() + cell_start_[cell + 1];
        // The intervals narrow as better exchanges are found.
        for (auto it = std::lower_bound(first, last, s[c2] - hi_[c2]); it != last && *it <= s[c2] - lo_[c2]; ++it)
          judge(static_cast<int>(p), filed_[it - filed_key_.begin()]);
      }
  }
}

void FbDeep::file_triples() {
  const int m = v_.columns;
  const std::size_t n = tb_.rows.size();
  // The columns whose intervals hold the smallest share of what b's
  // triples move there: those cut the scan most.
  std::vector<double> low(m, kInf), high(m, -kInf);
  for (std::size_t q = 0; q < n; ++q)
    for (int j = 0; j < m; ++j) {
      low[j] = std::min(low[j], tb_.sums[q * m + j]);
      high[j] = std::max(high[j], tb_.sums[q * m + j]);
    }
  std::vector<int> by_share(m);
  for (int j = 0; j < m; ++j) by_share[j] = j;
  auto share = [&](int j) { return (hi_[j] - lo_[j]) / (high[j] - low[j] + 1); };
  std::stable_sort(by_share.begin(), by_share.end(), [&](int x, int y) { return share(x) < share(y); });
  for (int d = 0; d < 3; ++d) key_[d] = by_share[std::min(d, m - 1)];
  for (int d = 0; d < 2; ++d) {
    const int j = key_[d];
    const double range = high[j] - low[j];
    width_[d] = std::max({(hi_[j] - lo_[j]) / kDeepCellsPerWindow, range / kDeepCellsPerColumn, 1e-9});
    origin_[d] = low[j];
    cells_[d] = std::min(kDeepCellsPerColumn, static_cast<int>(range / width_[d]) + 1);
  }
  const int nb = cells_[0] * cells_[1];
  std::vector<int> cell(n);
  cell_start_.assign(4 * nb + 1, 0);
  for (std::size_t q = 0; q < n; ++q) {
    const double* t = &tb_.sums[q * m];
    cell[q] = tb_.kind[q] * nb + cell_of(0, t[key_[0]]) * cells_[1] + cell_of(1, t[key_[1]]);
    ++cell_start_[cell[q] + 1];
  }
  for (int c = 0; c < 4 * nb; ++c) cell_start_[c + 1] += cell_start_[c];
  filed_.assign(n, 0);
  std::vector<int> at(cell_start_.begin(), cell_start_.end() - 1);
  for (std::size_t q = 0; q < n; ++q) filed_[at[cell[q]]++] = static_cast<int>(q);
  const int k2 = key_[2];
  auto key = [&](int q) { return tb_.sums[static_cast<std::size_t>(q) * m + k2]; };
  for (int c = 0; c < 4 * nb; ++c)
    std::sort(filed_.begin() + cell_start_[c], filed_.begin() + cell_start_[c + 1],
              [&](int x, int y) { return key(x) < key(y) || (key(x) == key(y) && x < y); });
  filed_key_.resize(n);
  for (std::size_t x = 0; x < n; ++x) filed_key_[x] = key(filed_[x]);
}

void FbDeep::judge(int p, int q) {
  ++judged_;
  const int m = v_.columns, a = a_, b = b_;
  const double sa = v_.sizes[a], sb = v_.sizes[b];
  const double* pa = &ta_.sums[static_cast<std::size_t>(p) * m];
  const double* pb = &tb_.sums[static_cast<std::size_t>(q) * m];
  double mx = 0, sum = 0;
  for (int j : order_) {
    // The same expressions as deep_delta and the search's own update.
    const double d = pa[j] - pb[j];
    const double na = (v_.sums[a * m + j] - d) / sa;
    const double nb = (v_.sums[b * m + j] + d) / sb;
    const double sp = std::max({other_top_[j], na, nb}) - std::min({other_bottom_[j], na, nb});
    if (sp > limit_[j]) return;
    mx = std::max(mx, sp);
    sum += sp;
  }
  const double ref_max = best_ ? best_->max_spread : now_max_, ref_sum = best_ ? best_->spread_sum : now_sum_;
  if (!(mx < ref_max - kPolishTolerance || (mx <= ref_max + kPolishTolerance && sum < ref_sum - kPolishTolerance))) return;
  DeepMove move;
  move.a = a;
  move.b = b;
  move.out_of_a = ta_.rows[p];
  // Partners of the same gender: b's triple in the order of a's.
  const auto& ra = ta_.rows[p];
  std::array<int, 3> rb = tb_.rows[q];
  const int first_girl_a = v_.blocks[a][2], first_girl_b = v_.blocks[b][2];
  for (int n = 0; n < 3; ++n) {
    const bool girl = ra[n] >= first_girl_a;
    for (int x = n; x < 3; ++x)
      if ((rb[x] >= first_girl_b) == girl) {
        std::swap(rb[n], rb[x]);
        break;
      }
  }
  move.out_of_b = rb;
  if (rules_) {
    xa_.clear();
    xb_.clear();
    for (int n = 0; n < 3; ++n) {
      xa_.push_back(v_.ids[move.out_of_a[n]]);
      xb_.push_back(v_.ids[move.out_of_b[n]]);
    }
    if (!rules_->allowed(Exchange{a, b, xa_, xb_})) return;
  }
  move.max_spread = mx;
  move.spread_sum = sum;
  best_ = move;
  // A better exchange must land in narrower intervals.
  set_limits();
}

}  // namespace lczs::classdiv
