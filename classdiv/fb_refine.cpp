#include "classdiv/fb_refine.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <cmath>

namespace lczs::classdiv {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
// A worsening x is taken when x <= T * -ln(u) for u uniform in (0, 1),
// which happens with probability exp(-x / T). u is one of 1024 evenly
// spread points: fine enough, and no logarithm per candidate.
struct Rises {
  double v[1024];
  Rises() {
    for (int k = 0; k < 1024; ++k) v[k] = -std::log((k + 0.5) / 1024);
  }
};
const Rises kRises;
}  // namespace

FbRefine::FbRefine(const SearchInput& start, std::uint64_t seed, MoveRules* rules)
    : n_(start.students),
      m_(start.columns),
      k_(start.classes),
      rng_(seed),
      rules_(rules),
      polish_(rules),
      deep_(rules),
      quad_(rules, 4),
      settle_(rules),
      anneal_(start.classes >= kAnnealClasses) {
  // The polish's budget runs out among as many classes as make the walk
  // anneal (kAnnealClasses).
  polish_.scan_likeliest_first(anneal_);
  scores_ = start.scores;
  ids_ = start.ids;
  if (ids_.empty())
    for (int r = 0; r < n_; ++r) ids_.push_back(r + 1);
  class_of_.assign(n_, 0);
  boy_.assign(n_, 0);
  blocks_.assign(k_ + 1, {0, -1, 0, -1});
  inv_size_.assign(k_ + 1, 0.0);
  size_.assign(k_ + 1, 1.0);
  int boys_in = 0, girls_in = 0;  // classes holding boys, girls
  for (int c = 1; c <= k_; ++c) {
    const auto& r = start.rows[c];
    blocks_[c] = {r[0] - 2, r[1] - 2, r[2] - 2, r[3] - 2};
    for (int x = r[0] - 2; x <= r[3] - 2; ++x) {
      class_of_[x] = c;
      boy_[x] = x <= r[1] - 2;
    }
    size_[c] = start.sizes[c] > 0 ? start.sizes[c] : 1;
    inv_size_[c] = 1.0 / size_[c];
    boys_in += r[1] >= r[0];
    girls_in += r[3] >= r[2];
  }
  has_moves_ = boys_in >= 2 || girls_in >= 2;
  sum_.assign(static_cast<std::size_t>(k_ + 1) * m_, 0.0);
  avg_.assign(sum_.size(), 0.0);
  ext_.resize(m_);
  spread_.assign(m_, 0.0);
  d_.assign(m_, 0.0);
  aim_.assign(m_, 0.0);
  by_id_.assign(static_cast<std::size_t>(n_ + 1) * m_, 0.0);
  for (int r = 0; r < n_; ++r)
    std::copy_n(row(r), m_, &by_id_[static_cast<std::size_t>(ids_[r]) * m_]);
  moved_.assign(m_, 0.0f);
  fill_columns();
  rebuild_all();
  find_neighbours();
  best_ids_ = ids_;
  best_max_ = *std::max_element(spread_.begin(), spread_.end());
  history_.assign(kLateAcceptanceLength, cost_);
  best_sum_ = 0;
  for (double s : spread_) best_sum_ += s;
  tell_rules();
}

void FbRefine::tell_rules() {
  if (!rules_) return;
  std::vector<int> class_of(n_ + 1, 0);
  for (int r = 0; r < n_; ++r) class_of[ids_[r]] = class_of_[r];
  rules_->reset(class_of);
}

bool FbRefine::allowed(int a, int b) {
  if (!rules_) return true;
  xa_.clear();
  xb_.clear();
  for (int r : ra_) xa_.push_back(ids_[r]);
  for (int r : rb_) xb_.push_back(ids_[r]);
  return rules_->allowed(Exchange{a, b, xa_, xb_});
}

int FbRefine::random_row(int b, int boy) {
  const int lo = blocks_[b][boy ? 0 : 2], hi = blocks_[b][boy ? 1 : 3];
  if (hi < lo) return -1;
  return lo + static_cast<int>(below(hi - lo + 1));
}

