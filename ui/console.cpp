#include "ui/console.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "host/types.h"
#include "host/utf8.h"

namespace lczs::ui {

namespace {

using host::next_code_point;

bool is_wide(char32_t cp) {
  struct Range {
    char32_t first, last;
  };
  static constexpr Range kWide[] = {
      {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x2E80, 0x303E},
      {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
      {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
      {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
      {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
  };
  for (const auto& r : kWide)
    if (cp >= r.first && cp <= r.last) return true;
  return false;
}

bool is_zero_width(char32_t cp) {
  return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x200B && cp <= 0x200F) ||
         (cp >= 0xFE00 && cp <= 0xFE0F) || cp == 0xFEFF;
}

bool caption_is(const Control& c, std::initializer_list<std::string_view> captions) {
  return std::find(captions.begin(), captions.end(), c.caption) != captions.end();
}

}  // namespace

int display_width(std::string_view utf8) {
  int width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = next_code_point(utf8, i);
    if (is_zero_width(cp)) continue;
    width += is_wide(cp) ? 2 : 1;
  }
  return width;
}

std::string pad_right(std::string_view text, int width) {
  std::string out(text);
  int w = display_width(text);
  if (w < width) out.append(static_cast<std::size_t>(width - w), ' ');
  return out;
}

void print_message(std::ostream& out, std::string_view prompt, std::string_view title) {
  out << "[" << title << "]\n";
  std::string text(prompt);
  // A prompt may break lines with CR LF as the run-time library's vbCrLf does.
  std::erase(text, '\r');
  out << text << "\n";
}

void print_answer(std::ostream& out, int answer) {
  out << (answer == kCancel ? "→ 取消" : "→ 确定") << "\n";
  out.flush();
}

std::string draw_picture(const PictureTable& picture) {
  std::size_t cols = 0;
  for (const auto& row : picture.cells) cols = std::max(cols, row.size());
  if (cols == 0) return "";
  std::vector<int> widths(cols, 0);
  for (std::size_t c = 0; c < cols; ++c)
    widths[c] = display_width(host::column_letters(static_cast<int>(c) + 1));
  for (const auto& row : picture.cells)
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], display_width(row[c]));
  int last_row = picture.first_row_number + static_cast<int>(picture.cells.size()) - 1;
  int number_width = std::max(1, display_width(std::to_string(std::max(last_row, 1))));

