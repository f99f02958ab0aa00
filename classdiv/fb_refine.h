// The search that goes on once the greedy exchanges are spent.
//
// The greedy phase always makes the best exchange between the high and the
// low class of one column, even a worsening one, so it soon swings between
// a few states. From there this search keeps improving: late acceptance
// hill climbing (simulated annealing among many classes, see
// kAnnealClasses) over exchanges of students between any two classes, one
// for one of the same gender or two for two with the same genders on both
// sides, so class sizes and every class's gender count stay as dealt.
//
// A candidate is judged in O(M): a class's average moves by the score
// difference over its size, and each column keeps its three highest and
// three lowest classes, so the new spread of a column needs neither of the
// two classes that changed. The measure is the sum over columns of the
// squared spreads, which weighs the worst columns most, plus the squared
// deviations of every class average from the grade's, which is smooth
// where the spreads are flat. The best state by the true measure (the largest
// spread, then the sum of spreads) is kept.
//
// Random partners rarely fit, and near neighbours fit only by chance, so a
// share of the candidates is aimed: a student's class and another class
// would be evened out by moving t = (avg a - avg b) / (1/size a + 1/size b)
// of every column's sum from a to b, and the partner (or the two partners of
// a two-for-two exchange) is the student of the other class that comes
// nearest to moving t. One aimed candidate scans a gender block of a class,
// so it costs a few dozen plain ones.
//
// Rules (fb_moves.h) veto exchanges the search would make and tie students
// into groups; a group moves as a whole, each member for a student of its
// gender in the other class.
//
// The random choices come from a seeded generator and the work is counted in
// candidates, so the same input, seed and number of candidates give the
// same classes on any machine.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "classdiv/fb_deep.h"
#include "classdiv/fb_moves.h"
#include "classdiv/fb_polish.h"
#include "classdiv/fb_search.h"
#include "classdiv/fb_settle.h"

namespace lczs::classdiv {

// Late acceptance's memory, in candidates: long enough to cross the ridges
// between states of 1,000 students, short enough to settle within a second.
inline constexpr int kLateAcceptanceLength = 2000;
// From this many classes on the walk anneals instead. Late acceptance,
// once its memory is filled with the state's own measure (after every
// polish that moves and every kick), takes nothing worse than where it
// stands: it is a plain descent of the guide until it stalls, and it stalls
// at once, taking one candidate in thousands. Among 10 or 12 classes that
// costs nothing, because the polish finishes its descents within its
// budget and carries the search (ten polish moves for each best the walk
// finds at 1,000 x 10); there annealing lost a step. Among 40 classes a
// descent step of the polish scans 78 pairs of classes of 125 and every
// polish ends at its budget after a single exchange, so the walk has to
// move by itself: there late acceptance sat at one state from the fifth
// second to the sixtieth, where annealing went on improving (0.112 against
// 0.096 on the same book at 30 s). 30 classes of 77 are on the many side.
inline constexpr int kAnnealClasses = 20;
// The annealing walk takes a candidate that raises the guide by x with
// probability exp(-x / T). A cooling run starts at kStartHeat times the
// typical rise of a worsening candidate (most candidates are far worse
// than the moves that matter, hence the small share) and cools
// geometrically to kCoolingRatio of that over kCoolingCandidates; then the
// walk goes back to the best state and starts hot again. The schedule
// counts candidates, not seconds, so that the work bound repeats, and it
// cycles so that a run stopped by the clock anywhere has spent its time on
// whole cooling runs but the last and keeps the best of all.
inline constexpr double kStartHeat = 1e-3;
inline constexpr double kCoolingRatio = 1e-2;
inline constexpr long long kCoolingCandidates = 20'000'000;
// The temperature is set anew every so many candidates.
inline constexpr long long kCoolingStep = 1024;
// One candidate in kRiseSampleEvery updates the typical rise, a running
// mean over about the last kRiseSamples worsening ones.
inline constexpr int kRiseSampleEvery = 64;
inline constexpr double kRiseSamples = 64;
// Share of candidates that exchange two students for two, in 1/16ths.
inline constexpr int kPairMoveSixteenths = 5;
// Share of candidates that take a student's near neighbour as the partner,
// in 1/16ths; the others take anyone of the same gender in another class.
inline constexpr int kNeighbourMoveSixteenths = 12;
// Share of candidates aimed at evening out two classes, in 1/16ths; the
// rest are drawn as the two shares above say.
inline constexpr int kAimedMoveSixteenths = 4;
// Share of candidates whose first student is drawn from the class at the
// top or the bottom of a column near the largest spread, in 1/16ths; an
// aimed one then goes to the class at that column's other end. Only those
// classes can lower the largest spread, and among 30 or 40 classes a random
// draw seldom meets them, so the walk otherwise settles a step above where
// it could.
inline constexpr int kExtremeMoveSixteenths = 8;
// A column counts as near the largest spread from this share of it on.
inline constexpr double kNearLargestSpread = 0.95;
// Neighbours kept per student, and how far along the gender's order by
// total they are looked for.
inline constexpr int kNeighbours = 16;
inline constexpr int kNeighbourWindow = 100;
// Weight of the squared deviations of class averages from the grade's
// average against the squared spreads: it pulls the classes that are not
// at an extreme towards the middle, which makes room for the next move.
inline constexpr double kDeviationWeight = 1.0;
// Without a new best for this many candidates late acceptance goes back to
// the best state and is kicked from there (annealing restarts from the best
// at the end of each cooling run instead).
inline constexpr long long kStallCandidates = 4'000'000;
// Candidates one polish may judge: on large classes whose spreads are
// already small a descent can go on for seconds, lowering the sum of the
// spreads by crumbs.
inline constexpr long long kPolishBudget = 20'000'000;
// Candidates of the walk between two polishes of its state.
inline constexpr long long kPolishEvery = 1'000'000;
// A polish may judge this many times the walk's candidates so far (at
// least kPolishEvery, at most kPolishBudget): its candidates cost about a
// tenth of the walk's, so early on it takes no more than a share of the
// time however many classes there are.
inline constexpr long long kPolishShare = 4;
// Exchanges made by a kick, each evening out the two ends of a column
// near the largest spread.
inline constexpr int kKickExchanges = 3;
// Candidates the walk judges after a kick's descent before the next kick,
// unless it finds a new best. The descent, not the walk, finds the
// valley's bottom (on 600 students in 12 classes the walk took 154 of 250
// million candidates), so the kicks follow each other closely; each one's
// work is bounded by the polish's budget.
inline constexpr long long kKickWalk = 200'000;
// A kick starts from the state the last kick came to when its largest
// spread is within this much of the best (a hundredth, at most this share
// of the best), and from the best after kKicksFromBase kicks in a row
// without a new best.
inline constexpr double kKickMargin = 0.0101;
inline constexpr double kKickMarginShare = 0.15;
inline constexpr int kKicksFromBase = 20;

// Draws in a row that give no candidate to judge (every one vetoed before
// judging) after which the search stops.
inline constexpr long long kIdleDraws = 1 << 20;

class FbRefine {
 public:
  // Starts from the arrangement of `start` (its scores and ids by row),
  // keeping `rules` when given (not owned).
  FbRefine(const SearchInput& start, std::uint64_t seed, MoveRules* rules = nullptr);