bool FbRefine::group_move(int i1, int k1, int b) {
  const int a = class_of_[i1];
  ra_.assign(1, i1);
  rb_.assign(1, k1);
  for (int j = 0; j < m_; ++j) d_[j] = row(i1)[j] - row(k1)[j];
  std::fill(aim_.begin(), aim_.end(), 0.0);
  for (int id : rules_->companions(ids_[i1])) {
    const int r = row_of_[id];
    if (class_of_[r] != a) return false;  // the group is split already; leave it to the rules
    // The partner that best cancels what the group has moved so far: a
    // random one would make nearly every group move a bad one.
    if (!add_nearest(r, b)) return false;
  }
  return true;
}

namespace {

// Students judged side by side by add_nearest, four to a register of
// SSE2: single precision holds whole and half points exactly and their
// distances to the aim closely enough to choose a partner, and every lane
// sums its squares in the same order, so the choice is the same on any
// machine.
constexpr int kLanes = 16;
typedef float Four __attribute__((vector_size(4 * sizeof(float))));

}  // namespace

void FbRefine::fill_columns() {
  stride_ = static_cast<std::size_t>(n_) + kLanes;  // the last lanes read past the last row
  columns_.assign(stride_ * m_, 0.0f);
  for (int r = 0; r < n_; ++r)
    for (int j = 0; j < m_; ++j) columns_[j * stride_ + r] = static_cast<float>(row(r)[j]);
}

bool FbRefine::add_nearest(int i, int b) {
  const int lo = blocks_[b][boy_[i] ? 0 : 2], hi = blocks_[b][boy_[i] ? 1 : 3];
  const double* s = row(i);
  // Where the partner's scores would land the candidate on the aim.
  for (int j = 0; j < m_; ++j) moved_[j] = static_cast<float>(d_[j] + s[j] - aim_[j]);
  float best = std::numeric_limits<float>::infinity();
  int k = -1;
  for (int x0 = lo; x0 <= hi; x0 += kLanes) {
    Four sum[kLanes / 4] = {};
    const float* col = &columns_[static_cast<std::size_t>(x0)];
    for (int j = 0; j < m_; ++j, col += stride_) {
      const Four moved = {moved_[j], moved_[j], moved_[j], moved_[j]};
      for (int p = 0; p < kLanes / 4; ++p) {
        Four t;
        std::memcpy(&t, col + 4 * p, sizeof t);
        const Four e = moved - t;
        sum[p] += e * e;
      }
    }
    float dist[kLanes];
    std::memcpy(dist, sum, sizeof dist);
    // Past the last row the lanes read other rows or zeros.
    for (int lane = hi - x0 + 1; lane < kLanes; ++lane) dist[lane] = std::numeric_limits<float>::infinity();
    // Most runs of rows hold no new nearest, and their least says so
    // without a branch per row; the first row holding it is the nearest
    // unless the rules tie it or the candidate holds it already.
    float least = dist[0];
    for (int lane = 1; lane < kLanes; ++lane) least = std::min(least, dist[lane]);
    if (!(least < best)) continue;
    int first = 0;
    while (dist[first] != least) ++first;
    if (!tied(x0 + first) && std::find(rb_.begin(), rb_.end(), x0 + first) == rb_.end()) {
      best = least;
      k = x0 + first;
      continue;
    }
    for (int lane = 0; lane < kLanes; ++lane) {
      const int x = x0 + lane;
      if (dist[lane] < best && !tied(x) && std::find(rb_.begin(), rb_.end(), x) == rb_.end()) {
        best = dist[lane];
        k = x;
      }
    }
  }
  if (k < 0) return false;
  for (int j = 0; j < m_; ++j) d_[j] += s[j] - row(k)[j];
  ra_.push_back(i);
  rb_.push_back(k);
  return true;
}

