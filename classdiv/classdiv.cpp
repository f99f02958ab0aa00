#include "classdiv/classdiv.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "classdiv/conditions.h"
#include "classdiv/fb_forms.h"
#include "classdiv/fb_main.h"
#include "classdiv/fb_state.h"
#include "classdiv/xk_run.h"
#include "host/numbers.h"

namespace lczs::classdiv {

namespace {

void box(jobs::JobEnv& env, std::string_view text) {
  env.ui.message_box(text, ui::Buttons::Ok, ui::kTitle);
}

// Puts the application back as a finished run leaves it; a failure here
// must not hide the one being reported.
void restore_host(jobs::JobEnv& env) {
  try {
    if (env.host_app.copy_mode()) env.host_app.end_copy_mode();
  } catch (const std::exception&) {
  }
  try {
    env.host_app.set_screen_updating(true);
  } catch (const std::exception&) {
  }
}

// A step that failed inside the host (or overflowed) stops the run: nothing
// is saved and there is no end message.
jobs::JobOutcome stop_failed(jobs::JobEnv& env, FbState& st, std::string_view step,
                              const std::exception& e) {
  restore_host(env);
  st.fb_go_on = false;
  box(env, "分班在“" + std::string(step) + "”一步出错，已停止，工作簿没有保存。\n" + e.what());
  box(env, kFbExitMessage);
  return jobs::JobOutcome::Stopped;
}

constexpr const char* kSeedOption = "--seed";
constexpr const char* kEvaluationsOption = "--evaluations";

// A whole number as the forms take numbers (half- or full-width digits),
// small enough for a double to hold exactly.
std::optional<std::uint64_t> whole_number(const std::string& text) {
  const auto v = host::parse_user_number(text);
  if (!v || *v < 0 || *v > 9007199254740992.0 || *v != std::floor(*v)) return std::nullopt;
  return static_cast<std::uint64_t>(*v);
}

}  // namespace

ClassDivision::ClassDivision() : state_(std::make_unique<FbState>()) {}
ClassDivision::~ClassDivision() = default;

FbState& ClassDivision::state() { return *state_; }

jobs::JobOutcome ClassDivision::fb_run(jobs::JobEnv& env) {
  // Nothing of an earlier run, finished or not, carries over.
  *state_ = FbState{};
  FbState& st = *state_;
  st.fb_whole_search = search_ == Search::Whole;

  try {
    st.work_book = &env.host_app.active_workbook();
    st.work_sheet = &st.work_book->active_sheet();
  } catch (const std::exception& e) {
    box(env, std::string("没有可以分班的工作表：") + e.what());
    box(env, kFbExitMessage);
    return jobs::JobOutcome::Stopped;
  }
  st.fb_time_limit = 120;
  st.fb_max_diff = 1.0f;
  st.fb_class_count = 0;
  // The search's own options are checked before the first question, so a
  // mistyped one costs the user nothing.
  for (const char* name : {kSeedOption, kEvaluationsOption}) {
    const auto text = env.option(name);
    if (!text) continue;
    const auto value = whole_number(*text);
    if (!value) {
      box(env, std::string("选项 ") + name + " 须是 0 到 9007199254740992 之间的整数，给的是“" + *text + "”。");
      box(env, kFbExitMessage);
      return jobs::JobOutcome::Stopped;
    }
    if (name == kSeedOption)
      st.fb_seed = *value;
    else
      st.fb_evaluation_limit = static_cast<long long>(*value);
  }

  fb_confirm(env, st);
  if (!st.fb_go_on) {
    box(env, kFbExitMessage);
    return jobs::JobOutcome::Stopped;
  }

  try {
    fb_prepare_classes(env, st);
  } catch (const std::exception& e) {
    return stop_failed(env, st, "检查数据与初始分班", e);
  }
  if (!st.fb_go_on) {
    box(env, kFbExitMessage);
    restore_host(env);
    return jobs::JobOutcome::Stopped;
  }
  try {
    fb_balance_classes(env, st);
  } catch (const std::exception& e) {
    return stop_failed(env, st, "均衡调整与写回", e);
  }
  try {
    fb_format_result(env, st, st.work_book->sheet(1));
  } catch (const std::exception& e) {
    return stop_failed(env, st, "设置分页与字号", e);
  }
  try {
    st.work_book->save();
  } catch (const std::exception& e) {
    restore_host(env);
    box(env, std::string("保存工作簿失败：") + e.what());
    return jobs::JobOutcome::SaveFailed;
  }
  restore_host(env);
  if (st.fb_conditions) env.ui.remark(conditions_summary(*st.fb_conditions));
  if (st.fb_electives) env.ui.remark(xk_summary(*st.fb_electives));
  box(env, fb_end_message(st.fb_elapsed));
  fb_reset(st);
  return jobs::JobOutcome::Completed;
}

std::vector<jobs::Command> ClassDivision::commands() {
  return {{.name = "classdiv",
           .aliases = {"分班"},
           .button = "开始分班",
           .summary = "开始分班：把学生分成人数、男女和各科均分都均衡的几个班",
           .book_required = true,
           .saves = true,
           .exit_message = std::string(kFbExitMessage),
           .forms = {gs_flags(), c_fbsz_flags()},
           .options = {{.option = kSeedOption,
                        .value_name = "N",
                        .meaning = "分班搜索的随机种子（默认是固定的种子，每次分得一样）"},
                       {.option = kEvaluationsOption,
                        .value_name = "N",
                        .meaning = "判断 N 个交换后停止，不看时间：同样的工作簿、设置和种子在任何机器上分得一样"},
                       {.option = kElectiveSystemOption,
                        .value_name = "3+1+2|3+3",
                        .meaning = "选科分班（工作簿有“选科”表时）的选科制度，代替“选科设置”表中的选科制度"},
                       {.option = kSizeFloatOption,
                        .value_name = "D",
                        .meaning = "选科分班的班额浮动：每班人数在平均人数上下 D 人之内（默认 5），代替“选科设置”表中的值"},
                       {.option = kTeachingCapOption,
                        .value_name = "N",
                        .meaning = "选科分班的教学班上限（默认为每班最多人数），代替“选科设置”表中的值"}},
           // 统一学号, 班级, 姓名, 性别 and a score column at least.
           .sheet_fits = [](const host::Worksheet& ws) { return jobs::table_from_a1(ws, 5); }},
          {.name = "fbhelp",
           .aliases = {"帮助"},
           .button = "帮助",
           .summary = "分班帮助：显示分班的说明",
           .forms = {fb_help_flags()}}};
}

void ClassDivision::fb_show_help(jobs::JobEnv& env) {
  auto form = make_fb_help();
  env.ui.show_modal(*form);
}

}  // namespace lczs::classdiv
