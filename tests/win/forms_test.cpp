// Every form of the jobs as the Win32 dialogs draw it, reached the way a
// user reaches it (each menu entry's run over the in-memory host), each
// window compared with the place the layout gives it. With LCZS_SCREENSHOTS
// naming a folder, every form is also saved there as a bitmap, once per
// page; scripts/screenshots-win.sh runs this under a real display and
// turns them into PNGs.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "host/clock.h"
#include "model/memory_host.h"
#include "shell/aboutgylc.h"
#include "jobs/jobs.h"
#include "tests/win/books.h"
#include "tests/win/check.h"
#include "tests/win/win32_driver.h"
#include "win/win32_ui.h"

#include <commctrl.h>  // after windows.h

namespace lczs::wintest {
namespace {

// The form being shown, for the steps that act on its window.
const ui::Form* g_shown = nullptr;

// The Win32 dialogs, remembering which model form is on screen.
class WatchedUi final : public ui::Ui {
 public:
  int message_box(std::string_view prompt, ui::Buttons buttons, std::string_view title) override {
    return inner_->message_box(prompt, buttons, title);
  }
  void show_modal(ui::Form& form) override {
    const ui::Form* outer = g_shown;
    g_shown = &form;
    inner_->show_modal(form);
    g_shown = outer;
  }

 private:
  std::unique_ptr<ui::Ui> inner_ = win::make_win32_ui();
};

// The window as it looks, written as a 24-bit bitmap file.
bool save_bitmap(HWND hwnd, const std::string& path) {
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT r{};
  GetWindowRect(hwnd, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(mem, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  int stride = (w * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<size_t>(stride) * static_cast<size_t>(h));
  GetDIBits(mem, bmp, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return out.good();
}

// Compares the form with its layout and, when asked for, saves it.
void look_at(const Win32Form& f, const std::string& shot) {
  REQUIRE(g_shown);
  CHECK_EQ(layout_mismatches(f.hwnd(), *g_shown), std::string());
  if (const char* dir = std::getenv("LCZS_SCREENSHOTS")) {
    CHECK_MSG(save_bitmap(f.hwnd(), std::string(dir) + "\\" + shot + ".bmp"), shot);
  }
}

DialogStep form(const char* name, const char* press) {
  return {false, name, IDOK, [name, press](const Win32Form& f) {
            look_at(f, name);
            f.click(press);
          }};
}
DialogStep box(const char* text) { return {true, text, IDOK, {}}; }

LCZS_TEST(win32_job_forms_stand_where_the_layout_puts_them) {
  memory::MemoryApplication app;
  app.open(class_book(8));
  WatchedUi dialogs;
  host::FakeClock clock(1.0);
  jobs::JobEnv env{app, dialogs, clock};
  auto jobs = jobs::make_jobs();
  // The options form is seen on both its pages.
  DialogStep options{false, "ksfxForm", IDOK, [](const Win32Form& f) {
                       look_at(f, "ksfxForm-1");
                       HWND tab = f.control("MultiPage1");
                       REQUIRE(tab);
                       SendMessageW(tab, TCM_SETCURSEL, 1, 0);
                       NMHDR change{tab, static_cast<UINT_PTR>(GetDlgCtrlID(tab)), static_cast<UINT>(TCN_SELCHANGE)};
                       SendMessageW(f.hwnd(), WM_NOTIFY, change.idFrom, reinterpret_cast<LPARAM>(&change));
                       look_at(f, "ksfxForm-2");
                       f.click("btnCancel");
                     }};
  struct Run {
    std::vector<DialogStep> steps;
    jobs::JobOutcome (jobs::Jobs::*job)(jobs::JobEnv&);
  };
  const Run runs[] = {
      {{box("继续吗"), form("gs", "zx_bt"), form("c_fbsz", "CommandButton2"), box("退出")}, &jobs::Jobs::fb_run},
      {{form("fb_help", "CommandButton1")}, &jobs::Jobs::fb_show_help},
      {{box("继续吗"), form("hkgssz", "hkfx_tz_bt"), box("退出")}, &jobs::Jobs::hkfx_run},
      {{box("继续吗"), form("ksgssz", "ksfx_zx_bt"), options, box("退出")}, &jobs::Jobs::ksfx_run},
  };
  for (const Run& run : runs) {
    Win32Driver driver(run.steps);
    ((*jobs).*run.job)(env);
    CHECK_MSG(driver.finished(), driver.problems().empty() ? "steps left" : driver.problems().front());
  }
  Win32Driver driver({form("gylc", "CommandButton1")});
  auto about = shell::make_gylc();
  dialogs.show_modal(*about);
  CHECK(driver.finished());
}

}  // namespace
}  // namespace lczs::wintest