void FbRefine::find_neighbours() {
  row_of_.assign(n_ + 1, 0);
  for (int r = 0; r < n_; ++r) row_of_[ids_[r]] = r;
  neighbours_.assign(static_cast<std::size_t>(n_ + 1) * kNeighbours, 0);
  for (int g = 0; g < 2; ++g) {
    std::vector<int> group;
    for (int r = 0; r < n_; ++r)
      if (boy_[r] == g) group.push_back(ids_[r]);
    const auto total = [&](int id) { return by_id_[static_cast<std::size_t>(id) * m_ + m_ - 1]; };
    std::stable_sort(group.begin(), group.end(), [&](int a, int b) { return total(a) < total(b); });
    const int size = static_cast<int>(group.size());
    std::vector<std::pair<double, int>> near;
    for (int x = 0; x < size; ++x) {
      near.clear();
      const double* sa = &by_id_[static_cast<std::size_t>(group[x]) * m_];
      for (int y = std::max(0, x - kNeighbourWindow); y < std::min(size, x + kNeighbourWindow + 1); ++y) {
        if (y == x) continue;
        const double* sb = &by_id_[static_cast<std::size_t>(group[y]) * m_];
        double dist = 0;
        for (int j = 0; j < m_; ++j) dist += (sa[j] - sb[j]) * (sa[j] - sb[j]);
        near.emplace_back(dist, group[y]);
      }
      const int keep = std::min<int>(kNeighbours, static_cast<int>(near.size()));
      std::partial_sort(near.begin(), near.begin() + keep, near.end());
      int* out = &neighbours_[static_cast<std::size_t>(group[x]) * kNeighbours];
      for (int n = 0; n < kNeighbours; ++n) out[n] = keep > 0 ? near[n % keep].second : group[x];
    }
  }
}

std::uint64_t FbRefine::bits(int count) {
  if (pool_left_ < count) {
    pool_ = rng_();
    pool_left_ = 64;
  }
  const std::uint64_t x = pool_ & ((std::uint64_t{1} << count) - 1);
  pool_ >>= count;
  pool_left_ -= count;
  return x;
}

std::uint64_t FbRefine::below(std::uint64_t n) {
  // A draw costs more than judging a tenth of a candidate, and most
  // decisions are one in 16 or one in 2: a power of two takes only its
  // bits. Others take 32 bits scaled, not std::uniform_int_distribution,
  // whose mapping differs between standard libraries.
  if (n != 0 && (n & (n - 1)) == 0 && n <= (std::uint64_t{1} << 32)) return bits(std::countr_zero(n));
  return (bits(32) * n) >> 32;
}

namespace {

// Enters class c with average v into a column's three most extreme classes,
// ordered by `before`.
template <class Before>
void keep(double (&value)[3], int (&cls)[3], double v, int c, Before before) {
  int x = 3;
  while (x > 0 && before(v, value[x - 1])) --x;
  if (x == 3) return;
  for (int y = 2; y > x; --y) {
    value[y] = value[y - 1];
    cls[y] = cls[y - 1];
  }
  value[x] = v;
  cls[x] = c;
}

}  // namespace

void FbRefine::rebuild_column(int j) {
  Extremes& e = ext_[j];
  for (int x = 0; x < 3; ++x) {
    e.top[x] = -kInf;
    e.bottom[x] = kInf;
    e.top_class[x] = e.bottom_class[x] = 0;
  }
  for (int c = 1; c <= k_; ++c) {
    const double v = avg_[c * m_ + j];
    keep(e.top, e.top_class, v, c, [](double a, double b) { return a > b; });
    keep(e.bottom, e.bottom_class, v, c, [](double a, double b) { return a < b; });
  }
  spread_[j] = e.top[0] - e.bottom[0];
}

