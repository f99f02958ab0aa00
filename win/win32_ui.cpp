#include "win/win32_ui.h"

#include <algorithm>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/scripted_ui.h"
#include "win/com_util.h"
#include "win/module.h"

#include <commctrl.h>  // after windows.h

namespace lczs::win {

namespace {

constexpr int kMargin = 12;
constexpr int kGap = 6;
constexpr int kWidth = 460;  // client width of a form
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 26;
constexpr int kEditHeight = 22;
constexpr int kFirstId = 1000;
constexpr wchar_t kFormClass[] = L"lczs_form";
constexpr wchar_t kPictureClass[] = L"lczs_picture";
// Window properties naming the form and each control's window, so that
// automation (and the tests) can find a control by its model name.
constexpr wchar_t kFormProp[] = L"lczs.form";
constexpr wchar_t kControlProp[] = L"lczs.control";

HINSTANCE instance() {
  HMODULE m = module_handle();
  return m ? m : GetModuleHandleW(nullptr);
}

HFONT make_font(const ui::FontSpec& f) {
  HDC dc = GetDC(nullptr);
  int height = -MulDiv(static_cast<int>(f.size * 10 + 0.5), GetDeviceCaps(dc, LOGPIXELSY), 720);
  ReleaseDC(nullptr, dc);
  std::wstring face = widen(f.name);
  return CreateFontW(height, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

SIZE text_extent(HFONT font, const std::wstring& text, int width) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r{0, 0, width, 0};
  DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return {r.right - r.left, r.bottom - r.top};
}

// One window per control of the model.
struct Item {
  ui::Control* control = nullptr;
  HWND hwnd = nullptr;
  HFONT font = nullptr;
  int page = -1;  // index of the tab that shows it, -1 when always shown
  std::wstring name;  // the control's name, as a window property
};

class FormWindow {
 public:
  explicit FormWindow(ui::Form& form) : form_(form) {}
  ~FormWindow() {
    destroy();
    for (auto& i : items_)
      if (i.font) DeleteObject(i.font);
    if (form_font_) DeleteObject(form_font_);
  }

  void run() {
    HWND owner = GetActiveWindow();
    create();
    if (!hwnd_) throw std::runtime_error("无法显示窗体 " + form_.name());
    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    MSG msg;
    while (!done_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (IsDialogMessageW(hwnd_, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (owner) {
      EnableWindow(owner, TRUE);
      SetActiveWindow(owner);
    }
    destroy();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
      self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (self) {
      LRESULT out = 0;
      if (self->handle(hwnd, msg, wp, lp, out)) return out;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  // Runs a user action on the model; a handler's failure ends the showing
  // and is rethrown to the caller of show_modal.
  template <class F>
  void act(F&& f) {
    if (done_) return;
    try {
      f();
    } catch (const std::exception&) {
      failure_ = std::current_exception();
    } catch (const ui::ScriptViolation&) {
      failure_ = std::current_exception();
    }
    if (failure_ || !form_.loaded()) {
      done_ = true;
      PostMessageW(hwnd_, WM_NULL, 0, 0);
      return;
    }
    refresh();
  }

  bool handle(HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT& out) {
    switch (msg) {
      case WM_COMMAND: {
        Item* item = by_id(LOWORD(wp));
        if (!item && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
          // Enter and Esc press the confirming and cancelling buttons.
          item = by_role(LOWORD(wp) == IDOK ? "confirm" : "cancel");
          if (!item && LOWORD(wp) == IDCANCEL) item = by_role("close");
          if (!item) return true;
          if (!item->control->enabled || !item->control->visible) return true;
          std::string name = item->control->name;
          act([&] { form_.click(name); });
          return true;
        }
        if (!item) return false;
        std::string name = item->control->name;
        if (item->control->kind == ui::ControlKind::CommandButton && HIWORD(wp) == BN_CLICKED) {
          act([&] { form_.click(name); });
        } else if (item->control->kind == ui::ControlKind::OptionButton && HIWORD(wp) == BN_CLICKED) {
          act([&] { form_.choose(name); });
        } else if (item->control->kind == ui::ControlKind::TextBox && HIWORD(wp) == EN_CHANGE &&
                   !refreshing_) {
          std::string text = window_text(item->hwnd);
          if (text != item->control->text) act([&] { form_.set_text(name, text); });
        }
        return true;
      }
      case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->code == TCN_SELCHANGE) {
          show_page(static_cast<int>(SendMessageW(hdr->hwndFrom, TCM_GETCURSEL, 0, 0)));
          return true;
        }
        return false;
      }
      case WM_CLOSE:
        act([&] { form_.close_box(); });
        return true;
      case WM_CTLCOLORSTATIC:
        out = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return true;
      default:
        return false;
    }
  }

  static std::string window_text(HWND h) {
    int n = GetWindowTextLengthW(h);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(h, w.data(), n + 1);
    w.resize(static_cast<size_t>(n));
    return narrow(w);
  }

  Item* by_id(int id) {
    int i = id - kFirstId;
    if (i < 0 || i >= static_cast<int>(items_.size())) return nullptr;
    return &items_[static_cast<size_t>(i)];
  }
  Item* by_role(const std::string& role) {
    for (auto& i : items_)
      if (i.control->kind == ui::ControlKind::CommandButton && i.control->role == role) return &i;
    return nullptr;
  }

  void destroy() {
    if (!hwnd_) return;
    for (auto& i : items_)
      if (i.hwnd) RemovePropW(i.hwnd, kControlProp);
    RemovePropW(hwnd_, kFormProp);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }

  // ---- building -------------------------------------------------------------

  void create() {
    register_classes();
    form_font_ = make_font(form_.font);
    std::wstring caption = widen(form_.caption());
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kFormClass, caption.c_str(), style,
                            CW_USEDEFAULT, CW_USEDEFAULT, kWidth, 200, nullptr, nullptr, instance(), this);
    if (!hwnd_) return;
    form_name_ = widen(form_.name());
    SetPropW(hwnd_, kFormProp, const_cast<wchar_t*>(form_name_.c_str()));
    // Filled before any window refers to an item: the vector never moves.
    for (const auto& c : form_.controls()) {
      Item item;
      item.control = c.get();
      item.name = widen(c->name);
      items_.push_back(item);
    }
    int y = layout("", kMargin, kMargin, kWidth - 2 * kMargin, -1);
    RECT r{0, 0, kWidth, y + kMargin};
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_DLGMODALFRAME);
    int w = r.right - r.left, h = r.bottom - r.top;
    int sx = GetSystemMetrics(SM_CXSCREEN), sy = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(hwnd_, nullptr, (sx - w) / 2, (sy - h) / 2, w, h, SWP_NOZORDER);
    show_page(0);
    refresh();
  }

  static void register_classes() {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance();
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kFormClass;
    RegisterClassExW(&wc);
    WNDCLASSEXW pc{};
    pc.cbSize = sizeof pc;
    pc.lpfnWndProc = picture_proc;
    pc.hInstance = instance();
    pc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    pc.lpszClassName = kPictureClass;
    pc.cbWndExtra = sizeof(void*);
    RegisterClassExW(&pc);
  }

  size_t index_of(const ui::Control* c) const {
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].control == c) return i;
    return 0;
  }

  HWND child(const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int w, int h,
             Item& item, DWORD ex = 0) {
    int id = kFirstId + static_cast<int>(&item - items_.data());
    HWND hwnd = CreateWindowExW(ex, cls, text.c_str(), WS_CHILD | style, x, y, w, h, hwnd_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    item.hwnd = hwnd;
    if (hwnd) SetPropW(hwnd, kControlProp, const_cast<wchar_t*>(item.name.c_str()));
    item.font = make_font(item.control->font);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(item.font ? item.font : form_font_), TRUE);
    return hwnd;
  }

  std::wstring option_caption(const ui::Control& c) const {
    if (!c.caption.empty() || c.label.empty() || !form_.has_control(c.label)) return widen(c.caption);
    return widen(form_.control(c.label).caption);
  }

  // Lays out the controls of one container from (x, y) in a column of the
  // given width; returns the y below the last one.
  int layout(const std::string& container, int x, int y, int width, int page) {
    std::vector<Item*> buttons;
    for (auto* c : form_.controls_in(container)) {
      Item& item = items_[index_of(c)];
      item.page = page;
      // A label beside an option button is drawn as the button's caption.
      if (c->kind == ui::ControlKind::Label && labels_beside_option(c->name)) continue;
      switch (c->kind) {
        case ui::ControlKind::Label: {
          HFONT f = make_font(c->font);
          std::wstring text = widen(c->caption);
          SIZE s = text_extent(f, text, width);
          DeleteObject(f);
          child(L"STATIC", text, SS_LEFT | SS_NOPREFIX, x, y, width, s.cy, item);
          y += s.cy + kGap;
          break;
        }
        case ui::ControlKind::TextBox:
          child(L"EDIT", widen(c->text), WS_TABSTOP | ES_AUTOHSCROLL, x, y, width / 2, kEditHeight, item,
                WS_EX_CLIENTEDGE);
          y += kEditHeight + kGap;
          break;
        case ui::ControlKind::OptionButton: {
          bool first = group_first(*c);
          child(L"BUTTON", option_caption(*c), BS_RADIOBUTTON | WS_TABSTOP | (first ? WS_GROUP : 0), x, y,
                width, 20, item);
          y += 20 + kGap / 2;
          break;
        }
        case ui::ControlKind::CommandButton:
          buttons.push_back(&item);
          break;
        case ui::ControlKind::Picture: {
          SIZE s = picture_size(c->picture);
          HWND h = child(kPictureClass, L"", WS_BORDER, x, y, s.cx, s.cy, item);
          SetWindowLongPtrW(h, 0, reinterpret_cast<LONG_PTR>(c));
          y += s.cy + kGap;
          break;
        }
        case ui::ControlKind::MultiPage: {
          int top = y;
          HWND tab = child(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, x, y, width, 100, item);
          auto pages = form_.controls_in(c->name);
          int bottom = y + 30;
          int p = 0;
          for (auto* page_control : pages) {
            Item& page_item = items_[index_of(page_control)];
            page_item.page = -2;  // drawn as the tab itself
            std::wstring caption = widen(page_control->caption);
            TCITEMW ti{};
            ti.mask = TCIF_TEXT;
            ti.pszText = caption.data();
            SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(p), reinterpret_cast<LPARAM>(&ti));
            int end = layout(page_control->name, x + kMargin, top + 30, width - 2 * kMargin, p);
            bottom = std::max(bottom, end);
            ++p;
          }
          tabs_.push_back(tab);
          SetWindowPos(tab, HWND_BOTTOM, x, top, width, bottom - top + kGap, SWP_NOACTIVATE);
          y = bottom + 2 * kGap;
          break;
        }
        case ui::ControlKind::Page:
          break;
      }
    }
    if (!buttons.empty()) {
      int bx = x + width - static_cast<int>(buttons.size()) * (kButtonWidth + kGap) + kGap;
      for (Item* b : buttons) {
        DWORD style = WS_TABSTOP | (b->control->role == "confirm" ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        child(L"BUTTON", widen(b->control->caption), style, bx, y + kGap, kButtonWidth, kButtonHeight, *b);
        bx += kButtonWidth + kGap;
      }
      y += kGap + kButtonHeight + kGap;
    }
    return y;
  }

  bool labels_beside_option(const std::string& label) const {
    for (const auto& c : form_.controls())
      if (c->kind == ui::ControlKind::OptionButton && c->label == label && c->caption.empty()) return true;
    return false;
  }
  bool group_first(const ui::Control& c) const {
    for (const auto& o : form_.controls()) {
      if (o->kind != ui::ControlKind::OptionButton || o->container != c.container || o->group != c.group)
        continue;
      return o.get() == &c;
    }
    return true;
  }

  // ---- pictures: the excerpt of a sheet as a grid ----------------------------

  static constexpr int kCellW = 64, kCellH = 20, kHeadW = 32;

  static SIZE picture_size(const ui::PictureTable& t) {
    size_t cols = 0;
    for (const auto& r : t.cells) cols = std::max(cols, r.size());
    return {kHeadW + static_cast<int>(cols) * kCellW + 1, static_cast<int>(t.cells.size() + 1) * kCellH + 1};
  }

  static LRESULT CALLBACK picture_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_PAINT) return DefWindowProcW(hwnd, msg, wp, lp);
    auto* c = reinterpret_cast<const ui::Control*>(GetWindowLongPtrW(hwnd, 0));
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (c) {
      HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
      SetBkMode(dc, TRANSPARENT);
      const auto& t = c->picture;
      size_t cols = 0;
      for (const auto& r : t.cells) cols = std::max(cols, r.size());
      auto cell = [&](int x, int y, int w, const std::string& text, bool head) {
        RECT r{x, y, x + w + 1, y + kCellH + 1};
        if (head) FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
        std::wstring wtext = widen(text);
        DrawTextW(dc, wtext.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      };
      cell(0, 0, kHeadW, "", true);
      for (size_t j = 0; j < cols; ++j)
        cell(kHeadW + static_cast<int>(j) * kCellW, 0, kCellW, host_column(static_cast<int>(j) + 1), true);
      for (size_t i = 0; i < t.cells.size(); ++i) {
        int y = static_cast<int>(i + 1) * kCellH;
        cell(0, y, kHeadW, std::to_string(t.first_row_number + static_cast<int>(i)), true);
        for (size_t j = 0; j < cols; ++j)
          cell(kHeadW + static_cast<int>(j) * kCellW, y, kCellW, j < t.cells[i].size() ? t.cells[i][j] : "",
               false);
      }
      SelectObject(dc, old);
    }
    EndPaint(hwnd, &ps);
    return 0;
  }

