// Rewriting the references of formulas: copy, structural edits, cut and
// paste, sheet renames, A1 <-> R1C1. Only the references that change are
// printed anew; every other character of the formula stays as written.
#include "model/formula.h"

#include <algorithm>
#include <optional>

#include "model/formula_internal.h"

namespace lczs::memory::formula {

using detail::Notation;
using detail::RefTok;
using detail::Tok;
using host::kMaxCols;
using host::kMaxRows;

namespace {

// Rewrites the references for which change() returns true (all of them with
// print_all, for a change of notation).
template <class F>
std::string rewrite(std::string_view f, Notation in, Notation out, F&& change,
                    bool print_all = false) {
  auto toks = detail::tokenize(f, in);
  std::string s;
  std::size_t last = 0;
  for (auto& t : toks) {
    if (t.type != Tok::Ref) continue;
    RefTok r = t.ref;
    if (!change(r) && !print_all) continue;
    s.append(f.substr(last, t.begin - last));
    s += detail::print_ref(r, out);
    last = t.end;
  }
  s.append(f.substr(last));
  return s;
}

// Whether the reference points into `sheet` (unqualified ones into own).
bool points_into(const RefTok& r, std::string_view own, std::string_view sheet) {
  if (r.sheet_deleted || r.external || r.kind == RefTok::Kind::Bad) return false;
  return detail::same_sheet(r.has_sheet ? std::string_view(r.sheet) : own, sheet);
}

// The parts of a reference along one axis.
struct Axis {
  bool rows;  // the row axis; else the column axis
  bool has(const RefTok& r) const { return rows ? r.has_rows() : r.has_cols(); }
  int& lo(RefTok& r) const { return rows ? r.r1 : r.c1; }
  int& hi(RefTok& r) const { return rows ? r.r2 : r.c2; }
  int max() const { return rows ? kMaxRows : kMaxCols; }
  // The reference's span across the axis (its columns for the row axis).
  std::pair<int, int> cross(const RefTok& r) const {
    host::Area a = r.area();
    return rows ? std::pair{a.left, a.right} : std::pair{a.top, a.bottom};
  }
};

// Applies a change of the coordinates along `axis` to the references of
// `edited` whose cross span lies within [cross_lo, cross_hi]. map(lo, hi)
// gives the new span, or nullopt when the cells are gone.
template <class Map>
std::string adjust(std::string_view formula, std::string_view own, std::string_view edited,
                   Axis axis, int cross_lo, int cross_hi, Map&& map) {
  return rewrite(formula, {}, {}, [&](RefTok& r) {
    if (!points_into(r, own, edited) || !axis.has(r)) return false;
    auto [clo, chi] = axis.cross(r);
    if (clo < cross_lo || chi > cross_hi) return false;
    r.normalize();
    int lo = axis.lo(r), hi = axis.hi(r);
    auto span = map(lo, hi);
    if (!span) {
      r.kind = RefTok::Kind::Bad;
      return true;
    }
    if (span->first == lo && span->second == hi) return false;
    axis.lo(r) = span->first;
    axis.hi(r) = span->second;
    if (r.kind == RefTok::Kind::Cell && span->first != span->second) r.kind = RefTok::Kind::Area;
    return true;
  });
}

using Span = std::optional<std::pair<int, int>>;

Span insert_map(int lo, int hi, int at, int count, int max) {
  if (lo >= at) lo += count;
  if (hi >= at) hi += count;
  if (lo > max) return std::nullopt;
  return std::pair{lo, std::min(hi, max)};
}

Span delete_map(int lo, int hi, int first, int count) {
  int last = first + count - 1;
  if (lo >= first && hi <= last) return std::nullopt;
  int nlo = lo < first ? lo : lo > last ? lo - count : first;
  int nhi = hi < first ? hi : hi > last ? hi - count : first - 1;
  return std::pair{nlo, nhi};
}

std::string insert_cells(std::string_view formula, std::string_view own, std::string_view edited,
                         Axis axis, int cross_lo, int cross_hi, int at, int count) {
  if (count <= 0) return std::string(formula);
  return adjust(formula, own, edited, axis, cross_lo, cross_hi,
                [&](int lo, int hi) { return insert_map(lo, hi, at, count, axis.max()); });
}

std::string delete_cells(std::string_view formula, std::string_view own, std::string_view edited,
                         Axis axis, int cross_lo, int cross_hi, int first, int count) {
  if (count <= 0) return std::string(formula);
  return adjust(formula, own, edited, axis, cross_lo, cross_hi,
                [&](int lo, int hi) { return delete_map(lo, hi, first, count); });
}

bool within(const host::Area& inner, const host::Area& outer) {
  return inner.top >= outer.top && inner.bottom <= outer.bottom && inner.left >= outer.left &&
         inner.right <= outer.right;
}

void name_sheet(RefTok& r, std::string_view name) {
  r.has_sheet = true;
  r.sheet = std::string(name);
  r.sheet_text = quote_sheet_name(name);
}

}  // namespace

std::string translate(std::string_view formula, int drow, int dcol) {
  return rewrite(formula, {}, {}, [&](RefTok& r) {
    if (r.kind == RefTok::Kind::Bad) return false;
    RefTok n = r;
    if (r.has_rows()) {
      if (!n.ar1) n.r1 += drow;
      if (!n.ar2) n.r2 += drow;
    }
    if (r.has_cols()) {
      if (!n.ac1) n.c1 += dcol;
      if (!n.ac2) n.c2 += dcol;
    }
    if (n.r1 == r.r1 && n.r2 == r.r2 && n.c1 == r.c1 && n.c2 == r.c2) return false;
    if (std::min(n.r1, n.r2) < 1 || std::max(n.r1, n.r2) > kMaxRows || std::min(n.c1, n.c2) < 1 ||
        std::max(n.c1, n.c2) > kMaxCols) {
      r.kind = RefTok::Kind::Bad;
      return true;
    }
    n.normalize();
    r = n;
    return true;
  });
}

std::string on_rows_inserted(std::string_view formula, std::string_view own_sheet,
                             std::string_view edited_sheet, int at_row, int count) {
  return insert_cells(formula, own_sheet, edited_sheet, Axis{true}, 1, kMaxCols, at_row, count);
}

std::string on_rows_deleted(std::string_view formula, std::string_view own_sheet,
                            std::string_view edited_sheet, int first_row, int count) {
  return delete_cells(formula, own_sheet, edited_sheet, Axis{true}, 1, kMaxCols, first_row, count);
}

std::string on_cols_inserted(std::string_view formula, std::string_view own_sheet,
                             std::string_view edited_sheet, int at_col, int count) {
  return insert_cells(formula, own_sheet, edited_sheet, Axis{false}, 1, kMaxRows, at_col, count);
}

std::string on_cols_deleted(std::string_view formula, std::string_view own_sheet,
                            std::string_view edited_sheet, int first_col, int count) {
  return delete_cells(formula, own_sheet, edited_sheet, Axis{false}, 1, kMaxRows, first_col, count);
}

std::string on_cells_inserted(std::string_view formula, std::string_view own_sheet,
                              std::string_view edited_sheet, const host::Area& inserted,
                              host::Shift shift) {
  if (shift == host::Shift::Right)
    return insert_cells(formula, own_sheet, edited_sheet, Axis{false}, inserted.top,
                        inserted.bottom, inserted.left, inserted.col_count());
  return insert_cells(formula, own_sheet, edited_sheet, Axis{true}, inserted.left, inserted.right,
                      inserted.top, inserted.row_count());
}

std::string on_cells_deleted(std::string_view formula, std::string_view own_sheet,
                             std::string_view edited_sheet, const host::Area& deleted,
                             host::Shift shift) {
  if (shift == host::Shift::Left)
    return delete_cells(formula, own_sheet, edited_sheet, Axis{false}, deleted.top, deleted.bottom,
                        deleted.left, deleted.col_count());
  return delete_cells(formula, own_sheet, edited_sheet, Axis{true}, deleted.left, deleted.right,
                      deleted.top, deleted.row_count());
}

std::string on_cells_shifted(std::string_view formula, std::string_view own_sheet,
                             std::string_view edited_sheet, const host::Area& moved, int drow,
                             int dcol) {
  Axis axis{drow != 0};
  int d = drow != 0 ? drow : dcol;
  if (d == 0) return std::string(formula);
  int mlo = axis.rows ? moved.top : moved.left;
  int mhi = axis.rows ? moved.bottom : moved.right;
  int clo = axis.rows ? moved.left : moved.top;
  int chi = axis.rows ? moved.right : moved.bottom;
  return adjust(formula, own_sheet, edited_sheet, axis, clo, chi, [&](int lo, int hi) -> Span {
    if (lo >= mlo && lo <= mhi) lo += d;
    if (hi >= mlo && hi <= mhi) hi += d;
    int max = axis.max();
    if ((lo < 1 && hi < 1) || (lo > max && hi > max) || lo > hi) return std::nullopt;
    return std::pair{std::max(lo, 1), std::min(hi, max)};
  });
}

std::string on_moved(std::string_view formula, std::string_view own_sheet,
                     std::string_view from_sheet, const host::Area& from,
                     std::string_view to_sheet, int drow, int dcol) {
  host::Area dest = from.offset(drow, dcol);
  return rewrite(formula, {}, {}, [&](RefTok& r) {
    if (r.sheet_deleted || r.external || r.kind == RefTok::Kind::Bad) return false;
    std::string_view sheet = r.has_sheet ? std::string_view(r.sheet) : own_sheet;
    host::Area a = r.area();
    if (detail::same_sheet(sheet, from_sheet) && within(a, from)) {
      bool changed = false;
      if (r.has_rows() && drow != 0) {
        r.r1 += drow;
        r.r2 += drow;
        changed = true;
      }
      if (r.has_cols() && dcol != 0) {
        r.c1 += dcol;
        r.c2 += dcol;
        changed = true;
      }
      if (!r.area().valid()) {
        r.kind = RefTok::Kind::Bad;
        return true;
      }
      if (!detail::same_sheet(sheet, to_sheet)) {
        if (r.has_sheet || !detail::same_sheet(own_sheet, to_sheet)) name_sheet(r, to_sheet);
        changed = true;
      }
      return changed;
    }
    if (detail::same_sheet(sheet, to_sheet) && within(a, dest)) {
      r.kind = RefTok::Kind::Bad;
      return true;
    }
    return false;
  });
}

std::string rehome(std::string_view formula, std::string_view old_sheet,
                   std::string_view new_sheet) {
  if (detail::same_sheet(old_sheet, new_sheet)) return std::string(formula);
  return rewrite(formula, {}, {}, [&](RefTok& r) {
    if (r.has_sheet) return false;
    name_sheet(r, old_sheet);
    return true;
  });
}

std::string on_sheet_renamed(std::string_view formula, std::string_view old_name,
                             std::string_view new_name) {
  return rewrite(formula, {}, {}, [&](RefTok& r) {
    if (!r.has_sheet || r.sheet_deleted || r.external || !detail::same_sheet(r.sheet, old_name))
      return false;
    name_sheet(r, new_name);
    return true;
  });
}

std::string on_sheet_deleted(std::string_view formula, std::string_view name) {
  return rewrite(formula, {}, {}, [&](RefTok& r) {
    if (!r.has_sheet || r.sheet_deleted || r.external || !detail::same_sheet(r.sheet, name))
      return false;
    r.sheet_deleted = true;
    return true;
  });
}

std::string to_r1c1(std::string_view formula_a1, int row, int col) {
  Notation out{true, row, col};
  return rewrite(formula_a1, {}, out, [](RefTok&) { return true; }, true);
}

std::string from_r1c1(std::string_view formula_r1c1, int row, int col) {
  Notation in{true, row, col};
  return rewrite(formula_r1c1, in, {}, [](RefTok&) { return true; }, true);
}

std::vector<Ref> references(std::string_view formula, int, int) {
  std::vector<Ref> out;
  for (const auto& t : detail::tokenize(formula)) {
    if (t.type != Tok::Ref || !t.ref.usable()) continue;
    out.push_back(Ref{t.ref.has_sheet ? t.ref.sheet : std::string(), t.ref.area()});
  }
  return out;
}

}  // namespace lczs::memory::formula