void FbRefine::rebuild_all() {
  std::fill(sum_.begin(), sum_.end(), 0.0);
  for (int c = 1; c <= k_; ++c)
    for (int r = blocks_[c][0]; r <= blocks_[c][3]; ++r) {
      const double* s = row(r);
      for (int j = 0; j < m_; ++j) sum_[c * m_ + j] += s[j];
    }
  for (int j = 0; j < m_; ++j) {
    for (int c = 1; c <= k_; ++c) avg_[c * m_ + j] = sum_[c * m_ + j] / size_[c];
    rebuild_column(j);
  }
  grand_.assign(m_, 0.0);
  for (int c = 1; c <= k_; ++c)
    for (int j = 0; j < m_; ++j) grand_[j] += sum_[c * m_ + j] / n_;
  recost();
  rest_.assign(static_cast<std::size_t>(k_ + 1) * (m_ + 1), 0.0);
  for (int c = 1; c <= k_; ++c) rest_of(c);
}

void FbRefine::recost() {
  cost_ = 0;
  for (int j = 0; j < m_; ++j) cost_ += spread_[j] * spread_[j];
  ssd_ = 0;
  for (int c = 1; c <= k_; ++c)
    for (int j = 0; j < m_; ++j) ssd_ += deviation(avg_[c * m_ + j] - grand_[j]);
  cost_ += ssd_;
  // The columns near the largest spread, for extreme_row.
  double largest = 0;
  for (double x : spread_) largest = std::max(largest, x);
  near_largest_.clear();
  for (int j = 0; j < m_; ++j)
    if (spread_[j] >= kNearLargestSpread * largest) near_largest_.push_back(j);
}

void FbRefine::rest_of(int c) {
  double* rest = &rest_[static_cast<std::size_t>(c) * (m_ + 1)];
  rest[m_] = 0;
  for (int j = m_ - 1; j >= 0; --j) rest[j] = rest[j + 1] + deviation(avg_[c * m_ + j] - grand_[j]);
}

double FbRefine::judge(int a, int b, const double* d, double bound) const {
  const double ia = inv_size_[a], ib = inv_size_[b];
  const double* aa = &avg_[a * m_];
  const double* ab = &avg_[b * m_];
  // The terms left to add are at least minus the deviations of a and b in
  // the columns still to come, so once the sum so far less those passes
  // the bound the candidate is refused. The margin is far above rounding:
  // a candidate this refuses is one the whole sum would refuse too.
  const double* rest_a = &rest_[static_cast<std::size_t>(a) * (m_ + 1)];
  const double* rest_b = &rest_[static_cast<std::size_t>(b) * (m_ + 1)];
  const double refuse = bound - ssd_ + 1e-9 * (1 + std::abs(bound) + ssd_);
  double cost = 0;
  for (int j = 0; j < m_; ++j) {
    const double na = aa[j] - d[j] * ia;
    const double nb = ab[j] + d[j] * ib;
    const Extremes& e = ext_[j];
    int x = 0;
    while (e.top_class[x] == a || e.top_class[x] == b) ++x;
    int y = 0;
    while (e.bottom_class[y] == a || e.bottom_class[y] == b) ++y;
    const double mx = std::max({e.top[x], na, nb});
    const double mn = std::min({e.bottom[y], na, nb});
    const double sp = mx - mn;
    const double g = grand_[j];
    cost += sp * sp + deviation(na - g) - deviation(aa[j] - g) + deviation(nb - g) - deviation(ab[j] - g);
    if (cost - rest_a[j + 1] - rest_b[j + 1] > refuse) return kInf;
  }
  return cost + ssd_;
}

