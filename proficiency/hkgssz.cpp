// hkgssz, 数据格式要求: shows the grade-list layout the analysis expects.
#include <string>
#include <vector>

#include "proficiency/hkfx.h"

namespace lczs::proficiency {

namespace {

ui::PictureTable layout_picture() {
  ui::PictureTable pic;
  pic.cells.push_back({"班级", "学号", "姓名", "语文", "数学", "英语"});
  const char* names[] = {"张三", "李四", "王五", "赵六", "钱七", "孙八", "周九"};
  const char* grades[][3] = {{"A", "B", "A"}, {"B", "A", "C"}, {"A", "A", "B"}, {"C", "B", "A"},
                             {"B", "C", "B"}, {"A", "B", "A"}, {"B", "A", "C"}};
  for (int i = 0; i < 7; ++i) {
    pic.cells.push_back({"301", std::to_string(i + 1), names[i], grades[i][0], grades[i][1],
                         grades[i][2]});
  }
  pic.first_row_number = 1;
  return pic;
}

constexpr const char* kCaption = "数据格式要求";

}  // namespace

ui::FormFlags hkgssz_flags() {
  return {.form = "hkgssz", .caption = kCaption, .kind = ui::FormKind::DataFormat};
}

std::unique_ptr<ui::Form> make_hkgssz(HkState& st) {
  auto form = std::make_unique<ui::Form>("hkgssz", kCaption);
  form->font = ui::FontSpec{"宋体", 9};

  ui::Control image;
  image.name = "Image1";
  image.kind = ui::ControlKind::Picture;
  image.picture = layout_picture();
  form->add(image);

  ui::Control hint;
  hint.name = "ts_text";
  hint.kind = ui::ControlKind::Label;
  hint.caption = "提示：原始数据格式是否与下图一致，不一样请按图进行格式调整！";
  hint.font = ui::FontSpec{"宋体", 10.5};
  form->add(hint);

  ui::Control adjust;
  adjust.name = "hkfx_tz_bt";
  adjust.kind = ui::ControlKind::CommandButton;
  adjust.caption = "格式调整>>";
  adjust.role = "cancel";
  form->add(adjust);

  ui::Control go;
  go.name = "hkfx_zx_bt";
  go.kind = ui::ControlKind::CommandButton;
  go.caption = "继续执行>>";
  go.role = "confirm";
  form->add(go);

  ui::Control note;
  note.name = "Label1";
  note.kind = ui::ControlKind::Label;
  note.caption = "注意 ：学科数目无限制";
  form->add(note);

  ui::Form* f = form.get();
  form->on("hkfx_tz_bt", "Click", [f, &st] { hkfx_tz_bt_Click(*f, st); });
  form->on("hkfx_zx_bt", "Click", [f] { hkfx_zx_bt_Click(*f); });
  return form;
}

void hkfx_tz_bt_Click(ui::Form& form, HkState& st) {
  st.hk_go_on = false;
  form.unload();
}

void hkfx_zx_bt_Click(ui::Form& form) { form.unload(); }

}  // namespace lczs::proficiency
