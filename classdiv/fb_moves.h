// What the balancing search may do, as a narrow interface: rules that veto
// exchanges and that tie students together, consulted by both phases of the
// search (fb_search, fb_refine). Without rules every exchange that keeps
// class sizes and gender counts is allowed.
//
// Students are named by their record numbers (the order the input step
// numbered them), so rules need not follow rows being exchanged.
#pragma once

#include <span>

namespace lczs::classdiv {

// Students trading classes: out_of_a[n] leaves class a for class b while
// out_of_b[n] leaves b for a; the two of every pair are of the same gender,
// so sizes and gender counts stay.
struct Exchange {
  int a = 0, b = 0;
  std::span<const int> out_of_a, out_of_b;
};

class MoveRules {
 public:
  virtual ~MoveRules() = default;

  // Whether the exchange may be made from the arrangement the rules were
  // last told of. Asked only about exchanges the search would make, so it
  // may cost more than judging one.
  virtual bool allowed(const Exchange& x) const = 0;
  // An exchange made. Rules that count students per class keep up here.
  virtual void made(const Exchange& x) { (void)x; }
  // The search starts from, or goes back to, an arrangement:
  // class_of[record number] (entry 0 unused).
  virtual void reset(std::span<const int> class_of) { (void)class_of; }
  // Students who only move together with `id` (itself not included); the
  // search moves them as one group, each for a student of its gender.
  virtual std::span<const int> companions(int id) const {
    (void)id;
    return {};
  }
};

}  // namespace lczs::classdiv
