#include "win/dispatch.h"

#include <algorithm>
#include <new>
#include <cstdio>
#include <cmath>

namespace lczs::win {

namespace {

// Excel's CVErr codes (xlErrDiv0 = 2007 ...) as Range.Value returns them,
// wrapped in an HRESULT with facility 10.
constexpr SCODE kXlErrBase = static_cast<SCODE>(0x800A0000);

struct XlError {
  int code;
  host::ErrorCode error;
};
constexpr XlError kXlErrors[] = {
    {2000, host::ErrorCode::Null}, {2007, host::ErrorCode::Div0}, {2015, host::ErrorCode::Value},
    {2023, host::ErrorCode::Ref},  {2029, host::ErrorCode::Name}, {2036, host::ErrorCode::Num},
    {2042, host::ErrorCode::NA},
};

std::string hr_text(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr));
  return buf;
}

}  // namespace

std::string com_failure_text(const std::string& member, HRESULT hr, const std::string& description) {
  std::string text = "表格程序执行 " + member + " 失败";
  if (!description.empty()) {
    text += "：" + description;
  } else {
    switch (hr) {
      case DISP_E_UNKNOWNNAME:
      case DISP_E_MEMBERNOTFOUND: text += "：没有这个成员"; break;
      case DISP_E_TYPEMISMATCH: text += "：参数类型不符"; break;
      case DISP_E_BADPARAMCOUNT: text += "：参数个数不符"; break;
      case DISP_E_PARAMNOTFOUND: text += "：缺少参数"; break;
      case DISP_E_OVERFLOW: text += "：数值超出范围"; break;
      case RPC_E_DISCONNECTED:
      case CO_E_OBJNOTCONNECTED: text += "：表格程序已断开"; break;
      default: break;
    }
  }
  return text + "（" + hr_text(hr) + "）";
}

Variant Disp::get(const wchar_t* member, std::vector<Variant> args) const {
  std::vector<NamedArg> none;
  return invoke(member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, none, false);
}

void Disp::put(const wchar_t* member, Variant value, std::vector<Variant> args) const {
  args.push_back(std::move(value));
  std::vector<NamedArg> none;
  invoke(member, DISPATCH_PROPERTYPUT, args, none, true);
}

Variant Disp::call(const wchar_t* member, std::vector<Variant> args, std::vector<NamedArg> named) const {
  return invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, named, false);
}

Disp Disp::object(const wchar_t* member, std::vector<Variant> args, const char* label) const {
  std::string name = label ? label : narrow(member);
  Variant v = get(member, std::move(args));
  Disp d = to_disp(v, name);
  if (!d) throw host::HostError(com_failure_text(label_ + "." + narrow(member), E_POINTER, "结果为空"));
  return d;
}

bool Disp::has(const wchar_t* member) const {
  if (!d_) return false;
  LPOLESTR name = const_cast<LPOLESTR>(member);
  DISPID id = DISPID_UNKNOWN;
  return SUCCEEDED(d_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)) && id != DISPID_UNKNOWN;
}

Variant Disp::invoke(const wchar_t* member, WORD flags, std::vector<Variant>& args,
                     std::vector<NamedArg>& named, bool put) const {
  const std::string what = label_ + "." + narrow(member);
  if (!d_) throw host::HostError(com_failure_text(what, CO_E_OBJNOTCONNECTED, ""));

  // Names: the member, then the named arguments.
  std::vector<LPOLESTR> names;
  names.push_back(const_cast<LPOLESTR>(member));
  for (auto& n : named) names.push_back(const_cast<LPOLESTR>(n.name));
  std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
  HRESULT hr = d_->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                                 LOCALE_USER_DEFAULT, ids.data());
  if (FAILED(hr)) throw host::HostError(com_failure_text(what, hr, ""));

  // rgvarg holds the named arguments first (paired with
  // rgdispidNamedArgs), then the positional ones last first. A property
  // put passes its value as the named argument DISPID_PROPERTYPUT.
  std::vector<VARIANTARG> argv;
  std::vector<DISPID> named_ids;
  size_t positional = args.size();
  if (put) {
    argv.push_back(*args.back().get());
    named_ids.push_back(DISPID_PROPERTYPUT);
    --positional;
  }
  for (size_t i = 0; i < named.size(); ++i) {
    argv.push_back(*named[i].value.get());
    named_ids.push_back(ids[i + 1]);
  }
  for (size_t i = positional; i-- > 0;) argv.push_back(*args[i].get());

  DISPPARAMS params{};
  params.rgvarg = argv.empty() ? nullptr : argv.data();
  params.cArgs = static_cast<UINT>(argv.size());
  params.rgdispidNamedArgs = named_ids.empty() ? nullptr : named_ids.data();
  params.cNamedArgs = static_cast<UINT>(named_ids.size());

  Variant result;
  EXCEPINFO info{};
  UINT arg_err = 0;
  hr = d_->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, flags, &params, put ? nullptr : result.get(),
                  &info, &arg_err);
  if (FAILED(hr)) {
    std::string description;
    if (hr == DISP_E_EXCEPTION) {
      if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
      description = narrow_bstr(info.bstrDescription);
      if (info.scode) hr = info.scode;
    }
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
    throw host::HostError(com_failure_text(what, hr, description));
  }
  return result;
}

namespace {

Variant coerce(const Variant& v, VARTYPE vt, const std::string& what) {
  Variant out;
  HRESULT hr = VariantChangeType(out.get(), const_cast<VARIANT*>(v.get()), 0, vt);
  if (FAILED(hr)) throw host::HostError(com_failure_text(what, hr, "返回值类型不符"));
  return out;
}

}  // namespace

