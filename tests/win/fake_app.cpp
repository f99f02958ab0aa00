#include "tests/win/fake_app.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <deque>
#include <functional>
#include <stdexcept>

#include "win/dispatch.h"

#include <olectl.h>  // CONNECT_E_*

namespace lczs::wintest {

using win::ComPtr;
using win::narrow;
using win::Variant;
using win::widen;

namespace {

long g_live = 0;
long g_calls = 0;
std::vector<std::string> g_used;

// {5E0C8A43-6C1B-4E25-9F3A-0D1B7D35C101}: finds the C++ object behind an
// argument that is one of ours.
const IID kIidFake = {0x5E0C8A43, 0x6C1B, 0x4E25, {0x9F, 0x3A, 0x0D, 0x1B, 0x7D, 0x35, 0xC1, 0x01}};
// {000C0351-0000-0000-C000-000000000046}
const IID kDiidButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr long kXlDown = -4121;
constexpr long kXlPageBreakManual = -4135;
constexpr std::size_t kMostPageBreaksAdded = 1026;

struct FakeError {
  HRESULT hr;
  std::string text;
};

std::wstring lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

// One name table for every object: members and named arguments.
std::map<std::wstring, DISPID>& ids() {
  static std::map<std::wstring, DISPID> t;
  return t;
}
std::map<DISPID, std::wstring>& names() {
  static std::map<DISPID, std::wstring> t;
  return t;
}
DISPID id_of(const std::wstring& name) {
  std::wstring key = lower(name);
  auto it = ids().find(key);
  if (it != ids().end()) return it->second;
  DISPID id = 100 + static_cast<DISPID>(ids().size());
  ids()[key] = id;
  names()[id] = key;
  return id;
}

struct Args {
  std::vector<VARIANT*> pos;                // first first
  std::map<std::wstring, VARIANT*> named;  // lower-case names
  VARIANT* put = nullptr;

