#include "model/model.h"

#include <functional>
#include <unordered_map>

#include "model/memory_internal.h"
#include "model/store.h"

namespace lczs::memory {

// ---- FormatPool ---------------------------------------------------------------

namespace {

void mix(std::size_t& h, std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); }

std::size_t hash_color(const Color& c) {
  std::size_t h = static_cast<std::size_t>(c.kind);
  mix(h, c.argb);
  mix(h, static_cast<std::size_t>(c.index));
  mix(h, static_cast<std::size_t>(c.theme));
  mix(h, std::hash<double>()(c.tint));
  return h;
}

std::size_t hash_line(const BorderLine& b) {
  std::size_t h = static_cast<std::size_t>(static_cast<int>(b.style));
  mix(h, static_cast<std::size_t>(static_cast<int>(b.weight)));
  mix(h, hash_color(b.color));
  return h;
}

std::size_t hash_format(const Format& f) {
  std::size_t h = std::hash<std::string>()(f.font.name);
  mix(h, std::hash<double>()(f.font.size));
  mix(h, (f.font.bold ? 1u : 0u) | (f.font.italic ? 2u : 0u) | (f.font.strikethrough ? 4u : 0u) |
             (f.font.superscript ? 8u : 0u) | (f.font.subscript ? 16u : 0u) |
             (f.font.outline ? 32u : 0u) | (f.font.shadow ? 64u : 0u));
  mix(h, static_cast<std::size_t>(static_cast<int>(f.font.underline)));
  mix(h, hash_color(f.font.color));
  mix(h, std::hash<std::string>()(f.fill.pattern));
  mix(h, hash_color(f.fill.fg));
  mix(h, hash_color(f.fill.bg));
  for (const BorderLine* b : {&f.borders.left, &f.borders.right, &f.borders.top,
                              &f.borders.bottom, &f.borders.diagonal})
    mix(h, hash_line(*b));
  mix(h, (f.borders.diagonal_up ? 1u : 0u) | (f.borders.diagonal_down ? 2u : 0u));
  mix(h, static_cast<std::size_t>(static_cast<int>(f.alignment.horizontal)));
  mix(h, static_cast<std::size_t>(static_cast<int>(f.alignment.vertical)));
  mix(h, static_cast<std::size_t>(f.alignment.rotation * 4 + f.alignment.indent * 1024) ^
             (f.alignment.wrap_text ? 1u : 0u) ^ (f.alignment.shrink_to_fit ? 2u : 0u));
  mix(h, std::hash<std::string>()(f.number_format));
  mix(h, (f.locked ? 1u : 0u) | (f.hidden ? 2u : 0u));
  return h;
}

}  // namespace

struct FormatPool::Impl {
  std::vector<Format> formats;
  std::unordered_multimap<std::size_t, FormatId> index;
};

FormatPool::FormatPool() : impl_(std::make_shared<Impl>()) {
  impl_->formats.push_back(Format{});
  impl_->index.emplace(hash_format(impl_->formats[0]), 0);
}

FormatId FormatPool::intern(const Format& format) {
  std::size_t h = hash_format(format);
  auto [lo, hi] = impl_->index.equal_range(h);
  for (auto it = lo; it != hi; ++it)
    if (impl_->formats[it->second] == format) return it->second;
  FormatId id = static_cast<FormatId>(impl_->formats.size());
  impl_->formats.push_back(format);
  impl_->index.emplace(h, id);
  return id;
}

const Format& FormatPool::get(FormatId id) const {
  if (id >= impl_->formats.size()) return impl_->formats[0];
  return impl_->formats[id];
}

std::size_t FormatPool::size() const { return impl_->formats.size(); }

void FormatPool::set_default(const Format& format) {
  impl_->formats[0] = format;
  impl_->index.clear();
  // Id 0 comes first so that a format equal to the default interns as 0.
  for (std::size_t i = 0; i < impl_->formats.size(); ++i)
    impl_->index.emplace(hash_format(impl_->formats[i]), static_cast<FormatId>(i));
}

// ---- SheetData ------------------------------------------------------------------

const Cell::Aside Cell::kNone;

Cell::Aside& Cell::aside() {
  if (!aside_) aside_ = std::make_unique<Aside>();
  return *aside_;
}

void Cell::drop_empty_aside() {
  if (aside_ && aside_->formula.empty() && aside_->runs.empty()) aside_.reset();
}

void Cell::set_formula(std::string text) {
  if (text.empty() && !aside_) return;
  aside().formula = std::move(text);
  drop_empty_aside();
}

std::vector<TextRun>& Cell::mutable_runs() { return aside().runs; }

void Cell::set_runs(std::vector<TextRun> runs) {
  if (runs.empty() && !aside_) return;
  aside().runs = std::move(runs);
  drop_empty_aside();
}

