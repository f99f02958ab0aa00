// Late binding to an automation object: members are looked up by name
// (GetIDsOfNames) and called through Invoke, with positional and named
// arguments. Every failure becomes host::HostError with a Chinese message
// naming the member and the application's own description.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "win/com_util.h"

namespace lczs::win {

struct NamedArg {
  const wchar_t* name;
  Variant value;
};

// Message for a failed call of `member`, from an HRESULT and, for
// DISP_E_EXCEPTION, the application's description.
std::string com_failure_text(const std::string& member, HRESULT hr, const std::string& description);

class Disp {
 public:
  Disp() = default;
  // `label` names the object kind in messages ("Range", "Worksheet").
  Disp(ComPtr<IDispatch> d, std::string label) : d_(std::move(d)), label_(std::move(label)) {}

  IDispatch* get() const { return d_.get(); }
  explicit operator bool() const { return static_cast<bool>(d_); }
  const std::string& label() const { return label_; }
  void reset() { d_.reset(); }

  // Property get (or method call) with positional arguments, first first.
  Variant get(const wchar_t* member, std::vector<Variant> args = {}) const;
  // Property put: member(args...) = value.
  void put(const wchar_t* member, Variant value, std::vector<Variant> args = {}) const;
  // Method call with positional arguments followed by named arguments.
  Variant call(const wchar_t* member, std::vector<Variant> args, std::vector<NamedArg> named = {}) const;
  // A member whose value is an object; throws when it is Nothing.
  Disp object(const wchar_t* member, std::vector<Variant> args = {}, const char* label = nullptr) const;
  // Whether the object knows the member at all, for members that only newer
  // versions of the application have.
  bool has(const wchar_t* member) const;

 private:
  Variant invoke(const wchar_t* member, WORD flags, std::vector<Variant>& args,
                 std::vector<NamedArg>& named, bool put) const;
  ComPtr<IDispatch> d_;
  std::string label_;
};

// Conversions of a returned VARIANT; each throws HostError naming `what`
// when the value does not convert.
double to_double(const Variant& v, const std::string& what);
long to_long(const Variant& v, const std::string& what);
bool to_bool(const Variant& v, const std::string& what);
std::string to_string(const Variant& v, const std::string& what);
// Nothing (VT_EMPTY, VT_NULL or a null object) gives an empty Disp.
Disp to_disp(const Variant& v, const std::string& label);

// A cell value as Range.Value returns it, and back.
host::Value to_value(const Variant& v);
host::Value to_value(const VARIANT& v);
Variant from_value(const host::Value& v);

// Range.Value of an area with more than one cell: a two-dimensional array of
// VARIANTs indexed from 1, rows first. from_grid builds one; to_grid reads
// one of `rows` x `cols` elements (a single value stands for a 1 x 1 array)
// and throws HostError naming `what` on any other shape.
Variant from_grid(const host::ValueGrid& grid);
host::ValueGrid to_grid(const Variant& v, int rows, int cols, const std::string& what);

}  // namespace lczs::win