  static bool missing(VARIANT* v) { return !v || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND); }
  // Positional argument i, or the named one.
  VARIANT* at(size_t i, const wchar_t* name) const {
    auto it = named.find(lower(name));
    if (it != named.end()) return missing(it->second) ? nullptr : it->second;
    if (i < pos.size() && !missing(pos[i])) return pos[i];
    return nullptr;
  }
  VARIANT* need(size_t i, const wchar_t* name) const {
    VARIANT* v = at(i, name);
    if (!v) throw FakeError{DISP_E_PARAMNOTFOUND, "missing argument " + narrow(std::wstring(name))};
    return v;
  }
};

Variant deref(VARIANT* v) {
  Variant out;
  if (FAILED(VariantCopyInd(out.get(), v))) throw FakeError{DISP_E_TYPEMISMATCH, "bad argument"};
  return out;
}
long to_long(VARIANT* v) {
  Variant out;
  if (FAILED(VariantChangeType(out.get(), v, 0, VT_I4))) throw FakeError{DISP_E_TYPEMISMATCH, "not a number"};
  return out.get()->lVal;
}
double to_double(VARIANT* v) {
  Variant out;
  if (FAILED(VariantChangeType(out.get(), v, 0, VT_R8))) throw FakeError{DISP_E_TYPEMISMATCH, "not a number"};
  return out.get()->dblVal;
}
bool to_bool(VARIANT* v) {
  Variant out;
  if (FAILED(VariantChangeType(out.get(), v, 0, VT_BOOL))) throw FakeError{DISP_E_TYPEMISMATCH, "not a boolean"};
  return out.get()->boolVal != VARIANT_FALSE;
}
std::string to_str(VARIANT* v) {
  Variant out;
  if (FAILED(VariantChangeType(out.get(), v, 0, VT_BSTR))) throw FakeError{DISP_E_TYPEMISMATCH, "not a text"};
  return win::narrow_bstr(out.get()->bstrVal);
}
host::Value to_value(VARIANT* v) { return win::to_value(deref(v)); }

class FakeDispatch : public IDispatch {
 public:
  FakeDispatch() { ++g_live; }
  virtual ~FakeDispatch() { --g_live; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(iid, kIidFake)) {
      *out = this;  // not a reference
      return S_OK;
    } else {
      *out = extra_interface(iid);
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    long n = --refs_;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* n, UINT count, LCID, DISPID* out) override {
    ++g_calls;
    for (UINT i = 0; i < count; ++i) {
      out[i] = id_of(n[i]);
      if (i == 0) {
        std::string used = kind_ + "." + narrow(std::wstring(n[i]));
        if (std::find(g_used.begin(), g_used.end(), used) == g_used.end()) g_used.push_back(used);
      }
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result,
                                   EXCEPINFO* info, UINT*) override {
    ++g_calls;
    auto it = names().find(id);
    if (it == names().end()) return DISP_E_MEMBERNOTFOUND;
    Args a;
    UINT named = p ? p->cNamedArgs : 0;
    for (UINT i = 0; i < named; ++i) {
      if (p->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT) {
        a.put = &p->rgvarg[i];
      } else {
        auto n = names().find(p->rgdispidNamedArgs[i]);
        if (n == names().end()) return DISP_E_PARAMNOTFOUND;
        a.named[n->second] = &p->rgvarg[i];
      }
    }
    for (UINT i = p ? p->cArgs : 0; i-- > named;) a.pos.push_back(&p->rgvarg[i]);
    if ((flags & DISPATCH_PROPERTYPUT) && !a.put) return DISP_E_PARAMNOTFOUND;
    Variant out;
    try {
      if (!member(it->second, a, out)) return DISP_E_MEMBERNOTFOUND;
    } catch (const FakeError& e) {
      return fail(info, e.hr, e.text);
    } catch (const host::HostError& e) {
      return fail(info, static_cast<HRESULT>(0x800A03EC), e.what());
    }
    if (result) *result = out.detach();
    return S_OK;
  }

 protected:
  explicit FakeDispatch(std::string kind) : FakeDispatch() { kind_ = std::move(kind); }
  friend class FakeWrapper;
  virtual void* extra_interface(REFIID) { return nullptr; }
  // Runs member `name` (lower case); false when there is no such member.
  virtual bool member(const std::wstring& name, Args& a, Variant& out) = 0;

 private:
  static HRESULT fail(EXCEPINFO* info, HRESULT hr, const std::string& text) {
    if (!info) return hr;
    *info = EXCEPINFO{};
    info->scode = hr;
    std::wstring w = widen(text);
    info->bstrDescription = SysAllocString(w.c_str());
    info->bstrSource = SysAllocString(L"fake application");
    return DISP_E_EXCEPTION;
  }
  long refs_ = 1;
  std::string kind_;
};

template <class T>
T* fake_of(VARIANT* v) {
  Variant d = deref(v);
  if (d.vt() != VT_DISPATCH || !d.get()->pdispVal) throw FakeError{DISP_E_TYPEMISMATCH, "not an object"};
  void* p = nullptr;
  if (FAILED(d.get()->pdispVal->QueryInterface(kIidFake, &p)) || !p)
    throw FakeError{DISP_E_TYPEMISMATCH, "not a fake object"};
  T* t = dynamic_cast<T*>(static_cast<FakeDispatch*>(p));
  if (!t) throw FakeError{DISP_E_TYPEMISMATCH, "wrong kind of object"};
  return t;
}

// Hands a new object (one reference) to the caller.
Variant give(IDispatch* fresh) {
  Variant v;
  v.get()->vt = VT_DISPATCH;
  v.get()->pdispVal = fresh;
  return v;
}

bool is(const std::wstring& name, const wchar_t* what) { return name == what; }

// ---------------------------------------------------------------------------

struct AppContext {
  host::Application* app = nullptr;
  std::deque<FakeChartRecord> charts;  // in the order made
  std::size_t charts_kept = 0;         // how many of them the workbook holds
};

// The application keeps its charts in the file it saves: the charts made
// since the last save join the model's sheets before a save.
void keep_charts(AppContext& ctx, host::Workbook& book) {
  for (; ctx.charts_kept < ctx.charts.size(); ++ctx.charts_kept) {
    const FakeChartRecord& made = ctx.charts[ctx.charts_kept];
    book.sheet(made.sheet).add_chart(made.chart);
  }
}

// Column widths and row heights in points, as the application places
// objects: a width of w characters is 7w + 5 pixels of 0.75 points.
double column_points(const host::Worksheet& s, int col) { return (s.column_width(col) * 7 + 5) * 0.75; }
double left_of(const host::Worksheet& s, int col) {
  double x = 0;
  for (int c = 1; c < col; ++c) x += column_points(s, c);
  return x;
}
double top_of(const host::Worksheet& s, int row) {
  double y = 0;
  for (int r = 1; r < row; ++r) y += s.row_height(r);
  return y;
}
// The column (row) whose left (top) edge is at `points`; a point between
// two edges is a fault of the caller.
int column_at(const host::Worksheet& s, double points) {
  double x = 0;
  int c = 1;
  while (x + 1e-6 < points) x += column_points(s, c++);
  if (std::abs(x - points) > 1e-6) throw FakeError{E_INVALIDARG, "chart not on a column edge"};
  return c;
}
int row_at(const host::Worksheet& s, double points) {
  double y = 0;
  int r = 1;
  while (y + 1e-6 < points) y += s.row_height(r++);
  if (std::abs(y - points) > 1e-6) throw FakeError{E_INVALIDARG, "chart not on a row edge"};
  return r;
}

class FakeRange;
class FakeWorksheet;

class FakeFont final : public FakeDispatch {
 public:
  // Characters(start, length) when length > 0, else the area.
  FakeFont(host::Worksheet& s, host::Area a, int start = 0, int length = 0)
      : FakeDispatch("Font"), sheet_(s), area_(a), start_(start), length_(length) {}
  bool member(const std::wstring& n, Args& a, Variant&) override {
    if (!a.put) return false;
    host::FontPatch f;
    if (is(n, L"name")) f.name = to_str(a.put);
    else if (is(n, L"fontstyle")) f.font_style = to_str(a.put);
    else if (is(n, L"size")) f.size = to_double(a.put);
    else if (is(n, L"bold")) f.bold = to_bool(a.put);
    else if (is(n, L"italic")) f.italic = to_bool(a.put);
    else if (is(n, L"strikethrough")) f.strikethrough = to_bool(a.put);
    else if (is(n, L"superscript")) f.superscript = to_bool(a.put);
    else if (is(n, L"subscript")) f.subscript = to_bool(a.put);
    else if (is(n, L"outlinefont")) f.outline = to_bool(a.put);
    else if (is(n, L"shadow")) f.shadow = to_bool(a.put);
    else if (is(n, L"underline")) f.underline = static_cast<host::Underline>(to_long(a.put));
    else if (is(n, L"colorindex")) f.color_index = static_cast<int>(to_long(a.put));
    else return false;
    if (length_ > 0)
      sheet_.set_characters_font(area_.top, area_.left, start_, length_, f);
    else
      sheet_.set_font(area_, f);
    return true;
  }

 private:
  host::Worksheet& sheet_;
  host::Area area_;
  int start_, length_;
};

class FakeCharacters final : public FakeDispatch {
 public:
  FakeCharacters(host::Worksheet& s, host::Area a, int start, int length)
      : FakeDispatch("Characters"), sheet_(s), area_(a), start_(start), length_(length) {}
  bool member(const std::wstring& n, Args&, Variant& out) override {
    if (!is(n, L"font")) return false;
    out = give(new FakeFont(sheet_, area_, start_, length_));
    return true;
  }

 private:
  host::Worksheet& sheet_;
  host::Area area_;
  int start_, length_;
};

class FakeBorder final : public FakeDispatch {
 public:
  FakeBorder(host::Worksheet& s, host::Area a, host::BorderIndex i)
      : FakeDispatch("Border"), sheet_(s), area_(a), index_(i) {}
  bool member(const std::wstring& n, Args& a, Variant&) override {
    if (!a.put) return false;
    if (is(n, L"linestyle")) spec_.style = static_cast<host::LineStyle>(to_long(a.put));
    else if (is(n, L"weight")) spec_.weight = static_cast<host::BorderWeight>(to_long(a.put));
    else if (is(n, L"colorindex")) spec_.color_index = static_cast<int>(to_long(a.put));
    else return false;
    sheet_.set_border(area_, index_, spec_);
    return true;
  }