  static std::string host_column(int col) {
    std::string s;
    while (col > 0) {
      s.insert(s.begin(), static_cast<char>('A' + (col - 1) % 26));
      col = (col - 1) / 26;
    }
    return s;
  }

  // ---- state ----------------------------------------------------------------

  void show_page(int page) {
    page_ = page;
    for (auto& i : items_) {
      if (!i.hwnd || i.page == -2) continue;
      bool on_page = i.page < 0 || i.page == page_;
      ShowWindow(i.hwnd, on_page && i.control->visible ? SW_SHOW : SW_HIDE);
    }
  }

  // Reads every control's state back from the model: a handler may have
  // enabled, hidden, checked or retyped anything.
  void refresh() {
    refreshing_ = true;
    for (auto& i : items_) {
      if (!i.hwnd) continue;
      const ui::Control& c = *i.control;
      EnableWindow(i.hwnd, c.enabled ? TRUE : FALSE);
      bool on_page = i.page < 0 || i.page == page_;
      ShowWindow(i.hwnd, on_page && c.visible ? SW_SHOW : SW_HIDE);
      switch (c.kind) {
        case ui::ControlKind::OptionButton:
          SendMessageW(i.hwnd, BM_SETCHECK, c.value ? BST_CHECKED : BST_UNCHECKED, 0);
          break;
        case ui::ControlKind::TextBox:
          if (window_text(i.hwnd) != c.text) SetWindowTextW(i.hwnd, widen(c.text).c_str());
          break;
        case ui::ControlKind::Label:
        case ui::ControlKind::CommandButton:
          if (window_text(i.hwnd) != c.caption) SetWindowTextW(i.hwnd, widen(c.caption).c_str());
          break;
        default:
          break;
      }
    }
    refreshing_ = false;
  }

