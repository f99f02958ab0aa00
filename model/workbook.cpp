// Workbooks and the application of the in-memory host: sheets (add, copy,
// move, delete, activate), saving through a store, the clipboard, TODAY().
#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>

#include <utility>

#include "model/collation.h"
#include "host/forwarding.h"
#include "model/memory_internal.h"

namespace lczs::memory {

using namespace detail;

namespace detail {
std::unique_ptr<host::WorksheetFunctions> make_functions(MemoryApplication& app);

namespace {
// Which host workbook holds a WorkbookData, so that a dump of the data can
// bring formula values up to date first.
std::map<const WorkbookData*, MemoryWorkbook*>& owners() {
  static std::map<const WorkbookData*, MemoryWorkbook*> m;
  return m;
}
}  // namespace

MemoryWorkbook* owner_of(const WorkbookData& data) {
  auto it = owners().find(&data);
  return it == owners().end() ? nullptr : it->second;
}
}  // namespace detail

// ---- Stores -------------------------------------------------------------------------------

bool MemoryStore::exists(const std::string& path) const { return files.count(path) > 0; }

void MemoryStore::save(const WorkbookData& book, const std::string& path) {
  if (fail) throw host::SaveError("无法保存文件“" + path + "”");
  files[path] = keep_dumps ? dump(book) : std::string();
  ++save_count;
}

// ---- MemoryWorksheet / MemoryWorkbook data access ----------------------------------------------

SheetData& MemoryWorksheet::data() {
  book_->touch();
  return *data_;
}

WorkbookData& MemoryWorkbook::data() {
  touch();
  return data_;
}

// ---- MemoryWorkbook ----------------------------------------------------------------------------

MemoryWorkbook::MemoryWorkbook(MemoryApplication& app, WorkbookData data) : app_(&app), data_(std::move(data)) {
  if (data_.sheets.empty()) {
    auto sheet = std::make_unique<SheetData>();
    sheet->name = "Sheet1";
    data_.sheets.push_back(std::move(sheet));
  }
  for (auto& s : data_.sheets) views_.push_back(std::make_unique<MemoryWorksheet>(*this, *s));
  int active = data_.active_sheet;
  if (active < 0 || active >= static_cast<int>(data_.sheets.size()) || data_.sheets[active]->hidden) {
    active = 0;
    for (std::size_t i = 0; i < data_.sheets.size(); ++i)
      if (!data_.sheets[i]->hidden) {
        active = static_cast<int>(i);
        break;
      }
  }
  set_active(active);
  owners()[&data_] = this;
}

MemoryWorkbook::~MemoryWorkbook() { owners().erase(&data_); }

namespace {
constexpr std::size_t kChangesKept = 256;
}

void MemoryWorkbook::touch() {
  ++generation_;
  changes_.clear();
  changes_.push_back({generation_, nullptr, Area{}});
}

void MemoryWorkbook::touch(const SheetData& sheet, const Area& area) {
  ++generation_;
  if (changes_.size() >= kChangesKept) changes_.erase(changes_.begin(), changes_.begin() + kChangesKept / 2);
  changes_.push_back({generation_, &sheet, area});
}

bool MemoryWorkbook::changed_since(std::uint64_t stamp,
                                   const std::vector<std::pair<const SheetData*, Area>>& areas) const {
  if (stamp >= generation_) return false;
  // Changes older than the log are unknown.
  if (changes_.empty() || changes_.front().generation > stamp + 1) return true;
  for (auto it = changes_.rbegin(); it != changes_.rend() && it->generation > stamp; ++it) {
    if (!it->sheet) return true;
    for (const auto& [sheet, area] : areas)
      if ((!sheet || sheet == it->sheet) && intersects(area, it->area)) return true;
  }
  return false;
}

void MemoryWorkbook::set_active(int index) {
  data_.active_sheet = index;
  for (std::size_t i = 0; i < data_.sheets.size(); ++i)
    data_.sheets[i]->view.tab_selected = static_cast<int>(i) == index;
}

void MemoryWorkbook::insert_view(int index, std::unique_ptr<SheetData> sheet) {
  views_.insert(views_.begin() + index, std::make_unique<MemoryWorksheet>(*this, *sheet));
  data_.sheets.insert(data_.sheets.begin() + index, std::move(sheet));
}

MemoryWorksheet& MemoryWorkbook::mem_sheet(int index) {
  if (index < 1 || index > static_cast<int>(views_.size()))
    fail("工作簿中没有第" + std::to_string(index) + "个工作表");
  return *views_[static_cast<std::size_t>(index - 1)];
}

MemoryWorksheet& MemoryWorkbook::mem_sheet(const std::string& name) {
  if (MemoryWorksheet* s = sheet_by_name(*this, name)) return *s;
  fail("找不到工作表“" + name + "”");
}

MemoryWorksheet& MemoryWorkbook::mem_active_sheet() {
  return *views_[static_cast<std::size_t>(data_.active_sheet)];
}

std::string MemoryWorkbook::full_name() const { return data_.path; }
std::string MemoryWorkbook::opened_from() const {
  return data_.opened_from.empty() ? data_.path : data_.opened_from;
}
int MemoryWorkbook::sheet_count() const { return static_cast<int>(views_.size()); }
host::Worksheet& MemoryWorkbook::sheet(int index) { return mem_sheet(index); }
host::Worksheet& MemoryWorkbook::sheet(const std::string& name) { return mem_sheet(name); }
host::Worksheet* MemoryWorkbook::find_sheet(const std::string& name) { return sheet_by_name(*this, name); }
host::Worksheet& MemoryWorkbook::active_sheet() { return mem_active_sheet(); }

namespace {

MemoryWorksheet& own_sheet(MemoryWorkbook& book, host::Worksheet& sheet) {
  // Sheets wrapped by a forwarding host are taken for the sheets they wrap.
  auto* ms = dynamic_cast<MemoryWorksheet*>(&unwrap(sheet));
  if (!ms || &ms->workbook() != &book) fail("工作表不属于此工作簿");
  return *ms;
}

std::string new_sheet_name(const WorkbookData& data) {
  // "SheetN" with N one more than the highest N in use.
  int high = static_cast<int>(data.sheets.size());
  for (const auto& s : data.sheets) {
    const std::string& n = s->name;
    if (n.size() > 5 && iequals(n.substr(0, 5), "Sheet") &&
        n.find_first_not_of("0123456789", 5) == std::string::npos && n.size() < 12)
      high = std::max(high, std::stoi(n.substr(5)));
  }
  return "Sheet" + std::to_string(high + 1);
}

bool name_taken(const WorkbookData& data, std::string_view name) {
  for (const auto& s : data.sheets)
    if (iequals(s->name, name)) return true;
  return false;
}

// The application names a copy "原始数据 (2)", a copy of that "原始数据 (3)",
// taking the first free number; the base is shortened to keep 31 characters.
std::string copy_name(const WorkbookData& data, const std::string& source) {
  std::string base = source;
  if (base.size() > 4 && base.back() == ')') {
    std::size_t open = base.rfind(" (");
    if (open != std::string::npos && open + 3 < base.size() &&
        base.find_first_not_of("0123456789", open + 2) == base.size() - 1)
      base = base.substr(0, open);
  }
  for (int n = 2;; ++n) {
    std::string suffix = " (" + std::to_string(n) + ")";
    std::string b = base;
    while (char_count(b) + char_count(suffix) > host::kMaxSheetNameLength && !b.empty()) {
      b.pop_back();
      while (!b.empty() && (static_cast<unsigned char>(b.back()) & 0xC0) == 0x80) b.pop_back();
      if (!b.empty() && (static_cast<unsigned char>(b.back()) & 0xC0) == 0xC0) b.pop_back();
    }
    if (!name_taken(data, b + suffix)) return b + suffix;
  }
}

}  // namespace

host::Worksheet& MemoryWorkbook::add_sheet() {
  auto sheet = std::make_unique<SheetData>();
  sheet->name = new_sheet_name(data_);
  int at = data_.active_sheet;
  insert_view(at, std::move(sheet));
  set_active(at);
  touch();
  return *views_[static_cast<std::size_t>(at)];
}

host::Worksheet& MemoryWorkbook::add_sheet_after(host::Worksheet& after) {
  MemoryWorksheet& a = own_sheet(*this, after);
  auto sheet = std::make_unique<SheetData>();
  sheet->name = new_sheet_name(data_);
  int at = a.index();
  insert_view(at, std::move(sheet));
  set_active(at);
  touch();
  return *views_[static_cast<std::size_t>(at)];
}

host::Worksheet& MemoryWorkbook::copy_sheet_after(host::Worksheet& source, host::Worksheet& after) {
  MemoryWorksheet& s = own_sheet(*this, source);
  MemoryWorksheet& a = own_sheet(*this, after);
  // Current values go with the copy.
  Access::sheet(s).store().each([&](int r, int c, const Cell& cell) {
    if (!cell.formula().empty()) formula_value(s, r, c, cell);
  });
  auto copy = std::make_unique<SheetData>(*s.data_);
  copy->name = copy_name(data_, s.data_->name);
  carried_sheet_copied(data_, *s.data_, *copy);
  copy->hidden = false;
  copy->very_hidden = false;
  // References to the sheet itself now name the copy.
  std::string from = s.data_->name;
  copy->store().each([&](int, int, Cell& cell) {
    if (!cell.formula().empty()) cell.set_formula(formula::on_sheet_renamed(cell.formula(), from, copy->name));
  });
  // So do those of its validations, formats and names: the copy's print
  // area is the copy's.
  rewrite_range_items(copy->ranges,
                      [&](std::string_view f) { return formula::on_sheet_renamed(f, from, copy->name); });
  int at = a.index();
  insert_view(at, std::move(copy));
  set_active(at);
  touch();
  return *views_[static_cast<std::size_t>(at)];
}

void MemoryWorkbook::move_sheet_before(host::Worksheet& sheet, host::Worksheet& before) {
  MemoryWorksheet& s = own_sheet(*this, sheet);
  MemoryWorksheet& b = own_sheet(*this, before);
  if (&s == &b) return;
  int from = s.index() - 1;
  auto data = std::move(data_.sheets[static_cast<std::size_t>(from)]);
  auto view = std::move(views_[static_cast<std::size_t>(from)]);
  data_.sheets.erase(data_.sheets.begin() + from);
  views_.erase(views_.begin() + from);
  int to = b.index() - 1;
  data_.sheets.insert(data_.sheets.begin() + to, std::move(data));
  views_.insert(views_.begin() + to, std::move(view));
  // The moved sheet becomes the active one, as after Worksheet.Move.
  if (s.visible()) set_active(to);
  else set_active(std::find_if(views_.begin(), views_.end(), [](auto& v) { return v->visible(); }) - views_.begin());
  touch();
}

void MemoryWorkbook::delete_sheet(host::Worksheet& sheet) {
  MemoryWorksheet& s = own_sheet(*this, sheet);
  int visible = 0;
  for (auto& v : views_) visible += v->visible() ? 1 : 0;
  if (s.visible() && visible <= 1) fail("工作簿中至少要有一个可见的工作表，不能删除“" + s.data_->name + "”");
  int idx = s.index() - 1;
  bool was_active = idx == data_.active_sheet;
  std::string name = s.data_->name;
  auto& mark = Access::mark(*app_);
  if (mark.sheet == &s) mark = {};
  carried_sheet_deleted(data_, *s.data_);
  views_.erase(views_.begin() + idx);
  data_.sheets.erase(data_.sheets.begin() + idx);
  int count = static_cast<int>(views_.size());
  int active = data_.active_sheet;
  if (was_active) {
    // The next visible sheet, else the previous one.
    active = -1;
    for (int i = idx; i < count && active < 0; ++i)
      if (views_[static_cast<std::size_t>(i)]->visible()) active = i;
    for (int i = idx - 1; i >= 0 && active < 0; --i)
      if (views_[static_cast<std::size_t>(i)]->visible()) active = i;
  } else if (active > idx) {
    --active;
  }
  set_active(std::max(active, 0));
  rewrite_references(*this, [&](const std::string&, std::string_view f) {
    return formula::on_sheet_deleted(f, name);
  });
  touch();
}

void MemoryWorkbook::recalculate() {
  for (auto& v : views_) {
    // A sheet known to hold no formula has nothing to compute.
    if (!std::as_const(*v->data_).store().maybe_formulas) continue;
    std::as_const(*v->data_).store().each([&](int r, int c, const Cell& cell) {
      if (!cell.formula().empty()) formula_value(*v, r, c, cell);
    });
  }
}

void MemoryWorkbook::save() {
  // Whether the target may be written (a file whose content the model could
  // not carry in full is never overwritten) is the store's decision: only it
  // knows which file the workbook was read from.
  if (data_.path.empty()) throw host::SaveError("工作簿尚未保存为文件，无法保存");
  recalculate();
  app_->store_->save(data_, data_.path);
}

namespace {
// SaveAs without a file format: a name without an extension gets the
// workbook's current one, or ".xlsx" for a workbook never saved.
std::string with_extension(const std::string& path, const std::string& current) {
  auto ext = [](const std::string& p) -> std::string {
    std::size_t slash = p.find_last_of("/\\");
    std::size_t dot = p.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == p.size())
      return "";
    return p.substr(dot);
  };
  if (!ext(path).empty()) return path;
  std::string e = ext(current);
  return path + (e.empty() ? ".xlsx" : e);
}
}  // namespace