 private:
  host::Worksheet& sheet_;
  host::Area area_;
  host::BorderIndex index_;
  host::BorderSpec spec_;
};

class FakeRange final : public FakeDispatch {
 public:
  FakeRange(AppContext& ctx, host::Worksheet& s, host::Area a)
      : FakeDispatch("Range"), ctx_(ctx), sheet_(s), area_(a) {}
  host::Worksheet& sheet() { return sheet_; }
  const host::Area& area() const { return area_; }

  bool member(const std::wstring& n, Args& a, Variant& out) override {
    auto& s = sheet_;
    const auto& r = area_;
    auto range = [&](host::Area x) { return give(new FakeRange(ctx_, s, x)); };
    if (is(n, L"value")) {
      // An area of more than one cell reads and takes a two-dimensional array.
      if (a.put && (a.put->vt & VT_ARRAY))
        s.write_values(r.top_left(), win::to_grid(deref(a.put), r.row_count(), r.col_count(), "Range.Value"));
      else if (a.put) s.set_values(r, to_value(a.put));
      else if (r.is_single_cell()) out = win::from_value(s.value(r.top, r.left));
      else out = win::from_grid(s.values(r));
    } else if (is(n, L"formula")) {
      if (a.put) s.set_formula(r, to_str(a.put));
      else if (r.is_single_cell()) out = Variant::str(s.formula(r.top, r.left));
      else out = win::from_grid(formulas(r));
    } else if (is(n, L"formular1c1")) {
      if (!a.put) return false;
      s.set_formula_r1c1(r, to_str(a.put));
    } else if (is(n, L"address")) {
      out = Variant::str(host::address(r, true));
    } else if (is(n, L"row")) {
      out = Variant::i4(r.top);
    } else if (is(n, L"column")) {
      out = Variant::i4(r.left);
    } else if (is(n, L"currentregion")) {
      out = range(s.current_region(r.top, r.left));
    } else if (is(n, L"end")) {
      if (to_long(a.need(0, L"Direction")) != kXlDown) throw FakeError{E_NOTIMPL, "only xlDown"};
      host::CellRef c = s.end_down(r.top, r.left);
      out = range(host::Area::cell(c.row, c.col));
    } else if (is(n, L"entirecolumn")) {
      out = range(r.entire_column());
    } else if (is(n, L"select")) {
      s.select(r);
    } else if (is(n, L"activate")) {
      s.select(s.selection(), r.top_left());
    } else if (is(n, L"clearcontents")) {
      s.clear_contents(r);
    } else if (is(n, L"clearcomments")) {
      s.clear_comments(r);
    } else if (is(n, L"clearhyperlinks")) {
      s.clear_hyperlinks(r);
    } else if (is(n, L"delete")) {
      VARIANT* shift = a.at(0, L"Shift");
      s.delete_cells(r, shift ? static_cast<host::Shift>(to_long(shift)) : host::Shift::Auto);
    } else if (is(n, L"insert")) {
      VARIANT* shift = a.at(0, L"Shift");
      s.insert_cells(r, shift ? static_cast<host::Shift>(to_long(shift)) : host::Shift::Auto);
    } else if (is(n, L"sort")) {
      sort(a);
    } else if (is(n, L"replace")) {
      if (to_long(a.need(2, L"LookAt")) != 1 || to_bool(a.need(5, L"MatchCase")))
        throw FakeError{E_NOTIMPL, "only whole, case-insensitive replacement"};
      int count = s.replace_whole(r, to_str(a.need(0, L"What")), to_str(a.need(1, L"Replacement")));
      out = Variant::boolean(count > 0);
    } else if (is(n, L"font")) {
      out = give(new FakeFont(s, r));
    } else if (is(n, L"characters")) {
      int start = static_cast<int>(to_long(a.need(0, L"Start")));
      int length = static_cast<int>(to_long(a.need(1, L"Length")));
      out = give(new FakeCharacters(s, r, start, length));
    } else if (is(n, L"borders")) {
      out = give(new FakeBorder(s, r, static_cast<host::BorderIndex>(to_long(a.need(0, L"Index")))));
    } else if (is(n, L"merge")) {
      s.merge(r);
    } else if (is(n, L"numberformatlocal")) {
      if (!a.put) return false;
      s.set_number_format(r, to_str(a.put));
    } else if (is(n, L"columnwidth")) {
      if (a.put) s.set_column_width(r.left, r.right, to_double(a.put));
      else out = Variant::r8(s.column_width(r.left));
    } else if (is(n, L"rowheight")) {
      if (a.put) s.set_row_height(r.top, r.bottom, to_double(a.put));
      else out = Variant::r8(s.row_height(r.top));
    } else if (is(n, L"left")) {
      out = Variant::r8(left_of(s, r.left));
    } else if (is(n, L"top")) {
      out = Variant::r8(top_of(s, r.top));
    } else if (is(n, L"autofit")) {
      s.autofit_columns(r.left, r.right);
    } else if (is(n, L"copy")) {
      ctx_.app->copy(s, r);
    } else if (is(n, L"cut")) {
      ctx_.app->cut(s, r);
    } else if (alignment(n, a)) {
    } else {
      return false;
    }
    return true;
  }

 private:
  bool alignment(const std::wstring& n, Args& a) {
    if (!a.put) return false;
    host::AlignmentPatch p;
    if (is(n, L"horizontalalignment")) p.horizontal = static_cast<host::HAlign>(to_long(a.put));
    else if (is(n, L"verticalalignment")) p.vertical = static_cast<host::VAlign>(to_long(a.put));
    else if (is(n, L"wraptext")) p.wrap_text = to_bool(a.put);
    else if (is(n, L"orientation")) p.orientation = static_cast<int>(to_long(a.put));
    else if (is(n, L"addindent")) p.add_indent = to_bool(a.put);
    else if (is(n, L"indentlevel")) p.indent_level = static_cast<int>(to_long(a.put));
    else if (is(n, L"shrinktofit")) p.shrink_to_fit = to_bool(a.put);
    else if (is(n, L"mergecells")) p.merge_cells = to_bool(a.put);
    else return false;
    sheet_.set_alignment(area_, p);
    return true;
  }

