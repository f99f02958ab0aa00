#include "win/win32_ui.h"

#include <algorithm>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/form_layout.h"
#include "ui/scripted_ui.h"
#include "win/com_util.h"
#include "win/module.h"

#include <commctrl.h>  // after windows.h

namespace lczs::win {

namespace {

constexpr int kFirstId = 1000;
constexpr wchar_t kFormClass[] = L"lczs_form";
constexpr wchar_t kPictureClass[] = L"lczs_picture";
constexpr wchar_t kPageClass[] = L"lczs_page";
// Window properties naming the form and each control's window, so that
// automation (and the tests) can find a control by its model name.
constexpr wchar_t kFormProp[] = L"lczs.form";
constexpr wchar_t kControlProp[] = L"lczs.control";
// The title of an untitled message box when the application cannot be asked.
constexpr char kDefaultHostName[] = "Microsoft Excel";

// Faces with Chinese glyphs, tried in turn when a form's own face is not
// installed: a Windows in another language may lack 宋体 but has one of
// the later ones, and Wine has the free ones.
constexpr const wchar_t* kChineseFaces[] = {
    L"SimSun", L"NSimSun", L"Microsoft YaHei", L"SimHei", L"WenQuanYi Micro Hei", L"WenQuanYi Zen Hei",
    L"Noto Sans CJK SC", L"Noto Sans SC", L"Droid Sans Fallback",
};

HINSTANCE instance() {
  HMODULE m = module_handle();
  return m ? m : GetModuleHandleW(nullptr);
}

int screen_dpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

int CALLBACK face_found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM lp) {
  *reinterpret_cast<bool*>(lp) = true;
  return 0;
}

bool face_installed(const std::wstring& face) {
  if (face.empty() || face.size() >= LF_FACESIZE) return false;
  LOGFONTW lf{};
  lf.lfCharSet = GB2312_CHARSET;  // only faces that carry Chinese
  face.copy(lf.lfFaceName, face.size());
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &lf, face_found, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

HFONT make_font(const ui::FontSpec& f, int dpi) {
  int height = -MulDiv(static_cast<int>(f.size * 10 + 0.5), dpi, 720);
  std::wstring face = chinese_face(f.name);
  return CreateFontW(height, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     face.c_str());
}

std::wstring joined_lines(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) out += (i ? "\r\n" : "") + lines[i];
  return widen(out);
}

// One window per control of the model.
struct Item {
  ui::Control* control = nullptr;
  ui::Placement place;
  HWND hwnd = nullptr;
  HFONT font = nullptr;
  int page = -1;       // index of the page that shows it, -1 when always shown
  HWND parent = nullptr;  // the form, or the window of its page
  std::wstring name;   // the control's name, as a window property
  std::string caption;  // a label's caption when it was broken into lines
  std::wstring shown;   // and those lines
};

// A page of a multi-page container: a window over the tab's body that
// holds the page's controls and paints the body behind them.
struct PageWindow {
  HWND tab = nullptr;
  int index = 0;
  HWND hwnd = nullptr;
};

// Paints what the tab control shows at `child`'s place into `dc`, so a
// window over the tab's body looks like part of it.
void paint_tab_body(HWND tab, HWND child, HDC dc) {
  POINT at{0, 0};
  MapWindowPoints(child, tab, &at, 1);
  POINT old;
  SetViewportOrgEx(dc, -at.x, -at.y, &old);
  SendMessageW(tab, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
  SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

LRESULT CALLBACK page_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      HWND tab = reinterpret_cast<HWND>(GetWindowLongPtrW(hwnd, 0));
      if (tab) paint_tab_body(tab, hwnd, reinterpret_cast<HDC>(wp));
      return 1;
    }
    // What the controls tell their parent goes to the form.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetParent(hwnd), msg, wp, lp);
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

class FormWindow {
 public:
  explicit FormWindow(ui::Form& form) : form_(form) {}
  ~FormWindow() {
    destroy();
    for (auto& i : items_)
      if (i.font) DeleteObject(i.font);
  }

  void run() {
    HWND owner = GetActiveWindow();
    create();
    if (!hwnd_) throw std::runtime_error("无法显示窗体 " + form_.name());
    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    if (Item* first = by_name(layout_.first_focus)) SetFocus(first->hwnd);
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
          show_page(hdr->hwndFrom, static_cast<int>(SendMessageW(hdr->hwndFrom, TCM_GETCURSEL, 0, 0)));
          return true;
        }
        return false;
      }
      case WM_CLOSE:
        act([&] { form_.close_box(); });
        return true;
      case WM_ACTIVATE:
        // Back from a message box, the focus returns where it was.
        if (LOWORD(wp) == WA_INACTIVE) {
          focus_ = GetFocus();
        } else if (focus_ && IsWindow(focus_)) {
          SetFocus(focus_);
          return true;
        }
        return false;
      case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wp);
        HWND from = reinterpret_cast<HWND>(lp);
        SetBkMode(dc, TRANSPARENT);
        // A label shows what lies behind it: the form, or the tab's white
        // body on a page.
        Item* item = by_hwnd(from);
        if (item && item->control->kind == ui::ControlKind::Label && item->page >= 0) {
          paint_tab_body(tab_of(item->parent), from, dc);
          out = reinterpret_cast<LRESULT>(GetStockObject(HOLLOW_BRUSH));
        } else {
          out = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return true;
      }
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
  Item* by_name(const std::string& name) {
    for (auto& i : items_)
      if (i.control->name == name) return i.hwnd ? &i : nullptr;
    return nullptr;
  }
  Item* by_hwnd(HWND h) {
    for (auto& i : items_)
      if (i.hwnd == h) return &i;
    return nullptr;
  }
  HWND tab_of(HWND page) const {
    for (const auto& p : pages_)
      if (p.hwnd == page) return p.tab;
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
    dpi_ = screen_dpi();
    layout_ = ui::layout_form(form_, dpi_);
    std::wstring caption = widen(form_.caption());
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    DWORD ex = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT r{0, 0, layout_.width, layout_.height};
    AdjustWindowRectEx(&r, style, FALSE, ex);
    int w = r.right - r.left, h = r.bottom - r.top;
    int sx = GetSystemMetrics(SM_CXSCREEN), sy = GetSystemMetrics(SM_CYSCREEN);
    hwnd_ = CreateWindowExW(ex, kFormClass, caption.c_str(), style, std::max(0, (sx - w) / 2),
                            std::max(0, (sy - h) / 2), w, h, nullptr, nullptr, instance(), this);
    if (!hwnd_) return;
    form_name_ = widen(form_.name());
    SetPropW(hwnd_, kFormProp, const_cast<wchar_t*>(form_name_.c_str()));
    // Filled before any window refers to an item: the vector never moves.
    for (size_t i = 0; i < layout_.placements.size(); ++i) {
      Item item;
      item.control = form_.controls()[i].get();
      item.place = layout_.placements[i];
      item.name = widen(item.control->name);
      items_.push_back(item);
    }
    // Windows are made in design order, which is the tab order.
    for (auto& item : items_) build(item);
    for (HWND tab : tabs_) show_page(tab, 0);
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
    WNDCLASSEXW gc{};
    gc.cbSize = sizeof gc;
    gc.lpfnWndProc = page_proc;
    gc.hInstance = instance();
    gc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    gc.lpszClassName = kPageClass;
    gc.cbWndExtra = sizeof(void*);
    RegisterClassExW(&gc);
  }

