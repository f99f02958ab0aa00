#include "tests/win/win32_driver.h"

#include <cstdlib>
#include <iostream>

#include "ui/form_layout.h"

namespace lczs::wintest {

namespace {
Win32Driver* g_driver = nullptr;

std::string text_of(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring w(static_cast<size_t>(n) + 1, L'\0');
  GetWindowTextW(h, w.data(), n + 1);
  w.resize(static_cast<size_t>(n));
  return win::narrow(w);
}

struct Search {
  std::wstring name;
  HWND found = nullptr;
};

// Window enumeration callbacks are stdcall on 32-bit Windows: named
// functions, not lambdas.
BOOL CALLBACK find_named(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  auto* p = static_cast<const wchar_t*>(GetPropW(h, L"lczs.control"));
  if (p && s->name == p) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK find_prompt(HWND h, LPARAM lp) {
  wchar_t cls[32] = {};
  GetClassNameW(h, cls, 32);
  std::string t = text_of(h);
  if (std::wstring(cls) == L"Static" && !t.empty()) *reinterpret_cast<std::string*>(lp) = t;
  return TRUE;
}
}  // namespace

std::string Win32Form::name() const {
  auto* p = static_cast<const wchar_t*>(GetPropW(hwnd_, L"lczs.form"));
  return p ? win::narrow(std::wstring(p)) : std::string();
}

HWND Win32Form::control(const std::string& name) const {
  Search s{win::widen(name)};
  EnumChildWindows(hwnd_, find_named, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

bool Win32Form::enabled(const std::string& name) const {
  HWND h = control(name);
  return h && IsWindowEnabled(h);
}

void Win32Form::set_text(const std::string& name, const std::string& text) const {
  if (HWND h = control(name)) SetWindowTextW(h, win::widen(text).c_str());
}

void Win32Form::click(const std::string& name) const {
  HWND h = control(name);
  if (!h || !IsWindowEnabled(h)) return;  // a user cannot press it
  SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), BN_CLICKED), reinterpret_cast<LPARAM>(h));
}

std::string layout_mismatches(HWND form, const ui::Form& model) {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  ui::FormLayout layout = ui::layout_form(model, dpi);
  std::string out;
  RECT client{};
  GetClientRect(form, &client);
  if (client.right != layout.width || client.bottom != layout.height)
    out += "form " + std::to_string(client.right) + "x" + std::to_string(client.bottom) + "\n";
  for (const auto& p : layout.placements) {
    if (p.control->kind == ui::ControlKind::Page) continue;  // drawn as its tab
    HWND h = Win32Form(form).control(p.control->name);
    if (!h) {
      out += p.control->name + ": no window\n";
      continue;
    }
    RECT r{};
    GetWindowRect(h, &r);
    MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&r), 2);
    ui::Rect got{r.left, r.top, r.right - r.left, r.bottom - r.top};
    if (!(got == p.rect))
      out += p.control->name + ": at " + std::to_string(got.x) + "," + std::to_string(got.y) + " " +
             std::to_string(got.w) + "x" + std::to_string(got.h) + ", laid out at " + std::to_string(p.rect.x) +
             "," + std::to_string(p.rect.y) + " " + std::to_string(p.rect.w) + "x" + std::to_string(p.rect.h) +
             "\n";
  }
  return out;
}

Win32Driver::Win32Driver(std::vector<DialogStep> steps) : steps_(std::move(steps)) {
  g_driver = this;
  timer_ = SetTimer(nullptr, 0, 15, tick);
}

Win32Driver::~Win32Driver() {
  KillTimer(nullptr, timer_);
  g_driver = nullptr;
}

void CALLBACK Win32Driver::tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_driver) g_driver->on_tick();
}

void Win32Driver::on_tick() {
  // A run that keeps showing dialogs nobody expects would never end: stop
  // the whole harness with what was seen, rather than hang the build.
  if (problems_.size() > 20) {
    std::cout << "  Win32Driver: giving up; dialogs shown:";
    for (const auto& s : shown_) std::cout << "\n    " << s;
    std::cout << std::endl;
    std::exit(3);
  }
  HWND box = FindWindowW(L"#32770", L"栎川提示");
  HWND form = box ? nullptr : FindWindowW(L"lczs_form", nullptr);
  if (!box && !form) return;
  if (box) {
    std::string prompt;
    EnumChildWindows(box, find_prompt, reinterpret_cast<LPARAM>(&prompt));
    shown_.push_back("box: " + prompt);
    if (next_ < steps_.size() && steps_[next_].box && prompt.find(steps_[next_].text) != std::string::npos) {
      int answer = steps_[next_++].answer;
      SendMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    } else {
      problems_.push_back("unexpected box: " + prompt);
      next_ = steps_.size();
      SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return;
  }
  Win32Form f(form);
  shown_.push_back("form: " + f.name());
  if (next_ < steps_.size() && !steps_[next_].box && steps_[next_].text == f.name()) {
    auto act = steps_[next_++].act;
    act(f);
  } else {
    problems_.push_back("unexpected form: " + f.name());
    next_ = steps_.size();
    PostMessageW(form, WM_CLOSE, 0, 0);
  }
}

}  // namespace lczs::wintest
