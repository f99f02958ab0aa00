// The Win32 dialogs under Wine with its null display driver: a form of the model is
// built as a window, read back control by control, and driven the way a
// user's clicks arrive (WM_COMMAND from the controls) from a timer inside
// the form's own modal loop.
#include <functional>
#include <string>
#include <vector>

#include "classdiv/fb_forms.h"
#include "classdiv/fb_state.h"
#include "tests/win/check.h"
#include "tests/win/win32_driver.h"
#include "ui/form.h"
#include "ui/ui.h"
#include "win/com_util.h"
#include "win/win32_ui.h"

namespace lczs::wintest {
namespace {

struct Child {
  HWND hwnd;
  std::string cls, text;
  bool enabled, visible, checked;
};

BOOL CALLBACK add_child(HWND h, LPARAM lp) {
  wchar_t cls[64] = {}, text[256] = {};
  GetClassNameW(h, cls, 64);
  GetWindowTextW(h, text, 256);
  bool checked = SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
  reinterpret_cast<std::vector<Child>*>(lp)->push_back(
      {h, win::narrow(std::wstring(cls)), win::narrow(std::wstring(text)), IsWindowEnabled(h) != FALSE,
       (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0, checked});
  return TRUE;
}

std::vector<Child> children_of(HWND form) {
  std::vector<Child> out;
  EnumChildWindows(form, add_child, reinterpret_cast<LPARAM>(&out));
  return out;
}

const Child* find(const std::vector<Child>& list, const std::string& text) {
  for (const auto& c : list)
    if (c.text == text) return &c;
  return nullptr;
}

// The user's action: WM_COMMAND to the form, as a clicked control sends it.
void click(HWND form, const Child& c) {
  SendMessageW(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c.hwnd), BN_CLICKED),
               reinterpret_cast<LPARAM>(c.hwnd));
}

// Runs `steps` one per timer tick while the form is shown.
std::vector<std::function<void(HWND)>>* g_steps = nullptr;
size_t g_step = 0;

void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
  HWND form = FindWindowW(L"lczs_form", nullptr);
  if (!form || !g_steps) return;
  if (g_step >= g_steps->size()) {
    // The steps are done but the form is still there: close it so the test
    // ends (and fails on what it expected).
    PostMessageW(form, WM_CLOSE, 0, 0);
    return;
  }
  // Failures are recorded, never thrown through the window manager.
  try {
    (*g_steps)[g_step++](form);
  } catch (const Stop&) {
    g_step = g_steps->size();
  }
}

void show_with(ui::Ui& dialogs, ui::Form& form, std::vector<std::function<void(HWND)>> steps) {
  // The timer must stop even when the showing throws, or it would go on
  // acting on the dialogs of later cases.
  struct Timer {
    UINT_PTR id;
    ~Timer() {
      KillTimer(nullptr, id);
      g_steps = nullptr;
    }
  };
  g_steps = &steps;
  g_step = 0;
  Timer timer{SetTimer(nullptr, 0, 20, tick)};
  dialogs.show_modal(form);
}

// A settings form in the style of the jobs' forms: an option group whose
// second button enables a text box, a picture, two pages, 确定 and 取消.
std::unique_ptr<ui::Form> settings_form(std::string& typed, std::string& pressed) {
  auto f = std::make_unique<ui::Form>("c_test", "分班参数设置");
  f->add({.name = "Label1", .kind = ui::ControlKind::Label, .caption = "请输入分班数："});
  f->add({.name = "txt", .kind = ui::ControlKind::TextBox, .text = "3"});
  f->add({.name = "OptionButton1", .kind = ui::ControlKind::OptionButton, .caption = "默认", .value = true,
          .group = "g"});
  f->add({.name = "OptionButton2", .kind = ui::ControlKind::OptionButton, .caption = "手动", .group = "g"});
  f->add({.name = "minutes", .kind = ui::ControlKind::TextBox, .text = "2", .enabled = false});
  ui::Control picture{.name = "Image1", .kind = ui::ControlKind::Picture};
  picture.picture.cells = {{"统一学号", "班级", "姓名"}, {"1", "", "张三"}};
  f->add(picture);
  f->add({.name = "MultiPage1", .kind = ui::ControlKind::MultiPage});
  f->add({.name = "Page1", .kind = ui::ControlKind::Page, .caption = "第一页", .container = "MultiPage1"});
  f->add({.name = "Page2", .kind = ui::ControlKind::Page, .caption = "第二页", .container = "MultiPage1"});
  f->add({.name = "Label2", .kind = ui::ControlKind::Label, .caption = "页一说明", .container = "Page1"});
  f->add({.name = "Label3", .kind = ui::ControlKind::Label, .caption = "页二说明", .container = "Page2"});
  f->add({.name = "CommandButton1", .kind = ui::ControlKind::CommandButton, .caption = "确定", .role = "confirm"});
  f->add({.name = "CommandButton2", .kind = ui::ControlKind::CommandButton, .caption = "取消", .role = "cancel"});
  ui::Form* form = f.get();
  f->on("OptionButton2", "Click", [form] { form->control("minutes").enabled = true; });
  f->on("OptionButton1", "Click", [form] { form->control("minutes").enabled = false; });
  f->on("CommandButton1", "Click", [form, &typed, &pressed] {
    typed = form->control("txt").text;
    pressed = "确定";
    form->unload();
  });
  f->on("CommandButton2", "Click", [form, &pressed] {
    pressed = "取消";
    form->unload();
  });
  return f;
}

