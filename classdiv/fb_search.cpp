#include "classdiv/fb_search.h"

#include <limits>

namespace lczs::classdiv {

std::uint64_t row_key(int row, int id) {
  // splitmix64's finaliser: neighbouring (row, id) pairs get unrelated words.
  std::uint64_t z = (static_cast<std::uint64_t>(row) << 32) ^ static_cast<std::uint32_t>(id);
  z += 0x9e3779b97f4a7c15ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

FbSearch::FbSearch(SearchInput input, Judge judge)
    : in_(std::move(input)), judge_(judge), cols_(in_.columns), classes_(in_.classes) {
  if (in_.ids.empty())
    for (int r = 2; r <= in_.students + 1; ++r) in_.ids.push_back(r - 1);
  for (int r = 2; r <= in_.students + 1; ++r) hash_ ^= row_key(r, in_.ids[r - 2]);
  avg_.assign(static_cast<size_t>(cols_ + 1) * (classes_ + 1), 0.0);
  spread_.assign(cols_, 0.0);
  high_.assign(cols_, 1);
  low_.assign(cols_, 1);
  for (int c = 1; c <= classes_; ++c) resum(c);
  refresh_extremes();
}

// AVERAGEA over the class's row block: summed in row order, then divided.
void FbSearch::resum(int c) {
  const int first = in_.rows[c][0], last = in_.rows[c][3];
  const int count = last - first + 1;
  for (int j = 1; j <= cols_; ++j) {
    double sum = 0;
    for (int r = first; r <= last; ++r) sum += score(r, j);
    avg_[idx(j, c)] = count > 0 ? sum / count : 0.0;
  }
}

// The highest-class, lowest-class and spread rows, then fb_max_spread and the
// worst column: the first class / column that reaches the extreme wins.
void FbSearch::refresh_extremes() {
  for (int j = 1; j <= cols_; ++j) {
    double mx = avg_[idx(j, 1)], mn = mx;
    int hi = 1, lo = 1;
    for (int c = 2; c <= classes_; ++c) {
      double v = avg_[idx(j, c)];
      if (v > mx) { mx = v; hi = c; }
      if (v < mn) { mn = v; lo = c; }
    }
    high_[j - 1] = hi;
    low_[j - 1] = lo;
    spread_[j - 1] = mx - mn;
  }
  double top = spread_[0];
  int w = 1;
  for (int j = 2; j <= cols_; ++j)
    if (spread_[j - 1] > top) { top = spread_[j - 1]; w = j; }
  max_spread_ = static_cast<float>(top);
  worst_ = w;
}

void FbSearch::set_rules(MoveRules* rules) {
  rules_ = rules;
  if (!rules_) return;
  std::vector<int> class_of(in_.students + 1, 0);
  for (int r = 2; r <= in_.students + 1; ++r) class_of[in_.ids[r - 2]] = class_of_row(r);
  rules_->reset(class_of);
}

int FbSearch::class_of_row(int r) const {
  for (int c = 1; c <= classes_; ++c)
    if (in_.rows[c][0] <= r && r <= in_.rows[c][3]) return c;
  return 0;
}

bool FbSearch::allowed(int i, int k, int h, int l) const {
  return rules_->allowed(Exchange{h, l, {&in_.ids[i - 2], 1}, {&in_.ids[k - 2], 1}});
}

double FbSearch::spread_sum() const {
  double sum = 0;
  for (double s : spread_) sum += s;
  return sum;
}

std::uint64_t FbSearch::hash_after(int i, int k) const {
  const int a = in_.ids[i - 2], b = in_.ids[k - 2];
  return hash_ ^ row_key(i, a) ^ row_key(k, b) ^ row_key(i, b) ^ row_key(k, a);
}

std::vector<std::vector<float>> FbSearch::class_avg_table() const {
  std::vector<std::vector<float>> t(cols_ + 1, std::vector<float>(classes_ + 1, 0.0f));
  if (cls_avg_.empty()) return t;
  for (int j = 1; j <= cols_; ++j)
    for (int c = 1; c <= classes_; ++c) t[j][c] = cls_avg_[idx(j, c)];
  return t;
}

// A column's new spread needs only the two changed averages and the extremes
// of the other classes; max and min of floats are exact, so this equals the
// spread over the whole column.
float FbSearch::judge_fast(int i, int k, int h, int l, double row_mean) {
  const double* si = &in_.scores[(i - 2) * cols_];
  const double* sk = &in_.scores[(k - 2) * cols_];
  const double size_h = in_.sizes[h], size_l = in_.sizes[l];
  const float* ah = ah_.data();
  const float* al = al_.data();
  const float* omax = other_max_.data();
  const float* omin = other_min_.data();
  const bool same_size = size_h == size_l;  // then one quotient serves both
  double sum = 0;
  for (int j = 0; j < cols_; ++j) {
    const double d = si[j] - sk[j];
    const double qh = d / size_h;
    const double ql = same_size ? qh : d / size_l;
    const float ch = static_cast<float>(static_cast<double>(ah[j]) - qh);
    const float cl = static_cast<float>(static_cast<double>(al[j]) + ql);
    float mx = omax[j], mn = omin[j];
    if (ch > mx) mx = ch;
    if (cl > mx) mx = cl;
    if (ch < mn) mn = ch;
    if (cl < mn) mn = cl;
    sum += static_cast<double>(static_cast<float>(static_cast<double>(mx) - static_cast<double>(mn)));
  }
  return static_cast<float>(row_mean - sum / cols_);
}

float FbSearch::judge_plain(int i, int k, int h, int l, double row_mean) {
  cand_avg_ = cls_avg_;
  double sum = 0;
  for (int j = 1; j <= cols_; ++j) {
    const double d = score(i, j) - score(k, j);
    cand_avg_[idx(j, h)] = static_cast<float>(static_cast<double>(cls_avg_[idx(j, h)]) - d / in_.sizes[h]);
    cand_avg_[idx(j, l)] = static_cast<float>(static_cast<double>(cls_avg_[idx(j, l)]) + d / in_.sizes[l]);
    float mx = cand_avg_[idx(j, 1)], mn = mx;
    for (int c = 2; c <= classes_; ++c) {
      float v = cand_avg_[idx(j, c)];
      if (v > mx) mx = v;
      if (v < mn) mn = v;
    }
    sum += static_cast<double>(static_cast<float>(static_cast<double>(mx) - static_cast<double>(mn)));
  }
  return static_cast<float>(row_mean - sum / cols_);
}

std::optional<std::pair<int, int>> FbSearch::cycle() {
  auto pick = choose();
  if (pick) exchange(pick->first, pick->second);
  return pick;
}

std::optional<std::pair<int, int>> FbSearch::choose() {
  cls_avg_.resize(avg_.size());
  for (std::size_t x = 0; x < avg_.size(); ++x) cls_avg_[x] = static_cast<float>(avg_[x]);
  const int h = high_[worst_ - 1], l = low_[worst_ - 1];

  // Mean of the spread row, as the application averages the M cells.
  double row_sum = 0;
  for (int j = 0; j < cols_; ++j) row_sum += spread_[j];
  const double row_mean = row_sum / cols_;

  // When every class has the same average in the worst column, h and l are
  // the same class and a candidate's second average overwrites its first;
  // the plain judge reproduces that.
  const Judge judge = h == l ? Judge::Plain : judge_;
  if (judge == Judge::Fast) {
    other_max_.assign(cols_, -std::numeric_limits<float>::infinity());
    other_min_.assign(cols_, std::numeric_limits<float>::infinity());
    ah_.resize(cols_);
    al_.resize(cols_);
    for (int j = 1; j <= cols_; ++j) {
      ah_[j - 1] = cls_avg_[idx(j, h)];
      al_[j - 1] = cls_avg_[idx(j, l)];
      for (int c = 1; c <= classes_; ++c) {
        if (c == h || c == l) continue;
        float v = cls_avg_[idx(j, c)];
        if (v > other_max_[j - 1]) other_max_[j - 1] = v;
        if (v < other_min_[j - 1]) other_min_[j - 1] = v;
      }
    }
  }

  // Boys' pairs, then girls' pairs; the first candidate reaching the best
  // gain wins, which is the lower row of h, then the lower row of l.
  bool any = false;
  float best = 0;
  int bi = 0, bk = 0;
  for (int g = 0; g < 2; ++g) {
    const int i0 = g == 0 ? in_.rows[h][0] : in_.rows[h][2];
    const int i1 = g == 0 ? in_.rows[h][1] : in_.rows[h][3];
    const int k0 = g == 0 ? in_.rows[l][0] : in_.rows[l][2];
    const int k1 = g == 0 ? in_.rows[l][1] : in_.rows[l][3];
    for (int i = i0; i <= i1; ++i)
      for (int k = k0; k <= k1; ++k) {
        const float gain = judge == Judge::Fast ? judge_fast(i, k, h, l, row_mean)
                                                 : judge_plain(i, k, h, l, row_mean);
        ++judged_;
        if ((!any || gain > best) && (!rules_ || allowed(i, k, h, l))) {
          any = true;
          best = gain;
          bi = i;
          bk = k;
        }
      }
  }
  if (!any) return std::nullopt;
  best_gain_ = best;
  return std::make_pair(bi, bk);
}

// The rows trade places, so do their scores and record numbers.
void FbSearch::exchange(int i, int k) {
  const int a = class_of_row(i), b = class_of_row(k);
  if (rules_) rules_->made(Exchange{a, b, {&in_.ids[i - 2], 1}, {&in_.ids[k - 2], 1}});
  hash_ = hash_after(i, k);
  std::swap(in_.ids[i - 2], in_.ids[k - 2]);
  double* si = &in_.scores[(i - 2) * cols_];
  double* sk = &in_.scores[(k - 2) * cols_];
  for (int j = 0; j < cols_; ++j) std::swap(si[j], sk[j]);
  if (a) resum(a);
  if (b && b != a) resum(b);
  refresh_extremes();
}

}  // namespace lczs::classdiv
