#include "classdiv/fb_deep.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lczs::classdiv {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

void deep_delta(const PolishView& v, const DeepMove& move, double* d) {
  const int m = v.columns, n = move.count;
  // The judge summed each group in the order of its rows.
  std::array<int, kDeepMostAtOnce> ra = move.out_of_a, rb = move.out_of_b;
  for (int x = n; x < kDeepMostAtOnce; ++x) ra[x] = rb[x] = std::numeric_limits<int>::max();
  std::sort(ra.begin(), ra.end());
  std::sort(rb.begin(), rb.end());
  auto at = [&](int r, int j) { return v.scores[static_cast<std::size_t>(r) * m + j]; };
  for (int j = 0; j < m; ++j) {
    double s = at(ra[0], j), t = at(rb[0], j);
    for (int x = 1; x < n; ++x) {
      s += at(ra[x], j);
      t += at(rb[x], j);
    }
    d[j] = s - t;
  }
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
  if (k < 2 || m < 1 || size_ < 1 || size_ > kDeepMostAtOnce) return best_;
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

long long FbDeep::free_in(int c) const {
  long long n = 0;
  for (int r = v_.blocks[c][0]; r <= v_.blocks[c][3]; ++r) n += !tied(r);
  return n;
}

long long FbDeep::groups_of(long long n) const {
  long long g = 1;
  for (int x = 0; x < size_; ++x) g = g * (n - x) / (x + 1);
  return n < size_ ? 0 : g;
}

template <class Visit>
bool FbDeep::for_each_group(int c, Visit visit) const {
  const auto& bl = v_.blocks[c];
  std::vector<std::uint16_t> free;
  for (int r = bl[0]; r <= bl[3]; ++r)
    if (!tied(r)) free.push_back(static_cast<std::uint16_t>(r - bl[0]));
  const int n = static_cast<int>(free.size()), g = size_;
  if (groups_of(n) > most_groups()) return false;
  if (n < g) return true;
  // The next combination of g of the n free students, in the order of
  // their rows.
  std::array<int, kDeepMostAtOnce> x{};
  for (int i = 0; i < g; ++i) x[i] = i;
  const int girls_from = bl[2] - bl[0];
  for (;;) {
    Offsets at{};
    int kind = 0;
    for (int i = 0; i < g; ++i) {
      at[i] = free[x[i]];
      kind += at[i] >= girls_from;
    }
    if (!visit(at, kind)) return true;
    int i = g - 1;
    while (i >= 0 && x[i] == n - g + i) --i;
    if (i < 0) return true;
    ++x[i];
    for (int y = i + 1; y < g; ++y) x[y] = x[y - 1] + 1;
  }
}

double FbDeep::group_sum(int c, const Offsets& g, int j) const {
  const int m = v_.columns;
  const double* first = &v_.scores[static_cast<std::size_t>(v_.blocks[c][0]) * m + j];
  double s = first[static_cast<std::size_t>(g[0]) * m];
  for (int x = 1; x < size_; ++x) s += first[static_cast<std::size_t>(g[x]) * m];
  return s;
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
  const long long na = groups_of(free_in(a));
  if (na > most_groups()) return;
  // One class stays through most pairs of a call; making its groups is
  // counted once.
  if (ta_class_ != a) judged_ += na;
  if (tb_class_ != b) {
    tb_.at.clear();
    tb_.kind.clear();
    const bool made = for_each_group(b, [&](const Offsets& g, int kind) {
      tb_.at.push_back(g);
      tb_.kind.push_back(static_cast<std::uint8_t>(kind));
      return true;
    });
    if (!made) return;
    judged_ += static_cast<long long>(tb_.at.size());
  }
  ta_class_ = a;
  tb_class_ = b;
  if (na == 0 || tb_.at.empty()) return;
  file_groups();
  // Making and filing the groups is work of its own: among 40 classes of
  // 125 it costs as much as the scans, so the budget counts it.
  judged_ += static_cast<long long>(tb_.at.size());

  const int nb = cells_[0] * cells_[1];
  std::vector<double>& s = sums_;
  s.resize(m);
  for_each_group(a, [&](const Offsets& g, int kind) {
    if (spent()) return false;
    ++judged_;
    for (int j = 0; j < m; ++j) s[j] = group_sum(a, g, j);
    // What b's group holds must lie in [s - hi, s - lo] in every column.
    const int c0 = key_[0], c1 = key_[1], c2 = key_[2];
    const int x0 = cell_of(0, s[c0] - hi_[c0]), x1 = cell_of(0, s[c0] - lo_[c0]);
    const int y0 = cell_of(1, s[c1] - hi_[c1]), y1 = cell_of(1, s[c1] - lo_[c1]);
    const int base = kind * nb;
    for (int x = x0; x <= x1; ++x)
      for (int y = y0; y <= y1; ++y) {
        const int cell = base + x * cells_[1] + y;
        const auto first = filed_key_.begin() + cell_start_[cell];
        const auto last = filed_key_.begin() + cell_start_[cell + 1];
        // The intervals narrow as better exchanges are found.
        for (auto it = std::lower_bound(first, last, s[c2] - hi_[c2]); it != last && *it <= s[c2] - lo_[c2]; ++it)
          judge(g, s.data(), filed_[it - filed_key_.begin()]);
      }
    return true;
  });
}

void FbDeep::file_groups() {
  const int m = v_.columns, b = b_;
  const std::size_t n = tb_.at.size();
  // The columns whose intervals hold the smallest share of what b's
  // groups move there: those cut the scan most.
  std::vector<double> low(m, kInf), high(m, -kInf);
  for (std::size_t q = 0; q < n; ++q)
    for (int j = 0; j < m; ++j) {
      const double t = group_sum(b, tb_.at[q], j);
      low[j] = std::min(low[j], t);
      high[j] = std::max(high[j], t);
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
  const int nb = cells_[0] * cells_[1], kinds = size_ + 1;
  // The sort column's sums stand in filed_key_ by group until filed.
  std::vector<double>& key = filed_key_;
  key.resize(n);
  std::vector<int> cell(n);
  cell_start_.assign(kinds * nb + 1, 0);
  for (std::size_t q = 0; q < n; ++q) {
    const Offsets& g = tb_.at[q];
    cell[q] = tb_.kind[q] * nb + cell_of(0, group_sum(b, g, key_[0])) * cells_[1] + cell_of(1, group_sum(b, g, key_[1]));
    key[q] = group_sum(b, g, key_[2]);
    ++cell_start_[cell[q] + 1];
  }
  for (int c = 0; c < kinds * nb; ++c) cell_start_[c + 1] += cell_start_[c];
  filed_.assign(n, 0);
  std::vector<int> at(cell_start_.begin(), cell_start_.end() - 1);
  for (std::size_t q = 0; q < n; ++q) filed_[at[cell[q]]++] = static_cast<int>(q);
  for (int c = 0; c < kinds * nb; ++c)
    std::sort(filed_.begin() + cell_start_[c], filed_.begin() + cell_start_[c + 1],
              [&](int x, int y) { return key[x] < key[y] || (key[x] == key[y] && x < y); });
  // Reused in place: the keys by filed order, from a copy by group.
  std::vector<double> by_group(key.begin(), key.end());
  for (std::size_t x = 0; x < n; ++x) key[x] = by_group[filed_[x]];
}

void FbDeep::judge(const Offsets& g, const double* pa, int q) {
  ++judged_;
  const int m = v_.columns, a = a_, b = b_;
  const double sa = v_.sizes[a], sb = v_.sizes[b];
  const Offsets& h = tb_.at[q];
  double mx = 0, sum = 0;
  for (int j : order_) {
    // The same expressions as deep_delta and the search's own update.
    const double d = pa[j] - group_sum(b, h, j);
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
  move.count = size_;
  // Partners of the same gender: b's group in the order of a's.
  const int first_a = v_.blocks[a][0], first_b = v_.blocks[b][0];
  const int first_girl_a = v_.blocks[a][2], first_girl_b = v_.blocks[b][2];
  for (int n = 0; n < size_; ++n) {
    move.out_of_a[n] = first_a + g[n];
    move.out_of_b[n] = first_b + h[n];
  }
  auto& rb = move.out_of_b;
  for (int n = 0; n < size_; ++n) {
    const bool girl = move.out_of_a[n] >= first_girl_a;
    for (int x = n; x < size_; ++x)
      if ((rb[x] >= first_girl_b) == girl) {
        std::swap(rb[n], rb[x]);
        break;
      }
  }
  if (rules_) {
    xa_.clear();
    xb_.clear();
    for (int n = 0; n < size_; ++n) {
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
