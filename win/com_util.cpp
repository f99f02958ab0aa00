#include "win/com_util.h"

namespace lczs::win {

std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::string narrow_bstr(BSTR s) {
  if (!s) return {};
  return narrow(std::wstring_view(s, SysStringLen(s)));
}

IUnknown* identity(IUnknown* p) {
  if (!p) return nullptr;
  IUnknown* u = nullptr;
  if (FAILED(p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u))) || !u) return p;
  u->Release();  // the object stays alive through p; only the address counts
  return u;
}

Variant Variant::missing() {
  Variant v;
  v.v_.vt = VT_ERROR;
  v.v_.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

Variant Variant::i4(long x) {
  Variant v;
  v.v_.vt = VT_I4;
  v.v_.lVal = x;
  return v;
}

Variant Variant::r8(double x) {
  Variant v;
  v.v_.vt = VT_R8;
  v.v_.dblVal = x;
  return v;
}

Variant Variant::boolean(bool b) {
  Variant v;
  v.v_.vt = VT_BOOL;
  v.v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::str(std::string_view utf8) {
  Variant v;
  std::wstring w = widen(utf8);
  v.v_.vt = VT_BSTR;
  v.v_.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  return v;
}

Variant Variant::dispatch(IDispatch* d) {
  Variant v;
  v.v_.vt = VT_DISPATCH;
  v.v_.pdispVal = d;
  if (d) d->AddRef();
  return v;
}

Variant Variant::error(SCODE s) {
  Variant v;
  v.v_.vt = VT_ERROR;
  v.v_.scode = s;
  return v;
}

}  // namespace lczs::win
