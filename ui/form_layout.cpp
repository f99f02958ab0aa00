#include "ui/form_layout.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>

#include "host/utf8.h"
#include "ui/console.h"

namespace lczs::ui {

const Placement* FormLayout::find(std::string_view name) const {
  for (const auto& p : placements)
    if (p.control->name == name) return &p;
  return nullptr;
}

int layout_em(const FontSpec& font, int dpi) { return static_cast<int>(std::lround(font.size * dpi / 72.0)); }

int layout_line_height(const FontSpec& font, int dpi) {
  int em = layout_em(font, dpi);
  return em + (em + 3) / 4;  // the font's ascent and descent exceed its em
}

int layout_text_width(std::string_view text, const FontSpec& font, int dpi) {
  // display_width counts half-width columns: two of them make an em.
  return (display_width(text) * layout_em(font, dpi) + 1) / 2;
}

std::vector<std::string> layout_wrap(std::string_view text, const FontSpec& font, int dpi, int width) {
  std::vector<std::string> lines(1);
  int used = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t start = i;
    char32_t cp = host::next_code_point(text, i);
    if (cp == U'\n') {
      lines.emplace_back();
      used = 0;
      continue;
    }
    std::string_view ch = text.substr(start, i - start);
    int w = layout_text_width(ch, font, dpi);
    if (used + w > width && !lines.back().empty()) {
      lines.emplace_back();
      used = 0;
    }
    lines.back() += ch;
    used += w;
  }
  return lines;
}

namespace {

int widest_line(std::string_view text, const FontSpec& font, int dpi) {
  int widest = 0;
  for (const auto& line : layout_wrap(text, font, dpi, 1 << 30))
    widest = std::max(widest, layout_text_width(line, font, dpi));
  return widest;
}

class Layouter {
 public:
  Layouter(const Form& form, int dpi) : form_(form), dpi_(dpi) {
    for (const auto& row : form.rows)
      for (const auto& name : row) {
        if (!in_rows_.insert(name).second) throw std::logic_error(form.name() + ": " + name + " is in two rows");
        if (form.control(name).container != form.control(row.front()).container)
          throw std::logic_error(form.name() + ": a row spans two containers at " + name);
      }
  }

  FormLayout run() {
    FormLayout out;
    out.dpi = dpi_;
    for (const auto& c : form_.controls()) {
      index_[c.get()] = out.placements.size();
      out.placements.push_back({.control = c.get()});
    }
    out_ = &out;
    int margin = s(kLayoutMargin);
    int inner = std::max(s(kLayoutWidth) - 2 * margin, required_width(""));
    inner = std::min(inner, kLayoutScreenWidth - kLayoutFrameWidth - 2 * margin);
    int bottom = place("", margin, margin, inner);
    out.width = inner + 2 * margin;
    out.height = bottom - s(kLayoutGap) + margin;
    out.first_focus = first_focus();
    return out;
  }

 private:
  struct Row {
    std::vector<const Control*> items;
  };

  int s(int v) const { return (v * dpi_ + 48) / 96; }
  int em(const Control& c) const { return layout_em(c.font, dpi_); }
  int line(const Control& c) const { return layout_line_height(c.font, dpi_); }
  int text(const Control& c, std::string_view t) const { return layout_text_width(t, c.font, dpi_); }

  // The rows of one container, and its command buttons outside them.
  std::vector<Row> rows_of(const std::string& container, std::vector<const Control*>& buttons) const {
    std::vector<Row> rows;
    for (const auto& names : form_.rows) {
      if (form_.control(names.front()).container != container) continue;
      Row row;
      for (const auto& n : names) row.items.push_back(&form_.control(n));
      rows.push_back(row);
    }
    auto loose = [&](const std::string& name) { return !name.empty() && !in_rows_.count(name); };
    std::set<std::string> carried;  // labels that go with their option button
    for (auto* c : form_.controls_in(container))
      if (c->kind == ControlKind::OptionButton && loose(c->name) && loose(c->label) &&
          form_.has_control(c->label) && form_.control(c->label).container == container)
        carried.insert(c->label);
    for (auto* c : form_.controls_in(container)) {
      if (!loose(c->name) || carried.count(c->name) || c->kind == ControlKind::Page) continue;
      if (c->kind == ControlKind::CommandButton) {
        buttons.push_back(c);
        continue;
      }
      Row row{{c}};
      if (c->kind == ControlKind::OptionButton && carried.count(c->label))
        row.items.push_back(&form_.control(c->label));
      rows.push_back(row);
    }
    return rows;
  }