  std::ostringstream os;
  auto rule = [&] {
    os << std::string(static_cast<std::size_t>(number_width) + 1, '-');
    for (int w : widths) os << "+" << std::string(static_cast<std::size_t>(w) + 2, '-');
    os << "+\n";
  };
  auto line = [&](const std::string& head, auto cell) {
    os << pad_right("", number_width - display_width(head)) << head << " ";
    for (std::size_t c = 0; c < cols; ++c) os << "| " << pad_right(cell(c), widths[c]) << " ";
    os << "|\n";
  };
  line("", [](std::size_t c) { return host::column_letters(static_cast<int>(c) + 1); });
  rule();
  for (std::size_t r = 0; r < picture.cells.size(); ++r) {
    const auto& row = picture.cells[r];
    line(std::to_string(picture.first_row_number + static_cast<int>(r)),
         [&](std::size_t c) { return c < row.size() ? row[c] : std::string(); });
  }
  return os.str();
}

Control* find_button(const Form& form, std::string_view role) {
  for (const auto& c : form.controls()) {
    if (c->kind != ControlKind::CommandButton || !c->visible) continue;
    if (!c->role.empty()) {
      if (c->role == role) return c.get();
      continue;
    }
    // A button without a hint is known by its caption.
    if (role == "cancel" && caption_is(*c, {"取消", "格式调整>>"})) return c.get();
    if (role == "confirm" && caption_is(*c, {"确定", "继续执行>>", "关闭"})) return c.get();
    if (role == "close" && caption_is(*c, {"关闭"})) return c.get();
  }
  return nullptr;
}

std::vector<Control*> ordered_buttons(const Form& form) {
  std::vector<Control*> out;
  for (std::string_view role : {"confirm", "cancel"})
    for (const auto& c : form.controls())
      if (c->kind == ControlKind::CommandButton && c->visible && c->role == role) out.push_back(c.get());
  for (const auto& c : form.controls())
    if (c->kind == ControlKind::CommandButton && c->visible && c->role != "confirm" && c->role != "cancel")
      out.push_back(c.get());
  return out;
}

namespace {

// The visible controls sharing the box's page, in design order, and where
// `c` stands among them.
std::vector<Control*> page_of(const Form& form, const Control& c, std::size_t& at) {
  std::vector<Control*> all = form.controls_in(c.container), out;
  for (Control* x : all)
    if (x->visible) out.push_back(x);
  at = static_cast<std::size_t>(std::find(out.begin(), out.end(), &c) - out.begin());
  return out;
}

bool introduces_box(const std::vector<Control*>& page, std::size_t i) {
  return page[i]->kind == ControlKind::Label && i + 1 < page.size() &&
         page[i + 1]->kind == ControlKind::TextBox;
}

std::string trim_right_spaces(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool ends_with_colon(const std::string& text) {
  return (!text.empty() && text.back() == ':') ||
         (text.size() >= 3 && text.compare(text.size() - 3, 3, "：") == 0);
}

}  // namespace

std::string box_title(const Form& form, const Control& box) {
  std::size_t at = 0;
  std::vector<Control*> page = page_of(form, box, at);
  std::size_t first = at;
  while (first > 0 && page[first - 1]->kind == ControlKind::TextBox) --first;
  std::size_t last = at;
  while (last + 1 < page.size() && page[last + 1]->kind == ControlKind::TextBox) ++last;
  std::string title;
  if (first > 0 && page[first - 1]->kind == ControlKind::Label)
    title = trim_right_spaces(page[first - 1]->caption);
  if (title.empty()) title = "文本框";
  if (last > first) {
    title += " 第 " + std::to_string(at - first + 1) + " 个";
  }
  if (!ends_with_colon(title)) title += "：";
  return title;
}

const Control* box_hint(const Form& form, const Control& box) {
  std::size_t at = 0;
  std::vector<Control*> page = page_of(form, box, at);
  if (at + 1 >= page.size() || page[at + 1]->kind != ControlKind::Label) return nullptr;
  if (introduces_box(page, at + 1) || page[at + 1]->caption.empty()) return nullptr;
  return page[at + 1];
}

bool is_box_hint(const Form& form, const Control& label) {
  std::size_t at = 0;
  std::vector<Control*> page = page_of(form, label, at);
  return at > 0 && at < page.size() && page[at - 1]->kind == ControlKind::TextBox &&
         box_hint(form, *page[at - 1]) == &label;
}

namespace {

// Closing punctuation stays with what it closes.
bool closes(std::string_view unit) {
  static constexpr std::string_view kClosing[] = {"，", "。", "、", "；", "：", "！", "？",
                                                 "）", "」", "』", "”", "’", "》", "…"};
  return std::find(std::begin(kClosing), std::end(kClosing), unit) != std::end(kClosing);
}

// Opening punctuation stays with what it opens.
bool opens(std::string_view unit) {
  static constexpr std::string_view kOpening[] = {"（", "“", "‘", "「", "『", "《"};
  return std::find(std::begin(kOpening), std::end(kOpening), unit) != std::end(kOpening);
}

}  // namespace

std::string wrap_text(std::string_view text, int width, int indent) {
  std::string out;
  const std::string pad(static_cast<std::size_t>(std::max(indent, 0)), ' ');
  std::size_t line_start = 0;
  while (line_start <= text.size()) {
    std::size_t nl = text.find('\n', line_start);
    std::string_view line = text.substr(line_start, nl == std::string_view::npos ? std::string_view::npos
                                                                                 : nl - line_start);
    // Units that may not be split: a run of narrow non-spaces, a wide
    // character with the closing punctuation after it, or spaces.
    std::vector<std::string> units;
    for (std::size_t i = 0; i < line.size();) {
      std::size_t from = i;
      char32_t cp = next_code_point(line, i);
      std::string unit(line.substr(from, i - from));
      if (cp == ' ') {
        while (i < line.size() && line[i] == ' ') unit += line[i++];
      } else if (!is_wide(cp)) {
        while (i < line.size()) {
          std::size_t j = i;
          char32_t next = next_code_point(line, j);
          if (next == ' ' || is_wide(next)) break;
          unit += std::string(line.substr(i, j - i));
          i = j;
        }
      }
      if (!units.empty() && cp != ' ' && (closes(unit) || opens(units.back()))) units.back() += unit;
      else units.push_back(std::move(unit));
    }
    std::string current;
    int used = indent;
    bool empty = true;
    for (const std::string& unit : units) {
      int w = display_width(unit);
      if (unit[0] == ' ') {
        if (!empty && used + w < width) {
          current += unit;
          used += w;
        }
        continue;
      }
      if (used + w > width && !empty) {
        while (!current.empty() && current.back() == ' ') current.pop_back();
        out += current + "\n" + pad;
        current.clear();
        used = indent;
      }
      current += unit;
      used += w;
      empty = false;
    }
    while (!current.empty() && current.back() == ' ') current.pop_back();
    out += current;
    if (nl == std::string_view::npos) break;
    out += "\n" + pad;
    line_start = nl + 1;
  }
  return out;
}

std::string cancel_form(Form& form) {
  Control* button = find_button(form, "cancel");
  if (!button) button = find_button(form, "close");
  // An information form has nothing to cancel: its own button closes it.
  if (!button) {
    int buttons = 0;
    for (const auto& c : form.controls())
      if (c->kind == ControlKind::CommandButton && c->visible) ++buttons;
    if (buttons == 1) button = find_button(form, "confirm");
  }
  std::string pressed;
  if (button && button->enabled) {
    pressed = button->caption;
    form.click(button->name);
  }
  if (form.loaded()) form.unload();
  return pressed;
}

}  // namespace lczs::ui
