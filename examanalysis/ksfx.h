// The exam analysis's procedures over one run: the driver, the option forms
// and every step, sharing the module state (KsState) and the objects of the
// run (host_app, work_book, work_sheet).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "examanalysis/ks_state.h"
#include "examanalysis/ksfx_grading.h"
#include "examanalysis/ksfx_lines.h"
#include "examanalysis/ksfx_progress.h"
#include "examanalysis/ksfx_rates.h"
#include "host/host.h"
#include "jobs/job.h"
#include "ui/flags_ui.h"
#include "ui/form.h"

namespace lczs::examanalysis {

// Sheets the run makes.
inline constexpr const char* kSheetRaw = "原始数据";
inline constexpr const char* kSheetAll = "年级总人数";
inline constexpr const char* kSheetSat = "年级实考";
inline constexpr const char* kSheetAbsent = "年级缺考";
inline constexpr const char* kSheetBands = "各班各名次段统计";
inline constexpr const char* kSheetAverages = "年级各科均分";
inline constexpr const char* kSheetCover = "封面";

inline constexpr const char* kMsgExit = "现在退出成绩分析程序!";
inline constexpr const char* kMsgDone = "成绩分析完毕，程序结束!";
inline constexpr const char* kMsgAsk = "开始进行考试成绩分析，继续吗？";
inline constexpr const char* kMsgNeedInfo = "请输入基本信息!";

// ksfx_reset: clears what one run leaves behind.
void ksfx_reset(KsState& st);

// Why a typed save name cannot be a file name on any platform ("" when it
// can): \ / : * ? " < > |, control characters, a trailing dot or space, a
// device name such as CON or com1.txt.
std::string ksfx_bad_name_reason(const std::string& name);
// Where the report goes: the typed name in the folder of the workbook's
// file, ".xlsx" added unless the name already ends in it (any case).
std::string ksfx_save_path(const std::string& book_full_name, const std::string& name);
// "年级前50名" / "年级后30名": the extract sheet of a band size.
std::string ksfx_extract_name(bool top, int size);

// 宋体 of `size` points, no effects, automatic colour: the report's font.
host::FontPatch plain_song(double size);

// What the raw table holds, read before anything changes.
struct KsSurvey {
  int students = 0;             // N
  int subjects = 0;             // S
  int sat = 0;                  // T: students with a score in every subject
  bool has_blank = false;       // some subject cell is empty
  std::vector<double> classes;  // distinct class codes, ascending
  std::string problem;          // refusal text, "" when the table is usable
};
// `elective` (per subject, or nullptr) marks the subjects a blank in which
// means not chosen rather than absent.
KsSurvey ksfx_survey(host::Worksheet& sheet, const std::vector<bool>* elective = nullptr);

class Ksfx {
 public:
  Ksfx(KsState& st, jobs::JobEnv& env);

  jobs::JobOutcome ksfx_run();
  void ksfx_confirm();

  // Forms, built fresh for every showing.
  std::unique_ptr<ui::Form> make_ksgssz();
  std::unique_ptr<ui::Form> make_ksfxForm();
  // What the `lczs` command knows of the two forms: which option fills
  // which box, in the words of the command's help.
  static ui::FormFlags ksgssz_flags();
  static ui::FormFlags ksfxForm_flags();
  void btnOk_Click(ui::Form& form);
  void btnCancel_Click(ui::Form& form);

  // Data preparation and ranking.
  void ksfx_prepare();
  void ksfx_analyse();
  void ksfx_rank_students(host::Worksheet& sheet, int sat_count, int id_cols, int subject_count);

  // Statistics blocks and extracts.
  void ksfx_count_bands(host::Worksheet& sheet, int sat_count,
                        const std::array<int, 7>& band_sizes, int class_count,
                        int subject_count, int id_cols);
  void ksfx_move_block(host::Worksheet& sheet, const std::string& sheet_name, int sat_count,
                       int block_gap);
  void ksfx_subject_averages(host::Worksheet& sheet, int sat_count, int block_gap,
                             int subject_count, int class_count, int id_cols);
  void ksfx_rank_extract(host::Worksheet& sheet, const std::string& sheet_name, int band_size,
                         int id_cols, int subject_count);

  // Cover and formatting.
  void ksfx_cover_sheet(host::Workbook& book);
  void ksfx_average_format(host::Worksheet& averages);
  void ksfx_format_sheet(host::Worksheet& sheet);
  void ksfx_paginate(host::Worksheet& sheet);
  void ksfx_title_row(host::Worksheet& sheet);
  void ksfx_append_to_averages(host::Worksheet& averages, const std::string& source_name);
  // Thin grid lines, centred: the report's table style without its font.
  void ksfx_grid(host::Worksheet& sheet, const host::Area& table);

