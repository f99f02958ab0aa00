#include "classdiv/classdiv.h"

#include <exception>
#include <string>

#include "classdiv/fb_forms.h"
#include "classdiv/fb_main.h"
#include "classdiv/fb_state.h"

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

}  // namespace

ClassDivision::ClassDivision() : state_(std::make_unique<FbState>()) {}
ClassDivision::~ClassDivision() = default;

FbState& ClassDivision::state() { return *state_; }

jobs::JobOutcome ClassDivision::fb_run(jobs::JobEnv& env) {
  // Nothing of an earlier run, finished or not, carries over.
  *state_ = FbState{};
  FbState& st = *state_;

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
           .forms = {gs_flags(), c_fbsz_flags()}},
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
