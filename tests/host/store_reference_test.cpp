// The sheet storage against a plain map of cells: long random sequences of
// the edits the jobs make (values, formulas, rich text, clearing, inserting
// and deleting cells, rows and columns, copy and cut with paste, sort,
// number formats, fonts, borders, merges, comments) go to both, and after every edit each cell reads the
// same, current regions agree, and the storage's own bookkeeping agrees
// with what it holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "model/memory_host.h"
#include "model/store.h"

namespace lczs::memory {
namespace {

using host::Area;
using host::Shift;

struct RefCell {
  Value value;
  std::string numfmt = "General";
  bool bold = false;
  bool bottom = false;  // a bottom border
  std::string note;     // the comment's text: it goes wherever the cell goes
  // What a cell keeps aside: its formula (constants, so that moving it
  // changes nothing) and whether it holds rich text runs.
  std::string formula;
  bool rich = false;
  bool operator==(const RefCell&) const = default;
};

using Pos = std::pair<int, int>;
using Ref = std::map<Pos, RefCell>;

RefCell get(const Ref& ref, int r, int c) {
  auto it = ref.find({r, c});
  return it == ref.end() ? RefCell{} : it->second;
}
void set(Ref& ref, int r, int c, RefCell cell) {
  if (cell == RefCell{}) ref.erase({r, c});
  else ref[{r, c}] = std::move(cell);
}
Ref take(const Ref& ref, const Area& a) {
  Ref out;
  for (auto& [p, cell] : ref)
    if (a.contains(p.first, p.second)) out[{p.first - a.top, p.second - a.left}] = cell;
  return out;
}
void wipe(Ref& ref, const Area& a) {
  std::erase_if(ref, [&](const auto& kv) { return a.contains(kv.first.first, kv.first.second); });
}
void put(Ref& ref, const Ref& piece, int top, int left) {
  for (auto& [p, cell] : piece) set(ref, p.first + top, p.second + left, cell);
}
// Moves the cells of `a` by (dr, dc) over whatever stood there.
void shift(Ref& ref, const Area& a, int dr, int dc) {
  Ref piece = take(ref, a);
  wipe(ref, a);
  wipe(ref, a.offset(dr, dc));
  put(ref, piece, a.top + dr, a.left + dc);
}

constexpr int kRows = 14, kCols = 9;  // where edits land; whole rows and columns reach further

class StoreReference {
 public:
  explicit StoreReference(unsigned seed) : rng_(seed) {
    app_.new_workbook();
    ws_ = &app_.mem_active_workbook().mem_sheet(1);
  }

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  Area area() {
    int t = pick(1, kRows), l = pick(1, kCols);
    return Area{t, l, std::min(kRows, t + pick(0, 4)), std::min(kCols, l + pick(0, 3))};
  }
  // Numbers with 17 significant digits among them: whatever moves a cell
  // must keep every bit of its number, not the 15 digits a cell shows.
  Value value() {
    static constexpr double kLongDigits[] = {0.30000000000000004, 63.699999999999996, 60.300000000000004};
    int k = pick(0, 10);
    if (k < 5) return Value::number(k + 1);
    if (k >= 8) return Value::number(kLongDigits[k - 8]);
    return Value::text(std::string(1, static_cast<char>('a' + k - 5)));
  }