void MemoryWorkbook::reserve_save_as(const std::string& name) {
  if (name.empty()) throw host::SaveError("文件名不能为空");
  app_->store_->reserve(with_extension(name, data_.path));
}

void MemoryWorkbook::save_as(const std::string& name) {
  if (name.empty()) throw host::SaveError("文件名不能为空");
  std::string path = with_extension(name, data_.path);
  // With alerts off the application replaces an existing file unasked.
  if (app_->display_alerts_ && app_->store_->exists(path) && app_->confirm_replace_ &&
      !app_->confirm_replace_(path))
    throw host::SaveError("未替换已有的文件“" + path + "”");
  recalculate();
  app_->store_->save(data_, path);
  data_.path = path;
}

// ---- MemoryApplication -----------------------------------------------------------------------------

MemoryApplication::MemoryApplication()
    : store_(std::make_shared<MemoryStore>()),
      functions_(make_functions(*this)),
      collator_(make_pinyin_collator()) {}

MemoryApplication::~MemoryApplication() = default;

MemoryWorkbook& MemoryApplication::open(WorkbookData data) {
  books_.push_back(std::make_unique<MemoryWorkbook>(*this, std::move(data)));
  active_ = books_.back().get();
  return *active_;
}

MemoryWorkbook& MemoryApplication::new_workbook() { return open(WorkbookData{}); }

