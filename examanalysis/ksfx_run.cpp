// The driver of the exam analysis, its two forms and the run-state reset.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "examanalysis/examanalysis.h"
#include "examanalysis/ksfx.h"
#include "host/numbers.h"
#include "ui/ui.h"

namespace lczs::examanalysis {

using host::Value;
using jobs::JobOutcome;

ExamAnalysis::ExamAnalysis() : state_(std::make_unique<KsState>()) {}
ExamAnalysis::~ExamAnalysis() = default;
KsState& ExamAnalysis::state() { return *state_; }

std::vector<jobs::Command> ExamAnalysis::commands() {
  return {{.name = "exam",
           .aliases = {"考试"},
           .button = "普通考试成绩分析(年级)",
           .summary = "普通考试成绩分析(年级)：总分、名次、各班名次段人数、各科均分和封面，"
                      "另存为新的工作簿",
           .book_required = true,
           // The report is a new workbook: BOOK is never written, so what it
           // holds is never a reason to refuse.
           .saves = false,
           .exit_message = kMsgExit,
           .forms = {Ksfx::ksgssz_flags(), Ksfx::ksfxForm_flags()},
           .options = {{.option = kRatesOption,
                        .meaning = std::string("加上学科分析、分数段和图表（没有“") + kSheetSettings +
                                   "”工作表时按默认设置）"},
                       {.option = kPreviousOption,
                        .value_name = "OLD.xlsx",
                        .meaning = std::string("上次考试的成绩（OLD 的“") + kSheetSat +
                                   "”，没有时用它的第一张工作表）作为工作表“" + kSheetPrevious +
                                   "”放入工作簿，加上进退步分析"}},
           // 班级, 学号, 姓名 and a subject at least.
           .sheet_fits = [](const host::Worksheet& ws) { return jobs::table_from_a1(ws, 4); },
           .sheets_from_files = {{kPreviousOption, kSheetPrevious, kSheetSat}}}};
}

JobOutcome ExamAnalysis::ksfx_run(jobs::JobEnv& env) {
  Ksfx run(*state_, env);
  return run.ksfx_run();
}

void ksfx_reset(KsState& st) {
  st.ks_band_input.fill(0);
  st.ks_band_sizes.fill(0);
  st.ks_sat_count = 0;
  st.ks_absent_count = 0;
  st.ks_student_count = 0;
  st.ks_class_count = 0;
  st.ks_save_name.clear();
  st.ks_cohort.clear();
}

namespace {

std::string lower_ascii(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

// The switches the driver flips around the work (screen updating, alerts)
// are housekeeping: like the drivers' own statements they go on past a host
// that refuses one, rather than turning a finished analysis into a failure.
template <class Switch>
void quietly(Switch flip) {
  try {
    flip();
  } catch (const std::exception&) {
  }
}

bool ends_with_xlsx(const std::string& name) {
  return name.size() >= 5 && lower_ascii(name.substr(name.size() - 5)) == ".xlsx";
}

}  // namespace

std::string ksfx_bad_name_reason(const std::string& name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    unsigned char ch = static_cast<unsigned char>(name[i]);
    if (std::string_view("\\/:*?\"<>|").find(static_cast<char>(ch)) != std::string_view::npos)
      return "不能含有 \\ / : * ? \" < > | 这些字符";
    // C0 controls, DEL, and the C1 controls U+0080..U+009F (0xC2 0x80..0x9F).
    bool c1 = ch == 0xC2 && i + 1 < name.size() &&
              static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
              static_cast<unsigned char>(name[i + 1]) <= 0x9F;
    if (ch < 0x20 || ch == 0x7F || c1) return "不能含有控制字符";
  }
  auto trailing_bad = [](const std::string& s) {
    return !s.empty() && (s.back() == '.' || s.back() == ' ');
  };
  std::string stem = ends_with_xlsx(name) ? name.substr(0, name.size() - 5) : name;
  if (trailing_bad(name) || trailing_bad(stem) || stem.empty())
    return "不能以点或空格结尾，也不能只有扩展名";
  // Windows reserves the device names with any extension and in any case.
  std::string base = lower_ascii(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
  bool device = std::find(std::begin(kDevices), std::end(kDevices), base) != std::end(kDevices);
  if (base.size() == 4 && (base.rfind("com", 0) == 0 || base.rfind("lpt", 0) == 0) &&
      base[3] >= '1' && base[3] <= '9')
    device = true;
  if (device) return "不能是 CON、PRN、AUX、NUL、COM1～COM9、LPT1～LPT9 这样的设备名";
  return "";
}

std::string ksfx_save_path(const std::string& book_full_name, const std::string& name) {
  std::string file = ends_with_xlsx(name) ? name : name + ".xlsx";
  std::size_t cut = book_full_name.find_last_of("/\\");
  if (cut == std::string::npos) return file;
  return book_full_name.substr(0, cut + 1) + file;
}

std::string ksfx_extract_name(bool top, int size) {
  return std::string(top ? "年级前" : "年级后") + host::int_text(size) + "名";
}

Ksfx::Ksfx(KsState& st, jobs::JobEnv& env)
    : st_(st), host_app(env.host_app), ui_(env.ui), rates_requested_(env.option(kRatesOption).has_value()) {}

JobOutcome Ksfx::ksfx_run() {
  // A stopped run of before must not leak its counts or bands into this one.
  ksfx_reset(st_);
  st_.ks_grade.clear();
  st_.ks_subject_count = 0;

  auto stop = [&](const std::string& text) {
    quietly([&] { host_app.set_screen_updating(true); });
    ui_.message_box(text, ui::Buttons::Ok, ui::kTitle);
    ui_.message_box(kMsgExit, ui::Buttons::Ok, ui::kTitle);
    return JobOutcome::Stopped;
  };
  auto failed = [&](const std::exception& e) {
    return stop("成绩分析在“" + step_ + "”这一步出错：" + e.what() +
                "\n分析结果没有保存，原工作簿文件没有改动。");
  };

  std::string refusal;
  bool alerts = true;
  try {
    step_ = "取得当前工作表";
    alerts = host_app.display_alerts();
    work_book = &host_app.active_workbook();
    work_sheet = &work_book->active_sheet();
    step_ = "设置分析选项";
    ksfx_confirm();
    // Closing the options form leaves no file name: the report would have
    // nowhere to go but over the user's own file, so the run ends as if
    // cancelled.
    if (st_.ks_go_on && st_.ks_save_name.empty()) st_.ks_go_on = false;
    if (!st_.ks_go_on) {
      ui_.message_box(kMsgExit, ui::Buttons::Ok, ui::kTitle);
      return JobOutcome::Stopped;
    }
    step_ = "检查原始数据";
    refusal = ksfx_check_workbook();
  } catch (const std::exception& e) {
    return failed(e);
  }
  if (!refusal.empty()) return stop(refusal);

  // The report is written as a new file once it is complete; the user's own
  // file is never saved over.
  std::string path;
  if (!st_.ks_save_name.empty()) {
    // Claimed before the work: a report another run is writing would be
    // lost to whichever of the two saves last.
    try {
      path = ksfx_save_path(work_book->full_name(), st_.ks_save_name);
      work_book->reserve_save_as(path);
    } catch (const std::exception& e) {
      ui_.message_box("不能保存分析结果：" + std::string(e.what()), ui::Buttons::Ok, ui::kTitle);
      ui_.message_box(kMsgExit, ui::Buttons::Ok, ui::kTitle);
      return JobOutcome::SaveFailed;
    }
  }
  try {
    host_app.set_screen_updating(false);
    ksfx_prepare();
    step_ = "制作封面";
    ksfx_cover_sheet(*work_book);
    step_ = std::string("删除工作表“") + kSheetAll + "”";
    work_book->delete_sheet(work_book->sheet(kSheetAll));
  } catch (const std::exception& e) {
    return failed(e);
  }
  ksfx_reset(st_);

  if (!path.empty()) {
    // Saved with the alerts as the user had them, so that replacing an
    // existing file is asked about (and never saved without asking when they
    // cannot be switched back on); the run leaves them off afterwards.
    bool saved = false;
    std::string save_error;
    try {
      host_app.set_display_alerts(alerts);
      work_book->save_as(path);
      saved = true;
    } catch (const std::exception& e) {
      save_error = e.what();
    }
    quietly([&] { host_app.set_display_alerts(false); });
    if (!saved) {
      quietly([&] { host_app.set_screen_updating(true); });
      ui_.message_box("保存工作簿失败：" + save_error, ui::Buttons::Ok, ui::kTitle);
      return JobOutcome::SaveFailed;
    }
  }
  quietly([&] { host_app.set_screen_updating(true); });
  ui_.message_box(kMsgDone, ui::Buttons::Ok, ui::kTitle);
  return JobOutcome::Completed;
}

void Ksfx::ksfx_confirm() {
  st_.ks_go_on = true;
  st_.ks_has_absent = false;
  st_.ks_has_bands = false;
  st_.ks_block_gap = 12;
  st_.ks_id_cols = 3;
  if (ui_.message_box(kMsgAsk, ui::Buttons::OkCancel, ui::kTitle) == ui::kCancel) {
    st_.ks_go_on = false;
    return;
  }
  {
    auto format_form = make_ksgssz();
    ui_.show_modal(*format_form);
  }
  if (!st_.ks_go_on) return;
  std::string why;  // why the options form is back, for the text dialogs
  do {
    // Cleared before every showing, so that the close box always lets the
    // run go on, also after a refused OK.
    st_.ks_reshow_form = false;
    auto options = make_ksfxForm();
    options->shown_again = why;
    ui_.show_modal(*options);
    why = "再次显示：上次填写的没有被接受（见上面的提示），各框重新为空";
  } while (st_.ks_reshow_form);
}

// ---- ksgssz --------------------------------------------------------------

namespace {
constexpr const char* kFormatCaption = "数据格式要求";
constexpr const char* kOptionsCaption = "考试成绩分析系统";
}  // namespace

ui::FormFlags Ksfx::ksgssz_flags() {
  return {.form = "ksgssz", .caption = kFormatCaption, .kind = ui::FormKind::DataFormat};
}

std::unique_ptr<ui::Form> Ksfx::make_ksgssz() {
  auto form = std::make_unique<ui::Form>("ksgssz", kFormatCaption);
  ui::PictureTable picture;
  picture.cells = {
      {"班级", "学号", "姓名", "语文", "数学", "英语", "物理", "化学"},
      {"101", "1", "张明", "98", "105", "110", "85", "77"},
      {"101", "2", "李红", "102", "", "95", "79", "81"},
      {"101", "3", "王刚", "87", "93", "101", "", "68"},
      {"101", "4", "赵丽", "110", "120", "117", "92", "88"},
      {"101", "5", "钱伟", "76", "88", "", "70", "59"},
      {"101", "6", "孙芳", "95", "101", "99", "83", "90"},
      {"101", "7", "周强", "89", "97", "92", "78", "72"},
      {"101", "8", "吴静", "104", "111", "108", "", "86"},
  };
  form->add({.name = "Image1", .kind = ui::ControlKind::Picture, .picture = picture});
  form->add({.name = "ts_text", .kind = ui::ControlKind::Label,
             .caption = "提示：原始数据格式是否与下图一致，不一样请按图进行格式调整！"});
  form->add({.name = "ksfx_tz_bt", .kind = ui::ControlKind::CommandButton,
             .caption = "格式调整>>", .role = "cancel"});
  form->add({.name = "ksfx_zx_bt", .kind = ui::ControlKind::CommandButton,
             .caption = "继续执行>>", .role = "confirm"});
  form->add({.name = "Label1", .kind = ui::ControlKind::Label,
             .caption = "注意 ：学科数目无限制(不要有总分列)"});
  ui::Form* f = form.get();
  form->on("ksfx_tz_bt", "Click", [this, f] {
    f->unload();
    st_.ks_go_on = false;
  });
  form->on("ksfx_zx_bt", "Click", [f] { f->unload(); });
  return form;
}

// ---- ksfxForm ------------------------------------------------------------

ui::FormFlags Ksfx::ksfxForm_flags() {
  return {.form = "ksfxForm",
          .caption = kOptionsCaption,
          .kind = ui::FormKind::Settings,
          .fields = {{.option = "--cohort", .text_boxes = {"txtstdjie"}, .value_name = "届",
                      .meaning = "学生届，如 2001（印在封面上）"},
                     {.option = "--grade", .text_boxes = {"txtnj"}, .value_name = "年级",
                      .meaning = "年级，如 G1、G2"},
                     {.option = "--save-name", .text_boxes = {"txtfilename"}, .value_name = "文件名",
                      .meaning = "保存文件名，也是报告的标题，如 2001学年第二学期高一年级期中考试成绩分析；"
                                 "报告另存在工作簿旁边"},
                     {.option = "--top", .text_boxes = {"nq1", "nq2", "nq3"},
                      .value_name = "X[,Y[,Z]]", .meaning = "统计年级前 X、Y、Z 名，最多三个数"},
                     {.option = "--bottom", .text_boxes = {"nh1", "nh2", "nh3"},
                      .value_name = "X[,Y[,Z]]", .meaning = "统计年级后 X、Y、Z 名，最多三个数"}}};
}

std::unique_ptr<ui::Form> Ksfx::make_ksfxForm() {
  using ui::ControlKind;
  auto form = std::make_unique<ui::Form>("ksfxForm", kOptionsCaption);
  auto label = [&](const char* name, const char* page, const char* caption) {
    form->add({.name = name, .kind = ControlKind::Label, .caption = caption, .container = page});
  };
  auto box = [&](const char* name, const char* page) {
    form->add({.name = name, .kind = ControlKind::TextBox, .container = page});
  };
  form->add({.name = "btnOk", .kind = ControlKind::CommandButton, .caption = "确定",
             .role = "confirm"});
  form->add({.name = "btnCancel", .kind = ControlKind::CommandButton, .caption = "取消",
             .role = "cancel"});
  form->add({.name = "MultiPage1", .kind = ControlKind::MultiPage});
  form->add({.name = "Page1", .kind = ControlKind::Page, .caption = "基本信息设置",
             .container = "MultiPage1"});
  form->add({.name = "Page2", .kind = ControlKind::Page, .caption = "按年级排名",
             .container = "MultiPage1"});
  label("Label1", "Page1", "请输入学生届：");
  box("txtstdjie", "Page1");
  label("Label4", "Page1", "(格式如：2001)");
  label("nieji", "Page1", "年级：");
  box("txtnj", "Page1");
  label("Label5", "Page1", "(格式如：G1,G2)");
  label("Label2", "Page1", "请输入保存文件名:");
  box("txtfilename", "Page1");
  // Wide enough to show the name the hint below suggests.
  form->control("txtfilename").sample = "2001学年第二学期高一年级期中考试成绩分析";
  label("Label3", "Page1", "(格式如: 2001学年第二学期高一年级期中考试成绩分析)");
  label("Label6", "Page2", "年级前X、Y、Z名");
  box("nq1", "Page2");
  box("nq2", "Page2");
  box("nq3", "Page2");
  label("Label7", "Page2", "年级后X、Y、Z名");
  box("nh1", "Page2");
  box("nh2", "Page2");
  box("nh3", "Page2");
  form->rows = {{"Label1", "txtstdjie", "Label4"}, {"nieji", "txtnj", "Label5"}, {"Label2", "txtfilename"},
                {"Label3"}, {"Label6", "nq1", "nq2", "nq3"}, {"Label7", "nh1", "nh2", "nh3"}};
  ui::Form* f = form.get();
  form->on("btnOk", "Click", [this, f] { btnOk_Click(*f); });
  form->on("btnCancel", "Click", [this, f] { btnCancel_Click(*f); });
  return form;
}

void Ksfx::btnOk_Click(ui::Form& form) {
  const std::string cohort = form.control("txtstdjie").text;
  const std::string file_name = form.control("txtfilename").text;
  const std::string grade = form.control("txtnj").text;
  auto refuse = [&](const std::string& text, std::string_view title) {
    st_.ks_reshow_form = true;
    ui_.message_box(text, ui::Buttons::Ok, title);
    form.unload();
  };
  if (cohort.empty() || file_name.empty() || grade.empty()) {
    refuse(kMsgNeedInfo, "");
    return;
  }
  std::string reason = ksfx_bad_name_reason(file_name);
  // Only the user's own file is refused here; any other file already at the
  // target is asked about when saving, like every save-as.
  const std::string own = work_book->opened_from();
  if (reason.empty() && !own.empty() &&
      lower_ascii(ksfx_save_path(work_book->full_name(), file_name)) == lower_ascii(own))
    reason = "与正在分析的工作簿同名，会覆盖原文件";
  if (!reason.empty()) {
    refuse("保存文件名“" + file_name + "”不能用：" + reason + "，请重新输入!", ui::kTitle);
    return;
  }

  static const char* const kBoxes[] = {"", "nq1", "nq2", "nq3", "nh1", "nh2", "nh3"};
  std::array<double, 7> bands{};
  std::array<bool, 7> typed{};
  for (int k = 1; k <= 6; ++k) {
    const std::string& text = form.control(kBoxes[k]).text;
    if (text.empty()) continue;
    std::string where = std::string(k <= 3 ? "“年级前X、Y、Z名”" : "“年级后X、Y、Z名”") +
                        "的第" + host::int_text((k - 1) % 3 + 1) + "格";
    auto n = host::parse_user_number(text);
    if (!n || *n < 0 || *n != std::floor(*n)) {
      refuse(where + "“" + text + "”不是0或正整数，请重新输入!", ui::kTitle);
      return;
    }
    if (*n > 0) {
      const KsSurvey& s = survey();
      if (s.problem.empty() && *n > s.sat) {
        // As typed: a number past what an integer holds must not turn into
        // another one in the message.
        refuse(where + "是" + text +
                   "，超过了各科都有成绩的学生人数（" + host::int_text(s.sat) +
                   "人），请重新输入!",
               ui::kTitle);
        return;
      }
    }
    bands[k] = *n == 0 ? 0.0 : *n;  // no negative zero
    typed[k] = true;
  }

  st_.ks_cohort = cohort;
  st_.ks_save_name = file_name;
  st_.ks_grade = grade;
  st_.ks_reshow_form = false;
  for (int k = 1; k <= 6; ++k)
    if (typed[k]) st_.ks_band_input[k] = bands[k];
  form.unload();
}

void Ksfx::btnCancel_Click(ui::Form& form) {
  st_.ks_go_on = false;
  st_.ks_reshow_form = false;
  form.unload();
}

}  // namespace lczs::examanalysis