  // Range.Formula of an area: each cell's formula bar text, as text.
  host::ValueGrid formulas(const host::Area& r) {
    host::ValueGrid grid(r.row_count(), r.col_count());
    for (int i = 0; i < grid.rows(); ++i)
      for (int j = 0; j < grid.cols(); ++j) grid.at(i, j) = host::Value::text(sheet_.formula(r.top + i, r.left + j));
    return grid;
  }

  // Range.Sort(Key1, Order1, Key2, Type, Order2, Key3, Order3, Header,
  // OrderCustom, MatchCase, Orientation, SortMethod): the add-in always
  // names its arguments; the fixed ones must carry the fixed values.
  void sort(Args& a) {
    auto key = [&](const wchar_t* k, const wchar_t* o) -> std::optional<host::SortKey> {
      auto kit = a.named.find(lower(k));
      if (kit == a.named.end()) return std::nullopt;
      FakeRange* kr = fake_of<FakeRange>(kit->second);
      host::SortKey sk;
      sk.column = kr->area().left;
      auto oit = a.named.find(lower(o));
      if (oit != a.named.end()) sk.order = static_cast<host::SortOrder>(to_long(oit->second));
      return sk;
    };
    auto need_named = [&](const wchar_t* name) {
      auto it = a.named.find(lower(name));
      if (it == a.named.end()) throw FakeError{DISP_E_PARAMNOTFOUND, "Sort without " + narrow(std::wstring(name))};
      return it->second;
    };
    if (to_long(need_named(L"OrderCustom")) != 1 || to_bool(need_named(L"MatchCase")) ||
        to_long(need_named(L"Orientation")) != 1 || to_long(need_named(L"SortMethod")) != 1)
      throw FakeError{E_INVALIDARG, "Sort with other fixed options"};
    host::SortSpec spec;
    auto k1 = key(L"Key1", L"Order1");
    if (!k1) throw FakeError{DISP_E_PARAMNOTFOUND, "Sort without Key1"};
    spec.key1 = *k1;
    spec.key2 = key(L"Key2", L"Order2");
    spec.key3 = key(L"Key3", L"Order3");
    auto h = a.named.find(L"header");
    if (h != a.named.end()) spec.header = static_cast<host::SortHeader>(to_long(h->second));
    sheet_.sort(area_, spec);
  }

  AppContext& ctx_;
  host::Worksheet& sheet_;
  host::Area area_;
};

class FakePageBreak final : public FakeDispatch {
 public:
  FakePageBreak(AppContext& ctx, host::Worksheet& s, int row) : FakeDispatch("HPageBreak"), ctx_(ctx), sheet_(s), row_(row) {}
  bool member(const std::wstring& n, Args&, Variant& out) override {
    if (is(n, L"type")) out = Variant::i4(kXlPageBreakManual);
    else if (is(n, L"location")) out = give(new FakeRange(ctx_, sheet_, host::Area::cell(row_, 1)));
    else return false;
    return true;
  }

 private:
  AppContext& ctx_;
  host::Worksheet& sheet_;
  int row_;
};

class FakePageBreaks final : public FakeDispatch {
 public:
  FakePageBreaks(AppContext& ctx, host::Worksheet& s) : FakeDispatch("HPageBreaks"), ctx_(ctx), sheet_(s) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    auto rows = sheet_.page_breaks();
    if (is(n, L"count")) {
      out = Variant::i4(static_cast<long>(rows.size()));
    } else if (is(n, L"item")) {
      long i = to_long(a.need(0, L"Index"));
      if (i < 1 || i > static_cast<long>(rows.size())) throw FakeError{DISP_E_BADINDEX, "no such break"};
      out = give(new FakePageBreak(ctx_, sheet_, rows[static_cast<size_t>(i - 1)]));
    } else if (is(n, L"add")) {
      FakeRange* before = fake_of<FakeRange>(a.need(0, L"Before"));
      // The application takes a few breaks past the file format's limit,
      // then fails the call: an add-in that does not stop at the limit
      // fails its run here.
      if (rows.size() >= kMostPageBreaksAdded) throw FakeError{E_FAIL, "HPageBreaks.Add: too many page breaks"};
      sheet_.add_page_break(before->area().top);
    } else {
      return false;
    }
    return true;
  }

 private:
  AppContext& ctx_;
  host::Worksheet& sheet_;
};

// ChartTitle and AxisTitle: the text of a title that is shown.
class FakeTitle final : public FakeDispatch {
 public:
  FakeTitle(const char* kind, std::string& text) : FakeDispatch(kind), text_(text) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    if (!is(n, L"text")) return false;
    if (a.put) text_ = to_str(a.put);
    else out = Variant::str(text_);
    return true;
  }

 private:
  std::string& text_;
};

// Chart.HasTitle and Axis.HasTitle: the title object exists only while shown.
bool title_member(const std::wstring& n, Args& a, Variant& out, const wchar_t* title, const char* kind,
                  bool& shown, std::string& text) {
  if (is(n, L"hastitle")) {
    if (!a.put) {
      out = Variant::boolean(shown);
      return true;
    }
    shown = to_bool(a.put);
    if (!shown) text.clear();
  } else if (n == title) {
    if (!shown) throw FakeError{static_cast<HRESULT>(0x800A03EC), "no title shown"};
    out = give(new FakeTitle(kind, text));
  } else {
    return false;
  }
  return true;
}

class FakeAxis final : public FakeDispatch {
 public:
  FakeAxis(FakeChartRecord& c, bool category) : FakeDispatch("Axis"), c_(c), category_(category) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    return title_member(n, a, out, L"axistitle", "AxisTitle", c_.axis_title_shown[category_ ? 0 : 1],
                        category_ ? c_.chart.category_title : c_.chart.value_title);
  }

 private:
  FakeChartRecord& c_;
  bool category_;
};