  int box_width(const Control& c) const {
    int content = c.sample.empty() ? kLayoutBoxEms * em(c) : text(c, c.sample);
    // Room for the border and the caret beside the padding.
    return content + 2 * s(kLayoutPad) + em(c) / 2;
  }
  int box_height(const Control& c) const { return line(c) + 2 * s(kLayoutPad); }
  int button_width(const Control& c) const { return std::max(s(kLayoutButtonWidth), text(c, c.caption) + 2 * em(c)); }
  int button_height(const Control& c) const { return line(c) + 2 * s(kLayoutPad) + s(2); }
  int option_width(const Control& c) const {
    return s(kLayoutOptionWidth) + (c.caption.empty() ? 0 : s(kLayoutGap) + widest_line(c.caption, c.font, dpi_));
  }

  void picture_geometry(const Control& c, Placement& p) const {
    const auto& cells = c.picture.cells;
    std::size_t cols = 0;
    for (const auto& r : cells) cols = std::max(cols, r.size());
    int pad = 2 * s(kLayoutPad);
    int head = 2 * em(c);
    for (std::size_t i = 0; i < cells.size(); ++i)
      head = std::max(head, text(c, std::to_string(c.picture.first_row_number + static_cast<int>(i))));
    p.columns = {head + pad};
    for (std::size_t j = 0; j < cols; ++j) {
      int w = std::max(kLayoutCellEms * em(c), text(c, column_letters(static_cast<int>(j) + 1)));
      for (const auto& r : cells)
        if (j < r.size()) w = std::max(w, text(c, r[j]));
      p.columns.push_back(w + pad);
    }
    p.row_height = line(c) + pad;
  }

  static std::string column_letters(int col) {
    std::string out;
    for (; col > 0; col = (col - 1) / 26) out.insert(out.begin(), static_cast<char>('A' + (col - 1) % 26));
    return out;
  }

  int picture_width(const Control& c) const {
    Placement p;
    picture_geometry(c, p);
    int w = 1;  // the closing grid line
    for (int col : p.columns) w += col;
    return w;
  }

  // A label's width when nothing limits it.
  int natural(const Control& c) const {
    switch (c.kind) {
      // Half an em spare: a fallback face without 宋体's fixed widths draws
      // Latin letters a little wider than the model's half em.
      case ControlKind::Label: return widest_line(c.caption, c.font, dpi_) + em(c) / 2;
      case ControlKind::TextBox: return box_width(c);
      case ControlKind::OptionButton: return option_width(c);
      case ControlKind::CommandButton: return button_width(c);
      case ControlKind::Picture: return picture_width(c);
      case ControlKind::MultiPage: {
        int w = 0;
        for (auto* page : form_.controls_in(c.name)) w = std::max(w, required_width(page->name));
        return w + 2 * s(kLayoutMargin);
      }
      case ControlKind::Page: return 0;
    }
    return 0;
  }

  // Labels that open a row and stand before a text box share this width.
  int label_column(const std::vector<Row>& rows) const {
    int w = 0;
    for (const auto& r : rows)
      if (opens_box_row(r)) w = std::max(w, natural(*r.items[0]));
    return w;
  }
  static bool opens_box_row(const Row& r) {
    return r.items.size() > 1 && r.items[0]->kind == ControlKind::Label && r.items[1]->kind == ControlKind::TextBox;
  }

  // The narrowest a container can be: a label alone or at a row's end may
  // wrap, down to a few characters.
  int required_width(const std::string& container) const {
    std::vector<const Control*> buttons;
    auto rows = rows_of(container, buttons);
    int column = label_column(rows);
    int need = 0, gap = s(kLayoutGap);
    for (const auto& r : rows) {
      int w = 0;
      for (std::size_t i = 0; i < r.items.size(); ++i) {
        const Control& c = *r.items[i];
        int cw = natural(c);
        if (c.kind == ControlKind::Label && i + 1 == r.items.size()) cw = std::min(cw, 8 * em(c));
        if (i == 0 && opens_box_row(r)) cw = column;
        w += cw + (i ? gap : 0);
      }
      need = std::max(need, w);
    }
    int bw = 0;
    for (auto* b : buttons) bw += button_width(*b) + (bw ? gap : 0);
    return std::max(need, bw);
  }

  Placement& at(const Control& c) { return out_->placements[index_.at(&c)]; }

  std::string page_of(const std::string& container) const {
    if (container.empty()) return "";
    return form_.control(container).kind == ControlKind::Page ? container : "";
  }

