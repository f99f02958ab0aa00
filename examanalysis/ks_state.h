// Module state of the exam analysis (ksfx). One instance lives as long as the
// add-in is loaded; every run sets it up afresh (ksfx_reset, ksfx_confirm).
//
// Arrays indexed 1..6 keep element 0 unused so that the band numbers read as
// the user sees them: 1-3 the top bands X, Y, Z, 4-6 the bottom bands.
#pragma once

#include <array>
#include <string>

namespace lczs::examanalysis {

struct KsState {
  bool ks_go_on = false;
  bool ks_reshow_form = false;
  std::string ks_cohort;     // 届, e.g. "2001"; shown on the cover
  std::string ks_grade;      // 年级, e.g. "G1"
  std::string ks_save_name;  // the report's file name and cover title
  // Band sizes as typed (already checked to be whole, 0 when left empty).
  std::array<double, 7> ks_band_input{};
  int ks_id_cols = 0;   // 班级, 学号, 姓名: always 3
  int ks_block_gap = 0; // scratch blocks start this far below the students
  bool ks_has_absent = false;
  bool ks_has_bands = false;
  int ks_student_count = 0;
  int ks_sat_count = 0;
  int ks_class_count = 0;
  int ks_subject_count = 0;
  int ks_absent_count = 0;
  std::array<int, 7> ks_band_sizes{};
};

}  // namespace lczs::examanalysis