void FbRefine::apply(int a, int b, const double* d) {
  if (rules_) {
    xa_.clear();
    xb_.clear();
    for (int r : ra_) xa_.push_back(ids_[r]);
    for (int r : rb_) xb_.push_back(ids_[r]);
    rules_->made(Exchange{a, b, xa_, xb_});
  }
  for (int j = 0; j < m_; ++j) {
    sum_[a * m_ + j] -= d[j];
    sum_[b * m_ + j] += d[j];
    // Divided, as the sheet's AVERAGEA does, so that the spread kept for
    // the best state is the one the statistics block will show.
    avg_[a * m_ + j] = sum_[a * m_ + j] / size_[a];
    avg_[b * m_ + j] = sum_[b * m_ + j] / size_[b];
    rebuild_column(j);
  }
  recost();
  rest_of(a);
  rest_of(b);
  for (std::size_t n = 0; n < ra_.size(); ++n) {
    const int i = ra_[n], k = rb_[n];
    std::swap_ranges(row(i), row(i) + m_, row(k));
    for (std::size_t j = 0; j < static_cast<std::size_t>(m_); ++j) std::swap(columns_[j * stride_ + i], columns_[j * stride_ + k]);
    std::swap(ids_[i], ids_[k]);
    row_of_[ids_[i]] = i;
    row_of_[ids_[k]] = k;
  }
  note_best();
}

void FbRefine::note_best() {
  double mx = 0, sum = 0;
  for (double s : spread_) {
    mx = std::max(mx, s);
    sum += s;
  }
  if (mx < best_max_ || (mx == best_max_ && sum < best_sum_)) {
    best_max_ = mx;
    best_sum_ = sum;
    best_ids_ = ids_;
    since_best_ = 0;
    polished_ = false;
    trace_.last_best_at = judged_;
    ++(in_polish_ ? trace_.polish_bests : trace_.walk_bests);
    trace_.kicks_to_best += kicked_;
    kicked_ = false;
  }
}

void FbRefine::restore_best() { restore(best_ids_); }

void FbRefine::restore(const std::vector<int>& ids) {
  ids_ = ids;
  for (int r = 0; r < n_; ++r) row_of_[ids_[r]] = r;
  for (int r = 0; r < n_; ++r)
    std::copy_n(&by_id_[static_cast<std::size_t>(ids_[r]) * m_], m_, row(r));
  fill_columns();
  rebuild_all();
  tell_rules();
}

bool FbRefine::polish(double target, bool deep) {
  bool improved = false;
  // A descent among 40 classes can judge 20 million candidates, seconds
  // the walk would put to better use while its states are still far from
  // balanced; the budget grows with the walk's own work, so it is counted
  // in candidates and stays repeatable.
  const long long budget = std::clamp(kPolishShare * judged_, kPolishEvery, kPolishBudget);
  const long long stop = polish_.judged() + budget;
  ++trace_.polishes;
  in_polish_ = true;
  while (best_max_ > target && polish_.judged() < stop) {
    const PolishView view{n_, m_, k_, scores_.data(), blocks_.data(), size_.data(), sum_.data(), ids_.data()};
    const std::optional<PolishMove> move = polish_.best_exchange(view, stop - polish_.judged());
    if (!move) {
      if (!deep || !deep_step(view)) break;
      improved = true;
      continue;
    }
    ra_.assign(move->out_of_a.begin(), move->out_of_a.begin() + move->count);
    rb_.assign(move->out_of_b.begin(), move->out_of_b.begin() + move->count);
    polish_delta(view, *move, d_.data());
    apply(move->a, move->b, d_.data());
    improved = true;
  }
  in_polish_ = false;
  trace_.polishes_spent += polish_.judged() >= stop;
  // A descent that ends at the best state leaves it polished.
  double mx = 0, sum = 0;
  for (double x : spread_) {
    mx = std::max(mx, x);
    sum += x;
  }
  if (mx == best_max_ && sum == best_sum_) polished_ = true;
  return improved;
}

