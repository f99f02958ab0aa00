#include "host/forwarding.h"

#include <algorithm>

namespace lczs::host {

using host::Area;
using host::CellRef;
using host::Value;

host::Worksheet& unwrap(host::Worksheet& sheet) {
  host::Worksheet* s = &sheet;
  while (auto* f = dynamic_cast<ForwardingWorksheet*>(s)) s = &f->target();
  return *s;
}

const host::Worksheet& unwrap(const host::Worksheet& sheet) {
  return unwrap(const_cast<host::Worksheet&>(sheet));
}

host::Workbook& unwrap(host::Workbook& book) {
  host::Workbook* b = &book;
  while (auto* f = dynamic_cast<ForwardingWorkbook*>(b)) b = &f->target();
  return *b;
}

// ---- ForwardingWorksheet ------------------------------------------------------

ForwardingWorksheet::ForwardingWorksheet(host::Worksheet& target, CallHook hook)
    : target_(&target), hook_(std::move(hook)) {}

void ForwardingWorksheet::on_call(const char* op) const {
  if (hook_) hook_(op);
}

#define FWD(op, call) \
  on_call(op);        \
  return target_->call

std::string ForwardingWorksheet::name() const { FWD("name", name()); }
void ForwardingWorksheet::set_name(const std::string& n) { FWD("set_name", set_name(n)); }
int ForwardingWorksheet::index() const { FWD("index", index()); }
bool ForwardingWorksheet::visible() const { FWD("visible", visible()); }
void ForwardingWorksheet::activate() { FWD("activate", activate()); }
void ForwardingWorksheet::select(const Area& a) { FWD("select", select(a)); }
void ForwardingWorksheet::select(const Area& a, CellRef c) { FWD("select", select(a, c)); }
Area ForwardingWorksheet::selection() const { FWD("selection", selection()); }
CellRef ForwardingWorksheet::active_cell() const { FWD("active_cell", active_cell()); }
Value ForwardingWorksheet::value(int r, int c) const { FWD("value", value(r, c)); }
void ForwardingWorksheet::set_value(int r, int c, const Value& v) { FWD("set_value", set_value(r, c, v)); }
void ForwardingWorksheet::set_values(const Area& a, const Value& v) { FWD("set_values", set_values(a, v)); }
host::ValueGrid ForwardingWorksheet::values(const Area& a) const { FWD("values", values(a)); }
void ForwardingWorksheet::write_values(CellRef at, const host::ValueGrid& g) {
  FWD("write_values", write_values(at, g));
}
std::string ForwardingWorksheet::formula(int r, int c) const { FWD("formula", formula(r, c)); }
void ForwardingWorksheet::set_formula(const Area& a, const std::string& t) {
  FWD("set_formula", set_formula(a, t));
}
void ForwardingWorksheet::set_formula_r1c1(const Area& a, const std::string& t) {
  FWD("set_formula_r1c1", set_formula_r1c1(a, t));
}
CellRef ForwardingWorksheet::used_extent() const { FWD("used_extent", used_extent()); }
Area ForwardingWorksheet::current_region(int r, int c) const {
  FWD("current_region", current_region(r, c));
}
CellRef ForwardingWorksheet::end_down(int r, int c) const { FWD("end_down", end_down(r, c)); }
void ForwardingWorksheet::clear_contents(const Area& a) { FWD("clear_contents", clear_contents(a)); }
void ForwardingWorksheet::clear_comments(const Area& a) { FWD("clear_comments", clear_comments(a)); }
void ForwardingWorksheet::clear_hyperlinks(const Area& a) { FWD("clear_hyperlinks", clear_hyperlinks(a)); }
void ForwardingWorksheet::delete_cells(const Area& a, host::Shift s) {
  FWD("delete_cells", delete_cells(a, s));
}
void ForwardingWorksheet::insert_cells(const Area& a, host::Shift s) {
  FWD("insert_cells", insert_cells(a, s));
}
void ForwardingWorksheet::sort(const Area& a, const host::SortSpec& s) { FWD("sort", sort(a, s)); }
int ForwardingWorksheet::replace_whole(const Area& a, const std::string& w, const std::string& r) {
  FWD("replace_whole", replace_whole(a, w, r));
}
void ForwardingWorksheet::set_font(const Area& a, const host::FontPatch& f) {
  FWD("set_font", set_font(a, f));
}
void ForwardingWorksheet::set_characters_font(int r, int c, int s, int l, const host::FontPatch& f) {
  FWD("set_characters_font", set_characters_font(r, c, s, l, f));
}
void ForwardingWorksheet::set_alignment(const Area& a, const host::AlignmentPatch& p) {
  FWD("set_alignment", set_alignment(a, p));
}
void ForwardingWorksheet::merge(const Area& a) { FWD("merge", merge(a)); }
void ForwardingWorksheet::set_border(const Area& a, host::BorderIndex i, const host::BorderSpec& b) {
  FWD("set_border", set_border(a, i, b));
}
void ForwardingWorksheet::set_borders(const Area& a, const std::vector<host::BorderEdit>& e) {
  FWD("set_borders", set_borders(a, e));
}
void ForwardingWorksheet::set_number_format(const Area& a, const std::string& f) {
  FWD("set_number_format", set_number_format(a, f));
}
void ForwardingWorksheet::set_column_width(int f, int l, double w) {
  FWD("set_column_width", set_column_width(f, l, w));
}
double ForwardingWorksheet::column_width(int c) const { FWD("column_width", column_width(c)); }
void ForwardingWorksheet::autofit_columns(int f, int l) { FWD("autofit_columns", autofit_columns(f, l)); }
void ForwardingWorksheet::set_row_height(int f, int l, double p) {
  FWD("set_row_height", set_row_height(f, l, p));
}
double ForwardingWorksheet::row_height(int r) const { FWD("row_height", row_height(r)); }
void ForwardingWorksheet::add_page_break(int r) { FWD("add_page_break", add_page_break(r)); }
std::vector<int> ForwardingWorksheet::page_breaks() const { FWD("page_breaks", page_breaks()); }
void ForwardingWorksheet::add_chart(const host::Chart& c) { FWD("add_chart", add_chart(c)); }

// ---- ForwardingWorkbook --------------------------------------------------------

ForwardingWorkbook::ForwardingWorkbook(host::Workbook& target, CallHook hook)
    : target_(&target), hook_(std::move(hook)) {}
ForwardingWorkbook::~ForwardingWorkbook() = default;

void ForwardingWorkbook::on_call(const char* op) const {
  if (hook_) hook_(op);
}

std::unique_ptr<host::Worksheet> ForwardingWorkbook::make_sheet(host::Worksheet& t) {
  return std::make_unique<ForwardingWorksheet>(t, hook_);
}

host::Worksheet& ForwardingWorkbook::wrap(host::Worksheet& t) {
  auto& slot = sheets_[&t];
  if (!slot) slot = make_sheet(t);
  return *slot;
}

std::string ForwardingWorkbook::full_name() const { FWD("full_name", full_name()); }
std::string ForwardingWorkbook::opened_from() const { FWD("opened_from", opened_from()); }
int ForwardingWorkbook::sheet_count() const { FWD("sheet_count", sheet_count()); }
host::Worksheet& ForwardingWorkbook::sheet(int i) {
  on_call("sheet");
  return wrap(target_->sheet(i));
}
host::Worksheet& ForwardingWorkbook::sheet(const std::string& n) {
  on_call("sheet");
  return wrap(target_->sheet(n));
}
host::Worksheet* ForwardingWorkbook::find_sheet(const std::string& n) {
  on_call("find_sheet");
  host::Worksheet* s = target_->find_sheet(n);
  return s ? &wrap(*s) : nullptr;
}
host::Worksheet& ForwardingWorkbook::active_sheet() {
  on_call("active_sheet");
  return wrap(target_->active_sheet());
}
host::Worksheet& ForwardingWorkbook::add_sheet() {
  on_call("add_sheet");
  return wrap(target_->add_sheet());
}
host::Worksheet& ForwardingWorkbook::add_sheet_after(host::Worksheet& after) {
  on_call("add_sheet_after");
  return wrap(target_->add_sheet_after(unwrap(after)));
}
host::Worksheet& ForwardingWorkbook::copy_sheet_after(host::Worksheet& source, host::Worksheet& after) {
  on_call("copy_sheet_after");
  return wrap(target_->copy_sheet_after(unwrap(source), unwrap(after)));
}
void ForwardingWorkbook::move_sheet_before(host::Worksheet& s, host::Worksheet& before) {
  on_call("move_sheet_before");
  target_->move_sheet_before(unwrap(s), unwrap(before));
}
void ForwardingWorkbook::delete_sheet(host::Worksheet& s) {
  on_call("delete_sheet");
  host::Worksheet& inner = unwrap(s);
  // Found before the deletion: afterwards the sheet object is gone.
  std::vector<host::Worksheet*> gone;
  for (auto& [target_sheet, wrapper] : sheets_)
    if (&unwrap(*target_sheet) == &inner) gone.push_back(target_sheet);
  target_->delete_sheet(inner);
  // The wrapper of a deleted sheet dies with it, as the sheet object does.
  for (host::Worksheet* t : gone) sheets_.erase(t);
}
void ForwardingWorkbook::save() { FWD("save", save()); }
void ForwardingWorkbook::save_as(const std::string& p) { FWD("save_as", save_as(p)); }
void ForwardingWorkbook::reserve_save_as(const std::string& p) { FWD("reserve_save_as", reserve_save_as(p)); }

// ---- ForwardingFunctions -----------------------------------------------------------

ForwardingFunctions::ForwardingFunctions(host::WorksheetFunctions& target, CallHook hook)
    : target_(&target), hook_(std::move(hook)) {}
void ForwardingFunctions::on_call(const char* op) const {
  if (hook_) hook_(op);
}
int ForwardingFunctions::count_blank(const host::Worksheet& s, const Area& a) {
  FWD("count_blank", count_blank(unwrap(s), a));
}
int ForwardingFunctions::count_if(const host::Worksheet& s, const Area& a, const Value& c) {
  FWD("count_if", count_if(unwrap(s), a, c));
}
double ForwardingFunctions::max(const host::Worksheet& s, const Area& a) { FWD("max", max(unwrap(s), a)); }
double ForwardingFunctions::min(const host::Worksheet& s, const Area& a) { FWD("min", min(unwrap(s), a)); }
double ForwardingFunctions::average(const host::Worksheet& s, const Area& a) {
  FWD("average", average(unwrap(s), a));
}
int ForwardingFunctions::match_exact(const Value& v, const host::Worksheet& s, const Area& a) {
  FWD("match_exact", match_exact(v, unwrap(s), a));
}

// ---- ForwardingApplication ------------------------------------------------------------

ForwardingApplication::ForwardingApplication(host::Application& target, CallHook hook)
    : target_(&target), hook_(std::move(hook)) {}
ForwardingApplication::~ForwardingApplication() = default;

void ForwardingApplication::on_call(const char* op) const {
  if (hook_) hook_(op);
}

std::unique_ptr<host::Workbook> ForwardingApplication::make_workbook(host::Workbook& t) {
  // The hook is looked up at each call so that a subclass may set it later.
  return std::make_unique<ForwardingWorkbook>(t, [this](const char* op) { on_call(op); });
}

host::Workbook& ForwardingApplication::active_workbook() {
  on_call("active_workbook");
  host::Workbook& t = target_->active_workbook();
  auto& slot = books_[&t];
  if (!slot) slot = make_workbook(t);
  return *slot;
}
bool ForwardingApplication::screen_updating() const { FWD("screen_updating", screen_updating()); }
void ForwardingApplication::set_screen_updating(bool on) {
  FWD("set_screen_updating", set_screen_updating(on));
}
bool ForwardingApplication::display_alerts() const { FWD("display_alerts", display_alerts()); }
void ForwardingApplication::set_display_alerts(bool on) {
  FWD("set_display_alerts", set_display_alerts(on));
}
void ForwardingApplication::copy(host::Worksheet& s, const Area& a) { FWD("copy", copy(unwrap(s), a)); }
void ForwardingApplication::cut(host::Worksheet& s, const Area& a) { FWD("cut", cut(unwrap(s), a)); }
void ForwardingApplication::paste(host::Worksheet& s, CellRef at) { FWD("paste", paste(unwrap(s), at)); }
void ForwardingApplication::end_copy_mode() { FWD("end_copy_mode", end_copy_mode()); }
bool ForwardingApplication::copy_mode() const { FWD("copy_mode", copy_mode()); }
host::WorksheetFunctions& ForwardingApplication::worksheet_function() {
  on_call("worksheet_function");
  if (!functions_)
    functions_ = std::make_unique<ForwardingFunctions>(target_->worksheet_function(),
                                                       [this](const char* op) { on_call(op); });
  return *functions_;
}
host::CommandBar* ForwardingApplication::command_bar(const std::string& n) {
  FWD("command_bar", command_bar(n));
}

#undef FWD

// ---- FaultInjectingApplication ------------------------------------------------------------

namespace {

// Takes a set of borders apart into the single calls it stands for.
class BorderByBorderSheet : public ForwardingWorksheet {
 public:
  using ForwardingWorksheet::ForwardingWorksheet;
  void set_borders(const Area& area, const std::vector<host::BorderEdit>& edits) override {
    host::Worksheet::set_borders(area, edits);
  }
};

class BorderByBorderBook : public ForwardingWorkbook {
 public:
  using ForwardingWorkbook::ForwardingWorkbook;

