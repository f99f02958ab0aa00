// Class division: how balanced the classes get over time.
//
// Not a speed test: for generated grades of several shapes it runs the
// greedy exchanges alone and the whole search (greedy, then late acceptance)
// on one core and prints the largest spread of class averages over all score
// columns after 1, 5, 15, 30 and 60 seconds of CPU time, three books each.
// The greedy exchanges alone report the state they are in at that moment
// (what a run of that length would write back), the whole search its best.
//
//   classdiv_quality [--scale S] [--only NAME] [--book K]... [--seed N] [--whole] [--detail]
//
// --scale multiplies every checkpoint (0.1 for a quick look); --only runs
// one shape; --book runs book K alone (any K from 1; given more than once,
// those books in that order), so one book that misses can be studied in a
// third of the time, and books past the three bench/README.md reports (4, 5, 6)
// check that a change that helps those three is not fitted to them;
// --whole leaves out the greedy exchanges alone; --detail tells on standard
// error how fast the walk and the polish judge, each in its own CPU
// seconds, which columns hold the best state's spread, and what led to the
// best states. The shapes and the numbers to compare with are in
// bench/README.md.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <unordered_map>
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
constexpr unsigned kBooks = 3;  // reported: generated from seeds 1, 2, 3

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

// The greedy exchanges alone: the spread of the state they are in at each
// checkpoint. Once they come back to a state they go round the same loop
// for ever, so the loop is run once and the checkpoints past it are read
// off it at the measured pace, instead of spending the whole time on it.
std::vector<double> greedy_alone(const SearchInput& in, double scale, double* rate) {
  FbSearch s(in);
  std::vector<double> spreads{largest(s, in.columns)};  // after each cycle
  std::unordered_map<std::uint64_t, std::size_t> at{{s.state_hash(), 0}};
  std::size_t loop_start = 0;
  bool looped = false, stuck = false;
  const double t0 = cpu_seconds();
  const double end = kCheckpoints[std::size(kCheckpoints) - 1] * scale;
  while (!looped && !stuck && cpu_seconds() - t0 < end) {
    stuck = !s.cycle();
    if (stuck) break;
    spreads.push_back(largest(s, in.columns));
    const auto [it, fresh] = at.emplace(s.state_hash(), spreads.size() - 1);
    if (!fresh) {
      looped = true;
      loop_start = it->second;
      spreads.pop_back();  // the state of loop_start again
    }
  }
  const double spent = cpu_seconds() - t0;
  const double per_cycle = spent / std::max<std::size_t>(1, spreads.size() - 1 + looped);
  *rate = spent > 0 ? s.candidates_judged() / spent : 0;
  std::vector<double> out;
  for (double t : kCheckpoints) {
    const double cycles = t * scale / per_cycle;
    std::size_t n = cycles >= static_cast<double>(spreads.size()) ? spreads.size() - 1 : static_cast<std::size_t>(cycles);
    if (looped && cycles >= static_cast<double>(spreads.size())) {
      const std::size_t period = spreads.size() - loop_start;
      n = loop_start + static_cast<std::size_t>(cycles - loop_start) % period;
    }
    out.push_back(spreads[n]);
  }
  return out;
}

// The grade with its rows holding the students `ids` names.
SearchInput arranged(const SearchInput& now, const std::vector<int>& ids) {
  std::vector<int> row_of(now.students + 1);
  for (int x = 0; x < now.students; ++x) row_of[now.ids[x]] = x;
  SearchInput out = now;
  for (int x = 0; x < now.students; ++x)
    std::copy_n(&now.scores[row_of[ids[x]] * now.columns], now.columns, &out.scores[x * now.columns]);
  out.ids = ids;
  return out;
}

