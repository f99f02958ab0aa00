// The add-in DLL as the host meets it: registration, creation, the add-in
// interface, the menu on the fake application, Click events, reference
// counts and unloading. The DLL is registered machine-wide before the run
// (regsvr32 /n /i:machine) and found through the registry.
#include <string>
#include <vector>

#include "model/memory_host.h"
#include "tests/win/books.h"
#include "tests/win/check.h"
#include "tests/win/win32_driver.h"
#include "ui/scripted_ui.h"
#include "jobs/jobs.h"
#include "host/clock.h"
#include "tests/win/fake_app.h"
#include "win/addin_com.h"
#include "win/com_util.h"

namespace lczs::wintest {
namespace {

using win::ComPtr;
using win::IDTExtensibility2;

const CLSID kClsidAddin = {0xBA8A3A4F, 0x0797, 0x47CD, {0x94, 0xDA, 0xAD, 0xAF, 0xC0, 0x8B, 0x30, 0x7A}};
const IID kIidExtensibility = {0xB65AD801, 0xABAF, 0x11D0, {0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44}};
const IID kDiidButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const char* const kTop = "栎川助手(&Z)";

template <class F>
F entry(HMODULE module, const char* name) {
  // GetProcAddress returns a generic function pointer; go through void*.
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The entry points of the DLL that the registry names.
struct Dll {
  HMODULE module = nullptr;
  HRESULT(STDAPICALLTYPE* can_unload)() = nullptr;
  HRESULT(STDAPICALLTYPE* register_server)() = nullptr;
  HRESULT(STDAPICALLTYPE* unregister_server)() = nullptr;
  HRESULT(STDAPICALLTYPE* install)(BOOL, LPCWSTR) = nullptr;
  std::wstring path;

  Dll() {
    module = LoadLibraryW(registered_path().c_str());
    if (!module) return;
    path = registered_path();
    can_unload = entry<decltype(can_unload)>(module, "DllCanUnloadNow");
    register_server = entry<decltype(register_server)>(module, "DllRegisterServer");
    unregister_server =
        entry<decltype(unregister_server)>(module, "DllUnregisterServer");
    install = entry<decltype(install)>(module, "DllInstall");
  }
  ~Dll() {
    if (module) FreeLibrary(module);
  }
  static std::wstring registered_path() { return read_string(HKEY_CLASSES_ROOT, class_key() + L"\\InprocServer32", nullptr); }
  static std::wstring class_key() { return L"CLSID\\{BA8A3A4F-0797-47CD-94DA-ADAFC08B307A}"; }
  static std::wstring read_string(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t buf[1024];
    DWORD size = sizeof buf;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return {};
    return buf;
  }
};

bool key_exists(HKEY root, const std::wstring& key) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

bool prog_id_known(const wchar_t* prog_id) {
  CLSID clsid;
  return SUCCEEDED(CLSIDFromProgID(prog_id, &clsid));
}

ComPtr<IDTExtensibility2> create_addin() {
  ComPtr<IDTExtensibility2> addin;
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(L"lczs.addin", &clsid))) return addin;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidExtensibility, reinterpret_cast<void**>(addin.put()));
  return addin;
}

// One host session: a workbook in the memory model behind the fake
// application, and the add-in created and connected as the host does it.
struct Session {
  memory::MemoryApplication memory;
  ComPtr<IDispatch> app;
  ComPtr<IDTExtensibility2> addin;

