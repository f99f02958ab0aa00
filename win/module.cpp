#include "win/module.h"

namespace lczs::win {

namespace {
HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;
ITypeLib* g_typelib = nullptr;
bool g_typelib_tried = false;
}  // namespace

void module_set_handle(HMODULE module) { g_module = module; }

std::wstring module_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void module_object_created() { InterlockedIncrement(&g_objects); }
void module_object_destroyed() { InterlockedDecrement(&g_objects); }
void module_lock(bool lock) {
  if (lock)
    InterlockedIncrement(&g_locks);
  else
    InterlockedDecrement(&g_locks);
}
LONG module_active_count() { return g_objects + g_locks; }
HMODULE module_handle() { return g_module; }

void module_release_typelib() {
  if (g_typelib) g_typelib->Release();
  g_typelib = nullptr;
  g_typelib_tried = false;
}

ITypeLib* module_typelib() {
  if (!g_typelib_tried) {
    g_typelib_tried = true;
    std::wstring path = module_path();
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &g_typelib))) g_typelib = nullptr;
  }
  return g_typelib;
}

HRESULT fill_exception(EXCEPINFO* info, const char* source, const std::string& description) {
  if (info) {
    *info = EXCEPINFO{};
    info->scode = E_FAIL;
    std::wstring s = widen(source);
    std::wstring d = widen(description);
    info->bstrSource = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    info->bstrDescription = SysAllocStringLen(d.data(), static_cast<UINT>(d.size()));
  }
  return DISP_E_EXCEPTION;
}

}  // namespace lczs::win