  // Whether any exchange keeps sizes and genders: some gender must be found
  // in two classes. Cleared when run() finds nothing the rules let it judge.
  bool has_moves() const { return has_moves_; }

  // Judges up to `count` candidates; stops early once the best largest
  // spread is at or below `target`.
  void run(long long count, double target);

  double best_max_spread() const { return best_max_; }
  double best_spread_sum() const { return best_sum_; }
  // Record numbers by row of the best state, [r - 2].
  const std::vector<int>& best_ids() const { return best_ids_; }
  // Candidates the walk judged, which the work bound counts; the polish's,
  // a steepest descent that ends by itself, are counted apart.
  long long judged() const { return judged_; }
  long long polish_judged() const { return polish_.judged(); }

  // Goes back to the best state and polishes it (fb_polish.h), unless it
  // is polished already or at or below `target`. The walk does the same
  // whenever it stalls; this is for the end of the search.
  void polish_best(double target);

  // What led where, for the quality benchmark's --detail: counted, never
  // read by the search.
  struct Trace {
    long long accepted = 0;        // candidates the walk took
    long long walk_bests = 0;      // new best states the walk reached
    long long polishes = 0;        // descents of the polish
    long long polishes_spent = 0;  // of them, those that ended at their budget
    long long polish_bests = 0;    // new best states a polish reached
    long long kicks = 0;           // late acceptance's kicks from the best
    long long kicks_to_best = 0;   // kicks followed by a new best before the next
    long long last_best_at = 0;    // walk candidates judged when the best was found
    long long deep_moves = 0;      // three-for-three exchanges made
    long long quad_calls = 0;      // searches for a four-for-four exchange
    long long quad_moves = 0;      // four-for-four exchanges made
    long long quad_judged = 0;     // their candidates
  };
  const Trace& trace() const { return trace_; }