LCZS_TEST(win32_form_is_built_and_driven_from_the_model) {
  auto dialogs = win::make_win32_ui();
  std::string typed, pressed;
  auto form = settings_form(typed, pressed);
  bool built = false, enabled_after_choice = false, second_page_hidden = false;
  show_with(*dialogs, *form,
            {[&](HWND h) {
               wchar_t caption[64] = {};
               GetWindowTextW(h, caption, 64);
               CHECK_EQ(win::narrow(std::wstring(caption)), std::string("分班参数设置"));
               auto kids = children_of(h);
               const Child* manual = find(kids, "手动");
               const Child* deflt = find(kids, "默认");
               const Child* minutes = find(kids, "2");
               REQUIRE(manual && deflt && minutes && find(kids, "确定") && find(kids, "取消"));
               CHECK(deflt->checked);
               CHECK(!manual->checked);
               CHECK(!minutes->enabled);  // greyed as the model says
               const Child* page2 = find(kids, "页二说明");
               REQUIRE(page2);
               second_page_hidden = !page2->visible;
               built = true;
               click(h, *manual);
             },
             [&](HWND h) {
               auto kids = children_of(h);
               // The handler enabled the box; the window follows the model.
               enabled_after_choice = find(kids, "2") && find(kids, "2")->enabled && find(kids, "手动")->checked &&
                                      !find(kids, "默认")->checked;
               const Child* box = find(kids, "3");
               REQUIRE(box);
               SetWindowTextW(box->hwnd, L"5");  // EN_CHANGE reaches the model
             },
             [&](HWND h) { click(h, *find(children_of(h), "确定")); }});
  CHECK(built);
  CHECK(enabled_after_choice);
  CHECK(second_page_hidden);
  CHECK_EQ(typed, std::string("5"));
  CHECK_EQ(pressed, std::string("确定"));
  CHECK(!form->loaded());
}

LCZS_TEST(win32_close_box_and_escape) {
  auto dialogs = win::make_win32_ui();
  std::string typed, pressed;
  auto form = settings_form(typed, pressed);
  show_with(*dialogs, *form, {[&](HWND h) { SendMessageW(h, WM_COMMAND, IDCANCEL, 0); }});
  CHECK_EQ(pressed, std::string("取消"));  // Esc presses the cancelling button

  auto info = std::make_unique<ui::Form>("gylc", "关于栎川助手v2.0");
  info->add({.name = "CommandButton1", .kind = ui::ControlKind::CommandButton, .caption = "确定", .role = "close"});
  show_with(*dialogs, *info, {[&](HWND h) { SendMessageW(h, WM_CLOSE, 0, 0); }});
  CHECK(!info->loaded());  // the close box unloads
}

LCZS_TEST(win32_handler_failure_reaches_the_caller) {
  auto dialogs = win::make_win32_ui();
  ui::Form form("f", "出错");
  form.add({.name = "b", .kind = ui::ControlKind::CommandButton, .caption = "执行"});
  form.on("b", "Click", [] { throw std::runtime_error("处理程序出错"); });
  std::string what;
  try {
    show_with(*dialogs, form, {[&](HWND h) { click(h, *find(children_of(h), "执行")); }});
  } catch (const std::runtime_error& e) {
    what = e.what();
  }
  CHECK_EQ(what, std::string("处理程序出错"));
  CHECK(FindWindowW(L"lczs_form", nullptr) == nullptr);  // the window is gone
}