double to_double(const Variant& v, const std::string& what) { return coerce(v, VT_R8, what).get()->dblVal; }
long to_long(const Variant& v, const std::string& what) { return coerce(v, VT_I4, what).get()->lVal; }
bool to_bool(const Variant& v, const std::string& what) {
  return coerce(v, VT_BOOL, what).get()->boolVal != VARIANT_FALSE;
}
std::string to_string(const Variant& v, const std::string& what) {
  if (v.vt() == VT_EMPTY || v.vt() == VT_NULL) return {};
  return narrow_bstr(coerce(v, VT_BSTR, what).get()->bstrVal);
}

Disp to_disp(const Variant& v, const std::string& label) {
  const VARIANT* p = v.get();
  if (p->vt == VT_DISPATCH && p->pdispVal) return Disp(ComPtr<IDispatch>(p->pdispVal), label);
  if (p->vt == VT_UNKNOWN && p->punkVal) {
    ComPtr<IDispatch> d;
    p->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(d.put()));
    return Disp(d, label);
  }
  return Disp();
}

host::Value to_value(const Variant& v) { return to_value(*v.get()); }

host::Value to_value(const VARIANT& v) {
  const VARIANT* p = &v;
  switch (p->vt) {
    case VT_EMPTY:
    case VT_NULL: return host::Value();
    case VT_R8: return host::Value::number(p->dblVal);
    case VT_BSTR: return host::Value::text(narrow_bstr(p->bstrVal));
    case VT_BOOL: return host::Value::boolean(p->boolVal != VARIANT_FALSE);
    case VT_ERROR: {
      int code = static_cast<int>(p->scode - kXlErrBase);
      for (const auto& e : kXlErrors)
        if (e.code == code) return host::Value::error(e.error);
      return host::Value::error(host::ErrorCode::NA);
    }
    default: {
      // Dates, currency and integer types are numbers to the jobs.
      Variant d;
      if (SUCCEEDED(VariantChangeType(d.get(), const_cast<VARIANT*>(p), 0, VT_R8)))
        return host::Value::number(d.get()->dblVal);
      return host::Value();
    }
  }
}

Variant from_value(const host::Value& v) {
  switch (v.kind()) {
    case host::Value::Kind::Empty: return Variant::empty();
    case host::Value::Kind::Number: return Variant::r8(v.as_number());
    case host::Value::Kind::Text: return Variant::str(v.as_text());
    case host::Value::Kind::Boolean: return Variant::boolean(v.as_boolean());
    case host::Value::Kind::Error:
      for (const auto& e : kXlErrors)
        if (e.error == v.as_error()) return Variant::error(kXlErrBase + e.code);
      return Variant::error(kXlErrBase + 2042);
  }
  return Variant::empty();
}

namespace {

// Unlocks an array's data however the conversion ends.
class ArrayData {
 public:
  explicit ArrayData(SAFEARRAY* a) : a_(a) {
    if (FAILED(SafeArrayAccessData(a_, reinterpret_cast<void**>(&data_))))
      throw host::HostError("表格程序返回的数组无法读取");
  }
  ~ArrayData() { SafeArrayUnaccessData(a_); }
  ArrayData(const ArrayData&) = delete;
  ArrayData& operator=(const ArrayData&) = delete;
  // Every SAFEARRAY is stored column by column: the row index varies fastest.
  VARIANT& at(long rows, long row, long col) { return data_[col * rows + row]; }

 private:
  SAFEARRAY* a_;
  VARIANT* data_ = nullptr;
};

}  // namespace

Variant from_grid(const host::ValueGrid& grid) {
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(grid.rows()), 1}, {static_cast<ULONG>(grid.cols()), 1}};
  Variant out;
  SAFEARRAY* a = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (!a) throw std::bad_alloc();
  out.get()->vt = VT_ARRAY | VT_VARIANT;
  out.get()->parray = a;
  ArrayData data(a);
  for (int c = 0; c < grid.cols(); ++c)
    for (int r = 0; r < grid.rows(); ++r) data.at(grid.rows(), r, c) = from_value(grid.at(r, c)).detach();
  return out;
}

host::ValueGrid to_grid(const Variant& v, int rows, int cols, const std::string& what) {
  host::ValueGrid grid(rows, cols);
  const VARIANT* p = v.get();
  if (!(p->vt & VT_ARRAY)) {
    if (rows != 1 || cols != 1) throw host::HostError(what + " 没有返回数组");
    grid.at(0, 0) = to_value(*p);
    return grid;
  }
  SAFEARRAY* a = (p->vt & VT_BYREF) ? *p->pparray : p->parray;
  long lo_r = 0, hi_r = -1, lo_c = 0, hi_c = -1;
  if ((p->vt & VT_TYPEMASK) != VT_VARIANT || !a || SafeArrayGetDim(a) != 2 ||
      FAILED(SafeArrayGetLBound(a, 1, &lo_r)) || FAILED(SafeArrayGetUBound(a, 1, &hi_r)) ||
      FAILED(SafeArrayGetLBound(a, 2, &lo_c)) || FAILED(SafeArrayGetUBound(a, 2, &hi_c)) ||
      hi_r - lo_r + 1 != rows || hi_c - lo_c + 1 != cols)
    throw host::HostError(what + " 返回的数组与区域大小不符");
  ArrayData data(a);
  for (int c = 0; c < cols; ++c)
    for (int r = 0; r < rows; ++r) grid.at(r, c) = to_value(data.at(rows, r, c));
  return grid;
}

}  // namespace lczs::win
