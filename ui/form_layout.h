// Where each control of a form goes on screen, computed from the form model
// alone so that the rules a drawn form must keep (everything inside its
// form and page, nothing overlapping, every text fitting its control) can be
// checked without a window system. The Win32 dialogs place their windows
// exactly here.
//
// Text width model: a full-width character (ui/console.h's display_width
// counts it as two columns) takes one em, a half-width one half an em,
// where an em is the font's size in pixels at the given DPI. Text is broken
// into lines here, not by the window system, so what is drawn has the lines
// that were measured. A label is given half an em beyond its text, for a
// fallback face whose Latin letters are wider than 宋体's.
//
// Arrangement: the controls of a container (the form, or one page) go from
// top to bottom. A form may name rows of controls that share a line, left
// to right (Form::rows); the rest stand alone on their lines in design
// order, except an option button, which carries the label beside it, and
// the command buttons, which line up at the right of the container's foot.
// A label that ends a row takes the rest of the line and wraps; labels that
// open rows followed by a text box share one column width so the boxes line
// up. The form is kLayoutWidth wide (at 96 DPI), widened for a row that
// needs more, up to the screen.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/form.h"

namespace lczs::ui {

// Sizes at 96 DPI; everything scales with the DPI.
inline constexpr int kLayoutWidth = 460;       // client width of a form
inline constexpr int kLayoutMargin = 12;       // form edge to controls, tab edge to page content
inline constexpr int kLayoutGap = 6;           // between controls and between lines
inline constexpr int kLayoutPad = 4;           // text to the edge of its box, button or cell
inline constexpr int kLayoutButtonWidth = 80;  // narrowest command button
inline constexpr int kLayoutOptionWidth = 16;  // an option button's round mark
inline constexpr int kLayoutBoxEms = 6;        // a text box without a sample
inline constexpr int kLayoutCellEms = 3;       // narrowest column of a picture
// The smallest screen the forms must fit, frame and title bar included.
inline constexpr int kLayoutScreenWidth = 1024;
inline constexpr int kLayoutScreenHeight = 768;
inline constexpr int kLayoutFrameWidth = 16;   // both side borders of a dialog
inline constexpr int kLayoutFrameHeight = 40;  // title bar and borders

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  int right() const { return x + w; }
  int bottom() const { return y + h; }
  bool contains(const Rect& r) const {
    return r.x >= x && r.y >= y && r.right() <= right() && r.bottom() <= bottom();
  }
  bool overlaps(const Rect& r) const {
    return r.x < right() && x < r.right() && r.y < bottom() && y < r.bottom();
  }
  bool operator==(const Rect&) const = default;
};

// One control's place, in the form's client coordinates.
struct Placement {
  const Control* control = nullptr;
  Rect rect;
  std::string page;                // the page that shows it; "" for the form
  std::vector<std::string> lines;  // label: its caption as broken into lines
  // Picture: width of the row-number column, then of each sheet column;
  // every row has row_height.
  std::vector<int> columns;
  int row_height = 0;
};

struct FormLayout {
  int dpi = 96;
  int width = 0, height = 0;          // client area
  std::vector<Placement> placements;  // design order; every control
  // The control that has the focus at first: the first enabled text box
  // shown, else the confirming button, else the first button.
  std::string first_focus;
  // nullptr for an unknown name.
  const Placement* find(std::string_view name) const;
};

// The pixels of one em of `font` at `dpi`.
int layout_em(const FontSpec& font, int dpi);
// The height of one line of text.
int layout_line_height(const FontSpec& font, int dpi);
// The width of `text` in one line under the text width model.
int layout_text_width(std::string_view text, const FontSpec& font, int dpi);
// `text` broken into lines no wider than `width`, between any two
// characters (Chinese text has no spaces to break at); a line feed always
// breaks. At least one line, even for an empty text.
std::vector<std::string> layout_wrap(std::string_view text, const FontSpec& font, int dpi, int width);

FormLayout layout_form(const Form& form, int dpi = 96);

}  // namespace lczs::ui