  ui::Form& form_;
  std::wstring form_name_;
  HWND hwnd_ = nullptr;
  HFONT form_font_ = nullptr;
  std::vector<Item> items_;
  std::vector<HWND> tabs_;
  int page_ = 0;
  bool done_ = false;
  bool refreshing_ = false;
  std::exception_ptr failure_;
};

class Win32Ui final : public ui::Ui {
 public:
  int message_box(std::string_view prompt, ui::Buttons buttons, std::string_view title) override {
    std::wstring text = widen(prompt);
    std::wstring caption = widen(title);
    UINT type = (buttons == ui::Buttons::OkCancel ? MB_OKCANCEL : MB_OK) | MB_TASKMODAL | MB_SETFOREGROUND;
    int answer = MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), type);
    if (buttons == ui::Buttons::Ok) return ui::kOk;
    // A box that could not be shown counts as declined.
    return answer == IDOK ? ui::kOk : ui::kCancel;
  }

  void show_modal(ui::Form& form) override {
    if (!form.loaded()) return;
    FormWindow window(form);
    window.run();
  }

  // Long work shows the hourglass, as the class division's notice tells
  // the user; the text itself has no place on screen.
  void progress(std::string_view) override { SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514))); }
  void progress_done() override { SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512))); }
};

}  // namespace

std::unique_ptr<ui::Ui> make_win32_ui() { return std::make_unique<Win32Ui>(); }

}  // namespace lczs::win