SheetData::SheetData() : store_(std::make_unique<Store>()) {}
SheetData::SheetData(const SheetData& o)
    : name(o.name),
      hidden(o.hidden),
      very_hidden(o.very_hidden),
      default_column_width(o.default_column_width),
      default_row_height(o.default_row_height),
      columns(o.columns),
      rows(o.rows),
      merges(o.merges),
      row_breaks(o.row_breaks),
      charts(o.charts),
      view(o.view),
      settings(o.settings),
      carried(o.carried),
      ranges(o.ranges),
      store_(std::make_unique<Store>(*o.store_)) {}
SheetData& SheetData::operator=(const SheetData& o) {
  if (this != &o) {
    SheetData copy(o);
    *this = std::move(copy);
  }
  return *this;
}
SheetData::SheetData(SheetData&&) noexcept = default;
SheetData& SheetData::operator=(SheetData&&) noexcept = default;
SheetData::~SheetData() = default;

SheetData::Store& SheetData::store() { return *store_; }
const SheetData::Store& SheetData::store() const { return *store_; }

const Cell* SheetData::get(int row, int col) const { return store_->find(row, col); }

Cell& SheetData::at(int row, int col) {
  store_->maybe_formulas = true;  // the caller may write one
  bool made = false;
  return store_->obtain(row, col, made);
}

namespace detail {

// ---- Cell storage helpers ----------------------------------------------------------
// Here beside the storage rather than with the edits, so that everything
// that fills a sheet (the readers too) links without the edits.

FormatId level_format(const SheetData& sheet, int row, int col) {
  if (auto r = sheet.rows.find(row); r != sheet.rows.end() && r->second.format) return *r->second.format;
  if (auto c = sheet.columns.find(col); c != sheet.columns.end() && c->second.format)
    return *c->second.format;
  return 0;
}

Cell& cell_for_write(SheetData& sheet, int row, int col) {
  bool made = false;
  Cell& cell = sheet.store().obtain(row, col, made);
  if (made) cell.format = level_format(sheet, row, col);
  return cell;
}

void drop_if_blank(SheetData& sheet, int row, int col) {
  const Cell* cell = sheet.get(row, col);
  if (cell && cell->empty() && cell->runs().empty() && !cell->attached && cell->format == level_format(sheet, row, col))
    sheet.erase(row, col);
}

}  // namespace detail

void SheetData::put(int row, int col, Cell cell) {
  store_->forget(row, col);
  if (cell.attached) store_->maybe_attached = true;
  at(row, col) = std::move(cell);
}

namespace {
// Attaches through `set` to the cell, made with its position's format when
// absent; a cell left with nothing goes.
template <class Set>
void attach(SheetData& sheet, bool adding, int row, int col, Set set) {
  auto& st = sheet.store();
  if (adding) st.maybe_attached = true;
  bool made = false;
  Cell& cell = st.obtain(row, col, made);
  if (made) cell.format = detail::level_format(sheet, row, col);
  set(cell.attached);
  detail::drop_if_blank(sheet, row, col);
}
}  // namespace

void SheetData::set_comment(int row, int col, std::optional<Comment> comment) {
  attach(*this, comment.has_value(), row, col, [&](Attached& a) { a.set_comment(std::move(comment)); });
}

void SheetData::set_hyperlink(int row, int col, std::optional<Hyperlink> link) {
  attach(*this, link.has_value(), row, col, [&](Attached& a) { a.set_hyperlink(std::move(link)); });
}

bool SheetData::maybe_attached() const { return store_->maybe_attached; }

std::string Comment::plain_text() const {
  std::string s;
  for (const TextRun& r : text) s += r.text;
  return s;
}

void Attached::set_comment(std::optional<Comment> c) {
  CellAttachments a = p_ ? std::move(*p_) : CellAttachments{};
  a.comment = std::move(c);
  set(std::move(a));
}

void Attached::set_hyperlink(std::optional<Hyperlink> h) {
  CellAttachments a = p_ ? std::move(*p_) : CellAttachments{};
  a.hyperlink = std::move(h);
  set(std::move(a));
}

void SheetData::erase(int row, int col) {
  auto* cells = store_->row(row);
  if (!cells) return;
  auto it = Store::lower(*cells, col);
  if (it == cells->end() || it->col != col) return;
  store_->forget(row, col);
  cells->erase(it);
  store_->removed(col);
  store_->trim();
}

int SheetData::max_row() const { return store_->last_row(); }
int SheetData::max_col() const { return store_->last_col(); }
std::size_t SheetData::cell_count() const { return store_->count; }

void SheetData::for_each_impl(const std::function<void(int, int, const Cell&)>& f) const {
  store_->each([&](int r, int c, const Cell& cell) { f(r, c, cell); });
}

}  // namespace lczs::memory