  // Places one container's controls from (x, y) in `width`; returns the y
  // below the last line, one gap included.
  int place(const std::string& container, int x, int y, int width) {
    std::vector<const Control*> buttons;
    auto rows = rows_of(container, buttons);
    int column = label_column(rows);
    int gap = s(kLayoutGap);
    std::string page = page_of(container);
    for (const auto& r : rows) {
      int cx = x, row_h = 0;
      std::vector<Placement*> leaves;
      for (std::size_t i = 0; i < r.items.size(); ++i) {
        const Control& c = *r.items[i];
        Placement& p = at(c);
        p.page = page;
        bool last = i + 1 == r.items.size();
        int w = 0, h = 0;
        switch (c.kind) {
          case ControlKind::Label:
            if (last) w = x + width - cx;
            else if (i == 0 && opens_box_row(r)) w = column;
            else w = natural(c);
            p.lines = layout_wrap(c.caption, c.font, dpi_, w);
            h = static_cast<int>(p.lines.size()) * line(c);
            break;
          case ControlKind::TextBox: w = box_width(c), h = box_height(c); break;
          case ControlKind::OptionButton: w = option_width(c), h = line(c) + s(kLayoutPad); break;
          case ControlKind::CommandButton: w = button_width(c), h = button_height(c); break;
          case ControlKind::Picture:
            picture_geometry(c, p);
            w = picture_width(c);
            h = static_cast<int>(c.picture.cells.size() + 1) * p.row_height + 1;
            break;
          case ControlKind::MultiPage: w = x + width - cx, h = place_pages(c, cx, y, w); break;
          case ControlKind::Page: break;
        }
        p.rect = {cx, y, w, h};
        if (c.kind != ControlKind::MultiPage) leaves.push_back(&p);
        row_h = std::max(row_h, h);
        cx += w + gap;
      }
      for (Placement* p : leaves) p->rect.y = y + (row_h - p->rect.h) / 2;
      y += row_h + gap;
    }
    if (!buttons.empty()) {
      int total = 0;
      for (auto* b : buttons) total += button_width(*b) + (total ? gap : 0);
      int bx = x + width - total, h = 0;
      y += gap;
      for (auto* b : buttons) {
        Placement& p = at(*b);
        p.page = page;
        p.rect = {bx, y, button_width(*b), button_height(*b)};
        bx += p.rect.w + gap;
        h = std::max(h, p.rect.h);
      }
      y += h + gap;
    }
    return y;
  }

  // The tab strip above, every page in the same body below it; returns
  // the container's height.
  int place_pages(const Control& multipage, int x, int y, int w) {
    int margin = s(kLayoutMargin);
    int tabs = line(multipage) + 2 * s(kLayoutPad) + s(4);
    int bottom = y + tabs + margin;
    auto pages = form_.controls_in(multipage.name);
    for (auto* page : pages)
      bottom = std::max(bottom, place(page->name, x + margin, y + tabs + margin, w - 2 * margin));
    int h = bottom - s(kLayoutGap) + margin - y;
    for (auto* page : pages) at(*page).rect = {x, y + tabs, w, h - tabs};
    return h;
  }

  // The first enabled text box the user sees, in tab (design) order; on a
  // form without one, its confirming button, so that Enter goes on rather
  // than stops (format forms list 格式调整>> first); else its first button.
  std::string first_focus() const {
    std::set<std::string> shown_pages;
    for (const auto& c : form_.controls())
      if (c->kind == ControlKind::MultiPage) {
        auto pages = form_.controls_in(c->name);
        if (!pages.empty()) shown_pages.insert(pages.front()->name);
      }
    auto reachable = [&](const Control& c) {
      return c.enabled && c.visible && (c.container.empty() || shown_pages.count(c.container));
    };
    for (const auto& c : form_.controls())
      if (c->kind == ControlKind::TextBox && reachable(*c)) return c->name;
    for (const auto& c : form_.controls())
      if (c->kind == ControlKind::CommandButton && c->role == "confirm" && reachable(*c)) return c->name;
    for (const auto& c : form_.controls())
      if ((c->kind == ControlKind::CommandButton || c->kind == ControlKind::OptionButton) && reachable(*c))
        return c->name;
    return "";
  }

  const Form& form_;
  int dpi_;
  std::set<std::string> in_rows_;
  std::map<const Control*, std::size_t> index_;
  FormLayout* out_ = nullptr;
};

}  // namespace

FormLayout layout_form(const Form& form, int dpi) { return Layouter(form, dpi).run(); }

}  // namespace lczs::ui
