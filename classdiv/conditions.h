// Class division with conditions: the optional sheet 分班条件, one condition
// per row under the header 条件 | 学生 | 值.
//
//   指定班级  a student placed in the class given in 值
//   同班      the students listed share a class
//   分开      the students listed are in different classes
//   同名分开  students whose names sound the same (全体, or among those
//             listed) are in different classes
//   均衡      the students listed under the tag in 值 are spread so that
//             every class's count differs by at most one
//
// A group of n students to keep apart that is larger than the number of
// classes K is spread instead: at most ⌈n/K⌉ of them in any class. Every
// apart or balanced set is therefore a bound on its count in each class,
// which is how the deal, the repair and the searches treat them.
//
// Reading refuses whatever cannot be met before anything changes; after
// the search every row gets 满足 or what is not met, and why, in 结果.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "classdiv/fb_moves.h"
#include "host/host.h"

namespace lczs::classdiv {

inline constexpr std::string_view kConditionsSheet = "分班条件";
inline constexpr std::string_view kResultHeader = "结果";
inline constexpr std::string_view kMet = "满足";
// Columns of row 1 searched for the headers.
inline constexpr int kConditionHeaderCols = 26;
// Rows of 分班条件 read at a time; reading stops at a block with no
// condition in it.
inline constexpr int kConditionBlockRows = 1000;
// Pairs named in one 结果 cell before the rest is summed up.
inline constexpr int kResultPairsShown = 5;
// The repair after the deal: its own fixed stream, so a book deals the same
// every time, and exchanges tried before it gives up (a few seconds at most
// on a grade of thousands).
inline constexpr std::uint64_t kRepairSeed = 20240902;
inline constexpr long long kRepairTries = 2'000'000;
// Passes over the bounds not met, and exchanges tried for one in a pass.
inline constexpr int kRepairPasses = 50;
inline constexpr int kRepairAttempts = 4000;

enum class ConditionKind { Fixed, Together, Apart, SameSound, Balanced };

struct Condition {
  int row = 0;  // of 分班条件
  ConditionKind kind = ConditionKind::Fixed;
  // Students as indices into the roster (data rows 2.. minus 2), each once.
  std::vector<int> students;
  bool everyone = false;  // 同名分开 over 全体
  int fixed_class = 0;    // 指定班级
  std::string tag;        // 均衡
};

// What the data sheet says about each student, by data row (index 0 is row 2).
struct Roster {
  std::vector<std::string> ids;    // 统一学号 as shown
  std::vector<std::string> names;  // 姓名
  std::vector<bool> boys;
  int size() const { return static_cast<int>(names.size()); }
};

// Columns A, C and D of rows 2..N+1 of the data sheet.
Roster read_roster(const host::Worksheet& data, int students);

// Finds the student a reference names: 统一学号 or 姓名 where unique,
// 姓名(统一学号), or 第N行 (the student's row on the data sheet). A
// reference that matches nobody or several students throws the refusal's
// text, naming `sheet` and the row.
class StudentFinder {
 public:
  StudentFinder(const Roster& roster, std::string sheet);
  int find(const std::string& ref, int row) const;

 private:
  std::vector<int> matches(const std::string& ref) const;
  const Roster& roster_;
  std::string sheet_;
  std::map<std::string, std::vector<int>> by_id_, by_name_;
};

struct ConditionSheet {
  std::vector<Condition> conditions;
  int result_col = 0;  // where 结果 goes
  bool had_results = false;  // an earlier run's 结果 column is there
};

// Reads and checks 分班条件 for a division of the roster into classes of
// `sizes` (index 0 unused). A refusal is returned as its message, which
// names the row(s) of 分班条件.
std::variant<ConditionSheet, std::string> read_conditions(const host::Worksheet& sheet,
                                                          const Roster& roster,
                                                          const std::vector<int>& sizes);

// The conditions compiled for one run, with students named by key (the
// record numbers of the search; key_of[student] for each roster index).
// As the search's rules it forbids moving a fixed student, moves a 同班
// group only whole, and lets no exchange take a bound further from being
// met (so bounds the deal met stay met).
class ClassRules : public MoveRules {
 public:
  ClassRules(const std::vector<Condition>& conditions, const Roster& roster, int classes,
             const std::vector<int>& key_of);