MemoryWorkbook& MemoryApplication::mem_active_workbook() {
  if (!active_) fail("没有打开的工作簿");
  return *active_;
}

void MemoryApplication::set_store(std::shared_ptr<WorkbookStore> store) { store_ = std::move(store); }
void MemoryApplication::set_confirm_replace(std::function<bool(const std::string&)> ask) {
  confirm_replace_ = std::move(ask);
}
void MemoryApplication::set_command_bar(std::unique_ptr<host::CommandBar> bar) { command_bar_ = std::move(bar); }

void MemoryApplication::set_today(int year, int month, int day) {
  // Days from 1899-12-30 (the 1900 date system as the application counts it).
  std::chrono::sys_days d = std::chrono::year_month_day{std::chrono::year(year), std::chrono::month(month),
                                                        std::chrono::day(day)};
  std::chrono::sys_days origin = std::chrono::year_month_day{std::chrono::year(1899), std::chrono::month(12),
                                                             std::chrono::day(30)};
  today_ = static_cast<double>((d - origin).count());
}

double MemoryApplication::today_serial() const {
  if (today_ != 0) return today_;
  std::time_t t = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  std::chrono::sys_days d = std::chrono::year_month_day{
      std::chrono::year(local.tm_year + 1900), std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
      std::chrono::day(static_cast<unsigned>(local.tm_mday))};
  std::chrono::sys_days origin = std::chrono::year_month_day{std::chrono::year(1899), std::chrono::month(12),
                                                             std::chrono::day(30)};
  return static_cast<double>((d - origin).count());
}