class FakeSeries final : public FakeDispatch {
 public:
  FakeSeries(FakeChartRecord& c, std::size_t i) : FakeDispatch("Series"), c_(c), i_(i) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    host::ChartSeries& s = c_.chart.series[i_];
    // Values and XValues of one series come from one sheet here.
    auto from = [&](host::Area& into) {
      FakeRange* r = fake_of<FakeRange>(a.put);
      if (!s.sheet.empty() && s.sheet != r->sheet().name()) throw FakeError{E_INVALIDARG, "ranges of two sheets"};
      s.sheet = r->sheet().name();
      into = r->area();
    };
    if (!a.put) return false;
    if (is(n, L"charttype")) s.type = static_cast<host::ChartType>(to_long(a.put));
    else if (is(n, L"name")) s.name = to_str(a.put);
    else if (is(n, L"values")) from(s.values);
    else if (is(n, L"xvalues")) from(s.categories);
    else return false;
    (void)out;
    return true;
  }

 private:
  FakeChartRecord& c_;
  std::size_t i_;
};

class FakeSeriesCollection final : public FakeDispatch {
 public:
  explicit FakeSeriesCollection(FakeChartRecord& c) : FakeDispatch("SeriesCollection"), c_(c) {}
  bool member(const std::wstring& n, Args&, Variant& out) override {
    if (is(n, L"count")) {
      out = Variant::i4(static_cast<long>(c_.chart.series.size()));
    } else if (is(n, L"newseries")) {
      c_.chart.series.push_back({});
      out = give(new FakeSeries(c_, c_.chart.series.size() - 1));
    } else {
      return false;
    }
    return true;
  }

 private:
  FakeChartRecord& c_;
};

class FakeChart final : public FakeDispatch {
 public:
  explicit FakeChart(FakeChartRecord& c) : FakeDispatch("Chart"), c_(c) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    if (is(n, L"seriescollection")) {
      out = give(new FakeSeriesCollection(c_));
    } else if (is(n, L"axes")) {
      long type = to_long(a.need(0, L"Type"));
      if (type != 1 && type != 2) throw FakeError{E_INVALIDARG, "only the category and value axes"};
      out = give(new FakeAxis(c_, type == 1));
    } else if (is(n, L"haslegend")) {
      if (a.put) c_.legend = to_bool(a.put);
      else out = Variant::boolean(c_.legend);
    } else {
      return title_member(n, a, out, L"charttitle", "ChartTitle", c_.title_shown, c_.chart.title);
    }
    return true;
  }

 private:
  FakeChartRecord& c_;
};

class FakeChartObject final : public FakeDispatch {
 public:
  explicit FakeChartObject(FakeChartRecord& c) : FakeDispatch("ChartObject"), c_(c) {}
  bool member(const std::wstring& n, Args&, Variant& out) override {
    if (!is(n, L"chart")) return false;
    out = give(new FakeChart(c_));
    return true;
  }

 private:
  FakeChartRecord& c_;
};

class FakeChartObjects final : public FakeDispatch {
 public:
  FakeChartObjects(AppContext& ctx, host::Worksheet& s) : FakeDispatch("ChartObjects"), ctx_(ctx), sheet_(s) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    if (!is(n, L"add")) return false;
    const double left = to_double(a.need(0, L"Left")), top = to_double(a.need(1, L"Top"));
    const double width = to_double(a.need(2, L"Width")), height = to_double(a.need(3, L"Height"));
    FakeChartRecord& c = ctx_.charts.emplace_back();
    c.sheet = sheet_.name();
    const int col = column_at(sheet_, left), row = row_at(sheet_, top);
    c.chart.position = host::Area{row, col, row_at(sheet_, top + height) - 1, column_at(sheet_, left + width) - 1};
    out = give(new FakeChartObject(c));
    return true;
  }

 private:
  AppContext& ctx_;
  host::Worksheet& sheet_;
};

class FakeApp;

class FakeWorksheet final : public FakeDispatch {
 public:
  FakeWorksheet(FakeApp& app, host::Workbook& book, host::Worksheet& s)
      : FakeDispatch("Worksheet"), app_(app), book_(book), sheet_(s) {}
  host::Worksheet& sheet() { return sheet_; }
  bool member(const std::wstring& n, Args& a, Variant& out) override;

 private:
  FakeApp& app_;
  host::Workbook& book_;
  host::Worksheet& sheet_;
};

class FakeWorkbook;

class FakeApp final : public FakeDispatch {
 public:
  FakeApp(host::Application& app, bool with_bar);
  ~FakeApp() override;
  AppContext ctx;

  Variant sheet_object(host::Workbook& book, host::Worksheet& s) {
    auto it = sheets_.find(&s);
    if (it == sheets_.end()) it = sheets_.emplace(&s, new FakeWorksheet(*this, book, s)).first;
    return Variant::dispatch(it->second);
  }
  void forget_sheet(host::Worksheet& s) {
    auto it = sheets_.find(&s);
    if (it == sheets_.end()) return;
    it->second->Release();
    sheets_.erase(it);
  }
  Variant book_object(host::Workbook& book);
  IDispatch* bar() { return bar_; }
  bool member(const std::wstring& n, Args& a, Variant& out) override;

 private:
  std::map<host::Worksheet*, FakeWorksheet*> sheets_;
  std::map<host::Workbook*, FakeWorkbook*> books_;
  IDispatch* functions_ = nullptr;
  IDispatch* bars_ = nullptr;
  IDispatch* bar_ = nullptr;
};

class FakeWorksheets final : public FakeDispatch {
 public:
  FakeWorksheets(FakeApp& app, host::Workbook& book) : FakeDispatch("Worksheets"), app_(app), book_(book) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    if (is(n, L"count")) {
      out = Variant::i4(book_.sheet_count());
    } else if (is(n, L"item")) {
      VARIANT* i = a.need(0, L"Index");
      Variant v = deref(i);
      host::Worksheet& s = v.vt() == VT_BSTR ? book_.sheet(to_str(i)) : book_.sheet(static_cast<int>(to_long(i)));
      out = app_.sheet_object(book_, s);
    } else if (is(n, L"add")) {
      if (a.at(0, L"Before") || a.at(2, L"Count") || a.at(3, L"Type"))
        throw FakeError{E_NOTIMPL, "Worksheets.Add takes only After here"};
      VARIANT* after = a.at(1, L"After");
      host::Worksheet& s = after ? book_.add_sheet_after(fake_of<FakeWorksheet>(after)->sheet()) : book_.add_sheet();
      out = app_.sheet_object(book_, s);
    } else {
      return false;
    }
    return true;
  }

 private:
  FakeApp& app_;
  host::Workbook& book_;
};