bool FbRefine::deep_step(const PolishView& view) {
  std::optional<DeepMove> move = deep_.best_exchange(view, std::clamp(kDeepShare * judged_, kDeepLeast, kDeepBudget));
  trace_.deep_moves += move.has_value();
  if (!move) {
    // Rarer still, and dearer: only once nothing smaller helps.
    const long long before = quad_.judged();
    move = quad_.best_exchange(view, std::clamp(kDeepShare * judged_, kDeepLeast, kQuadBudget));
    ++trace_.quad_calls;
    trace_.quad_judged += quad_.judged() - before;
    trace_.quad_moves += move.has_value();
  }
  if (!move) return false;
  ra_.assign(move->out_of_a.begin(), move->out_of_a.begin() + move->count);
  rb_.assign(move->out_of_b.begin(), move->out_of_b.begin() + move->count);
  deep_delta(view, *move, d_.data());
  apply(move->a, move->b, d_.data());
  return true;
}

void FbRefine::polish_best(double target) {
  if (!polished_ && best_max_ > target) {
    restore_best();
    polish(target);
  }
  if (settle(target)) polish(target);
}

bool FbRefine::settle(double target) {
  if (best_max_ <= target || best_max_ == settled_at_) return false;
  settled_at_ = best_max_;
  restore_best();
  const PolishView view{n_, m_, k_, scores_.data(), blocks_.data(), size_.data(), sum_.data(), ids_.data()};
  const std::vector<PolishMove> moves = settle_.settle(view, best_max_);
  for (const PolishMove& move : moves) {
    ra_.assign(move.out_of_a.begin(), move.out_of_a.begin() + move.count);
    rb_.assign(move.out_of_b.begin(), move.out_of_b.begin() + move.count);
    polish_delta(view, move, d_.data());
    apply(move.a, move.b, d_.data());
  }
  return !moves.empty();
}

void FbRefine::run(long long count, double target) {
  if (!has_moves_) return;
  const long long end = judged_ + count;
  long long last = judged_, idle = 0;
  while (judged_ < end && best_max_ > target) {
    // Draws that give no candidate cost nothing in the count; when the
    // rules leave nothing to judge, the search is over.
    if (judged_ != last) {
      last = judged_;
      idle = 0;
    } else if (++idle > kIdleDraws) {
      has_moves_ = false;
      return;
    }
    if (anneal_) {
      if (judged_ >= next_cooling_) cool(target);
    } else if (since_best_ >= kStallCandidates && kick(target)) {
      continue;
    }
    if (judged_ >= next_polish_) {
      // The walk's own state polished now and then: each descent ends at a
      // state no small exchange improves, and the walk carries on from
      // there.
      next_polish_ = judged_ + kPolishEvery;
      if (polish(target) && !anneal_) std::fill(history_.begin(), history_.end(), cost_);
    }
    int toward = 0;
    const int i1 = static_cast<int>(below(16)) < kExtremeMoveSixteenths ? extreme_row(&toward)
                                                                        : static_cast<int>(below(n_));
    const int a = class_of_[i1];
    if (static_cast<int>(below(16)) < kAimedMoveSixteenths) {
      if (aimed_move(i1, toward)) try_exchange(a, class_of_[rb_[0]]);
      continue;
    }
    const bool near = static_cast<int>(below(16)) < kNeighbourMoveSixteenths;
    int b, k1;
    if (near) {
      k1 = row_of_[neighbours_[static_cast<std::size_t>(ids_[i1]) * kNeighbours + below(kNeighbours)]];
      b = class_of_[k1];
      if (b == a) continue;
    } else {
      b = 1 + static_cast<int>(below(k_ - 1));
      if (b >= a) ++b;
      const int lo1 = blocks_[b][boy_[i1] ? 0 : 2], hi1 = blocks_[b][boy_[i1] ? 1 : 3];
      if (hi1 < lo1) continue;
      k1 = lo1 + static_cast<int>(below(hi1 - lo1 + 1));
    }
    if (tied(k1)) continue;
    if (tied(i1)) {
      if (group_move(i1, k1, b)) try_exchange(a, b);
      continue;
    }
    int i2 = -1, k2 = -1;
    const int size_a = blocks_[a][3] - blocks_[a][0] + 1;
    if (size_a > 1 && static_cast<int>(below(16)) < kPairMoveSixteenths) {
      i2 = blocks_[a][0] + static_cast<int>(below(size_a - 1));
      if (i2 >= i1) ++i2;
      if (near) {
        // A neighbour of the second student that stands in class b.
        // The one whose difference best cancels the first pair's, so the
        // exchange moves the averages by less than either pair alone.
        const int* nb = &neighbours_[static_cast<std::size_t>(ids_[i2]) * kNeighbours];
        const double* s1 = row(i1);
        const double* t1 = row(k1);
        const double* s2 = row(i2);
        double best = kInf;
        for (int n = 0; n < kNeighbours; ++n) {
          const int r = row_of_[nb[n]];
          if (class_of_[r] != b || r == k1) continue;
          const double* t2 = row(r);
          double dist = 0;
          for (int j = 0; j < m_; ++j) {
            const double e = (s1[j] - t1[j]) + (s2[j] - t2[j]);
            dist += e * e;
          }
          if (dist < best) {
            best = dist;
            k2 = r;
          }
        }
        if (k2 < 0 || tied(i2) || tied(k2)) continue;
      } else {
        const int lo2 = blocks_[b][boy_[i2] ? 0 : 2], hi2 = blocks_[b][boy_[i2] ? 1 : 3];
        const int span = hi2 - lo2 + 1 - (lo2 <= k1 && k1 <= hi2 ? 1 : 0);
        if (span <= 0) continue;
        k2 = lo2 + static_cast<int>(below(span));
        if (lo2 <= k1 && k2 >= k1) ++k2;
        if (tied(i2) || tied(k2)) continue;
      }
    }
    const double* s1 = row(i1);
    const double* t1 = row(k1);
    if (i2 < 0) {
      for (int j = 0; j < m_; ++j) d_[j] = s1[j] - t1[j];
    } else {
      const double* s2 = row(i2);
      const double* t2 = row(k2);
      for (int j = 0; j < m_; ++j) d_[j] = (s1[j] + s2[j]) - (t1[j] + t2[j]);
    }
    ra_.assign(1, i1);
    rb_.assign(1, k1);
    if (i2 >= 0) {
      ra_.push_back(i2);
      rb_.push_back(k2);
    }
    try_exchange(a, b);
  }
}

