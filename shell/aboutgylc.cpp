#include "shell/aboutgylc.h"

namespace lczs::shell {

std::unique_ptr<ui::Form> make_gylc() {
  auto form = std::make_unique<ui::Form>("gylc", "关于栎川助手v2.0");
  using ui::ControlKind;
  form->add({.name = "Label2", .kind = ControlKind::Label,
             .caption = "栎川助手v2.0 在分班之外新增了会考成绩分析和普通考试成绩分析(年级)。"});
  form->add({.name = "Label5", .kind = ControlKind::Label,
             .caption = "欢迎提出使用中的意见与建议。"});
  form->add({.name = "Label3", .kind = ControlKind::Label,
             .caption = "意见与建议请见本项目 README 中的反馈方式。"});
  form->add({.name = "Label4", .kind = ControlKind::Label,
             .caption = "问题与改进请提交到本项目的问题跟踪。"});
  form->add({.name = "CommandButton1", .kind = ControlKind::CommandButton, .caption = "确定",
             .role = "confirm"});
  ui::Form* raw = form.get();
  form->on("CommandButton1", "Click", [raw] { raw->unload(); });
  return form;
}

void show_about(AddinState& state) {
  if (!state.gylc) state.gylc = make_gylc();
  state.ui->show_modal(*state.gylc);
  if (state.gylc && !state.gylc->loaded()) state.gylc.reset();
}

}  // namespace lczs::shell
