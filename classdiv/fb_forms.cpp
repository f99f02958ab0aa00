#include "classdiv/fb_forms.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/numbers.h"
#include "host/setting_numbers.h"

namespace lczs::classdiv {

namespace {

using ui::Control;
using ui::ControlKind;

Control label(std::string name, std::string caption, bool enabled = true) {
  return {.name = std::move(name), .kind = ControlKind::Label, .caption = std::move(caption),
          .enabled = enabled};
}

Control button(std::string name, std::string caption, std::string role) {
  return {.name = std::move(name), .kind = ControlKind::CommandButton,
          .caption = std::move(caption), .role = std::move(role)};
}

// The excerpt the data-format form shows: eight students of an undivided
// grade, three subjects and their sum.
ui::PictureTable gs_picture() {
  ui::PictureTable p;
  p.cells.push_back({"统一学号", "班级", "姓名", "性别", "语文", "数学", "英语", "总分"});
  struct Row { const char* name; const char* sex; int a, b, c; };
  const Row rows[] = {
      {"王志强", "男", 98, 105, 96}, {"李晓燕", "女", 112, 97, 118},
      {"张伟", "男", 87, 121, 90},   {"刘芳", "女", 105, 88, 109},
      {"陈浩", "男", 93, 110, 85},   {"杨丽", "女", 101, 92, 114},
      {"赵磊", "男", 79, 98, 81},    {"黄敏", "女", 96, 84, 102},
  };
  int no = 1;
  for (const Row& r : rows) {
    p.cells.push_back({std::to_string(no++), "", r.name, r.sex, std::to_string(r.a),
                       std::to_string(r.b), std::to_string(r.c), std::to_string(r.a + r.b + r.c)});
  }
  p.first_row_number = 1;
  return p;
}

// A typed number; one too large (or too small) for a double is as unusable
// as a letter.
std::optional<double> typed_number(const std::string& text) {
  try {
    return host::parse_user_number(text);
  } catch (const std::out_of_range&) {
    return std::nullopt;
  }
}

constexpr const char* kGsCaption = "数据格式要求";
constexpr const char* kSettingsCaption = "分班相关数据设置";
constexpr const char* kHelpCaption = "分班帮助";

const char* const kManual[] = {"c_5_lable", "c_6_lable", "c_7_lable", "c_8_lable",
                               "c_9_lable", "c_fbsj_txtbox", "c_gkcz_txtbox"};

}  // namespace

std::unique_ptr<ui::Form> make_gs(FbState& st) {
  auto f = std::make_unique<ui::Form>("gs", kGsCaption);
  f->add({.name = "分班原始数据格式图片", .kind = ControlKind::Picture, .picture = gs_picture()});
  Control ts = label("ts_text", "提示：原始数据格式是否与下图一致，不一样请按图进行格式调整！");
  ts.font.size = 10.5;
  f->add(ts);
  f->add(label("ts2_text",
               "按照格式，你可做的修改就是增加(或减少)学科，学科数目无限制，但总分列仍必须有，"
               "且在最后一列。另外，统一学号列的内容你可任意修改(有无内容均可)。"));
  f->add(button("zx_bt", "继续执行>>", "confirm"));
  f->add(button("gstz_bt", "格式调整>>", "cancel"));
  ui::Form* form = f.get();
  f->on("zx_bt", "Click", [form] { form->unload(); });
  f->on("gstz_bt", "Click", [form, &st] {
    form->unload();
    st.fb_go_on = false;
  });
  return f;
}

ui::FormFlags gs_flags() {
  return {.form = "gs", .caption = kGsCaption, .kind = ui::FormKind::DataFormat};
}

ui::FormFlags c_fbsz_flags() {
  return {.form = "c_fbsz",
          .caption = kSettingsCaption,
          .kind = ui::FormKind::Settings,
          .fields = {{.option = "--classes", .text_boxes = {"c_fbs_txtbox"}, .value_name = "K",
                      .meaning = "分班数（2 或以上）"},
                     {.option = "--minutes", .text_boxes = {"c_fbsj_txtbox"},
                      .choose_first = "OptionButton2", .value_name = "M",
                      .meaning = "程序执行时间，单位为分钟（选“手动调整”；默认 2 分钟）"},
                     {.option = "--max-diff", .text_boxes = {"c_gkcz_txtbox"},
                      .choose_first = "OptionButton2", .value_name = "D",
                      .meaning = "各科及总分允许最大差值，单位为分（选“手动调整”；默认 1 分）"}}};
}

ui::FormFlags fb_help_flags() {
  return {.form = "fb_help", .caption = kHelpCaption, .kind = ui::FormKind::Info};
}

std::unique_ptr<ui::Form> make_c_fbsz(FbState& st, ui::Ui& ui) {
  auto f = std::make_unique<ui::Form>("c_fbsz", kSettingsCaption);
  f->add(label("c_2_lable", "分班数："));
  f->add({.name = "c_fbs_txtbox", .kind = ControlKind::TextBox});
  f->add(label("c_1_lable", "一、设置需要分班的班级数目"));
  f->add(label("c_3_lable", "二、设置分班程序参数"));
  f->add({.name = "OptionButton1", .kind = ControlKind::OptionButton, .value = true,
          .group = "c_fbsz_mode", .label = "c_4_lable"});
  f->add({.name = "OptionButton2", .kind = ControlKind::OptionButton, .value = false,
          .group = "c_fbsz_mode", .label = "c_5_lable"});
  f->add(label("c_4_lable", "默认(程序执行时间为2分钟，各科最大差值为1分)"));
  f->add(label("c_5_lable", "手动调整", false));
  f->add(label("c_6_lable", "程序执行时间：", false));
  f->add({.name = "c_fbsj_txtbox", .kind = ControlKind::TextBox, .enabled = false});
  f->add(label("c_7_lable", "(单位为分钟，例如 3 分钟)", false));
  f->add(label("c_8_lable", "各科及总分允许最大差值：", false));
  f->add({.name = "c_gkcz_txtbox", .kind = ControlKind::TextBox, .enabled = false});
  f->add(label("c_9_lable", "(单位为分，如0.8分)", false));
  f->add(button("CommandButton1", "确定", "confirm"));
  f->add(button("CommandButton2", "取消", "cancel"));
  f->add(label("Label1", "提醒：各科及总分允许差值设得越小，则程序执行时间需设得长些，否    "));
  f->add(label("Label2", "则程序用完时间，但仍可能不能达到你的要求(各科允许最大差值)。"));
  f->add(label("Label3", "(请输入阿拉伯数字)"));
  f->rows = {{"c_1_lable"},
             {"c_2_lable", "c_fbs_txtbox", "Label3"},
             {"c_3_lable"},
             {"OptionButton1", "c_4_lable"},
             {"OptionButton2", "c_5_lable"},
             {"c_6_lable", "c_fbsj_txtbox", "c_7_lable"},
             {"c_8_lable", "c_gkcz_txtbox", "c_9_lable"},
             {"Label1"},
             {"Label2"}};

  ui::Form* form = f.get();
  f->on("OptionButton1", "Click", [form] {
    if (!form->control("OptionButton1").value) return;
    form->control("c_4_lable").enabled = true;
    form->control("OptionButton2").value = false;
    for (const char* name : kManual) form->control(name).enabled = false;
  });
  f->on("OptionButton2", "Click", [form] {
    if (!form->control("OptionButton2").value) return;
    form->control("OptionButton1").value = false;
    form->control("c_4_lable").enabled = false;
    for (const char* name : kManual) form->control(name).enabled = true;
  });
  f->on("CommandButton1", "Click", [form, &st, &ui] {
    constexpr std::string_view kTypeError = "数据类型错误，请重新输入!";
    // The manual boxes are read before anything is stored: a box that does
    // not hold a usable number keeps everything typed in this showing from
    // being stored, so the user sees the form again with the defaults
    // untouched. Its message only shows when the class count itself was
    // fine, so one confirmation never gives two messages; the reason given
    // when the form comes back names the first box refused.
    std::optional<int> time_limit;
    std::optional<float> max_diff;
    std::string bad_manual;
    auto quoted = [](const std::string& text) { return "“" + text + "”"; };
    if (form->control("OptionButton2").value) {
      const std::string minutes = host::trim(form->control("c_fbsj_txtbox").text);
      if (!minutes.empty()) {
        auto v = typed_number(minutes);
        double seconds = v ? host::round_half_even(*v * 60) : -1;
        if (!v) bad_manual = "程序执行时间" + quoted(minutes) + "不是数字";
        else if (seconds < 0) bad_manual = "程序执行时间" + quoted(minutes) + "是负数";
        else if (seconds > host::kMaxTimeLimitSeconds)
          bad_manual = "程序执行时间" + quoted(minutes) + "超过 " + host::int_text(host::kMaxTimeLimitSeconds / 60) +
                       " 分钟（" + host::int_text(host::kMaxTimeLimitSeconds) + " 秒）";
        else time_limit = static_cast<int>(seconds);
      }
      const std::string diff = host::trim(form->control("c_gkcz_txtbox").text);
      if (!diff.empty()) {
        auto v = typed_number(diff);
        if (!v && bad_manual.empty()) bad_manual = "各科及总分允许最大差值" + quoted(diff) + "不是数字";
        else if (v) max_diff = static_cast<float>(*v);
      }
    }

    const std::string count = host::trim(form->control("c_fbs_txtbox").text);
    form->refused.clear();
    if (count.empty()) {
      ui.message_box("请输入分班数!", ui::Buttons::Ok, ui::kTitle);
      form->refused = "没有填写分班数";
    } else {
      auto v = typed_number(count);
      double k = v ? host::round_half_even(*v) : -1;
      if (!v) form->refused = "分班数" + quoted(count) + "不是数字";
      else if (*v < 0) form->refused = "分班数" + quoted(count) + "是负数";
      else if (k > host::kMaxClassCount)
        form->refused = "分班数" + quoted(count) + "超过 " + host::int_text(host::kMaxClassCount);
      else form->refused = bad_manual;
      if (!form->refused.empty())
        ui.message_box(kTypeError, ui::Buttons::Ok, ui::kTitle);
      else
        st.fb_class_count = static_cast<int>(k);
    }
    // Stored whatever became of the class count; they hold for the rest of
    // the run.
    if (bad_manual.empty()) {
      if (time_limit) st.fb_time_limit = *time_limit;
      if (max_diff) st.fb_max_diff = *max_diff;
    }
    form->unload();
  });
  f->on("CommandButton2", "Click", [form, &st] {
    st.fb_go_on = false;
    form->unload();
  });
  return f;
}

const std::vector<std::string>& fb_help_lines() {
  static const std::vector<std::string> lines = {
      "   栎川助手软件是一款在Excel平台上开发的应用程序，而分班只是其",
      "中的一个子程序。它必须运行在Excel运行环境中。",
      "  分班子程序是一款很好的辅助分班的帮手，它最大的优点在于能平衡",
      "各学科及总分的均分之间的差别，通过使用本软件，你能取得真正平衡",
      "各学科分班的最优解，当你设置时间足够时，把各班各科均分的最大",
      "允许差值设得较小时，它能使差值控制在你的要求范围之内(甚至在",
      "0.1分以内)，做到真正意义上的各班平衡(各学科及总分均分基本一样)，",
      "绝对是你的得力助手。",
      "具体使用：",
      "使用时，你只要按提示信息正确输入相关数据即可。这里需在注意的是",
      "分班的原始数据表必须与程序中提示的格式一致(当然科目可以大于3门，",
      "但最后一列必须是总分)，其中的统一学号列必须要有，内容可以是分班前",
      "他以前所在的班级，或者是新生入学时编的统一学号。另外性别这一列内容",
      "必须是汉字男或女，你不可用其它符号表示。",
      "如有问题或建议，请阅读本项目的说明文件 README.md，并按其中介绍的",
      "方式反馈给我们。",
  };
  return lines;
}

std::unique_ptr<ui::Form> make_fb_help() {
  auto f = std::make_unique<ui::Form>("fb_help", kHelpCaption);
  int n = 1;
  for (const std::string& line : fb_help_lines()) f->add(label("Label" + std::to_string(n++), line));
  f->add(button("CommandButton1", "关闭", "close"));
  ui::Form* form = f.get();
  f->on("CommandButton1", "Click", [form] { form->unload(); });
  return f;
}

}  // namespace lczs::classdiv