host::Workbook& MemoryApplication::active_workbook() { return mem_active_workbook(); }

namespace {
MemoryWorksheet& memory_sheet(host::Worksheet& sheet) {
  auto* ms = dynamic_cast<MemoryWorksheet*>(&unwrap(sheet));
  if (!ms) fail("工作表不属于此应用程序");
  return *ms;
}
}  // namespace

void MemoryApplication::copy(host::Worksheet& sheet, const Area& area) {
  check_area(area);
  mark_ = {&memory_sheet(sheet), area, false};
}

void MemoryApplication::cut(host::Worksheet& sheet, const Area& area) {
  check_area(area);
  mark_ = {&memory_sheet(sheet), area, true};
}

void MemoryApplication::paste(host::Worksheet& sheet, host::CellRef at) {
  detail::paste(*this, memory_sheet(sheet), at);
}

void MemoryApplication::end_copy_mode() { mark_ = {}; }
bool MemoryApplication::copy_mode() const { return mark_.sheet != nullptr; }
host::WorksheetFunctions& MemoryApplication::worksheet_function() { return *functions_; }

host::CommandBar* MemoryApplication::command_bar(const std::string& name) {
  if (command_bar_ && (name == "Worksheet Menu Bar" || command_bar_->name() == name))
    return command_bar_.get();
  return nullptr;
}

// ---- Test helpers ----------------------------------------------------------------------------------

SheetData& add_sheet(WorkbookData& book, std::string name, std::vector<std::vector<Lit>> rows) {
  auto sheet = std::make_unique<SheetData>();
  sheet->name = std::move(name);
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      const Value& v = rows[r][c].v;
      if (v.is_empty()) continue;
      Cell cell;
      if (v.is_text() && v.as_text().size() > 1 && v.as_text()[0] == '=')
        cell.set_formula(v.as_text().substr(1));
      else
        cell.value = v;
      sheet->put(static_cast<int>(r) + 1, static_cast<int>(c) + 1, std::move(cell));
    }
  book.sheets.push_back(std::move(sheet));
  return *book.sheets.back();
}

}  // namespace lczs::memory