// The exchange between a and b that would bring their averages together
// moves t = (avg a - avg b) / (1/size a + 1/size b) of every column's sum.
// Student i1 goes to a random class b; its partner there, and with a second
// pair the second partner, are the students that come nearest to moving t.
int FbRefine::extreme_row(int* other) {
  const int j = near_largest_[below(near_largest_.size())];
  const bool top = below(2) != 0;
  const int c = top ? ext_[j].top_class[0] : ext_[j].bottom_class[0];
  *other = top ? ext_[j].bottom_class[0] : ext_[j].top_class[0];
  const int size = blocks_[c][3] - blocks_[c][0] + 1;
  if (size <= 0) return static_cast<int>(below(n_));  // more classes than students
  return blocks_[c][0] + static_cast<int>(below(size));
}

bool FbRefine::aimed_move(int i1, int b) {
  const int a = class_of_[i1];
  if (b == 0 || b == a) {
    b = 1 + static_cast<int>(below(k_ - 1));
    if (b >= a) ++b;
  }
  const double w = 1.0 / (inv_size_[a] + inv_size_[b]);
  for (int j = 0; j < m_; ++j) aim_[j] = (avg_[a * m_ + j] - avg_[b * m_ + j]) * w;
  ra_.clear();
  rb_.clear();
  for (int j = 0; j < m_; ++j) d_[j] = 0;
  const int size_a = blocks_[a][3] - blocks_[a][0] + 1;
  const bool pair = size_a > 1 && static_cast<int>(below(16)) < kPairMoveSixteenths;
  int i2 = -1;
  if (pair) {
    i2 = blocks_[a][0] + static_cast<int>(below(size_a - 1));
    if (i2 >= i1) ++i2;
  }
  if (tied(i1) || (i2 >= 0 && tied(i2))) return false;
  for (int i : {i1, i2}) {
    if (i < 0) break;
    if (!add_nearest(i, b)) return false;
  }
  return true;
}

