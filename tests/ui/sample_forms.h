// Forms shaped like the system's: a settings form whose option group
// enables its manual boxes, a two-page form, a data-format form and an
// information form. Their handlers record what they saw.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/form.h"

namespace lczs::ui::testing {

struct Record {
  std::vector<std::string> events;  // "ok:<texts>", "cancel", "close", "OptionButton2"
};

// Like the class-division settings: 分班数 box, default/manual options, two
// manual boxes enabled only by the manual option, 确定 / 取消. `hints` sets
// the buttons' role hints; without them the captions tell.
inline std::unique_ptr<Form> settings_form(Record& rec, bool hints = true, bool ok_unloads = true) {
  auto f = std::make_unique<Form>("c_fbsz", "分班相关数据设置");
  Form* raw = f.get();
  f->add({.name = "c_2_lable", .kind = ControlKind::Label, .caption = "分班数："});
  f->add({.name = "c_fbs_txtbox", .kind = ControlKind::TextBox});
  f->add({.name = "c_1_lable", .kind = ControlKind::Label, .caption = "一、设置需要分班的班级数目"});
  f->add({.name = "OptionButton1", .kind = ControlKind::OptionButton, .value = true,
          .group = "g", .label = "c_4_lable"});
  f->add({.name = "OptionButton2", .kind = ControlKind::OptionButton, .group = "g", .label = "c_5_lable"});
  f->add({.name = "c_4_lable", .kind = ControlKind::Label, .caption = "默认"});
  f->add({.name = "c_5_lable", .kind = ControlKind::Label, .caption = "手动调整", .enabled = false});
  f->add({.name = "c_6_lable", .kind = ControlKind::Label, .caption = "程序执行时间：", .enabled = false});
  f->add({.name = "c_fbsj_txtbox", .kind = ControlKind::TextBox, .enabled = false});
  f->add({.name = "c_7_lable", .kind = ControlKind::Label, .caption = "(单位为分钟，例如 3 分钟)", .enabled = false});
  f->add({.name = "c_8_lable", .kind = ControlKind::Label, .caption = "允许最大差值：", .enabled = false});
  f->add({.name = "c_gkcz_txtbox", .kind = ControlKind::TextBox, .enabled = false});
  f->add({.name = "CommandButton1", .kind = ControlKind::CommandButton, .caption = "确定",
          .role = hints ? "confirm" : ""});
  f->add({.name = "CommandButton2", .kind = ControlKind::CommandButton, .caption = "取消",
          .role = hints ? "cancel" : ""});
  f->on("OptionButton2", "Click", [raw, &rec] {
    rec.events.push_back("OptionButton2");
    for (const char* n : {"c_5_lable", "c_6_lable", "c_fbsj_txtbox", "c_8_lable", "c_gkcz_txtbox"})
      raw->control(n).enabled = true;
  });
  f->on("OptionButton1", "Click", [raw, &rec] {
    rec.events.push_back("OptionButton1");
    for (const char* n : {"c_5_lable", "c_6_lable", "c_fbsj_txtbox", "c_8_lable", "c_gkcz_txtbox"})
      raw->control(n).enabled = false;
  });
  f->on("CommandButton1", "Click", [raw, &rec, ok_unloads] {
    rec.events.push_back("ok:" + raw->control("c_fbs_txtbox").text + "/" +
                         raw->control("c_fbsj_txtbox").text + "/" + raw->control("c_gkcz_txtbox").text);
    if (ok_unloads) raw->unload();
  });
  f->on("CommandButton2", "Click", [raw, &rec] {
    rec.events.push_back("cancel");
    raw->unload();
  });
  f->on("c_fbsz", "QueryClose", [&rec] { rec.events.push_back("close"); });
  return f;
}

// Like the exam options: two pages, then the buttons.
inline std::unique_ptr<Form> paged_form(Record& rec) {
  auto f = std::make_unique<Form>("ksfxForm", "考试成绩分析系统");
  Form* raw = f.get();
  f->add({.name = "MultiPage1", .kind = ControlKind::MultiPage});
  f->add({.name = "Page1", .kind = ControlKind::Page, .caption = "基本信息设置", .container = "MultiPage1"});
  f->add({.name = "Page2", .kind = ControlKind::Page, .caption = "按年级排名", .container = "MultiPage1"});
  f->add({.name = "Label1", .kind = ControlKind::Label, .caption = "请输入学生届：", .container = "Page1"});
  f->add({.name = "txtstdjie", .kind = ControlKind::TextBox, .container = "Page1"});
  f->add({.name = "LabelQ", .kind = ControlKind::Label, .caption = "年级前X、Y、Z名", .container = "Page2"});
  for (const char* n : {"nq1", "nq2", "nq3"})
    f->add({.name = n, .kind = ControlKind::TextBox, .container = "Page2"});
  f->add({.name = "btnOk", .kind = ControlKind::CommandButton, .caption = "确定", .role = "confirm"});
  f->add({.name = "btnCancel", .kind = ControlKind::CommandButton, .caption = "取消", .role = "cancel"});
  f->on("btnOk", "Click", [raw, &rec] {
    std::string s = "ok:";
    for (const char* n : {"txtstdjie", "nq1", "nq2", "nq3"}) s += raw->control(n).text + "/";
    rec.events.push_back(s);
    raw->unload();
  });
  f->on("btnCancel", "Click", [raw, &rec] {
    rec.events.push_back("cancel");
    raw->unload();
  });
  return f;
}

// Like a data-format form: a picture, 继续执行>> and 格式调整>>.
inline std::unique_ptr<Form> format_form(Record& rec, bool hints = true) {
  auto f = std::make_unique<Form>("gs", "数据格式要求");
  Form* raw = f.get();
  Control pic{.name = "pic", .kind = ControlKind::Picture};
  pic.picture.cells = {{"统一学号", "班级", "姓名"}, {"1", "", "张三"}};
  f->add(std::move(pic));
  f->add({.name = "zx_bt", .kind = ControlKind::CommandButton, .caption = "继续执行>>",
          .role = hints ? "confirm" : ""});
  f->add({.name = "gstz_bt", .kind = ControlKind::CommandButton, .caption = "格式调整>>",
          .role = hints ? "cancel" : ""});
  f->on("zx_bt", "Click", [raw, &rec] { rec.events.push_back("go on"); raw->unload(); });
  f->on("gstz_bt", "Click", [raw, &rec] { rec.events.push_back("adjust"); raw->unload(); });
  f->on("gs", "QueryClose", [&rec] { rec.events.push_back("close"); });
  return f;
}

// Like the help form: text and 关闭.
inline std::unique_ptr<Form> info_form(Record& rec, bool hints = true) {
  auto f = std::make_unique<Form>("fb_help", "分班帮助");
  Form* raw = f.get();
  f->add({.name = "Label1", .kind = ControlKind::Label, .caption = "说明文字"});
  f->add({.name = "CommandButton1", .kind = ControlKind::CommandButton, .caption = "关闭",
          .role = hints ? "close" : ""});
  f->on("CommandButton1", "Click", [raw, &rec] { rec.events.push_back("closed"); raw->unload(); });
  f->on("fb_help", "QueryClose", [&rec] { rec.events.push_back("close"); });
  return f;
}

}  // namespace lczs::ui::testing
