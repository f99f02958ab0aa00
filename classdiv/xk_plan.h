// The plan of a division by elective combination (选科分班): how many classes
// fix which subjects, and how many students of each combination go to them.
//
// A class fixes a set F of electives (3, 2, 1 or, under 3+3, none); a
// student may sit in it only when F is among the student's own three, and
// then walks to another room for each of the 3 - |F| electives it does not
// fix. Classes of one fixed set form a group; a group of k classes holds S
// students exactly when k·lo <= S <= k·hi, its classes sized as evenly as S
// allows, and any of its students fits any of its classes.
//
// The plan is the exact optimum, in this order: the fewest walked
// subject-lessons; then the fewest classes fixing fewer than two subjects
// (定一走二 and 全走班); then the smallest difference between the largest
// and the smallest class; then the smallest sum of squared deviations of
// the class sizes from N/K. xk_plan.cpp states why the search finds it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace lczs::classdiv {

// Electives as bits of a mask, in the order of the subject table
// (xk_subjects.h).
using XkMask = std::uint32_t;

int xk_popcount(XkMask m);

struct XkPlanInput {
  // 3+1+2: every fixed set holds the combination's first choice (物理 or
  // 历史), given as the mask of the two first-choice subjects.
  XkMask first_choices = 0;
  // Distinct combinations and their students.
  std::vector<std::pair<XkMask, int>> combos;
  int classes = 0;  // K
  int lo = 0, hi = 0;  // class size bounds
};

struct XkGroup {
  XkMask fixed = 0;
  int classes = 0;
  int students = 0;
  // Students taken from each combination (mask, count), in the order of
  // XkPlanInput::combos, zero counts left out.
  std::vector<std::pair<XkMask, int>> from;
  // Walked subject-lessons of one student of this group.
  int walks() const { return 3 - xk_popcount(fixed); }
  // Size of the group's i-th class (0-based): the larger ones first.
  int class_size(int i) const { return students / classes + (i < students % classes ? 1 : 0); }
};

struct XkPlan {
  // Groups in the order their classes are numbered: more fixed subjects
  // first, then by the fixed set's subjects in the table's order.
  std::vector<XkGroup> groups;
  long long walked = 0;       // subject-lessons walked by all students
  int few_fixed_classes = 0;  // classes fixing fewer than two subjects
  int size_range = 0;         // largest class minus smallest
  double squared_deviation = 0;
  long long nodes = 0;        // search nodes visited, for the benchmark
};

// The optimal plan, or nullopt when no plan places every student in K
// classes of sizes within [lo, hi].
std::optional<XkPlan> xk_best_plan(const XkPlanInput& in);

}  // namespace lczs::classdiv
