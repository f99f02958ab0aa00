// Class division: how balanced the classes get over time.
//
// Not a speed test: for generated grades of several shapes it runs the
// greedy exchanges alone and the whole search (greedy, then late acceptance)
// on one core and prints the largest spread of class averages over all score
// columns after 1, 5, 15, 30 and 60 seconds of CPU time, three books each.
// The greedy exchanges alone report the state they are in at that moment
// (what a run of that length would write back), the whole search its best.
//
//   classdiv_quality [--scale S] [--only NAME] [--seed N]
//
// --scale multiplies every checkpoint (0.1 for a quick look); --only runs
// one shape. The shapes and the numbers to compare with are in the README.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <unordered_set>
#include <random>
#include <string>
#include <vector>

#include "classdiv/fb_main.h"
#include "classdiv/fb_refine.h"
#include "classdiv/fb_search.h"
#include "classdiv/fb_state.h"

namespace {

using namespace lczs::classdiv;

struct Shape {
  const char* name;
  int students, classes, subjects;
  int low, high;  // score range of a subject
  bool halves;    // scores in half points
};

const Shape kShapes[] = {
    {"1000x10, 9 subjects", 1000, 10, 9, 20, 100, false},
    {"2300x12, 4 subjects", 2300, 12, 4, 10, 60, false},
    {"2300x30, 4 subjects", 2300, 30, 4, 10, 60, false},
    {"5000x40, 9 subjects", 5000, 40, 9, 20, 100, false},
    {"600x12, half points", 600, 12, 9, 20, 100, true},
};

const double kCheckpoints[] = {1, 5, 15, 30, 60};

double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// A grade as the input step leaves it: sorted by gender and total, dealt,
// and grouped by class, boys first, each by total descending. Scores follow
// a pupil's ability plus a subject's own spread, so subjects correlate as
// real ones do.
SearchInput make_grade(const Shape& s, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> ability(0.0, 1.0), noise(0.0, 0.7);
  struct Pupil {
    bool boy;
    std::vector<double> scores;
    double total = 0;
  };
  std::vector<Pupil> pupils(s.students);
  const double mid = (s.low + s.high) / 2.0, half = (s.high - s.low) / 2.0;
  for (Pupil& p : pupils) {
    p.boy = rng() % 2 == 0;
    const double a = ability(rng);
    for (int j = 0; j < s.subjects; ++j) {
      double x = mid + half * 0.4 * (a + noise(rng));
      x = std::clamp(x, double(s.low), double(s.high));
      x = s.halves ? std::round(x * 2) / 2 : std::round(x);
      p.scores.push_back(x);
      p.total += x;
    }
  }
  std::stable_sort(pupils.begin(), pupils.end(), [](const Pupil& a, const Pupil& b) {
    return a.boy != b.boy ? a.boy : a.total > b.total;
  });
  const int boys = static_cast<int>(std::count_if(pupils.begin(), pupils.end(), [](auto& p) { return p.boy; }));
  const std::vector<int> deal = fb_deal(boys, s.students - boys, s.classes);
  std::vector<int> order(s.students);
  for (int n = 0; n < s.students; ++n) order[n] = n;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return deal[a] < deal[b]; });

  SearchInput in;
  in.students = s.students;
  in.columns = s.subjects + 1;
  in.classes = s.classes;
  in.rows.assign(s.classes + 1, {0, 0, 0, 0});
  in.sizes.assign(s.classes + 1, 0);
  for (int n : order) {
    for (double x : pupils[n].scores) in.scores.push_back(x);
    in.scores.push_back(pupils[n].total);
    ++in.sizes[deal[n]];
  }
  int first = 2;
  for (int c = 1; c <= s.classes; ++c) {
    int b = 0;
    for (int n = 0; n < boys; ++n) b += deal[n] == c;
    in.rows[c] = {first, first + b - 1, first + b, first + in.sizes[c] - 1};
    first += in.sizes[c];
  }
  return in;
}

double largest(const FbSearch& s, int M) {
  double mx = 0;
  for (int j = 1; j <= M; ++j) mx = std::max(mx, s.spread(j));
  return mx;
}

