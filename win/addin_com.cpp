#include "win/addin_com.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "host/clock.h"
#include "shell/addin.h"
#include "ui/scripted_ui.h"
#include "win/dispatch_host.h"
#include "win/module.h"
#include "win/win32_ui.h"

namespace lczs::win {

// {B65AD801-ABAF-11D0-BB8B-00A0C90F2744}
const IID kIidIDTExtensibility2 = {0xB65AD801, 0xABAF, 0x11D0,
                                   {0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44}};

namespace {

// The module state of the loaded add-in: it outlives the `addin` objects,
// as the add-in's module variables do.
struct AddinModule {
  std::unique_ptr<ui::Ui> ui;
  host::SteadyClock clock;
  std::unique_ptr<shell::addin> shell;
  // Every application this add-in was connected to; the shell may hold
  // wrappers of an earlier one until the host shuts down.
  std::vector<std::unique_ptr<DispatchApplication>> apps;
  DispatchApplication* connected = nullptr;  // the last one to connect
};

AddinModule* g_state = nullptr;

// The dialogs: Win32, or the strict test dialogs when LCZS_UI=scripted
// (every dialog then fails the click with a description of what it was).
std::unique_ptr<ui::Ui> make_dialogs() {
  const char* kind = std::getenv("LCZS_UI");
  if (kind && std::string(kind) == "scripted") return std::make_unique<ui::ScriptedUi>();
  return make_win32_ui([] {
    return g_state && g_state->connected ? g_state->connected->name() : std::string();
  });
}

AddinModule& state() {
  if (!g_state) {
    g_state = new AddinModule();
    g_state->ui = make_dialogs();
    g_state->shell = std::make_unique<shell::addin>(*g_state->ui, g_state->clock);
  }
  return *g_state;
}

enum Dispid : DISPID {
  kOnConnection = 1,
  kOnDisconnection = 2,
  kOnAddInsUpdate = 3,
  kOnStartupComplete = 4,
  kOnBeginShutdown = 5,
};

struct Member {
  const wchar_t* name;
  DISPID id;
};
constexpr Member kMembers[] = {
    {L"OnConnection", kOnConnection},         {L"OnDisconnection", kOnDisconnection},
    {L"OnAddInsUpdate", kOnAddInsUpdate},     {L"OnStartupComplete", kOnStartupComplete},
    {L"OnBeginShutdown", kOnBeginShutdown},
};

class Addin final : public IDTExtensibility2 {
 public:
  Addin() { module_object_created(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kIidIDTExtensibility2)) {
      *out = static_cast<IDTExtensibility2*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = module_typelib() ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeLib* lib = module_typelib();
    if (!lib) return TYPE_E_ELEMENTNOTFOUND;
    return lib->GetTypeInfoOfGuid(kIidIDTExtensibility2, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      if (i > 0) {
        hr = DISP_E_UNKNOWNNAME;  // arguments are passed by position only
        continue;
      }
      for (const auto& m : kMembers)
        if (names[i] && lstrcmpiW(names[i], m.name) == 0) ids[i] = m.id;
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT* arg_err) override {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_POINTER;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (result) VariantInit(result);
    // Positional arguments arrive last first.
    auto arg = [&](UINT i) -> VARIANT& { return params->rgvarg[params->cArgs - 1 - i]; };
    auto expect = [&](UINT n) { return params->cArgs == n; };
    switch (id) {
      case kOnConnection: {
        if (!expect(4)) return DISP_E_BADPARAMCOUNT;
        Variant app, mode;
        if (FAILED(VariantChangeType(app.get(), &arg(0), 0, VT_DISPATCH))) {
          if (arg_err) *arg_err = params->cArgs - 1;
          return DISP_E_TYPEMISMATCH;
        }
        if (FAILED(VariantChangeType(mode.get(), &arg(1), 0, VT_I4))) {
          if (arg_err) *arg_err = params->cArgs - 2;
          return DISP_E_TYPEMISMATCH;
        }
        return OnConnection(app.get()->pdispVal, mode.get()->lVal, nullptr, nullptr);
      }
      case kOnDisconnection: {
        if (!expect(2)) return DISP_E_BADPARAMCOUNT;
        Variant mode;
        if (FAILED(VariantChangeType(mode.get(), &arg(0), 0, VT_I4))) {
          if (arg_err) *arg_err = params->cArgs - 1;
          return DISP_E_TYPEMISMATCH;
        }
        return OnDisconnection(mode.get()->lVal, nullptr);
      }
      case kOnAddInsUpdate:
      case kOnStartupComplete:
      case kOnBeginShutdown:
        if (!expect(1)) return DISP_E_BADPARAMCOUNT;
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, int connect_mode, IDispatch*,
                                         SAFEARRAY**) override {
    if (!application) return S_OK;  // nothing to keep; the connection still succeeds
    AddinModule& s = state();
    // The same application connecting again keeps its wrappers, so the
    // buttons bound earlier stay the objects the shell knows.
    DispatchApplication* app = nullptr;
    for (auto& a : s.apps)
      if (a->disp() && identity(a->disp().get()) == identity(application)) app = a.get();
    if (!app) {
      s.apps.push_back(std::make_unique<DispatchApplication>(application));
      app = s.apps.back().get();
    }
    s.connected = app;
    s.shell->IDTExtensibility2_OnConnection(*app, static_cast<shell::ext_ConnectMode>(connect_mode));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDisconnection(int remove_mode, SAFEARRAY**) override {
    if (!g_state) return S_OK;
    g_state->shell->IDTExtensibility2_OnDisconnection(static_cast<shell::ext_DisconnectMode>(remove_mode));
    if (remove_mode == shell::ext_dm_HostShutdown) {
      g_state->connected = nullptr;
      g_state->apps.clear();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) override { return S_OK; }

 private:
  ~Addin() { module_object_destroyed(); }
  LONG refs_ = 1;
};

}  // namespace

IDTExtensibility2* create_addin() { return new Addin(); }

void release_addin_module() {
  if (!g_state) return;
  // The shell first: it unbinds the buttons through the wrappers.
  g_state->shell->IDTExtensibility2_OnDisconnection(shell::ext_dm_HostShutdown);
  g_state->connected = nullptr;
  g_state->apps.clear();
  delete g_state;
  g_state = nullptr;
}

}  // namespace lczs::win
