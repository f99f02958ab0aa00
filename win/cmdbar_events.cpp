#include "win/cmdbar_events.h"

#include <exception>

#include "ui/scripted_ui.h"
#include "win/module.h"

namespace lczs::win {

// {000C0351-0000-0000-C000-000000000046}
const IID kDiidCommandBarButtonEvents = {0x000C0351, 0x0000, 0x0000,
                                         {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {96A956B5-F6B8-4967-8445-889ECF91014D}
const IID kIidCmdBarEventsOwn = {0x96A956B5, 0xF6B8, 0x4967,
                                 {0x84, 0x45, 0x88, 0x9E, 0xCF, 0x91, 0x01, 0x4D}};

namespace {
constexpr DISPID kDispidClick = 1;
}

CmdBarEvents* CmdBarEvents::create() { return new CmdBarEvents(); }

CmdBarEvents::CmdBarEvents() { module_object_created(); }
CmdBarEvents::~CmdBarEvents() { module_object_destroyed(); }

HRESULT STDMETHODCALLTYPE CmdBarEvents::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, kDiidCommandBarButtonEvents) || IsEqualIID(iid, kIidCmdBarEventsOwn)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CmdBarEvents::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG STDMETHODCALLTYPE CmdBarEvents::Release() {
  LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

HRESULT STDMETHODCALLTYPE CmdBarEvents::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = module_typelib() ? 1 : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CmdBarEvents::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  ITypeLib* lib = module_typelib();
  if (!lib) return TYPE_E_ELEMENTNOTFOUND;
  return lib->GetTypeInfoOfGuid(kIidCmdBarEventsOwn, info);
}

HRESULT STDMETHODCALLTYPE CmdBarEvents::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                      DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (i == 0 && names[i] && lstrcmpiW(names[i], L"Click") == 0)
      ids[i] = kDispidClick;
    else if (i > 0 && names[i] && lstrcmpiW(names[i], L"Ctrl") == 0)
      ids[i] = 0;
    else if (i > 0 && names[i] && lstrcmpiW(names[i], L"CancelDefault") == 0)
      ids[i] = 1;
    else
      hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE CmdBarEvents::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                               VARIANT*, EXCEPINFO* info, UINT* arg_err) {
  if (id != kDispidClick) return DISP_E_MEMBERNOTFOUND;
  if (!params) return E_POINTER;
  if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  // Arguments arrive last first: rgvarg[1] is Ctrl, rgvarg[0] CancelDefault.
  VARIANT& ctrl = params->rgvarg[1];
  VARIANT& cancel = params->rgvarg[0];
  IDispatch* button = nullptr;
  if (ctrl.vt == VT_DISPATCH) {
    button = ctrl.pdispVal;
  } else if (ctrl.vt == (VT_DISPATCH | VT_BYREF) && ctrl.ppdispVal) {
    button = *ctrl.ppdispVal;
  } else {
    if (arg_err) *arg_err = 1;
    return DISP_E_TYPEMISMATCH;
  }
  VARIANT_BOOL* cancel_default = nullptr;
  VARIANT_BOOL by_value = VARIANT_FALSE;
  if (cancel.vt == (VT_BOOL | VT_BYREF)) {
    cancel_default = cancel.pboolVal;
  } else if (cancel.vt == VT_BOOL) {
    by_value = cancel.boolVal;
    cancel_default = &by_value;
  } else {
    if (arg_err) *arg_err = 0;
    return DISP_E_TYPEMISMATCH;
  }
  if (!callback_) return S_OK;
  // The handler may drop the last other reference to this receiver (the
  // host closing in the middle of a run): keep it alive for the call.
  AddRef();
  ClickCallback callback = callback_;
  HRESULT hr = S_OK;
  try {
    callback(button, cancel_default);
  } catch (const std::exception& e) {
    hr = fill_exception(info, "lczs.CmdBarEvents", e.what());
  } catch (const ui::ScriptViolation& v) {
    // The test dialogs stop a run that shows an unexpected dialog; the host
    // receives it as the failure of the event call.
    hr = fill_exception(info, "lczs.CmdBarEvents", v.what);
  }
  Release();
  return hr;
}

}  // namespace lczs::win
