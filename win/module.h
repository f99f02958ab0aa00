// State of the DLL as a COM server: the count of live objects and locks
// that DllCanUnloadNow reports, and the embedded type library.
#pragma once

#include <string>

#include "win/com_util.h"

namespace lczs::win {

void module_object_created();
void module_object_destroyed();
void module_lock(bool lock);
LONG module_active_count();

void module_set_handle(HMODULE module);
HMODULE module_handle();
// Path of the DLL (of the program when no module handle was set).
std::wstring module_path();
// The type library embedded as resource TYPELIB 1, loaded once, not
// registered. Null when it cannot be loaded.
ITypeLib* module_typelib();
void module_release_typelib();
// Fills an EXCEPINFO for a failure returned through IDispatch::Invoke.
HRESULT fill_exception(EXCEPINFO* info, const char* source, const std::string& description);

}  // namespace lczs::win
