#include "classdiv/classdiv.h"

#include <exception>
#include <string>

#include "classdiv/fb_forms.h"
#include "classdiv/fb_main.h"
#include "classdiv/fb_state.h"

namespace lczs::classdiv {

namespace {

void box(shell::JobEnv& env, std::string_view text) {
  env.ui.message_box(text, ui::Buttons::Ok, ui::kTitle);
}

// Puts the application back as a finished run leaves it; a failure here
// must not hide the one being reported.
void restore_host(shell::JobEnv& env) {
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
shell::JobOutcome stop_failed(shell::JobEnv& env, FbState& st, std::string_view step,
                              const std::exception& e) {
  restore_host(env);
  st.fb_go_on = false;
  box(env, "分班在“" + std::string(step) + "”一步出错，已停止，工作簿没有保存。\n" + e.what());
  box(env, kFbExitMessage);
  return shell::JobOutcome::Stopped;
}

}  // namespace

ClassDivision::ClassDivision() : state_(std::make_unique<FbState>()) {}
ClassDivision::~ClassDivision() = default;

FbState& ClassDivision::state() { return *state_; }

shell::JobOutcome ClassDivision::fb_run(shell::JobEnv& env) {
  // Nothing of an earlier run, finished or not, carries over.
  *state_ = FbState{};
  FbState& st = *state_;

  try {
    st.work_book = &env.host_app.active_workbook();
    st.work_sheet = &st.work_book->active_sheet();
  } catch (const std::exception& e) {
    box(env, std::string("没有可以分班的工作表：") + e.what());
    box(env, kFbExitMessage);
    return shell::JobOutcome::Stopped;
  }
  st.fb_time_limit = 120;
  st.fb_max_diff = 1.0f;
  st.fb_class_count = 0;

  fb_confirm(env, st);
  if (!st.fb_go_on) {
    box(env, kFbExitMessage);
    return shell::JobOutcome::Stopped;
  }

  try {
    fb_prepare_classes(env, st);
  } catch (const std::exception& e) {
    return stop_failed(env, st, "检查数据与初始分班", e);
  }
  if (!st.fb_go_on) {
    box(env, kFbExitMessage);
    restore_host(env);
    return shell::JobOutcome::Stopped;
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
    return shell::JobOutcome::SaveFailed;
  }
  restore_host(env);
  box(env, fb_end_message(st.fb_elapsed));
  fb_reset(st);
  return shell::JobOutcome::Completed;
}

void ClassDivision::fb_show_help(shell::JobEnv& env) {
  auto form = make_fb_help();
  env.ui.show_modal(*form);
}

}  // namespace lczs::classdiv