  explicit Session(bool with_bar = true, bool connect = true, memory::WorkbookData book = small_book(),
                   bool fresh_wrappers = false) {
    memory.set_store(store);
    memory.open(std::move(book));
    app = ComPtr<IDispatch>::adopt(make_fake_application(memory, with_bar, fresh_wrappers));
    addin = create_addin();
    if (connect && addin) connect_result = addin->OnConnection(app.get(), 1, nullptr, nullptr);
  }
  // The host closing: the add-in's last calls, then everything released.
  void shut_down() {
    if (addin) {
      addin->OnBeginShutdown(nullptr);
      addin->OnDisconnection(0, nullptr);
      addin.reset();
    }
    if (app) {
      fake_drop_temporary_controls(app.get());
      app.reset();
    }
    // What the COM run time asks before it frees an unused DLL: with
    // nothing of the add-in alive, the module lets go of the host.
    if (HMODULE dll = GetModuleHandleW(L"lczs.dll")) {
      auto can_unload = entry<HRESULT(STDAPICALLTYPE*)()>(dll, "DllCanUnloadNow");
      if (can_unload) can_unload();
    }
  }
  ~Session() { shut_down(); }
  static memory::WorkbookData small_book() {
    memory::WorkbookData book;
    memory::add_sheet(book, "成绩", {{"班级", "学号", "姓名", "语文"}, {101, 1, "张三", 88}});
    return book;
  }
  std::shared_ptr<memory::MemoryStore> store = std::make_shared<memory::MemoryStore>();
  HRESULT connect_result = E_FAIL;
};

// ---------------------------------------------------------------------------

LCZS_TEST(registration_machine_user_and_removal) {
  Dll dll;
  REQUIRE(dll.module && dll.install && dll.unregister_server && dll.register_server);
  const std::wstring key = Dll::class_key();
  const std::wstring machine = L"Software\\Classes\\" + key;
  const std::wstring user = L"Software\\Classes\\" + key;

  // As regsvr32 /n /i:machine left it.
  CHECK(prog_id_known(L"lczs.addin"));
  CHECK(prog_id_known(L"lczs.CmdBarEvents"));
  CHECK(Dll::read_string(HKEY_LOCAL_MACHINE, machine + L"\\InprocServer32", L"ThreadingModel") == L"Apartment");
  CHECK(Dll::read_string(HKEY_LOCAL_MACHINE, machine + L"\\ProgID", nullptr) == L"lczs.addin");

  CHECK_EQ(dll.unregister_server(), S_OK);
  CHECK(!prog_id_known(L"lczs.addin"));
  CHECK(!key_exists(HKEY_LOCAL_MACHINE, machine));

  CHECK_EQ(dll.install(TRUE, L"user"), S_OK);
  CHECK(key_exists(HKEY_CURRENT_USER, user + L"\\InprocServer32"));
  CHECK(Dll::read_string(HKEY_CURRENT_USER, user + L"\\InprocServer32", nullptr) == dll.path);
  CHECK_EQ(dll.install(FALSE, L"user"), S_OK);
  CHECK(!key_exists(HKEY_CURRENT_USER, user));

  CHECK_EQ(dll.install(TRUE, L"everyone"), E_INVALIDARG);

  CHECK_EQ(dll.register_server(), S_OK);
  CHECK(prog_id_known(L"lczs.addin"));
  CHECK_EQ(dll.install(FALSE, L"machine"), S_OK);
  CHECK(!prog_id_known(L"lczs.CmdBarEvents"));
  CHECK_EQ(dll.install(TRUE, L"machine"), S_OK);
  CHECK(Dll::read_string(HKEY_LOCAL_MACHINE, machine + L"\\InprocServer32", nullptr) == dll.path);
  CHECK(prog_id_known(L"lczs.addin"));
}

