// Range.Sort of the in-memory host: stable, by up to three keys, text in
// pinyin order at secondary strength.
#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "model/collation.h"
#include "model/memory_internal.h"

namespace lczs::memory {

using host::SortHeader;
using host::SortOrder;
using namespace detail;

namespace {

// Type ranks in ascending order; empty keys are handled apart (always last).
enum Rank : unsigned char { kNumber = 0, kText = 1, kBool = 2, kError = 3, kEmpty = 4 };

struct Key {
  Rank rank = kEmpty;
  double num = 0;           // number, or boolean as 0/1
  const std::string* text = nullptr;  // collation key (owned by the memo)
};

Rank rank_of(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Number: return kNumber;
    case Value::Kind::Text: return kText;
    case Value::Kind::Boolean: return kBool;
    case Value::Kind::Error: return kError;
    case Value::Kind::Empty: break;
  }
  return kEmpty;
}

// Whether Header := Guess takes the first row of the area as a header row.
//
// The rule: the first row is a header when
//   (1) the area has at least two rows, and
//   (2) the first row holds at least one text and nothing but texts (no
//       number, boolean or error) in the area's columns, and
//   (3) in some column of the area the first row holds a text while the
//       second row holds a number, boolean or error, or the first row's
//       font (name, size, bold, italic) differs from the second row's in
//       some column.
// So a header row of texts stays on top of a table with any numeric column
// (student numbers, scores, class codes, record numbers), whatever the key
// column holds ("高一(1)班" or numbers); a first row holding a number sorts
// with the rest.
bool guess_header(const MemoryWorksheet& ws, const Area& a) {
  if (a.row_count() < 2) return false;
  bool any_text = false, text_over_other = false, font_differs = false;
  for (int c = a.left; c <= a.right && c <= std::max(a.left, ws.data().max_col()); ++c) {
    Value v1 = ws.value(a.top, c), v2 = ws.value(a.top + 1, c);
    if (!v1.is_empty() && !v1.is_text()) return false;
    if (v1.is_text()) {
      any_text = true;
      if (!v2.is_empty() && !v2.is_text()) text_over_other = true;
    }
    const Font& f1 = ws.format(a.top, c).font;
    const Font& f2 = ws.format(a.top + 1, c).font;
    if (v1.is_text() && !v2.is_empty() &&
        (f1.name != f2.name || f1.size != f2.size || f1.bold != f2.bold || f1.italic != f2.italic))
      font_differs = true;
  }
  return any_text && (text_over_other || font_differs);
}

}  // namespace