  // One random edit on both; a refusal of the host (a merged range in the
  // way) leaves both unchanged.
  std::string step() {
    Area a = area();
    switch (pick(0, 24)) {
      case 0:
      case 1:
      case 2: {
        int r = pick(1, kRows), c = pick(1, kCols);
        Value v = value();
        ws_->set_value(r, c, v);
        RefCell cell = get(ref_, r, c);
        cell.value = v;
        cell.formula.clear();
        cell.rich = false;
        set(ref_, r, c, cell);
        return "set";
      }
      case 3:
        return attempt("clear", [&] { ws_->clear_contents(a); }, [&] {
          for (int r = a.top; r <= a.bottom; ++r)
            for (int c = a.left; c <= a.right; ++c) {
              RefCell cell = get(ref_, r, c);
              cell.value = Value();
              cell.formula.clear();
              cell.rich = false;
              set(ref_, r, c, cell);
            }
        });
      case 4:
      case 5:
      case 6: {
        bool up = pick(0, 1), whole = pick(0, 3) == 0;
        if (whole) a = up ? Area{a.top, 1, a.bottom, host::kMaxCols} : Area{1, a.left, host::kMaxRows, a.right};
        return attempt("delete", [&] { ws_->delete_cells(a, up ? Shift::Up : Shift::Left); }, [&] {
          wipe(ref_, a);
          if (up) shift(ref_, Area{a.bottom + 1, a.left, host::kMaxRows, a.right}, -a.row_count(), 0);
          else shift(ref_, Area{a.top, a.right + 1, a.bottom, host::kMaxCols}, 0, -a.col_count());
        });
      }
      case 7:
      case 8:
      case 9: {
        bool down = pick(0, 1), whole = pick(0, 3) == 0;
        if (whole) a = down ? Area{a.top, 1, a.bottom, host::kMaxCols} : Area{1, a.left, host::kMaxRows, a.right};
        return attempt("insert", [&] { ws_->insert_cells(a, down ? Shift::Down : Shift::Right); }, [&] {
          int h = a.row_count(), w = a.col_count();
          if (down) {
            shift(ref_, Area{a.top, a.left, host::kMaxRows - h, a.right}, h, 0);
            int src = a.top > 1 ? a.top - 1 : a.top + h;
            for (int c = a.left; c <= std::min(a.right, last_col()); ++c)
              for (int r = a.top; r < a.top + h; ++r) {
                RefCell look = get(ref_, src, c);
                set(ref_, r, c, RefCell{Value(), look.numfmt, look.bold, look.bottom});
              }
          } else {
            shift(ref_, Area{a.top, a.left, a.bottom, host::kMaxCols - w}, 0, w);
            int src = a.left > 1 ? a.left - 1 : a.left + w;
            for (int r = a.top; r <= std::min(a.bottom, last_row()); ++r)
              for (int c = a.left; c < a.left + w; ++c) {
                RefCell look = get(ref_, r, src);
                set(ref_, r, c, RefCell{Value(), look.numfmt, look.bold, look.bottom});
              }
          }
        });
      }
      case 10:
      case 11:
      case 12:
      case 13: {
        bool cut = pick(0, 1);
        int tr = pick(1, kRows), tc = pick(1, kCols);
        return attempt(cut ? "cut" : "copy", [&] {
          if (cut) app_.cut(*ws_, a);
          else app_.copy(*ws_, a);
          app_.paste(*ws_, {tr, tc});
        }, [&] {
          Ref piece = take(ref_, a);
          if (cut) wipe(ref_, a);
          wipe(ref_, a.offset(tr - a.top, tc - a.left));
          put(ref_, piece, tr, tc);
        });
      }
      case 14:
      case 15: {
        int key = pick(a.left, a.right);
        bool desc = pick(0, 1);
        host::SortSpec spec;
        spec.key1 = {key, desc ? host::SortOrder::Descending : host::SortOrder::Ascending};
        spec.header = host::SortHeader::No;
        return attempt("sort", [&] { ws_->sort(a, spec); }, [&] {
          std::vector<Ref> rows;
          for (int r = a.top; r <= a.bottom; ++r) rows.push_back(take(ref_, Area{r, a.left, r, a.right}));
          auto rank = [&](const Ref& row) {
            RefCell k = get(row, 0, key - a.left);
            return std::tuple(k.value.is_empty(), k.value.is_text(), k.value.as_number(), k.value.as_text());
          };
          std::stable_sort(rows.begin(), rows.end(), [&](const Ref& x, const Ref& y) {
            auto p = rank(x), q = rank(y);
            if (std::get<0>(p) || std::get<0>(q)) return !std::get<0>(p) && std::get<0>(q);
            return desc ? q < p : p < q;
          });
          wipe(ref_, a);
          for (int i = 0; i < static_cast<int>(rows.size()); ++i) put(ref_, rows[i], a.top + i, a.left);
        });
      }
      case 16: {
        std::string f = pick(0, 1) ? "0.0" : "General";
        return attempt("numfmt", [&] { ws_->set_number_format(a, f); }, [&] { patch(a, [&](RefCell& c, int, int) { c.numfmt = f; }); });
      }
      case 17: {
        bool bold = pick(0, 1);
        host::FontPatch font;
        font.bold = bold;
        return attempt("font", [&] { ws_->set_font(a, font); }, [&] { patch(a, [&](RefCell& c, int, int) { c.bold = bold; }); });
      }
      case 18: {
        bool on = pick(0, 2) != 0;
        host::BorderSpec spec;
        spec.style = on ? host::LineStyle::Continuous : host::LineStyle::None;
        return attempt("border", [&] { ws_->set_border(a, host::BorderIndex::EdgeBottom, spec); }, [&] {
          patch(a, [&](RefCell& c, int r, int) {
            if (r == a.bottom) c.bottom = on;
          });
        });
      }
      case 19:
      case 20: {
        host::AlignmentPatch unmerge;
        unmerge.merge_cells = false;
        return attempt("unmerge", [&] { ws_->set_alignment(a, unmerge); }, [] {});
      }
      case 21: {
        int r = pick(1, kRows), c = pick(1, kCols);
        std::string note = pick(0, 3) ? "n" + std::to_string(pick(1, 9)) : "";
        Comment comment;
        comment.text.push_back({note, std::nullopt});
        ws_->data().set_comment(r, c, note.empty() ? std::nullopt : std::optional<Comment>(comment));
        RefCell cell = get(ref_, r, c);
        cell.note = note;
        set(ref_, r, c, cell);
        return "comment";
      }
      case 22: {
        int r = pick(1, kRows), c = pick(1, kCols), k = pick(0, 9);
        return attempt("formula", [&] { ws_->set_formula(Area::cell(r, c), "=" + std::to_string(k)); }, [&] {
          RefCell cell = get(ref_, r, c);
          cell.value = Value::number(k);
          cell.formula = std::to_string(k);
          cell.rich = false;
          set(ref_, r, c, cell);
        });
      }
      case 23: {
        // Bold on the first character: a text constant becomes rich text,
        // anything else takes the font as a whole.
        int r = pick(1, kRows), c = pick(1, kCols);
        host::FontPatch bold;
        bold.bold = true;
        return attempt("characters", [&] { ws_->set_characters_font(r, c, 1, 1, bold); }, [&] {
          RefCell cell = get(ref_, r, c);
          if (cell.value.is_text() && cell.formula.empty()) cell.rich = true;
          else cell.bold = true;
          set(ref_, r, c, cell);
        });
      }
      default: {
        // A merge takes in the merged ranges it touches; the first value,
        // row by row, goes to the top-left cell.
        Area m = a;
        for (bool grown = true; grown;) {
          grown = false;
          for (const Area& x : ws_->merges())
            if (x.top <= m.bottom && m.top <= x.bottom && x.left <= m.right && m.left <= x.right &&
                !(x.top >= m.top && x.bottom <= m.bottom && x.left >= m.left && x.right <= m.right)) {
              m = {std::min(m.top, x.top), std::min(m.left, x.left), std::max(m.bottom, x.bottom),
                   std::max(m.right, x.right)};
              grown = true;
            }
        }
        return attempt("merge", [&] { ws_->merge(a); }, [&] {
          if (a.is_single_cell()) return;
          RefCell first;
          for (int r = m.top; r <= m.bottom && first.value.is_empty(); ++r)
            for (int c = m.left; c <= m.right && first.value.is_empty(); ++c) first = get(ref_, r, c);
          patch(m, [&](RefCell& c, int r, int col) {
            if (r == m.top && col == m.left) {
              if (!first.value.is_empty()) std::tie(c.value, c.formula, c.rich) = std::tie(first.value, first.formula, first.rich);
            } else {
              c.value = Value();
              c.formula.clear();
              c.rich = false;
            }
          });
        });
      }
    }
  }