 protected:
  std::unique_ptr<host::Worksheet> make_sheet(host::Worksheet& target_sheet) override {
    return std::make_unique<BorderByBorderSheet>(target_sheet, hook());
  }
};

}  // namespace

FaultInjectingApplication::FaultInjectingApplication(host::Application& target)
    : ForwardingApplication(target) {
  set_hook([this](const char* op) { check(op); });
}

std::unique_ptr<host::Workbook> FaultInjectingApplication::make_workbook(host::Workbook& t) {
  return std::make_unique<BorderByBorderBook>(t, [this](const char* op) { on_call(op); });
}


void FaultInjectingApplication::fail_on(const std::string& op, int nth) {
  plans_[op].push_back({nth, false});
}
void FaultInjectingApplication::fail_from(const std::string& op, int nth) {
  plans_[op].push_back({nth, true});
}
void FaultInjectingApplication::fail_after(int nth) { nth_calls_.push_back(nth); }
void FaultInjectingApplication::clear_failures() {
  plans_.clear();
  nth_calls_.clear();
}

int FaultInjectingApplication::calls(const std::string& op) const {
  auto it = counts_.find(op);
  return it == counts_.end() ? 0 : it->second;
}

void FaultInjectingApplication::check(const char* op) {
  int n = ++counts_[op];
  ++total_;
  log_.emplace_back(op);
  bool fail = std::find(nth_calls_.begin(), nth_calls_.end(), total_) != nth_calls_.end();
  if (auto it = plans_.find(op); it != plans_.end())
    for (const Plan& p : it->second)
      if (n == p.nth || (p.onwards && n >= p.nth)) fail = true;
  if (fail) {
    ++failures_;
    throw host::HostError("宿主操作失败（测试注入）：" + std::string(op));
  }
}

}  // namespace lczs::host