  // 三率一分, score bands and charts, made only when the workbook has the
  // settings sheet or the run asks for them.
  void ksfx_rate_sheets();
  void ksfx_subject_sheet(const std::vector<std::vector<Figures>>& figures);
  void ksfx_band_sheet(const std::vector<std::vector<Figures>>& figures);
  void ksfx_chart_sheet(const std::vector<std::vector<Figures>>& figures);

  // Electives and 等级赋分, made only when 分析设置 has a 类别 or 赋分 column:
  // the converted columns, 赋分总分 and its ranks on the ranked sheet, and
  // the sheet 赋分对照.
  void ksfx_graded_columns(host::Worksheet& sheet, int sat_count, int id_cols, int subject_count);
  void ksfx_grading_sheet();

  // Score lines, made only when the book has a 分数线 sheet: the present
  // students as ranked, then the sheet 上线分析 and the chart of 上线率.
  void ksfx_keep_present(host::Worksheet& sheet, int sat_count, int id_cols, int subject_count);
  void ksfx_line_sheet();
  void ksfx_line_chart(const std::vector<LineFigures>& figures);

  // 进退步, made only when the book has a 上次成绩 sheet.
  void ksfx_progress_sheet();

 private:
  // The refusal of a workbook the run must not touch ("" when it may run).
  std::string ksfx_check_workbook();
  const KsSurvey& survey();
  // Reads the settings and every score for the figures; the refusal or "".
  std::string ksfx_collect_rates();
  host::Worksheet* settings_sheet();
  // Whether column A of the sheet holds the students' class codes (the data
  // sheet and every table the run makes from it).
  bool keeps_class_codes(const host::Worksheet& sheet) const;
  // A sheet of the book other than the data sheet, nullptr when none.
  host::Worksheet* companion_sheet(const std::string& name);
  // The 类别 and 赋分 settings, read once per run.
  const ExamPlan& plan();
  // Converts the graded subjects' scores; the refusal or "".
  std::string ksfx_collect_grading();
  // Reads the score lines; the refusal or "".
  std::string ksfx_collect_lines();
  // Each student's total from the data, NaN for the absent.
  std::vector<double> present_totals();
  // Reads the earlier exam and matches its students; the refusal or "".
  std::string ksfx_collect_progress();
  // A new sheet at the end of the workbook.
  host::Worksheet& ksfx_last_sheet(const std::string& name);
  // The report's style on a block: a bold caption row over a gridded table.
  void ksfx_block_style(host::Worksheet& sheet, const host::Area& block);
  // Lines of small text from (row, 1) down, under a table: what its figures
  // mean. Returns the row below them.
  int ksfx_notes(host::Worksheet& sheet, int row, const std::vector<std::string>& texts);

  KsState& st_;
  host::Application& host_app;
  ui::Ui& ui_;
  host::Workbook* work_book = nullptr;
  host::Worksheet* work_sheet = nullptr;
  // The step under way, named in the message when it fails.
  std::string step_;
  std::unique_ptr<KsSurvey> survey_;
  // The class codes of all students, ascending: one table row each.
  std::vector<double> class_codes_;
  // The top and bottom extract sheets made.
  std::vector<std::string> extract_names_;
  // The last row written on 年级各科均分; the next table goes below it.
  int averages_end_ = 0;

  // The figures' inputs, read before any sheet changes. Scores per subject
  // of every student in data order, NaN where the cell holds no number.
  bool rates_requested_ = false;
  bool rates_on_ = false;
  RateRules rate_rules_;
  std::vector<double> student_codes_;
  std::vector<std::vector<double>> student_scores_;
  // Class and total of each student of 年级实考.
  std::vector<double> sat_codes_, sat_totals_;

  std::unique_ptr<ExamPlan> plan_;
  SchemeBook schemes_;
  // Per subject; a subject that is not converted has no takers here.
  std::vector<Grading> gradings_;

  std::unique_ptr<LineBook> lines_;
  LineStudents present_;
  host::ValueGrid present_ids_;  // 班级, 学号, 姓名 of each present student
  // The first free row of 图表 below its charts (0: no such sheet yet).
  int chart_next_row_ = 0;

  std::unique_ptr<AnalysisOptions> options_;
  Roster now_, then_;
  Matching matching_;
  std::vector<std::string> subject_names_;
};

}  // namespace lczs::examanalysis