 private:
  struct Extremes {
    double top[3], bottom[3];
    int top_class[3], bottom_class[3];
  };
  double* row(int r) { return &scores_[static_cast<std::size_t>(r) * m_]; }
  std::uint64_t below(std::uint64_t n);  // uniform in [0, n), n at most 2^32
  std::uint64_t bits(int count);         // `count` (at most 32) random bits
  void rebuild_column(int j);
  void rebuild_all();
  // Also finds the columns near the largest spread.
  void recost();
  // Fills rest_ for class c.
  void rest_of(int c);
  double deviation(double x) const { return kDeviationWeight * x * x; }
  // The measure after moving d[j] out of class a into class b (a class's sum
  // loses what it gives), or a value above `bound` once that is certain.
  double judge(int a, int b, const double* d, double bound) const;
  // Makes the exchange of rows ra_[n] (class a) with rb_[n] (class b).
  void apply(int a, int b, const double* d);
  // Whether the rules allow exchanging ra_ with rb_.
  bool allowed(int a, int b);
  bool tied(int r) const { return rules_ && !rules_->companions(ids_[r]).empty(); }
  // Fills ra_, rb_ with the group of row i1 and partners of its genders in
  // class b, k1 the first, and d_ with what the exchange moves; false when
  // that cannot be done.
  bool group_move(int i1, int k1, int b);
  // Appends row i and the free row of its gender in class b that brings d_
  // nearest to aim_ to the candidate; false when b has none.
  bool add_nearest(int i, int b);
  // Fills columns_ from scores_.
  void fill_columns();
  // A random row of the given gender in class b, -1 when there is none.
  int random_row(int b, int boy);
  void tell_rules();
  // The walk's step for the exchange of ra_ with rb_, moving d_: late
  // acceptance's or annealing's.
  void try_exchange(int a, int b);
  // Lowers the temperature as the candidates go by; at the end of a
  // cooling run goes back to the best state (past the end-game, fb_settle.h)
  // and starts hot again.
  void cool(double target);
  // Takes a stalled late acceptance walk back to the best state and
  // polishes it (or lets the end-game try), or when that is done already
  // or finds nothing kicks the best or a state near it into another valley
  // and descends there; whether the polish or the end-game improved it.
  bool kick(double target);
  // Fills ra_, rb_ and d_ with an exchange of i1 (and maybe a second
  // student of its class) aimed at evening out its class and class b, a
  // random other one when b is 0 or i1's own.
  bool aimed_move(int i1, int b = 0);
  // A random row of the top or the bottom class of a column near the
  // largest spread; `other` gets the class at the column's other end.
  int extreme_row(int* other);
  void note_best();
  void find_neighbours();
  void restore_best();
  // Goes to the state with these record numbers by row.
  void restore(const std::vector<int>& ids);
  // Steepest descent by the polish from the current state, until it finds
  // nothing or the best is at or below `target`; whether it improved.
  // Without `deep` it leaves out the three-for-three exchange.
  bool polish(double target, bool deep = true);
  // Where the polish finds nothing: the best three-for-three exchange
  // (fb_deep.h), or where there is none the best four-for-four one, made;
  // whether there was one.
  bool deep_step(const PolishView& view);
  // The exact end-game (fb_settle.h) from the best state, once per best
  // largest spread: the same state gives the same answer. Whether it
  // found a new best.
  bool settle(double target);

  int n_, m_, k_;
  std::vector<double> scores_;   // [row][column], rows from 0
  // The same scores by column, [column * stride_ + row]: add_nearest reads
  // a run of rows of one column at a time.
  std::vector<float> columns_;
  std::size_t stride_ = 0;
  std::vector<int> ids_;         // record number by row
  std::vector<int> class_of_;    // class of each row
  std::vector<int> boy_;         // 1 for a boy's row
  std::vector<std::array<int, 4>> blocks_;  // per class, rows from 0
  std::vector<double> size_, inv_size_;
  std::vector<double> sum_;      // [class][column]
  std::vector<double> avg_;      // [class][column]
  std::vector<Extremes> ext_;    // per column
  std::vector<double> spread_;
  double cost_ = 0;
  std::vector<double> grand_;
  double ssd_ = 0;
  // [class][column]: the deviations of the class's averages from that
  // column on, so judge knows how far the ones still to come can lower it.
  std::vector<double> rest_;
  std::vector<int> near_largest_;  // columns near the largest spread
  std::vector<double> history_;
  std::mt19937_64 rng_;
  std::uint64_t pool_ = 0;  // bits of the last draw not used yet
  int pool_left_ = 0;
  long long judged_ = 0;
  long long since_best_ = 0;
  bool has_moves_ = false;
  double best_max_ = 0, best_sum_ = 0;
  std::vector<int> best_ids_;
  std::vector<double> by_id_;     // [record number][column]
  std::vector<int> row_of_;      // row of each record number
  std::vector<int> neighbours_;  // [record number][kNeighbours] record numbers
  std::vector<double> d_;
  std::vector<double> aim_;
  std::vector<float> moved_;     // add_nearest's d_ + the student's scores - aim_
  MoveRules* rules_ = nullptr;
  std::vector<int> ra_, rb_;     // rows of the candidate exchange
  std::vector<int> xa_, xb_;     // their record numbers, for the rules
  FbPolish polish_;
  FbDeep deep_;
  FbDeep quad_;  // groups of four
  bool polished_ = false;        // the best state has been polished
  long long next_polish_ = kPolishEvery;
  FbSettle settle_;
  double settled_at_ = -1;       // best largest spread the end-game last started from
  const bool anneal_;            // the walk anneals (kAnnealClasses)
  double temperature_ = 0;
  double rise_ = 0;              // typical rise of a worsening candidate
  long long cooling_start_ = 0;  // candidate at which this cooling run began
  long long next_cooling_ = 0;   // candidate at which the temperature is set anew
  Trace trace_;
  bool in_polish_ = false;       // for the trace
  bool kicked_ = false;          // the state is a kick's, no new best since
  std::vector<int> base_ids_;    // where the next kick starts
  int kicks_from_base_ = 0;      // kicks since the base was last the best
};

}  // namespace lczs::classdiv