LCZS_TEST(classes_interfaces_and_type_library) {
  ComPtr<IDTExtensibility2> addin = create_addin();
  REQUIRE(addin);
  auto disp = addin.query<IDispatch>(IID_IDispatch);
  REQUIRE(disp);
  const wchar_t* members[] = {L"OnConnection", L"OnDisconnection", L"OnAddInsUpdate", L"OnStartupComplete",
                              L"OnBeginShutdown"};
  for (int i = 0; i < 5; ++i) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(members[i]);
    CHECK_EQ(disp->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    CHECK_EQ(id, i + 1);
  }
  DISPID id = 0;
  LPOLESTR unknown = const_cast<LPOLESTR>(L"Connect");
  CHECK_EQ(disp->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);

  // The type library comes from the DLL's own resource.
  UINT count = 0;
  CHECK_EQ(disp->GetTypeInfoCount(&count), S_OK);
  CHECK_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  REQUIRE(SUCCEEDED(disp->GetTypeInfo(0, 0, info.put())) && info);
  BSTR name = nullptr;
  CHECK_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  CHECK_EQ(win::narrow_bstr(name), std::string("IDTExtensibility2"));
  SysFreeString(name);
  ComPtr<ITypeLib> lib;
  UINT index = 0;
  REQUIRE(SUCCEEDED(info->GetContainingTypeLib(lib.put(), &index)));
  BSTR lib_name = nullptr;
  lib->GetDocumentation(-1, &lib_name, nullptr, nullptr, nullptr);
  CHECK_EQ(win::narrow_bstr(lib_name), std::string("lczs"));
  SysFreeString(lib_name);
  MEMBERID shutdown_id = 0;
  LPOLESTR shutdown = const_cast<LPOLESTR>(L"OnBeginShutdown");
  CHECK_EQ(info->GetIDsOfNames(&shutdown, 1, &shutdown_id), S_OK);
  CHECK_EQ(shutdown_id, 5);

  // The event receiver answers the buttons' event interface.
  CLSID events{};
  REQUIRE(SUCCEEDED(CLSIDFromProgID(L"lczs.CmdBarEvents", &events)));
  ComPtr<IDispatch> receiver;
  CHECK_EQ(CoCreateInstance(events, nullptr, CLSCTX_INPROC_SERVER, kDiidButtonEvents,
                            reinterpret_cast<void**>(receiver.put())),
           S_OK);
  CHECK(receiver);
}