std::vector<long> g_save_as_formats;

class FakeWorkbook final : public FakeDispatch {
 public:
  FakeWorkbook(FakeApp& app, host::Workbook& book) : FakeDispatch("Workbook"), app_(app), book_(book) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    if (is(n, L"fullname")) out = Variant::str(book_.full_name());
    else if (is(n, L"worksheets")) out = give(new FakeWorksheets(app_, book_));
    else if (is(n, L"activesheet")) out = app_.sheet_object(book_, book_.active_sheet());
    else if (is(n, L"save")) keep_charts(app_.ctx, book_), book_.save();
    else if (is(n, L"saveas")) {
      VARIANT* format = a.at(1, L"FileFormat");
      g_save_as_formats.push_back(format ? to_long(format) : 0);
      keep_charts(app_.ctx, book_);
      book_.save_as(to_str(a.need(0, L"Filename")));
    }
    else return false;
    return true;
  }

 private:
  FakeApp& app_;
  host::Workbook& book_;
};

bool FakeWorksheet::member(const std::wstring& n, Args& a, Variant& out) {
  auto& s = sheet_;
  auto range = [&](host::Area x) { return give(new FakeRange(app_.ctx, s, x)); };
  if (is(n, L"name")) {
    if (a.put) s.set_name(to_str(a.put));
    else out = Variant::str(s.name());
  } else if (is(n, L"index")) {
    out = Variant::i4(s.index());
  } else if (is(n, L"visible")) {
    out = Variant::i4(s.visible() ? -1 : 0);
  } else if (is(n, L"activate") || is(n, L"select")) {
    s.activate();
  } else if (is(n, L"range")) {
    std::string address = to_str(a.need(0, L"Cell1"));
    auto area = host::parse_address(address);
    if (!area) throw FakeError{static_cast<HRESULT>(0x800A03EC), "bad address " + address};
    out = range(*area);
  } else if (is(n, L"cells")) {
    out = range(host::Area::cell(static_cast<int>(to_long(a.need(0, L"RowIndex"))),
                                 static_cast<int>(to_long(a.need(1, L"ColumnIndex")))));
  } else if (is(n, L"usedrange")) {
    host::CellRef e = s.used_extent();
    out = range(e.row == 0 ? host::Area::cell(1, 1) : host::Area{1, 1, e.row, e.col});
  } else if (is(n, L"hpagebreaks")) {
    out = give(new FakePageBreaks(app_.ctx, s));
  } else if (is(n, L"chartobjects")) {
    out = give(new FakeChartObjects(app_.ctx, s));
  } else if (is(n, L"copy")) {
    VARIANT* after = a.at(1, L"After");
    if (!after || a.at(0, L"Before")) throw FakeError{E_NOTIMPL, "Copy takes only After here"};
    book_.copy_sheet_after(s, fake_of<FakeWorksheet>(after)->sheet());
  } else if (is(n, L"move")) {
    VARIANT* before = a.at(0, L"Before");
    if (!before || a.at(1, L"After")) throw FakeError{E_NOTIMPL, "Move takes only Before here"};
    book_.move_sheet_before(s, fake_of<FakeWorksheet>(before)->sheet());
  } else if (is(n, L"delete")) {
    book_.delete_sheet(s);
    app_.forget_sheet(s);  // this object stays for its holders, the sheet is gone
  } else if (is(n, L"paste")) {
    VARIANT* dest = a.at(0, L"Destination");
    host::CellRef at = dest ? fake_of<FakeRange>(dest)->area().top_left() : s.active_cell();
    app_.ctx.app->paste(s, at);
  } else {
    return false;
  }
  return true;
}

Variant FakeApp::book_object(host::Workbook& book) {
  auto it = books_.find(&book);
  if (it == books_.end()) it = books_.emplace(&book, new FakeWorkbook(*this, book)).first;
  return Variant::dispatch(it->second);
}

class FakeFunctions final : public FakeDispatch {
 public:
  explicit FakeFunctions(AppContext& ctx) : FakeDispatch("WorksheetFunction"), ctx_(ctx) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    auto& f = ctx_.app->worksheet_function();
    auto rng = [&](size_t i) { return fake_of<FakeRange>(a.need(i, L"Arg")); };
    if (is(n, L"countblank")) {
      FakeRange* r = rng(0);
      out = Variant::r8(f.count_blank(r->sheet(), r->area()));
    } else if (is(n, L"countif")) {
      FakeRange* r = rng(0);
      out = Variant::r8(f.count_if(r->sheet(), r->area(), to_value(a.need(1, L"Arg2"))));
    } else if (is(n, L"max")) {
      FakeRange* r = rng(0);
      out = Variant::r8(f.max(r->sheet(), r->area()));
    } else if (is(n, L"min")) {
      FakeRange* r = rng(0);
      out = Variant::r8(f.min(r->sheet(), r->area()));
    } else if (is(n, L"average")) {
      FakeRange* r = rng(0);
      out = Variant::r8(f.average(r->sheet(), r->area()));
    } else if (is(n, L"match")) {
      if (to_long(a.need(2, L"Arg3")) != 0) throw FakeError{E_NOTIMPL, "Match only exact"};
      FakeRange* r = rng(1);
      out = Variant::r8(f.match_exact(to_value(a.need(0, L"Arg1")), r->sheet(), r->area()));
    } else {
      return false;
    }
    return true;
  }

 private:
  AppContext& ctx_;
};

// ---- command bars -------------------------------------------------------------

// Set by make_fake_application: the command-bar objects are handed out as
// a new wrapper on every access, as some applications do.
bool g_fresh_wrappers = false;

// Acts for its target in everything, events included, but is an object of
// its own.
class FakeWrapper final : public FakeDispatch {
 public:
  explicit FakeWrapper(FakeDispatch* target) : FakeDispatch(target->kind_), target_(target) { target_->AddRef(); }
  ~FakeWrapper() override { target_->Release(); }
  bool member(const std::wstring& n, Args& a, Variant& out) override { return target_->member(n, a, out); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    // The button's events are the target's own.
    if (out && target_->extra_interface(iid)) return target_->QueryInterface(iid, out);
    return FakeDispatch::QueryInterface(iid, out);
  }