// The message box: found by its title, its prompt read, answered by the
// button the case names.
int g_box_answer = 0;
std::string g_box_text;
bool g_box_has_cancel = false;
std::wstring g_box_title = L"栎川提示";

void CALLBACK answer_box(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = FindWindowW(L"#32770", g_box_title.c_str());
  if (!box) return;
  g_box_text.clear();
  g_box_has_cancel = GetDlgItem(box, IDCANCEL) != nullptr;
  for (const auto& c : children_of(box))
    if (c.cls == "Static" && !c.text.empty()) g_box_text = c.text;
  SendMessageW(box, WM_COMMAND, MAKEWPARAM(g_box_answer, BN_CLICKED), 0);
}

LCZS_TEST(win32_message_box_buttons_and_answers) {
  auto dialogs = win::make_win32_ui();
  struct Case {
    ui::Buttons buttons;
    int press;
    int expected;
    bool has_cancel;
  };
  const Case cases[] = {
      {ui::Buttons::OkCancel, IDOK, ui::kOk, true},
      {ui::Buttons::OkCancel, IDCANCEL, ui::kCancel, true},
      {ui::Buttons::Ok, IDOK, ui::kOk, false},
  };
  for (const Case& c : cases) {
    g_box_answer = c.press;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, answer_box);
    int got = dialogs->message_box("开始分班，继续吗？", c.buttons, ui::kTitle);
    KillTimer(nullptr, timer);
    CHECK_EQ(got, c.expected);
    CHECK_EQ(g_box_text, std::string("开始分班，继续吗？"));
    CHECK_EQ(g_box_has_cancel, c.has_cancel);
  }
}

// A box without a title of its own shows the application's name, as the
// application's own message box does; the usual name when it cannot be asked.
LCZS_TEST(win32_untitled_box_shows_the_application_name) {
  struct Case {
    std::function<std::string()> host_name;
    const wchar_t* title;
  };
  const Case cases[] = {
      {[] { return std::string("测试表格程序"); }, L"测试表格程序"},
      {[]() -> std::string { throw std::runtime_error("已断开"); }, L"Microsoft Excel"},
  };
  for (const Case& c : cases) {
    auto dialogs = win::make_win32_ui(c.host_name);
    g_box_title = c.title;
    g_box_answer = IDOK;
    g_box_text.clear();
    UINT_PTR timer = SetTimer(nullptr, 0, 20, answer_box);
    dialogs->message_box("请输入基本信息!", ui::Buttons::Ok, "");
    KillTimer(nullptr, timer);
    CHECK_EQ(g_box_text, std::string("请输入基本信息!"));  // found under that title
  }
  g_box_title = L"栎川提示";
}

// The class-division settings form as drawn: every window where the layout
// puts it, the focus in the first text box, and each label greyed by its
// own state, apart from the option button beside it.
LCZS_TEST(win32_settings_form_follows_its_layout) {
  auto dialogs = win::make_win32_ui();
  classdiv::FbState st;
  auto form = classdiv::make_c_fbsz(st, *dialogs);
  auto enabled = [](HWND h, const char* name) { return Win32Form(h).enabled(name); };
  bool opened = false, switched = false;
  show_with(*dialogs, *form,
            {[&](HWND h) {
               CHECK_EQ(layout_mismatches(h, *form), std::string());
               CHECK(GetFocus() == Win32Form(h).control("c_fbs_txtbox"));
               CHECK(enabled(h, "c_4_lable"));
               CHECK(!enabled(h, "c_5_lable"));
               CHECK(enabled(h, "OptionButton2"));
               opened = true;
               Win32Form(h).click("OptionButton2");
             },
             [&](HWND h) {
               CHECK(!enabled(h, "c_4_lable"));
               CHECK(enabled(h, "c_5_lable"));
               CHECK(enabled(h, "OptionButton1"));
               CHECK(enabled(h, "c_fbsj_txtbox"));
               switched = true;
               Win32Form(h).click("CommandButton2");
             }});
  CHECK(opened && switched);
  CHECK(!st.fb_go_on);
}

}  // namespace
}  // namespace lczs::wintest