LCZS_TEST(aggregation_is_refused) {
  memory::MemoryApplication memory;
  ComPtr<IDispatch> outer = ComPtr<IDispatch>::adopt(make_fake_application(memory));
  CLSID events{};
  REQUIRE(SUCCEEDED(CLSIDFromProgID(L"lczs.CmdBarEvents", &events)));
  for (const CLSID* clsid : {&kClsidAddin, static_cast<const CLSID*>(&events)}) {
    IUnknown* inner = nullptr;
    CHECK_EQ(CoCreateInstance(*clsid, outer.get(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                              reinterpret_cast<void**>(&inner)),
             CLASS_E_NOAGGREGATION);
    CHECK(inner == nullptr);
  }
}

LCZS_TEST(menu_as_installed_on_connection) {
  Session s;
  REQUIRE(s.addin);
  CHECK_EQ(s.connect_result, S_OK);
  auto bar = fake_menu(s.app.get());
  REQUIRE(bar.size() == 1u);
  const FakeControlState& top = bar[0];
  CHECK_EQ(top.caption, std::string(kTop));
  CHECK_EQ(top.type, 10);
  CHECK(top.temporary);
  REQUIRE(top.children.size() == 3u);
  const auto& fb = top.children[0];
  const auto& cj = top.children[1];
  const auto& about = top.children[2];

  struct Row {
    const FakeControlState* c;
    const char* caption;
    int type;
    int face_id;
    bool begin_group;
  };
  REQUIRE(fb.children.size() == 2u && cj.children.size() == 2u);
  const Row rows[] = {
      {&fb, "分班", 10, 0, false},
      {&fb.children[0], "开始分班", 1, 0, false},
      {&fb.children[1], "帮助", 1, 983, false},
      {&cj, "成绩分析", 10, 0, false},
      {&cj.children[0], "普通考试成绩分析(年级)", 1, 0, false},
      {&cj.children[1], "会考成绩分析", 1, 0, false},
      {&about, "关于栎川助手...", 1, 49, true},
  };
  for (const Row& r : rows) {
    CHECK_EQ(r.c->caption, std::string(r.caption));
    CHECK_EQ(r.c->tooltip, std::string(r.caption));
    CHECK_EQ(r.c->type, r.type);
    CHECK_EQ(r.c->face_id, r.face_id);
    CHECK_EQ(r.c->begin_group, r.begin_group);
    CHECK(r.c->enabled);
    // Every button is bound to exactly one receiver; popups raise nothing.
    CHECK_EQ(r.c->sinks, r.type == 1 ? 1 : 0);
  }
  CHECK_EQ(fb.id, 1);
  CHECK_EQ(cj.id, 1);
}

// With the strict test dialogs (LCZS_UI=scripted) the first dialog a
// handler shows fails the event call and names itself: which handler ran.
struct ClickCase {
  std::vector<std::string> path;
  const char* first_dialog;
};
const ClickCase kClicks[] = {
    {{kTop, "分班", "开始分班"}, "开始分班，请先选中分班数据所在的工作表，继续吗？"},
    {{kTop, "分班", "帮助"}, "fb_help"},
    {{kTop, "成绩分析", "普通考试成绩分析(年级)"}, "开始进行考试成绩分析，继续吗？"},
    {{kTop, "成绩分析", "会考成绩分析"}, "开始进行会考成绩分析，继续吗？"},
    {{kTop, "关于栎川助手..."}, "gylc"},
};

void check_clicks(Session& s, const char* when) {
  for (const auto& c : kClicks) {
    for (bool cancel : {false, true}) {
      ClickResult r = fake_click(s.app.get(), c.path, cancel);
      CHECK_MSG(r.receivers == 1, when);
      CHECK_MSG(r.hr == DISP_E_EXCEPTION, std::string(when) + " " + c.path.back());
      CHECK_MSG(r.description.find(c.first_dialog) != std::string::npos,
                std::string(when) + ": " + r.description);
      CHECK_MSG(r.cancel_default == cancel, when);  // left as the host passed it
    }
  }
}

LCZS_TEST(each_click_reaches_its_handler) {
  Session s;
  REQUIRE(s.addin);
  check_clicks(s, "connected");
}

LCZS_TEST(ordinary_disconnection_changes_nothing) {
  Session s;
  REQUIRE(s.addin);
  long live = fake_live_objects();
  for (int mode : {1}) CHECK_EQ(s.addin->OnDisconnection(mode, nullptr), S_OK);
  CHECK_EQ(s.addin->OnAddInsUpdate(nullptr), S_OK);
  CHECK_EQ(s.addin->OnStartupComplete(nullptr), S_OK);
  CHECK_EQ(fake_live_objects(), live);
  auto bar = fake_menu(s.app.get());
  REQUIRE(bar.size() == 1u);
  CHECK_EQ(bar[0].children[0].children[0].sinks, 1);
  check_clicks(s, "after disconnection");
  // The host drops the add-in object; the menu and its bindings stay.
  s.addin.reset();
  check_clicks(s, "after the add-in object was released");
  Dll dll;
  REQUIRE(dll.can_unload);
  CHECK_EQ(dll.can_unload(), S_FALSE);  // the receivers are alive
}

// Also with an application that hands out every command-bar object anew:
// each button keeps one receiver, so a click runs its job once.
LCZS_TEST(reconnection_keeps_one_menu) {
  for (bool fresh : {false, true}) {
    Session s(true, true, Session::small_book(), fresh);
    REQUIRE(s.addin);
    CHECK_EQ(s.addin->OnDisconnection(1, nullptr), S_OK);
    s.addin.reset();
    s.addin = create_addin();
    REQUIRE(s.addin);
    CHECK_EQ(s.addin->OnConnection(s.app.get(), 0, nullptr, nullptr), S_OK);
    auto bar = fake_menu(s.app.get());
    CHECK_EQ(bar.size(), 1u);
    check_clicks(s, fresh ? "reconnected, new wrappers on every access" : "reconnected");
  }
}

LCZS_TEST(connection_through_idispatch) {
  Session s(true, false);
  REQUIRE(s.addin);
  auto disp = s.addin.query<IDispatch>(IID_IDispatch);
  VARIANTARG args[4];
  for (auto& a : args) VariantInit(&a);
  // OnConnection(Application, ConnectMode, AddInInst, custom), last first.
  args[3].vt = VT_DISPATCH;
  args[3].pdispVal = s.app.get();
  args[2].vt = VT_I4;
  args[2].lVal = 0;
  args[1].vt = VT_DISPATCH;
  args[1].pdispVal = nullptr;
  SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  args[0].vt = VT_ARRAY | VT_VARIANT | VT_BYREF;
  args[0].pparray = &custom;
  DISPPARAMS params{args, nullptr, 4, 0};
  CHECK_EQ(disp->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
  SafeArrayDestroy(custom);
  CHECK_EQ(fake_menu(s.app.get()).size(), 1u);
  ClickResult r = fake_click(s.app.get(), kClicks[4].path);
  CHECK(r.description.find("gylc") != std::string::npos);
}

LCZS_TEST(host_without_menu_bar_connects_quietly) {
  Session s(false);
  REQUIRE(s.addin);
  CHECK_EQ(s.connect_result, S_OK);
  CHECK(fake_menu(s.app.get()).empty());
}

// The whole way a user takes: the menu button's Click in the DLL, the
// Win32 dialogs answered as a user would, the class division on the
// workbook behind the fake application, compared with the same run straight
// on the memory host.
LCZS_TEST(click_runs_class_division_with_win32_dialogs) {
  _putenv("LCZS_UI=");  // the add-in's own Win32 dialogs from here on
  std::string through_dll;
  std::vector<std::string> shown;
  {
    Session s(true, true, class_book(20));
    REQUIRE(s.addin);
    Win32Driver driver({
        {true, "开始分班，请先选中分班数据所在的工作表，继续吗？"},
        {false, "gs", IDOK, [](const Win32Form& f) { f.click("zx_bt"); }},
        {false, "c_fbsz", IDOK,
         [](const Win32Form& f) {
           f.set_text("c_fbs_txtbox", "3");
           f.click("OptionButton2");
           CHECK(f.enabled("c_fbsj_txtbox"));  // the option's Click enabled it
           f.set_text("c_fbsj_txtbox", "0");
           f.set_text("c_gkcz_txtbox", "1");
           f.click("CommandButton1");
         }},
        {true, "开始分班，需要几分钟时间"},
        {true, "分班结束!"},
    });
    ClickResult r = fake_click(s.app.get(), kClicks[0].path);
    CHECK_EQ(r.hr, S_OK);
    CHECK_MSG(driver.finished(), driver.problems().empty() ? "dialogs left" : driver.problems()[0]);
    shown = driver.shown();
    through_dll = memory::dump(dynamic_cast<memory::MemoryWorkbook&>(s.memory.active_workbook()));
    CHECK_EQ(s.store->save_count, 1);
  }
  _putenv("LCZS_UI=scripted");

  memory::MemoryApplication memory;
  memory.set_store(std::make_shared<memory::MemoryStore>());
  memory::MemoryWorkbook& wb = memory.open(class_book(20));
  ui::ScriptedUi ui;
  ui.expect_message("开始分班，请先选中分班数据所在的工作表，继续吗？")
      .expect_form("gs", [](ui::FormDriver& f) { f.click("zx_bt"); })
      .expect_form("c_fbsz", [](ui::FormDriver& f) {
        f.set_text("c_fbs_txtbox", "3").choose("OptionButton2");
        f.set_text("c_fbsj_txtbox", "0").set_text("c_gkcz_txtbox", "1").click("CommandButton1");
      })
      .expect_message_containing("开始分班，需要几分钟时间")
      .expect_message_containing("分班结束!");
  host::FakeClock clock(1.0);
  auto jobs = jobs::make_jobs();
  jobs::JobEnv env{memory, ui, clock};
  jobs->fb_run(env);
  CHECK_MSG(ui.finished(), ui.report());
  CHECK_MSG(memory::dump(wb) == through_dll, "the workbooks differ");
  CHECK_EQ(shown.size(), 5u);
}

LCZS_TEST(click_runs_exam_analysis_and_information_forms_with_win32_dialogs) {
  _putenv("LCZS_UI=");
  std::string through_dll;
  {
    Session s(true, true, exam_book(false));
    s.memory.set_today(2026, 12, 7);
    REQUIRE(s.addin);
    Win32Driver driver({
        {true, "开始进行考试成绩分析，继续吗？"},
        {false, "ksgssz", IDOK, [](const Win32Form& f) { f.click("ksfx_zx_bt"); }},
        {false, "ksfxForm", IDOK,
         [](const Win32Form& f) {
           f.set_text("txtstdjie", "2001");
           f.set_text("txtnj", "G1");
           f.set_text("txtfilename", "期中成绩分析");
           f.set_text("nq1", "10");
           f.set_text("nh1", "5");
           f.click("btnOk");
         }},
        {true, "成绩分析完毕，程序结束!"},
        {false, "gylc", IDOK, [](const Win32Form& f) { f.click("CommandButton1"); }},
        {false, "fb_help", IDOK, [](const Win32Form& f) { PostMessageW(f.hwnd(), WM_CLOSE, 0, 0); }},
    });
    CHECK_EQ(fake_click(s.app.get(), kClicks[2].path).hr, S_OK);
    CHECK_EQ(fake_click(s.app.get(), kClicks[4].path).hr, S_OK);
    CHECK_EQ(fake_click(s.app.get(), kClicks[1].path).hr, S_OK);
    CHECK_MSG(driver.finished(), driver.problems().empty() ? "dialogs left" : driver.problems()[0]);
    through_dll = memory::dump(dynamic_cast<memory::MemoryWorkbook&>(s.memory.active_workbook()));
  }
  _putenv("LCZS_UI=scripted");

  memory::MemoryApplication memory;
  memory.set_store(std::make_shared<memory::MemoryStore>());
  memory.set_today(2026, 12, 7);
  memory::MemoryWorkbook& wb = memory.open(exam_book(false));
  ui::ScriptedUi ui;
  ui.expect_message("开始进行考试成绩分析，继续吗？")
      .expect_form("ksgssz", [](ui::FormDriver& f) { f.click("ksfx_zx_bt"); })
      .expect_form("ksfxForm", [](ui::FormDriver& f) {
        f.set_text("txtstdjie", "2001").set_text("txtnj", "G1").set_text("txtfilename", "期中成绩分析");
        f.set_text("nq1", "10").set_text("nh1", "5").click("btnOk");
      })
      .expect_message("成绩分析完毕，程序结束!");
  host::FakeClock clock(1.0);
  auto jobs = jobs::make_jobs();
  jobs::JobEnv env{memory, ui, clock};
  jobs->ksfx_run(env);
  CHECK_MSG(ui.finished(), ui.report());
  CHECK_MSG(memory::dump(wb) == through_dll, "the workbooks differ");
}

// Runs last among the COM cases: the whole life of a session, then every
// reference released and the DLL free to unload.
LCZS_TEST(shutdown_releases_every_reference) {
  Dll dll;
  REQUIRE(dll.can_unload);
  CHECK_EQ(fake_live_objects(), 0);
  {
    Session s;
    REQUIRE(s.addin);
    check_clicks(s, "before shutdown");
    CHECK_EQ(dll.can_unload(), S_FALSE);
    s.addin->OnBeginShutdown(nullptr);
    s.addin->OnDisconnection(0, nullptr);
    // The add-in unbinds its buttons when the host closes.
    auto bar = fake_menu(s.app.get());
    REQUIRE(bar.size() == 1u);
    CHECK_EQ(bar[0].children[2].sinks, 0);
    CHECK_EQ(bar[0].children[0].children[1].sinks, 0);
    s.shut_down();
  }
  CHECK_EQ(fake_live_objects(), 0);
  CHECK_EQ(dll.can_unload(), S_OK);
}

}  // namespace
}  // namespace lczs::wintest

namespace {
// The add-in reads LCZS_UI when it creates its dialogs: the strict test
// dialogs, so no real window is ever shown.
const bool kScriptedDialogs = [] {
  _putenv("LCZS_UI=scripted");
  SetEnvironmentVariableW(L"LCZS_UI", L"scripted");
  return true;
}();
}  // namespace