// The greedy exchanges alone: the spread of the current state at each
// checkpoint.
std::vector<double> greedy_alone(const SearchInput& in, double scale) {
  FbSearch s(in);
  std::vector<double> out;
  const double t0 = cpu_seconds();
  bool stuck = false;
  for (double at : kCheckpoints) {
    while (!stuck && cpu_seconds() - t0 < at * scale)
      for (int n = 0; n < 16 && !stuck; ++n) stuck = !s.cycle();
    out.push_back(largest(s, in.columns));
  }
  return out;
}

// The whole search as the job runs it: greedy cycles until they would
// repeat a state, then late acceptance from the best state met.
std::vector<double> whole(const SearchInput& in, double scale, std::uint64_t seed, double* rate) {
  FbSearch s(in);
  std::vector<int> best_ids = s.ids();
  double best = largest(s, in.columns), best_sum = s.spread_sum();
  std::unordered_set<std::uint64_t> seen{s.state_hash()};
  const double t0 = cpu_seconds();
  for (;;) {
    auto pick = s.choose();
    if (!pick) break;
    const auto h = s.hash_after(pick->first, pick->second);
    if (!seen.insert(h).second) break;
    s.exchange(pick->first, pick->second);
    const double mx = largest(s, in.columns), sum = s.spread_sum();
    if (mx < best || (mx == best && sum < best_sum)) {
      best = mx;
      best_sum = sum;
      best_ids = s.ids();
    }
  }
  const double greedy_time = cpu_seconds() - t0;
  const long long greedy_judged = s.candidates_judged();
  SearchInput start = s.input();
  {
    // Rearranged to the best state, as the job does.
    std::vector<int> row_of(in.students + 1);
    for (int x = 0; x < in.students; ++x) row_of[start.ids[x]] = x;
    SearchInput b = start;
    for (int x = 0; x < in.students; ++x)
      std::copy_n(&start.scores[row_of[best_ids[x]] * in.columns], in.columns, &b.scores[x * in.columns]);
    b.ids = best_ids;
    start = b;
  }
  FbRefine r(start, seed);
  std::vector<double> out;
  for (double at : kCheckpoints) {
    while (cpu_seconds() - t0 < at * scale) r.run(4096, -1);
    out.push_back(std::min(best, r.best_max_spread()));
  }
  *rate = greedy_time > 0 ? greedy_judged / greedy_time : 0;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  double scale = 1;
  std::string only;
  std::uint64_t seed = kFbDefaultSeed;
  for (int a = 1; a + 1 < argc; a += 2) {
    if (!std::strcmp(argv[a], "--scale")) scale = std::atof(argv[a + 1]);
    if (!std::strcmp(argv[a], "--only")) only = argv[a + 1];
    if (!std::strcmp(argv[a], "--seed")) seed = std::strtoull(argv[a + 1], nullptr, 10);
  }
  std::printf("| book | search |");
  for (double at : kCheckpoints) std::printf(" %g s |", at * scale);
  std::printf("\n|---|---|");
  for (std::size_t n = 0; n < std::size(kCheckpoints); ++n) std::printf("---|");
  std::printf("\n");
  for (const Shape& shape : kShapes) {
    if (!only.empty() && std::string(shape.name).find(only) == std::string::npos) continue;
    std::vector<std::vector<double>> g, w;
    std::vector<double> rates;
    for (unsigned book = 1; book <= 3; ++book) {
      const SearchInput in = make_grade(shape, book);
      g.push_back(greedy_alone(in, scale));
      double rate = 0;
      w.push_back(whole(in, scale, seed, &rate));
      rates.push_back(rate);
    }
    auto row = [&](const char* what, const std::vector<std::vector<double>>& v) {
      std::printf("| %s | %s |", shape.name, what);
      for (std::size_t n = 0; n < std::size(kCheckpoints); ++n)
        std::printf(" %.3f / %.3f / %.3f |", v[0][n], v[1][n], v[2][n]);
      std::printf("\n");
      std::fflush(stdout);
    };
    row("greedy alone", g);
    row("whole", w);
    std::fprintf(stderr, "%s: greedy candidates per CPU second %.3g / %.3g / %.3g\n", shape.name, rates[0],
                 rates[1], rates[2]);
  }
}