// The whole search as the job runs it: greedy cycles until they would
// repeat a state, then late acceptance from the best state met. The CPU
// seconds of the final polish at each checkpoint go to polish_seconds; they
// count towards the later checkpoints.
std::vector<double> whole(const SearchInput& in, double scale, std::uint64_t seed, bool detail,
                          std::vector<double>* polish_seconds) {
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
  // Rearranged to the best state, as the job does.
  const SearchInput start = arranged(s.input(), best_ids);
  FbRefine r(start, seed);
  std::vector<double> out;
  // Slices of the walk in which no polish ran give the walk's own pace;
  // the others, less that pace, the polish's.
  double walk_seconds = 0, polish_seconds_all = 0;
  long long walk_judged = 0, polish_judged = 0;
  for (double at : kCheckpoints) {
    for (double now = cpu_seconds(); now - t0 < at * scale;) {
      const long long w0 = r.judged(), p0 = r.polish_judged();
      r.run(4096, -1);
      const double then = cpu_seconds();
      if (r.polish_judged() == p0) {
        walk_seconds += then - now;
        walk_judged += r.judged() - w0;
      } else {
        polish_seconds_all += then - now - (walk_judged ? (r.judged() - w0) * walk_seconds / walk_judged : 0);
        polish_judged += r.polish_judged() - p0;
      }
      now = then;
    }
    // What a run stopped here writes back: its best, polished at the end.
    FbRefine stopped = r;
    const double p0 = cpu_seconds();
    stopped.polish_best(-1);
    polish_seconds->push_back(cpu_seconds() - p0);
    out.push_back(std::min(best, stopped.best_max_spread()));
  }
  if (detail) {
    std::fprintf(stderr, "walk: %.3g candidates per CPU second of its own (polish: %.3g); spreads at the best:",
                 walk_judged / walk_seconds, polish_judged / polish_seconds_all);
    const FbSearch f(arranged(start, r.best_ids()));
    for (int j = 1; j <= in.columns; ++j) std::fprintf(stderr, " %.3f", f.spread(j));
    const FbRefine::Trace& t = r.trace();
    std::fprintf(stderr,
                 "\n  the walk took %lld of %lld candidates and found %lld bests, the last after %lld;"
                 " %lld polishes (%lld ended at their budget, %lld candidates) found %lld;"
                 " %lld kicks, %lld followed by a best\n"
                 "  three-for-three exchanges made: %lld; four-for-four: %lld searches made %lld (%lld candidates)\n",
                 t.accepted, r.judged(), t.walk_bests, t.last_best_at, t.polishes, t.polishes_spent,
                 r.polish_judged(), t.polish_bests, t.kicks, t.kicks_to_best, t.deep_moves, t.quad_calls,
                 t.quad_moves, t.quad_judged);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  double scale = 1;
  std::string only;
  std::uint64_t seed = kFbDefaultSeed;
  bool whole_only = false;  // for trying out the second phase
  bool detail = false;
  std::vector<unsigned> books;  // generated from these seeds; 1, 2, 3 unless --book
  for (int a = 1; a < argc; ++a) {
    const bool value = a + 1 < argc;
    if (!std::strcmp(argv[a], "--whole")) whole_only = true;
    if (!std::strcmp(argv[a], "--detail")) detail = true;
    if (value && !std::strcmp(argv[a], "--scale")) scale = std::atof(argv[++a]);
    else if (value && !std::strcmp(argv[a], "--only")) only = argv[++a];
    else if (value && !std::strcmp(argv[a], "--seed")) seed = std::strtoull(argv[++a], nullptr, 10);
    else if (value && !std::strcmp(argv[a], "--book")) {
      const int k = std::atoi(argv[++a]);
      if (k < 1) {
        std::fprintf(stderr, "--book: a book number from 1\n");
        return 2;
      }
      books.push_back(static_cast<unsigned>(k));
    }
  }
  if (books.empty())
    for (unsigned book = 1; book <= kBooks; ++book) books.push_back(book);
  std::printf("| books");
  for (std::size_t n = 0; n < books.size(); ++n) std::printf("%s%u", n ? " / " : " ", books[n]);
  std::printf(" | search |");
  for (double at : kCheckpoints) std::printf(" %g s |", at * scale);
  std::printf("\n|---|---|");
  for (std::size_t n = 0; n < std::size(kCheckpoints); ++n) std::printf("---|");
  std::printf("\n");
  for (const Shape& shape : kShapes) {
    if (!only.empty() && std::string(shape.name).find(only) == std::string::npos) continue;
    std::vector<std::vector<double>> g, w;
    std::vector<double> rates, polish_seconds;
    for (unsigned book : books) {
      const SearchInput in = make_grade(shape, book);
      double rate = 0;
      if (!whole_only) g.push_back(greedy_alone(in, scale, &rate));
      w.push_back(whole(in, scale, seed, detail, &polish_seconds));
      rates.push_back(rate);
    }
    auto row = [&](const char* what, const std::vector<std::vector<double>>& v) {
      std::printf("| %s | %s |", shape.name, what);
      for (std::size_t n = 0; n < std::size(kCheckpoints); ++n) {
        for (std::size_t book = 0; book < v.size(); ++book) std::printf("%s%.3f", book ? " / " : " ", v[book][n]);
        std::printf(" |");
      }
      std::printf("\n");
      std::fflush(stdout);
    };
    if (!whole_only) row("greedy alone", g);
    row("whole", w);
    std::fprintf(stderr, "%s: final polish CPU seconds at most %.3f\n", shape.name,
                 *std::max_element(polish_seconds.begin(), polish_seconds.end()));
    if (!whole_only) {
      std::fprintf(stderr, "%s: greedy candidates per CPU second", shape.name);
      for (double r : rates) std::fprintf(stderr, " %.3g", r);
      std::fprintf(stderr, "\n");
    }
  }
}