  bool allowed(const Exchange& x) const override;
  void made(const Exchange& x) override;
  void reset(std::span<const int> class_of) override;
  std::span<const int> companions(int key) const override { return companions_[key]; }

  // The 同班 groups, by key.
  const std::vector<std::vector<int>>& groups() const { return groups_; }

  // The class a key is fixed to (its own or its group's), or 0.
  int fixed_class(int key) const { return fixed_[key]; }
  // Index of the 同班 group holding a key, or -1.
  int group_of(int key) const { return group_of_[key]; }
  // How far `class_of` (by key) is from meeting every bound: the students
  // above or below a bound, summed over sets and classes.
  int violation(std::span<const int> class_of) const;
  // Same-gender exchanges of free students that lower the violation, until
  // it is zero or no such exchange is found in `tries`. Keeps class sizes
  // and gender counts.
  void repair(std::vector<int>& class_of, const std::vector<bool>& boy_by_key, std::uint64_t seed,
              long long tries) const;
  // 满足 or what is not met, for each condition in order.
  std::vector<std::string> results(std::span<const int> class_of) const;

 private:
  struct Bound {
    std::vector<int> members;  // keys
    int low = 0, high = 0;
  };
  int excess(const Bound& b, int count) const;
  // Members of every bound by class, [bound * (K + 1) + class].
  std::vector<int> tally(std::span<const int> class_of) const;
  void shift(std::vector<int>& tally, int key, int from, int to) const;
  int bound_excess(const std::vector<int>& tally, int bound) const;
  bool violation_free(const Bound& b, std::span<const int> class_of) const;

  int classes_;
  std::vector<Condition> conditions_;
  std::vector<int> key_of_;
  std::vector<std::string> names_;      // by key
  std::vector<int> fixed_;              // by key
  std::vector<int> group_of_;           // by key
  std::vector<std::vector<int>> groups_;
  std::vector<std::vector<int>> companions_;  // by key: the rest of its group
  std::vector<int> class_of_;           // by key, as the search last said
  std::vector<int> counts_;             // its tally
  std::vector<Bound> bounds_;
  std::vector<std::vector<int>> bounds_of_;  // by key
  std::vector<std::vector<int>> sound_groups_;  // keys per reading, 同名分开 全体 or listed
  std::vector<int> bound_of_condition_;  // 分开 / 均衡 rows: their bound; -1 otherwise
  std::vector<std::vector<int>> sound_bounds_of_condition_;
};

// The deal with conditions. `sorted` holds the roster indices in the order of
// the sorted sheet (boys first, each gender by total descending) and
// `plain` the class of each sorted row in the plain deal. Fixed students and
// 同班 groups are placed first, in their class or the one with the most room;
// the others follow the plain deal's order, skipping classes already full.
// Class sizes are the plain deal's; a group may shift a class's gender count.
// Returns the class of each sorted row.
std::vector<int> deal_with_conditions(const std::vector<int>& sorted, const std::vector<int>& plain,
                                      const Roster& roster, const ClassRules& rules,
                                      const std::vector<int>& key_of, int classes);

// A run's conditions, from reading the sheet to writing 结果.
struct FbConditions {
  ConditionSheet read;
  Roster roster;
  ClassRules* rules = nullptr;  // owned by FbState::fb_rules; students named by record number
  int met = 0;  // conditions met after the search
};

// The line that says how many conditions were read and whether all are met.
std::string conditions_summary(const FbConditions& c);

// Writes 满足 or what is not met beside every condition; `class_of` gives
// each record number's final class.
void write_condition_results(FbConditions& c, host::Workbook& book, std::span<const int> class_of);

}  // namespace lczs::classdiv
