// The elective plan on generated grades against an independent exact
// optimum: the same counts model solved as an integer program by GLPK
// (walks first, then the classes fixing fewer than two subjects with the
// walks held at their least). Prints one row per grade: students, classes,
// the plan's walks and few-fixed classes, GLPK's, and the plan's time.
//
//   xk_plan_bench [seed]
#include <glpk.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "classdiv/xk_input.h"
#include "classdiv/xk_plan.h"

using namespace lczs::classdiv;

namespace {

// Shares of the combinations, from the largest (物化生) to several that
// stay under 20 students even in a grade of 600. Bits: 物 化 生 政 历 地 技.
constexpr XkMask kPhy = 1, kChe = 2, kBio = 4, kPol = 8, kHis = 16, kGeo = 32, kTec = 64;
const std::vector<std::pair<XkMask, double>> kFirstChoiceShares = {
    {kPhy | kChe | kBio, 30}, {kPhy | kChe | kGeo, 10}, {kPhy | kBio | kGeo, 8}, {kPhy | kChe | kPol, 5},
    {kPhy | kBio | kPol, 4},  {kPhy | kPol | kGeo, 3},  {kHis | kPol | kGeo, 15}, {kHis | kBio | kGeo, 8},
    {kHis | kChe | kBio, 2},  {kHis | kPol | kBio, 6},  {kHis | kChe | kGeo, 1},  {kHis | kChe | kPol, 0.5}};
const std::vector<std::pair<XkMask, double>> kAnyThreeShares = {
    {kPhy | kChe | kBio, 22}, {kPhy | kChe | kGeo, 6},  {kPhy | kBio | kGeo, 5},  {kPhy | kChe | kPol, 4},
    {kHis | kPol | kGeo, 10}, {kHis | kBio | kGeo, 6},  {kHis | kPol | kBio, 5},  {kPhy | kChe | kTec, 3},
    {kPhy | kBio | kTec, 2},  {kPhy | kPol | kTec, 3},  {kChe | kPol | kTec, 2},  {kBio | kPol | kTec, 2},
    {kPhy | kHis | kGeo, 2},  {kChe | kPol | kHis, 1.5}, {kChe | kHis | kGeo, 1}, {kBio | kHis | kChe, 1},
    {kBio | kHis | kTec, 1},  {kHis | kGeo | kTec, 0.8}, {kPol | kGeo | kTec, 0.7}, {kBio | kChe | kTec, 0.5},
    {kPhy | kPol | kGeo, 0.5}};

XkPlanInput grade(int students, bool first_choice, unsigned seed) {
  const auto& shares = first_choice ? kFirstChoiceShares : kAnyThreeShares;
  std::mt19937 rng(seed);
  std::vector<double> w;
  for (auto& s : shares) w.push_back(s.second);
  std::discrete_distribution<int> pick(w.begin(), w.end());
  std::map<XkMask, int> count;
  for (int i = 0; i < students; ++i) ++count[shares[pick(rng)].first];
  XkPlanInput in;
  in.first_choices = first_choice ? kFirstChoices : 0;
  for (auto& [m, n] : count) in.combos.emplace_back(m, n);
  in.classes = (students + 49) / 50;
  in.lo = students / in.classes - kDefaultSizeFloat;
  in.hi = (students + in.classes - 1) / in.classes + kDefaultSizeFloat;
  return in;
}

struct Exact {
  bool ok = false;
  long long walked = 0;
  int few = 0;
  double seconds = 0;
};

// The counts model as GLPK sees it: x[c][F] students of c in classes fixing
// F, k[F] classes fixing F.
Exact glpk_optimum(const XkPlanInput& in) {
  std::vector<XkMask> sets;
  for (auto& [c, n] : in.combos)
    for (XkMask f = c;; f = (f - 1) & c) {
      if ((!in.first_choices || (f & in.first_choices)) &&
          std::find(sets.begin(), sets.end(), f) == sets.end())
        sets.push_back(f);
      if (f == 0) break;
    }
  const auto start = std::chrono::steady_clock::now();
  glp_prob* lp = glp_create_prob();
  glp_set_obj_dir(lp, GLP_MIN);
  const int C = static_cast<int>(in.combos.size()), F = static_cast<int>(sets.size());
  std::vector<std::vector<int>> x(C, std::vector<int>(F, 0));
  std::vector<int> k(F);
  for (int c = 0; c < C; ++c)
    for (int f = 0; f < F; ++f)
      if ((in.combos[c].first & sets[f]) == sets[f]) {
        x[c][f] = glp_add_cols(lp, 1);
        glp_set_col_kind(lp, x[c][f], GLP_IV);
        glp_set_col_bnds(lp, x[c][f], GLP_LO, 0, 0);
        glp_set_obj_coef(lp, x[c][f], 3 - xk_popcount(sets[f]));
      }
  for (int f = 0; f < F; ++f) {
    k[f] = glp_add_cols(lp, 1);
    glp_set_col_kind(lp, k[f], GLP_IV);
    glp_set_col_bnds(lp, k[f], GLP_DB, 0, in.classes);
  }
  std::vector<int> ia{0}, ja{0};
  std::vector<double> ar{0};
  auto put = [&](int row, int col, double v) {
    ia.push_back(row);
    ja.push_back(col);
    ar.push_back(v);
  };
  for (int c = 0; c < C; ++c) {
    const int row = glp_add_rows(lp, 1);
    glp_set_row_bnds(lp, row, GLP_FX, in.combos[c].second, in.combos[c].second);
    for (int f = 0; f < F; ++f)
      if (x[c][f]) put(row, x[c][f], 1);
  }
  for (int f = 0; f < F; ++f) {
    const int low = glp_add_rows(lp, 1), high = glp_add_rows(lp, 1);
    glp_set_row_bnds(lp, low, GLP_LO, 0, 0);   // Σx - lo·k >= 0
    glp_set_row_bnds(lp, high, GLP_UP, 0, 0);  // Σx - hi·k <= 0
    for (int c = 0; c < C; ++c)
      if (x[c][f]) {
        put(low, x[c][f], 1);
        put(high, x[c][f], 1);
      }
    put(low, k[f], -in.lo);
    put(high, k[f], -in.hi);
  }
  const int total = glp_add_rows(lp, 1);
  glp_set_row_bnds(lp, total, GLP_FX, in.classes, in.classes);
  for (int f = 0; f < F; ++f) put(total, k[f], 1);
  glp_load_matrix(lp, static_cast<int>(ia.size()) - 1, ia.data(), ja.data(), ar.data());
  glp_iocp parm;
  glp_init_iocp(&parm);
  parm.presolve = GLP_ON;
  parm.msg_lev = GLP_MSG_OFF;
  Exact out;
  if (glp_intopt(lp, &parm) == 0 && glp_mip_status(lp) == GLP_OPT) {
    out.walked = std::llround(glp_mip_obj_val(lp));
    // Walks held at their least, the fewest classes fixing fewer than two.
    const int hold = glp_add_rows(lp, 1);
    glp_set_row_bnds(lp, hold, GLP_FX, static_cast<double>(out.walked), static_cast<double>(out.walked));
    std::vector<int> cols{0};
    std::vector<double> vals{0};
    for (int c = 0; c < C; ++c)
      for (int f = 0; f < F; ++f)
        if (x[c][f]) {
          cols.push_back(x[c][f]);
          vals.push_back(3 - xk_popcount(sets[f]));
          glp_set_obj_coef(lp, x[c][f], 0);
        }
    glp_set_mat_row(lp, hold, static_cast<int>(cols.size()) - 1, cols.data(), vals.data());
    for (int f = 0; f < F; ++f) glp_set_obj_coef(lp, k[f], xk_popcount(sets[f]) < 2 ? 1 : 0);
    if (glp_intopt(lp, &parm) == 0 && glp_mip_status(lp) == GLP_OPT) {
      out.ok = true;
      out.few = static_cast<int>(std::llround(glp_mip_obj_val(lp)));
    }
  }
  glp_delete_prob(lp);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned seed = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 1;
  std::printf("| 制度 | 学生 | 班 | 走班科次（本程序） | 走班科次（GLPK） | 定一走二及全走班（本程序 / GLPK） | 规划用时 | GLPK 用时 |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  int mismatches = 0;
  for (bool first_choice : {true, false})
    for (int students : {600, 1500, 3000}) {
      const XkPlanInput in = grade(students, first_choice, seed * 7919 + students + first_choice);
      const auto start = std::chrono::steady_clock::now();
      const auto plan = xk_best_plan(in);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const Exact exact = glpk_optimum(in);
      // GLPK may also find no plan (the sides of 3+1+2 need whole classes).
      const bool same = plan ? exact.ok && plan->walked == exact.walked && plan->few_fixed_classes == exact.few
                             : !exact.ok;
      mismatches += !same;
      auto shown = [](bool ok, long long v) { return ok ? std::to_string(v) : std::string("无方案"); };
      std::printf("| %s | %d | %d | %s | %s | %s / %s | %.3f s | %.3f s |%s\n", first_choice ? "3+1+2" : "3+3",
                  students, in.classes, shown(plan.has_value(), plan ? plan->walked : 0).c_str(),
                  shown(exact.ok, exact.walked).c_str(), shown(plan.has_value(), plan ? plan->few_fixed_classes : 0).c_str(),
                  shown(exact.ok, exact.few).c_str(), seconds, exact.seconds, same ? "" : " 不一致");
    }
  return mismatches == 0 ? 0 : 1;
}