bool FbRefine::kick(double target) {
  // The last kick's descent and the walk after it ended at a local optimum
  // of their own; one near the best is the next kick's base, so the kicks
  // wander among good states instead of leaving the best again and again
  // by exchanges the descent takes straight back.
  if (kicked_) {
    double mx = 0;
    for (double x : spread_) mx = std::max(mx, x);
    if (mx <= best_max_ + std::min(kKickMargin, kKickMarginShare * best_max_)) base_ids_ = ids_;
  }
  if (!kicked_ || ++kicks_from_base_ > kKicksFromBase) {
    base_ids_ = best_ids_;
    kicks_from_base_ = 0;
  }
  since_best_ = 0;
  kicked_ = false;
  // The walk samples the exchanges near the best state too thinly to find
  // the one that helps; the polish tries them all.
  if (!polished_) {
    restore_best();
    if (polish(target)) {
      std::fill(history_.begin(), history_.end(), cost_);
      return true;
    }
  }
  // On a plateau a step or two above the floor, the end-game may still
  // find a way down.
  if (settle(target)) {
    polish(target);
    std::fill(history_.begin(), history_.end(), cost_);
    return true;
  }
  restore(base_ids_);
  ++trace_.kicks;
  kicked_ = true;
  // Random exchanges lead back to where they started: the descent undoes
  // them. Exchanges that even out the two ends of a wide column, whatever
  // they cost elsewhere, move the state across to another valley; the
  // rules may forbid most of them, so the tries are bounded.
  for (int kick = 0, tries = 0; kick < kKickExchanges && tries < 64 * kKickExchanges; ++tries) {
    int toward = 0;
    const int i = extreme_row(&toward);
    const int a = class_of_[i];
    if (!aimed_move(i, toward) || !allowed(a, class_of_[rb_[0]])) continue;
    apply(a, class_of_[rb_[0]], d_.data());
    ++kick;
  }
  // Down to the bottom of that valley at once: the walk takes a few
  // hundred candidates in millions there, and the three-for-three
  // exchange costs more than the kick is worth until the state is near
  // the best, where the stall's own polish tries it.
  polish(target, false);
  std::fill(history_.begin(), history_.end(), cost_);
  since_best_ = kStallCandidates - kKickWalk;
  return false;
}

void FbRefine::cool(double target) {
  next_cooling_ = judged_ + kCoolingStep;
  if (judged_ - cooling_start_ >= kCoolingCandidates) {
    // Cooled down: the next run starts hot again, from the best state,
    // which the end-game may take a step further first.
    cooling_start_ = judged_;
    restore_best();
    if (settle(target)) polish(target);
  }
  const double done = static_cast<double>(judged_ - cooling_start_) / kCoolingCandidates;
  temperature_ = kStartHeat * rise_ * std::pow(kCoolingRatio, done);
}

void FbRefine::try_exchange(int a, int b) {
  double bound;
  if (anneal_) {
    bound = cost_ + temperature_ * kRises.v[below(1024)];
  } else {
    bound = std::max(cost_, history_[judged_ % kLateAcceptanceLength]);
  }
  // Annealing judges some candidates in full, past the bound, to follow
  // the typical rise.
  const bool sample = anneal_ && judged_ % kRiseSampleEvery == 0;
  const double cost = judge(a, b, d_.data(), sample ? kInf : bound);
  ++judged_;
  ++since_best_;
  if (sample && cost > cost_) rise_ += (cost - cost_ - rise_) / kRiseSamples;
  if (cost <= bound && allowed(a, b)) {
    apply(a, b, d_.data());
    ++trace_.accepted;
  }
  if (!anneal_) history_[(judged_ - 1) % kLateAcceptanceLength] = cost_;
}

}  // namespace lczs::classdiv