 private:
  FakeDispatch* target_;
};

// A command-bar object as the application hands it out.
Variant hand_out(FakeDispatch* object) {
  if (g_fresh_wrappers) return give(new FakeWrapper(object));
  return Variant::dispatch(object);
}

class FakeControl;

class FakeControls final : public FakeDispatch {
 public:
  explicit FakeControls(std::vector<FakeControl*>& list) : FakeDispatch("CommandBarControls"), list_(list) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override;

 private:
  std::vector<FakeControl*>& list_;
};

class FakePoint;

class FakeControl final : public FakeDispatch, public IConnectionPointContainer {
 public:
  FakeControl() : FakeDispatch("CommandBarControl") {}
  ~FakeControl() override {
    for (auto& s : sinks) s.second->Release();
    for (auto* c : children) c->Release();
  }
  FakeControlState state;
  std::vector<FakeControl*> children;
  std::map<DWORD, IDispatch*> sinks;
  DWORD next_cookie = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return FakeDispatch::QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return FakeDispatch::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return FakeDispatch::Release(); }
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

  FakeControlState snapshot() const {
    FakeControlState s = state;
    s.sinks = static_cast<int>(sinks.size());
    s.children.clear();
    for (auto* c : children) s.children.push_back(c->snapshot());
    return s;
  }

  bool member(const std::wstring& n, Args& a, Variant& out) override {
    auto& s = state;
    auto text = [&](std::string& field) {
      if (a.put) field = to_str(a.put);
      else out = Variant::str(field);
    };
    auto flag = [&](bool& field) {
      if (a.put) field = to_bool(a.put);
      else out = Variant::boolean(field);
    };
    if (is(n, L"type")) out = Variant::i4(s.type);
    else if (is(n, L"id")) out = Variant::i4(s.id);
    else if (is(n, L"caption")) text(s.caption);
    else if (is(n, L"tooltiptext")) text(s.tooltip);
    else if (is(n, L"tag")) text(s.tag);
    else if (is(n, L"enabled")) flag(s.enabled);
    else if (is(n, L"begingroup")) flag(s.begin_group);
    else if (is(n, L"faceid")) {
      if (s.type != 1) return false;  // a popup has no icon
      if (a.put) s.face_id = static_cast<int>(to_long(a.put));
      else out = Variant::i4(s.face_id);
    } else if (is(n, L"controls")) {
      if (s.type != 10) return false;
      out = give(new FakeControls(children));
    } else {
      return false;
    }
    return true;
  }

 protected:
  void* extra_interface(REFIID iid) override {
    if (IsEqualIID(iid, IID_IConnectionPointContainer) && state.type == 1)
      return static_cast<IConnectionPointContainer*>(this);
    return nullptr;
  }
};

class FakePoint final : public IConnectionPoint {
 public:
  explicit FakePoint(FakeControl* c) : control_(c) {
    ++g_live;
    control_->AddRef();
  }
  ~FakePoint() {
    control_->Release();
    --g_live;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    long n = --refs_;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    *iid = kDiidButtonEvents;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    *out = control_;
    control_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    IDispatch* d = nullptr;
    // The application asks the receiver for the event interface itself.
    if (FAILED(sink->QueryInterface(kDiidButtonEvents, reinterpret_cast<void**>(&d))) || !d)
      return CONNECT_E_CANNOTCONNECT;
    *cookie = control_->next_cookie++;
    control_->sinks[*cookie] = d;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    auto it = control_->sinks.find(cookie);
    if (it == control_->sinks.end()) return CONNECT_E_NOCONNECTION;
    it->second->Release();
    control_->sinks.erase(it);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

 private:
  FakeControl* control_;
  long refs_ = 1;
};

HRESULT STDMETHODCALLTYPE FakeControl::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  *out = nullptr;
  if (!IsEqualIID(iid, kDiidButtonEvents)) return CONNECT_E_NOCONNECTION;
  *out = new FakePoint(this);
  return S_OK;
}

bool FakeControls::member(const std::wstring& n, Args& a, Variant& out) {
  if (is(n, L"count")) {
    out = Variant::i4(static_cast<long>(list_.size()));
  } else if (is(n, L"item")) {
    long i = to_long(a.need(0, L"Index"));
    if (i < 1 || i > static_cast<long>(list_.size())) throw FakeError{DISP_E_BADINDEX, "no such control"};
    out = hand_out(list_[static_cast<size_t>(i - 1)]);
  } else if (is(n, L"add")) {
    // Add(Type, Id, Parameter, Before, Temporary)
    auto* c = new FakeControl();
    VARIANT* type = a.at(0, L"Type");
    c->state.type = type ? static_cast<int>(to_long(type)) : 1;
    VARIANT* id = a.at(1, L"Id");
    c->state.id = id ? static_cast<int>(to_long(id)) : 1;
    VARIANT* temporary = a.at(4, L"Temporary");
    c->state.temporary = temporary && to_bool(temporary);
    VARIANT* before = a.at(3, L"Before");
    size_t at = list_.size();
    if (before) {
      long b = to_long(before);
      if (b < 1 || b > static_cast<long>(list_.size()) + 1) {
        c->Release();
        throw FakeError{E_INVALIDARG, "bad position"};
      }
      at = static_cast<size_t>(b - 1);
    }
    list_.insert(list_.begin() + static_cast<long>(at), c);
    out = hand_out(c);
  } else {
    return false;
  }
  return true;
}

class FakeBar final : public FakeDispatch {
 public:
  FakeBar() : FakeDispatch("CommandBar") {}
  ~FakeBar() override {
    for (auto* c : controls) c->Release();
  }
  std::vector<FakeControl*> controls;
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    if (is(n, L"name")) {
      out = Variant::str("Worksheet Menu Bar");
    } else if (is(n, L"controls")) {
      out = give(new FakeControls(controls));
    } else if (is(n, L"findcontrol")) {
      if (a.at(0, L"Type") || a.at(1, L"Id") || a.at(3, L"Visible") || a.at(4, L"Recursive"))
        throw FakeError{E_NOTIMPL, "FindControl by tag only here"};
      std::string tag = to_str(a.need(2, L"Tag"));
      for (auto* c : controls)
        if (c->state.tag == tag) {
          out = hand_out(c);
          return true;
        }
      out = Variant::dispatch(nullptr);  // Nothing
    } else {
      return false;
    }
    return true;
  }
};