  // Every cell of the sheet's used part reads as the reference says, and
  // the storage counts what it holds.
  void check(const std::string& what, int n) {
    const SheetData& data = std::as_const(*ws_).data();  // the non-const one would mark a change
    const auto& st = data.store();
    std::size_t held = 0;
    std::vector<std::uint32_t> per_col;
    for (const auto& row : st.rows) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        ASSERT_TRUE(i == 0 || row[i - 1].col < row[i].col) << what << " #" << n << ": columns out of order";
        if (per_col.size() <= static_cast<std::size_t>(row[i].col)) per_col.resize(row[i].col + 1);
        ++per_col[row[i].col];
        ++held;
      }
    }
    ASSERT_TRUE(st.rows.empty() || !st.rows.back().empty()) << what << " #" << n;
    ASSERT_EQ(held, data.cell_count()) << what << " #" << n;
    while (!per_col.empty() && per_col.back() == 0) per_col.pop_back();
    ASSERT_EQ(per_col, st.col_counts) << what << " #" << n;
    int rows = std::max(data.max_row(), last_row());
    int cols = std::max(data.max_col(), last_col());
    // Rectangles read in one walk agree with the cells: the whole table,
    // one column (rows ending left of it skipped), one starting inside.
    const int R = std::max(rows, 1), C = std::max(cols, 1);
    const Area areas[] = {{1, 1, R, C}, {1, C / 2 + 1, R, C / 2 + 1}, {std::min(2, R), std::min(4, C), R, C}};
    std::vector<host::ValueGrid> grids;
    for (const Area& a : areas) grids.push_back(ws_->values(a));
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) {
        RefCell want = get(ref_, r, c);
        for (std::size_t k = 0; k < grids.size(); ++k)
          if (areas[k].contains(r, c)) {
            ASSERT_EQ(grids[k].at(r - areas[k].top, c - areas[k].left), want.value)
                << what << " #" << n << " reading " << host::address(areas[k]) << " at row " << r << " column " << c;
          }
        const Format& f = ws_->format(r, c);
        const Cell* stored = data.get(r, c);
        const Comment* comment = stored ? stored->attached.comment() : nullptr;
        RefCell got{ws_->value(r, c), f.number_format, f.font.bold,
                    f.borders.bottom.style != host::LineStyle::None, comment ? comment->plain_text() : "",
                    stored ? stored->formula() : "", stored && !stored->runs().empty()};
        ASSERT_EQ(got, want) << what << " #" << n << " at row " << r << " column " << c;
      }
    // The same starting cells every time, so that remembered regions are
    // asked for again after each edit.
    for (auto [r, c] : {Pos{2, 2}, Pos{6, 4}, Pos{9, 7}})
      ASSERT_EQ(ws_->current_region(r, c), region(r, c)) << what << " #" << n << " from row " << r << " column " << c;
  }

  // Grows a rectangle until no filled cell touches it, corners included.
  Area region(int r, int c) const {
    Area a = Area::cell(r, c);
    for (bool grown = true; grown;) {
      grown = false;
      Area around{a.top - 1, a.left - 1, a.bottom + 1, a.right + 1};
      for (auto& [p, cell] : ref_)
        if (!cell.value.is_empty() && around.contains(p.first, p.second) && !a.contains(p.first, p.second)) {
          a = {std::min(a.top, p.first), std::min(a.left, p.second), std::max(a.bottom, p.first),
               std::max(a.right, p.second)};
          grown = true;
        }
    }
    return a;
  }

 private:
  int last_row() const { return ref_.empty() ? 0 : ref_.rbegin()->first.first; }
  int last_col() const {
    int c = 0;
    for (auto& [p, cell] : ref_) c = std::max(c, p.second);
    return c;
  }
  template <class Host, class Mirror>
  std::string attempt(const char* name, Host host, Mirror mirror) {
    try {
      host();
    } catch (const host::HostError&) {
      return std::string(name) + " (refused)";
    }
    mirror();
    return name;
  }
  template <class F>
  void patch(const Area& a, F f) {
    for (int r = a.top; r <= a.bottom; ++r)
      for (int c = a.left; c <= a.right; ++c) {
        RefCell cell = get(ref_, r, c);
        f(cell, r, c);
        set(ref_, r, c, cell);
      }
  }

  std::mt19937 rng_;
  MemoryApplication app_;
  MemoryWorksheet* ws_;
  Ref ref_;
};

TEST(StoreReference, LongRandomEditSequencesReadLikeAPlainMapOfCells) {
  for (unsigned seed : {1u, 2u, 3u}) {
    StoreReference t(seed);
    for (int n = 0; n < 1200; ++n) {
      std::string what = t.step();

      t.check(what + " (seed " + std::to_string(seed) + ")", n);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace lczs::memory