  // The page window a control of page `container` goes on, or the form.
  HWND parent_for(const ui::Control& c, int& page) {
    page = -1;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].control->name != c.container || items_[i].control->kind != ui::ControlKind::Page) continue;
      page = items_[i].page;
      return items_[i].hwnd;
    }
    return hwnd_;
  }

  HWND child(const wchar_t* cls, const std::wstring& text, DWORD style, Item& item, DWORD ex = 0) {
    int id = kFirstId + static_cast<int>(&item - items_.data());
    item.parent = parent_for(*item.control, item.page);
    // Placements are in the form's coordinates; a page window starts at
    // its page's corner.
    POINT at{item.place.rect.x, item.place.rect.y};
    if (item.parent != hwnd_) MapWindowPoints(hwnd_, item.parent, &at, 1);
    HWND hwnd = CreateWindowExW(ex, cls, text.c_str(), WS_CHILD | style, at.x, at.y, item.place.rect.w,
                                item.place.rect.h, item.parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    item.hwnd = hwnd;
    if (hwnd) SetPropW(hwnd, kControlProp, const_cast<wchar_t*>(item.name.c_str()));
    item.font = make_font(item.control->font, dpi_);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(item.font), TRUE);
    return hwnd;
  }

  void build(Item& item) {
    const ui::Control& c = *item.control;
    switch (c.kind) {
      case ui::ControlKind::Label:
        item.caption = c.caption;
        item.shown = joined_lines(item.place.lines);
        // The lines are the layout's: the window must not break them again.
        child(L"STATIC", item.shown, SS_LEFTNOWORDWRAP | SS_NOPREFIX, item);
        break;
      case ui::ControlKind::TextBox:
        child(L"EDIT", widen(c.text), WS_TABSTOP | ES_AUTOHSCROLL, item, WS_EX_CLIENTEDGE);
        break;
      case ui::ControlKind::OptionButton:
        // The label beside it is a window of its own, with its own state.
        child(L"BUTTON", widen(c.caption), BS_RADIOBUTTON | WS_TABSTOP | (group_first(c) ? WS_GROUP : 0), item);
        break;
      case ui::ControlKind::CommandButton:
        child(L"BUTTON", widen(c.caption), WS_TABSTOP | (c.role == "confirm" ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
              item);
        break;
      case ui::ControlKind::Picture: {
        HWND h = child(kPictureClass, L"", WS_BORDER, item);
        SetWindowLongPtrW(h, 0, reinterpret_cast<LONG_PTR>(&item));
        break;
      }
      case ui::ControlKind::MultiPage: {
        HWND tab = child(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, item);
        int p = 0;
        for (auto* page : form_.controls_in(c.name)) {
          std::wstring caption = widen(page->caption);
          TCITEMW ti{};
          ti.mask = TCIF_TEXT;
          ti.pszText = caption.data();
          SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(p), reinterpret_cast<LPARAM>(&ti));
          Item& page_item = items_[index_of(page)];
          page_item.page = p++;
          const ui::Rect& r = page_item.place.rect;
          // Inside the tab's border.
          int edge = std::max(2, dpi_ / 48);
          page_item.hwnd = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, L"", WS_CHILD, r.x + edge, r.y,
                                           r.w - 2 * edge, r.h - edge, hwnd_, nullptr, instance(), nullptr);
          SetWindowLongPtrW(page_item.hwnd, 0, reinterpret_cast<LONG_PTR>(tab));
          pages_.push_back({tab, page_item.page, page_item.hwnd});
        }
        tabs_.push_back(tab);
        // Beneath the pages, so they take the clicks.
        SetWindowPos(tab, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        break;
      }
      case ui::ControlKind::Page:
        break;  // made with its container
    }
  }

  size_t index_of(const ui::Control* c) const {
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].control == c) return i;
    return 0;
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

  static LRESULT CALLBACK picture_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_PAINT) return DefWindowProcW(hwnd, msg, wp, lp);
    auto* item = reinterpret_cast<const Item*>(GetWindowLongPtrW(hwnd, 0));
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (item && !item->place.columns.empty()) {
      HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
      SetBkMode(dc, TRANSPARENT);
      const auto& t = item->control->picture;
      const auto& widths = item->place.columns;
      int rh = item->place.row_height;
      auto cell = [&](int x, int y, int w, const std::string& text, bool head) {
        RECT r{x, y, x + w + 1, y + rh + 1};
        if (head) FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
        std::wstring wtext = widen(text);
        DrawTextW(dc, wtext.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      };
      auto row = [&](int y, const std::string& head, auto text_of) {
        int x = 0;
        cell(x, y, widths[0], head, true);
        x += widths[0];
        for (size_t j = 1; j < widths.size(); ++j) {
          cell(x, y, widths[j], text_of(j - 1), y == 0);
          x += widths[j];
        }
      };
      row(0, "", [](size_t j) { return host_column(static_cast<int>(j) + 1); });
      for (size_t i = 0; i < t.cells.size(); ++i)
        row(static_cast<int>(i + 1) * rh, std::to_string(t.first_row_number + static_cast<int>(i)),
            [&](size_t j) { return j < t.cells[i].size() ? t.cells[i][j] : std::string(); });
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

  void show_page(HWND tab, int page) {
    for (const auto& p : pages_)
      if (p.tab == tab) ShowWindow(p.hwnd, p.index == page ? SW_SHOW : SW_HIDE);
    page_of_[tab] = page;
    refresh();
  }

  bool page_shown(const Item& i) const {
    if (i.page < 0) return true;
    auto it = page_of_.find(tab_of(i.parent));
    return it != page_of_.end() && it->second == i.page;
  }

  // Reads every control's state back from the model: a handler may have
  // enabled, hidden, checked or retyped anything.
  void refresh() {
    refreshing_ = true;
    for (auto& i : items_) {
      if (!i.hwnd || i.control->kind == ui::ControlKind::Page) continue;
      const ui::Control& c = *i.control;
      bool was_enabled = IsWindowEnabled(i.hwnd) != FALSE;
      EnableWindow(i.hwnd, c.enabled ? TRUE : FALSE);
      ShowWindow(i.hwnd, page_shown(i) && c.visible ? SW_SHOW : SW_HIDE);
      switch (c.kind) {
        case ui::ControlKind::OptionButton:
          SendMessageW(i.hwnd, BM_SETCHECK, c.value ? BST_CHECKED : BST_UNCHECKED, 0);
          break;
        case ui::ControlKind::TextBox:
          if (window_text(i.hwnd) != c.text) SetWindowTextW(i.hwnd, widen(c.text).c_str());
          break;
        case ui::ControlKind::Label: {
          bool changed = c.caption != i.caption;
          if (changed) {
            i.caption = c.caption;
            i.shown = joined_lines(ui::layout_wrap(c.caption, c.font, dpi_, i.place.rect.w));
            SetWindowTextW(i.hwnd, i.shown.c_str());
          }
          // A transparent label drawn again over itself would smear: its
          // background is painted anew first.
          if (changed || was_enabled != c.enabled) RedrawWindow(i.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
          break;
        }
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
  int dpi_ = 96;
  ui::FormLayout layout_;
  std::vector<Item> items_;
  std::vector<HWND> tabs_;
  std::vector<PageWindow> pages_;
  std::map<HWND, int> page_of_;  // each tab's page shown
  HWND focus_ = nullptr;
  bool done_ = false;
  bool refreshing_ = false;
  std::exception_ptr failure_;
};

class Win32Ui final : public ui::Ui {
 public:
  explicit Win32Ui(std::function<std::string()> host_name) : host_name_(std::move(host_name)) {}

  int message_box(std::string_view prompt, ui::Buttons buttons, std::string_view title) override {
    std::wstring text = widen(prompt);
    std::wstring caption = widen(title.empty() ? host_name() : std::string(title));
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

 private:
  std::string host_name() const {
    std::string name;
    try {
      if (host_name_) name = host_name_();
    } catch (const std::exception&) {
      // The application cannot be asked now; its usual name will do.
    }
    return name.empty() ? kDefaultHostName : name;
  }
  std::function<std::string()> host_name_;
};

}  // namespace

std::wstring chinese_face(const std::string& wanted) {
  static std::map<std::string, std::wstring> chosen;
  auto it = chosen.find(wanted);
  if (it != chosen.end()) return it->second;
  std::wstring face = widen(wanted);
  if (!face_installed(face)) {
    for (const wchar_t* candidate : kChineseFaces)
      if (face_installed(candidate)) {
        face = candidate;
        break;
      }
  }
  chosen[wanted] = face;
  return face;
}

std::unique_ptr<ui::Ui> make_win32_ui(std::function<std::string()> host_name) {
  return std::make_unique<Win32Ui>(std::move(host_name));
}

}  // namespace lczs::win