void MemoryWorksheet::sort(const Area& area, const host::SortSpec& spec) {
  check_area(area);
  std::vector<host::SortKey> keys{spec.key1};
  if (spec.key2) keys.push_back(*spec.key2);
  if (spec.key3) keys.push_back(*spec.key3);
  for (const auto& k : keys) {
    if (k.column < area.left || k.column > area.right) fail("排序关键字不在排序区域内");
    if (k.order != SortOrder::Ascending && k.order != SortOrder::Descending) fail("排序次序无效");
  }
  // Whole columns and rows sort only the part that holds cells.
  Area a = area;
  a.bottom = std::min(a.bottom, std::max(a.top, data_->max_row()));
  if (whole_rows(area)) a.right = std::max(a.left, data_->max_col());
  bool header = spec.header == SortHeader::Yes ||
                (spec.header == SortHeader::Guess && guess_header(*this, a));
  int first = a.top + (header ? 1 : 0);
  int n = a.bottom - first + 1;
  if (n <= 1) return;
  Area body{first, a.left, a.bottom, a.right};
  for (const Area& m : data_->merges)
    if (intersects(m, body)) fail("不能对含有合并单元格的区域排序");
  carried_cells_moved(book_->data_, *data_, body, false);

  // Keys first, with one collation key per distinct text; then a stable sort
  // of row numbers; then the rows' cells move once.
  const Collator& coll = book_->application().collator();
  std::size_t nk = keys.size();
  std::vector<Key> kv(static_cast<std::size_t>(n) * nk);
  std::unordered_map<std::string, std::string> memo;
  using Store = SheetData::Store;
  const Store& cst = std::as_const(*data_).store();
  Value computed;
  for (int r = first; r <= std::min(a.bottom, cst.last_row()); ++r) {
    cst.prefetch(r + Store::kPrefetchRows);
    const Store::Row& cells = cst.rows[static_cast<std::size_t>(r - 1)];
    if (cells.empty()) continue;
    Key* row_keys = &kv[static_cast<std::size_t>(r - first) * nk];
    for (std::size_t k = 0; k < nk; ++k) {
      int col = keys[k].column;
      auto c = Store::lower(cells, col);
      if (c == cells.end() || c->col != col) continue;
      const Value* v = &c->cell.value;
      if (!c->cell.formula().empty()) {
        computed = cell_value(*this, r, col, &c->cell);
        v = &computed;
      }
      Key& key = row_keys[k];
      key.rank = rank_of(*v);
      if (v->is_number() || v->is_boolean()) key.num = v->as_number();
      if (v->is_text()) {
        auto [it, fresh] = memo.try_emplace(v->as_text());
        if (fresh) it->second = coll.sort_key(v->as_text());
        key.text = &it->second;
      }
    }
  }
  std::vector<int> perm(static_cast<std::size_t>(n));
  std::iota(perm.begin(), perm.end(), 0);
  bool desc[3] = {false, false, false};
  for (std::size_t k = 0; k < nk; ++k) desc[k] = keys[k].order == SortOrder::Descending;
  std::stable_sort(perm.begin(), perm.end(), [&](int x, int y) {
    const Key* kx = &kv[static_cast<std::size_t>(x) * nk];
    const Key* ky = &kv[static_cast<std::size_t>(y) * nk];
    for (std::size_t k = 0; k < nk; ++k) {
      const Key& p = kx[k];
      const Key& q = ky[k];
      // Empty keys go last in either order.
      if (p.rank == kEmpty || q.rank == kEmpty) {
        if (p.rank == q.rank) continue;
        return q.rank == kEmpty;
      }
      int cmp = 0;
      if (p.rank != q.rank) cmp = p.rank < q.rank ? -1 : 1;
      else if (p.rank == kText) cmp = p.text->compare(*q.text);
      else if (p.rank != kError) cmp = p.num < q.num ? -1 : (p.num > q.num ? 1 : 0);
      if (cmp == 0) continue;
      return desc[k] ? cmp > 0 : cmp < 0;
    }
    return false;
  });
  bool moved = false;
  for (int i = 0; i < n; ++i)
    if (perm[static_cast<std::size_t>(i)] != i) moved = true;
  if (!moved) return;

  // Each row's cells of the area leave as one piece (the whole row vector
  // when the row holds nothing else) and land in their new row; a dense
  // table thus moves row vectors, never cells.
  auto& st = data_->store();
  std::vector<Store::Row> pieces(static_cast<std::size_t>(n));
  for (int r = first; r <= std::min(a.bottom, st.last_row()); ++r) {
    Store::Row& cells = st.rows[static_cast<std::size_t>(r - 1)];
    if (cells.empty()) continue;
    auto lo = Store::lower(cells, a.left), hi = lo;
    while (hi != cells.end() && hi->col <= a.right) ++hi;
    Store::Row& piece = pieces[static_cast<std::size_t>(r - first)];
    if (lo == cells.begin() && hi == cells.end()) {
      piece = std::move(cells);
      cells = Store::Row();
    } else {
      piece.assign(std::make_move_iterator(lo), std::make_move_iterator(hi));
      cells.erase(lo, hi);
    }
  }
  st.forget(body);
  for (int i = 0; i < n; ++i) {
    // The pieces are read in their new order, which is no order in memory.
    if (i + Store::kPrefetchRows < n)
      __builtin_prefetch(pieces[static_cast<std::size_t>(perm[static_cast<std::size_t>(i + Store::kPrefetchRows)])].data());
    int src = perm[static_cast<std::size_t>(i)];
    Store::Row& piece = pieces[static_cast<std::size_t>(src)];
    if (piece.empty()) continue;
    int d = i - src;
    // A sheet known to hold no formula has no reference to move.
    if (d != 0 && st.maybe_formulas)
      for (auto& e : piece)
        if (!e.cell.formula().empty()) e.cell.set_formula(formula::translate(e.cell.formula(), d, 0));
    Store::Row& target = st.make_row(first + i);
    if (target.empty()) {
      // A fresh block per row, taken in the new row order while the old
      // ones are still held: later walks down the sorted table then find
      // its rows side by side in memory instead of scattered in the old order.
      target.assign(std::make_move_iterator(piece.begin()), std::make_move_iterator(piece.end()));
    } else {
      auto at = Store::lower(target, piece.front().col);
      target.insert(at, std::make_move_iterator(piece.begin()), std::make_move_iterator(piece.end()));
    }
  }
  st.trim();
  book_->touch(*data_, body);
}

}  // namespace lczs::memory