class FakeBars final : public FakeDispatch {
 public:
  explicit FakeBars(IDispatch* bar) : FakeDispatch("CommandBars"), bar_(bar) {}
  bool member(const std::wstring& n, Args& a, Variant& out) override {
    if (!is(n, L"item")) return false;
    std::string name = to_str(a.need(0, L"Index"));
    if (!bar_ || name != "Worksheet Menu Bar") throw FakeError{E_INVALIDARG, "no command bar " + name};
    out = hand_out(static_cast<FakeDispatch*>(bar_));
    return true;
  }

 private:
  IDispatch* bar_;  // owned by the application
};

FakeApp::FakeApp(host::Application& app, bool with_bar) : FakeDispatch("Application") {
  ctx.app = &app;
  functions_ = new FakeFunctions(ctx);
  if (with_bar) bar_ = new FakeBar();
  bars_ = new FakeBars(bar_);
}

FakeApp::~FakeApp() {
  for (auto& s : sheets_) s.second->Release();
  for (auto& b : books_) b.second->Release();
  functions_->Release();
  bars_->Release();
  if (bar_) bar_->Release();
}

bool FakeApp::member(const std::wstring& n, Args& a, Variant& out) {
  host::Application& app = *ctx.app;
  if (is(n, L"name")) {
    out = Variant::str("Microsoft Excel");
  } else if (is(n, L"activeworkbook")) {
    out = book_object(app.active_workbook());
  } else if (is(n, L"screenupdating")) {
    if (a.put) app.set_screen_updating(to_bool(a.put));
    else out = Variant::boolean(app.screen_updating());
  } else if (is(n, L"displayalerts")) {
    if (a.put) app.set_display_alerts(to_bool(a.put));
    else out = Variant::boolean(app.display_alerts());
  } else if (is(n, L"cutcopymode")) {
    if (a.put) {
      if (to_bool(a.put)) throw FakeError{E_INVALIDARG, "CutCopyMode can only be ended"};
      app.end_copy_mode();
    } else {
      out = app.copy_mode() ? Variant::i4(1) : Variant::boolean(false);
    }
  } else if (is(n, L"selection") || is(n, L"activecell")) {
    host::Workbook& book = app.active_workbook();
    host::Worksheet& s = book.active_sheet();
    host::Area area = is(n, L"selection") ? s.selection() : host::Area::cell(s.active_cell().row, s.active_cell().col);
    out = give(new FakeRange(ctx, s, area));
  } else if (is(n, L"worksheetfunction")) {
    out = Variant::dispatch(functions_);
  } else if (is(n, L"commandbars")) {
    out = hand_out(static_cast<FakeDispatch*>(bars_));
  } else {
    return false;
  }
  return true;
}

FakeApp& app_of(IDispatch* application) {
  void* p = nullptr;
  application->QueryInterface(kIidFake, &p);
  return *dynamic_cast<FakeApp*>(static_cast<FakeDispatch*>(p));
}

}  // namespace

long fake_live_objects() { return g_live; }

std::vector<FakeChartRecord> fake_charts(IDispatch* application) {
  const auto& charts = app_of(application).ctx.charts;
  return {charts.begin(), charts.end()};
}
const std::vector<long>& fake_save_as_formats() { return g_save_as_formats; }
const std::vector<std::string>& fake_members_used() { return g_used; }
long fake_dispatch_calls() { return g_calls; }

IDispatch* make_fake_application(host::Application& app, bool with_menu_bar, bool fresh_wrappers) {
  g_fresh_wrappers = fresh_wrappers;
  g_save_as_formats.clear();
  return new FakeApp(app, with_menu_bar);
}

std::vector<FakeControlState> fake_menu(IDispatch* application) {
  std::vector<FakeControlState> out;
  auto* bar = static_cast<FakeBar*>(app_of(application).bar());
  if (!bar) return out;
  for (auto* c : bar->controls) out.push_back(c->snapshot());
  return out;
}

ClickResult fake_click(IDispatch* application, const std::vector<std::string>& path, bool cancel_default) {
  auto* bar = static_cast<FakeBar*>(app_of(application).bar());
  if (!bar) throw std::runtime_error("no menu bar");
  const std::vector<FakeControl*>* level = &bar->controls;
  FakeControl* found = nullptr;
  for (const auto& caption : path) {
    found = nullptr;
    for (auto* c : *level)
      if (c->state.caption == caption) found = c;
    if (!found) throw std::runtime_error("no control " + caption);
    level = &found->children;
  }
  ClickResult result;
  VARIANT_BOOL cancel = cancel_default ? VARIANT_TRUE : VARIANT_FALSE;
  // The host holds the button for the call, as a real event source does.
  found->AddRef();
  std::vector<IDispatch*> sinks;
  for (auto& s : found->sinks) {
    s.second->AddRef();
    sinks.push_back(s.second);
  }
  for (IDispatch* sink : sinks) {
    ++result.receivers;
    VARIANTARG args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = static_cast<IDispatch*>(static_cast<FakeDispatch*>(found));
    DISPPARAMS params{args, nullptr, 2, 0};
    EXCEPINFO info{};
    HRESULT hr = sink->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &info, nullptr);
    if (FAILED(hr)) {
      result.hr = hr;
      result.description = win::narrow_bstr(info.bstrDescription);
    }
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
    sink->Release();
  }
  found->Release();
  result.cancel_default = cancel != VARIANT_FALSE;
  return result;
}

void fake_drop_temporary_controls(IDispatch* application) {
  auto* bar = static_cast<FakeBar*>(app_of(application).bar());
  if (!bar) return;
  auto& list = bar->controls;
  for (auto it = list.begin(); it != list.end();) {
    if ((*it)->state.temporary) {
      (*it)->Release();
      it = list.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace lczs::wintest
