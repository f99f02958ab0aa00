// The DLL's entry points as an in-process COM server: class objects for
// `addin` and `CmdBarEvents`, registration, and the unload check.
#include <string>

#include "win/addin_com.h"
#include "win/cmdbar_events.h"
#include "win/module.h"

#include <olectl.h>  // SELFREG_E_CLASS

namespace lczs::win {

namespace {


// {BA8A3A4F-0797-47CD-94DA-ADAFC08B307A}
const CLSID kClsidAddin = {0xBA8A3A4F, 0x0797, 0x47CD, {0x94, 0xDA, 0xAD, 0xAF, 0xC0, 0x8B, 0x30, 0x7A}};
// {F8B67E18-AADA-4D4B-80B6-E2A78D25BC5B}
const CLSID kClsidCmdBarEvents = {0xF8B67E18, 0xAADA, 0x4D4B,
                                  {0x80, 0xB6, 0xE2, 0xA7, 0x8D, 0x25, 0xBC, 0x5B}};

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* clsid_text;
  const wchar_t* name;
  const wchar_t* prog_id;
};
const ClassEntry kClasses[] = {
    {&kClsidAddin, L"{BA8A3A4F-0797-47CD-94DA-ADAFC08B307A}", L"addin", L"lczs.addin"},
    {&kClsidCmdBarEvents, L"{F8B67E18-AADA-4D4B-80B6-E2A78D25BC5B}", L"CmdBarEvents",
     L"lczs.CmdBarEvents"},
};

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(bool addin) : addin_(addin) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // The factories are static; their references do not keep the DLL loaded.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IUnknown* object = addin_ ? static_cast<IUnknown*>(create_addin())
                              : static_cast<IUnknown*>(CmdBarEvents::create());
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    module_lock(lock != FALSE);
    return S_OK;
  }

 private:
  bool addin_;
};

ClassFactory g_addin_factory(true);
ClassFactory g_events_factory(false);

LONG set_value(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY k = nullptr;
  LONG rc = RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &k,
                            nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
  return rc;
}

// Where classes are registered: the machine's or the user's class root.
HKEY classes_root(bool per_user, std::wstring& prefix) {
  prefix = L"Software\\Classes\\";
  return per_user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

HRESULT register_classes(bool per_user) {
  std::wstring path = module_path();
  if (path.empty()) return SELFREG_E_CLASS;
  std::wstring prefix;
  HKEY root = classes_root(per_user, prefix);
  for (const auto& c : kClasses) {
    std::wstring clsid_key = prefix + L"CLSID\\" + c.clsid_text;
    std::wstring prog_key = prefix + c.prog_id;
    LONG rc = ERROR_SUCCESS;
    auto put = [&](const std::wstring& key, const wchar_t* name, const std::wstring& value) {
      if (rc == ERROR_SUCCESS) rc = set_value(root, key, name, value);
    };
    put(clsid_key, nullptr, c.name);
    put(clsid_key + L"\\InprocServer32", nullptr, path);
    put(clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    put(clsid_key + L"\\ProgID", nullptr, c.prog_id);
    put(prog_key, nullptr, c.name);
    put(prog_key + L"\\CLSID", nullptr, c.clsid_text);
    if (rc != ERROR_SUCCESS) return SELFREG_E_CLASS;
  }
  return S_OK;
}

HRESULT unregister_classes(bool per_user) {
  std::wstring prefix;
  HKEY root = classes_root(per_user, prefix);
  for (const auto& c : kClasses) {
    RegDeleteTreeW(root, (prefix + L"CLSID\\" + c.clsid_text).c_str());
    RegDeleteTreeW(root, (prefix + c.prog_id).c_str());
  }
  return S_OK;
}

}  // namespace

}  // namespace lczs::win

using namespace lczs::win;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    module_set_handle(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualCLSID(clsid, kClsidAddin)) return g_addin_factory.QueryInterface(iid, out);
  if (IsEqualCLSID(clsid, kClsidCmdBarEvents)) return g_events_factory.QueryInterface(iid, out);
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  if (module_active_count() != 0) return S_FALSE;
  // Nothing of ours is referenced any more: let go of what the module still
  // holds of the host before the DLL goes.
  release_addin_module();
  module_release_typelib();
  return S_OK;
}

HRESULT STDAPICALLTYPE DllRegisterServer() { return register_classes(false); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return unregister_classes(false); }

// regsvr32 /n /i:user (per user) or /i:machine (for every user).
HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR command_line) {
  bool per_user = command_line && lstrcmpiW(command_line, L"user") == 0;
  if (command_line && *command_line && !per_user && lstrcmpiW(command_line, L"machine") != 0)
    return E_INVALIDARG;
  return install ? register_classes(per_user) : unregister_classes(per_user);
}

}  // extern "C"
