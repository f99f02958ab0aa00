#include "win/dispatch_host.h"

#include "win/cmdbar_events.h"

namespace lczs::win {

namespace {

constexpr long kXlDown = -4121;
constexpr long kXlPageBreakManual = -4135;
constexpr long kXlCategory = 1;  // Chart.Axes
constexpr long kXlValue = 2;
constexpr long kXlTopToBottom = 1;
constexpr long kXlPinYin = 1;
constexpr long kXlWhole = 1;
constexpr long kXlByRows = 1;
constexpr long kXlOpenXmlWorkbook = 51;  // .xlsx

std::wstring a1(const host::Area& area) { return widen(host::address(area, false)); }

Variant vstr(const std::wstring& s) { return Variant::str(narrow(s)); }

host::Area parse_or_throw(const std::string& address, const std::string& what) {
  // Address of a multi-area selection is "A1:B2,C3"; the first area counts.
  std::string first = address.substr(0, address.find(','));
  auto area = host::parse_address(first);
  if (!area) throw host::HostError("表格程序返回的 " + what + " 地址无法识别：" + address);
  return *area;
}

// The array of one bulk call is built whole on both sides of IDispatch;
// its size is bounded before the application is asked.
void check_grid(const host::Area& area) {
  if (!area.valid())
    throw host::HostError("区域超出工作表范围：" + host::address(area, false));
  if (static_cast<long long>(area.row_count()) * area.col_count() > host::kMaxGridCells)
    throw host::HostError("区域过大，无法一次读写：" + host::address(area, false));
}

}  // namespace

// ---------------------------------------------------------------------------

class DispatchWorksheet final : public host::Worksheet {
 public:
  DispatchWorksheet(DispatchApplication& app, DispatchWorkbook& book, Disp sheet)
      : app_(app), book_(book), sheet_(std::move(sheet)) {}

  const Disp& disp() const { return sheet_; }
  DispatchWorkbook& book() { return book_; }
  void release() { sheet_.reset(); }

  Disp range(const host::Area& area) const {
    if (area.is_single_cell()) return cell(area.top, area.left);
    return sheet_.object(L"Range", {vstr(a1(area))}, "Range");
  }
  Disp cell(int row, int col) const {
    return sheet_.object(L"Cells", {Variant::i4(row), Variant::i4(col)}, "Range");
  }

  std::string name() const override { return to_string(sheet_.get(L"Name"), "Worksheet.Name"); }
  void set_name(const std::string& name) override { sheet_.put(L"Name", Variant::str(name)); }
  int index() const override { return static_cast<int>(to_long(sheet_.get(L"Index"), "Worksheet.Index")); }
  bool visible() const override {
    // xlSheetVisible is -1; hidden (0) and very hidden (2) are not.
    return to_long(sheet_.get(L"Visible"), "Worksheet.Visible") == -1;
  }

  void activate() override { sheet_.call(L"Activate", {}); }
  void select(const host::Area& area) override { range(area).call(L"Select", {}); }
  void select(const host::Area& area, host::CellRef active) override {
    range(area).call(L"Select", {});
    cell(active.row, active.col).call(L"Activate", {});
  }
  host::Area selection() const override {
    Disp sel = app_.disp().object(L"Selection", {}, "Selection");
    return parse_or_throw(to_string(sel.get(L"Address"), "Selection.Address"), "Selection");
  }
  host::CellRef active_cell() const override {
    Disp c = app_.disp().object(L"ActiveCell", {}, "Range");
    return {static_cast<int>(to_long(c.get(L"Row"), "Range.Row")),
            static_cast<int>(to_long(c.get(L"Column"), "Range.Column"))};
  }

  host::Value value(int row, int col) const override { return to_value(cell(row, col).get(L"Value")); }
  void set_value(int row, int col, const host::Value& v) override {
    cell(row, col).put(L"Value", from_value(v));
  }
  void set_values(const host::Area& area, const host::Value& v) override {
    range(area).put(L"Value", from_value(v));
  }
  host::ValueGrid values(const host::Area& area) const override {
    check_grid(area);
    return to_grid(range(area).get(L"Value"), area.row_count(), area.col_count(), "Range.Value");
  }
  void write_values(host::CellRef top_left, const host::ValueGrid& grid) override {
    if (grid.rows() == 0 || grid.cols() == 0) return;
    const host::Area area = host::Area::cell(top_left.row, top_left.col).resize(grid.rows(), grid.cols());
    check_grid(area);
    range(area).put(L"Value", from_grid(grid));
  }
  std::string formula(int row, int col) const override {
    return to_string(cell(row, col).get(L"Formula"), "Range.Formula");
  }
  void set_formula(const host::Area& area, const std::string& text) override {
    range(area).put(L"Formula", Variant::str(text));
  }
  void set_formula_r1c1(const host::Area& area, const std::string& text) override {
    range(area).put(L"FormulaR1C1", Variant::str(text));
  }

  host::CellRef used_extent() const override {
    Disp used = sheet_.object(L"UsedRange", {}, "Range");
    host::Area a = parse_or_throw(to_string(used.get(L"Address"), "Range.Address"), "UsedRange");
    // An empty sheet reports A1 as its used range.
    if (a.is_single_cell() && a.top == 1 && a.left == 1 && value(1, 1).is_empty() &&
        formula(1, 1).empty())
      return {0, 0};
    return {a.bottom, a.right};
  }
  host::Area current_region(int row, int col) const override {
    Disp region = cell(row, col).object(L"CurrentRegion", {}, "Range");
    return parse_or_throw(to_string(region.get(L"Address"), "Range.Address"), "CurrentRegion");
  }
  host::CellRef end_down(int row, int col) const override {
    Disp end = cell(row, col).object(L"End", {Variant::i4(kXlDown)}, "Range");
    return {static_cast<int>(to_long(end.get(L"Row"), "Range.Row")),
            static_cast<int>(to_long(end.get(L"Column"), "Range.Column"))};
  }

  void clear_contents(const host::Area& area) override { range(area).call(L"ClearContents", {}); }
  void clear_comments(const host::Area& area) override { range(area).call(L"ClearComments", {}); }
  // Range.ClearHyperlinks came with Excel 2010; before it only
  // Hyperlinks.Delete removes links, taking the cells' formats with them.
  void clear_hyperlinks(const host::Area& area) override {
    Disp r = range(area);
    if (r.has(L"ClearHyperlinks"))
      r.call(L"ClearHyperlinks", {});
    else
      r.object(L"Hyperlinks").call(L"Delete", {});
  }
  void delete_cells(const host::Area& area, host::Shift shift) override {
    if (shift == host::Shift::Auto)
      range(area).call(L"Delete", {});
    else
      range(area).call(L"Delete", {Variant::i4(static_cast<long>(shift))});
  }
  void insert_cells(const host::Area& area, host::Shift shift) override {
    if (shift == host::Shift::Auto)
      range(area).call(L"Insert", {});
    else
      range(area).call(L"Insert", {Variant::i4(static_cast<long>(shift))});
  }
  void sort(const host::Area& area, const host::SortSpec& spec) override {
    std::vector<NamedArg> named;
    auto key = [&](const wchar_t* key_name, const wchar_t* order_name, const host::SortKey& k) {
      named.push_back({key_name, Variant::dispatch(cell(area.top, k.column).get())});
      named.push_back({order_name, Variant::i4(static_cast<long>(k.order))});
    };
    key(L"Key1", L"Order1", spec.key1);
    if (spec.key2) key(L"Key2", L"Order2", *spec.key2);
    if (spec.key3) key(L"Key3", L"Order3", *spec.key3);
    named.push_back({L"Header", Variant::i4(static_cast<long>(spec.header))});
    named.push_back({L"OrderCustom", Variant::i4(1)});
    named.push_back({L"MatchCase", Variant::boolean(false)});
    named.push_back({L"Orientation", Variant::i4(kXlTopToBottom)});
    named.push_back({L"SortMethod", Variant::i4(kXlPinYin)});
    range(area).call(L"Sort", {}, std::move(named));
  }
  int replace_whole(const host::Area& area, const std::string& what,
                    const std::string& replacement) override {
    // Range.Replace reports only whether it replaced anything; the count is
    // taken from the cells that match before the replacement, read as two
    // arrays (values, and formulas to skip) rather than cell by cell.
    int count = 0;
    std::wstring w = widen(what);
    const host::ValueGrid shown = values(area);
    const host::ValueGrid formulas =
        to_grid(range(area).get(L"Formula"), area.row_count(), area.col_count(), "Range.Formula");
    for (int r = 0; r < shown.rows(); ++r)
      for (int c = 0; c < shown.cols(); ++c) {
        const host::Value& f = formulas.at(r, c);
        if (f.is_text() && !f.as_text().empty() && f.as_text()[0] == '=') continue;
        std::wstring text = widen(shown.at(r, c).display_text());
        if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str(), -1, w.c_str(), -1) ==
            CSTR_EQUAL)
          ++count;
      }
    range(area).call(L"Replace", {},
                     {{L"What", Variant::str(what)},
                      {L"Replacement", Variant::str(replacement)},
                      {L"LookAt", Variant::i4(kXlWhole)},
                      {L"SearchOrder", Variant::i4(kXlByRows)},
                      {L"MatchCase", Variant::boolean(false)}});
    return count;
  }

  static void apply_font(const Disp& font, const host::FontPatch& f) {
    if (f.name) font.put(L"Name", Variant::str(*f.name));
    if (f.font_style) font.put(L"FontStyle", Variant::str(*f.font_style));
    if (f.size) font.put(L"Size", Variant::r8(*f.size));
    if (f.bold) font.put(L"Bold", Variant::boolean(*f.bold));
    if (f.italic) font.put(L"Italic", Variant::boolean(*f.italic));
    if (f.strikethrough) font.put(L"Strikethrough", Variant::boolean(*f.strikethrough));
    if (f.superscript) font.put(L"Superscript", Variant::boolean(*f.superscript));
    if (f.subscript) font.put(L"Subscript", Variant::boolean(*f.subscript));
    if (f.outline) font.put(L"OutlineFont", Variant::boolean(*f.outline));
    if (f.shadow) font.put(L"Shadow", Variant::boolean(*f.shadow));
    if (f.underline) font.put(L"Underline", Variant::i4(static_cast<long>(*f.underline)));
    if (f.color_index) font.put(L"ColorIndex", Variant::i4(*f.color_index));
  }
  void set_font(const host::Area& area, const host::FontPatch& font) override {
    apply_font(range(area).object(L"Font", {}, "Font"), font);
  }
  void set_characters_font(int row, int col, int start, int length,
                           const host::FontPatch& font) override {
    Disp chars = cell(row, col).object(L"Characters", {Variant::i4(start), Variant::i4(length)},
                                       "Characters");
    apply_font(chars.object(L"Font", {}, "Font"), font);
  }
  void set_alignment(const host::Area& area, const host::AlignmentPatch& a) override {
    Disp r = range(area);
    if (a.horizontal) r.put(L"HorizontalAlignment", Variant::i4(static_cast<long>(*a.horizontal)));
    if (a.vertical) r.put(L"VerticalAlignment", Variant::i4(static_cast<long>(*a.vertical)));
    if (a.wrap_text) r.put(L"WrapText", Variant::boolean(*a.wrap_text));
    if (a.orientation) r.put(L"Orientation", Variant::i4(*a.orientation));
    if (a.add_indent) r.put(L"AddIndent", Variant::boolean(*a.add_indent));
    if (a.indent_level) r.put(L"IndentLevel", Variant::i4(*a.indent_level));
    if (a.shrink_to_fit) r.put(L"ShrinkToFit", Variant::boolean(*a.shrink_to_fit));
    if (a.merge_cells) r.put(L"MergeCells", Variant::boolean(*a.merge_cells));
  }
  void merge(const host::Area& area) override { range(area).call(L"Merge", {}); }
  void set_border(const host::Area& area, host::BorderIndex index, const host::BorderSpec& b) override {
    Disp border = range(area).object(L"Borders", {Variant::i4(static_cast<long>(index))}, "Border");
    border.put(L"LineStyle", Variant::i4(static_cast<long>(b.style)));
    if (b.style == host::LineStyle::None) return;
    border.put(L"Weight", Variant::i4(static_cast<long>(b.weight)));
    border.put(L"ColorIndex", Variant::i4(b.color_index));
  }
  void set_number_format(const host::Area& area, const std::string& format) override {
    range(area).put(L"NumberFormatLocal", Variant::str(format));
  }
  void set_column_width(int first_col, int last_col, double width) override {
    range(host::Area::columns(first_col, last_col)).put(L"ColumnWidth", Variant::r8(width));
  }
  double column_width(int col) const override {
    return to_double(cell(1, col).get(L"ColumnWidth"), "Range.ColumnWidth");
  }
  void autofit_columns(int first_col, int last_col) override {
    range(host::Area::columns(first_col, last_col)).object(L"EntireColumn", {}, "Range").call(L"AutoFit", {});
  }
  void set_row_height(int first_row, int last_row, double points) override {
    range(host::Area::rows(first_row, last_row)).put(L"RowHeight", Variant::r8(points));
  }
  double row_height(int row) const override {
    return to_double(cell(row, 1).get(L"RowHeight"), "Range.RowHeight");
  }

  void add_page_break(int before_row) override {
    Disp breaks = sheet_.object(L"HPageBreaks", {}, "HPageBreaks");
    breaks.call(L"Add", {}, {{L"Before", Variant::dispatch(cell(before_row, 1).get())}});
  }
  std::vector<int> page_breaks() const override {
    Disp breaks = sheet_.object(L"HPageBreaks", {}, "HPageBreaks");
    long n = to_long(breaks.get(L"Count"), "HPageBreaks.Count");
    std::vector<int> rows;
    for (long i = 1; i <= n; ++i) {
      Disp b = breaks.object(L"Item", {Variant::i4(i)}, "HPageBreak");
      if (to_long(b.get(L"Type"), "HPageBreak.Type") != kXlPageBreakManual) continue;
      Disp at = b.object(L"Location", {}, "Range");
      rows.push_back(static_cast<int>(to_long(at.get(L"Row"), "Range.Row")));
    }
    return rows;
  }

  void add_chart(const host::Chart& chart) override;

 private:
  DispatchApplication& app_;
  DispatchWorkbook& book_;
  Disp sheet_;
};

// ---------------------------------------------------------------------------

class DispatchWorkbook final : public host::Workbook {
 public:
  DispatchWorkbook(DispatchApplication& app, Disp book) : app_(app), book_(std::move(book)) {}
  const Disp& disp() const { return book_; }
  void release() {
    for (auto& s : sheets_) s->release();
    book_.reset();
  }

  DispatchWorksheet& wrap(Disp sheet) {
    IUnknown* id = identity(sheet.get());
    for (auto& s : sheets_)
      if (s->disp() && identity(s->disp().get()) == id) return *s;
    sheets_.push_back(std::make_unique<DispatchWorksheet>(app_, *this, std::move(sheet)));
    return *sheets_.back();
  }
  static DispatchWorksheet& own(host::Worksheet& sheet) {
    return static_cast<DispatchWorksheet&>(sheet);
  }

  std::string full_name() const override { return to_string(book_.get(L"FullName"), "Workbook.FullName"); }
  int sheet_count() const override {
    return static_cast<int>(to_long(worksheets().get(L"Count"), "Worksheets.Count"));
  }
  host::Worksheet& sheet(int index) override {
    return wrap(worksheets().object(L"Item", {Variant::i4(index)}, "Worksheet"));
  }
  host::Worksheet& sheet(const std::string& name) override {
    return wrap(worksheets().object(L"Item", {Variant::str(name)}, "Worksheet"));
  }
  host::Worksheet* find_sheet(const std::string& name) override {
    // Looking the name up among the sheets avoids the application's error
    // for an absent sheet.
    Disp all = worksheets();
    long n = to_long(all.get(L"Count"), "Worksheets.Count");
    std::wstring want = widen(name);
    for (long i = 1; i <= n; ++i) {
      Disp s = all.object(L"Item", {Variant::i4(i)}, "Worksheet");
      std::wstring have = widen(to_string(s.get(L"Name"), "Worksheet.Name"));
      if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, have.c_str(), -1, want.c_str(), -1) ==
          CSTR_EQUAL)
        return &wrap(std::move(s));
    }
    return nullptr;
  }
  host::Worksheet& active_sheet() override { return wrap(book_.object(L"ActiveSheet", {}, "Worksheet")); }

  host::Worksheet& add_sheet() override {
    return wrap(to_disp(worksheets().call(L"Add", {}), "Worksheet"));
  }
  host::Worksheet& add_sheet_after(host::Worksheet& after) override {
    Variant added = worksheets().call(L"Add", {}, {{L"After", Variant::dispatch(own(after).disp().get())}});
    return wrap(to_disp(added, "Worksheet"));
  }
  host::Worksheet& copy_sheet_after(host::Worksheet& source, host::Worksheet& after) override {
    own(source).disp().call(L"Copy", {}, {{L"After", Variant::dispatch(own(after).disp().get())}});
    // Copy returns nothing; the copy is the active sheet.
    return active_sheet();
  }
  void move_sheet_before(host::Worksheet& sheet, host::Worksheet& before) override {
    own(sheet).disp().call(L"Move", {}, {{L"Before", Variant::dispatch(own(before).disp().get())}});
  }
  void delete_sheet(host::Worksheet& sheet) override {
    own(sheet).disp().call(L"Delete", {});
  }
  void save() override {
    try {
      book_.call(L"Save", {});
    } catch (const host::SaveError&) {
      throw;
    } catch (const host::HostError& e) {
      throw host::SaveError(e.what());
    }
  }
  void save_as(const std::string& path) override {
    try {
      // The format the name's .xlsx promises: without it the application
      // keeps the format the workbook was opened in (.xls, .csv) under
      // the new name.
      book_.call(L"SaveAs", {}, {{L"Filename", Variant::str(path)}, {L"FileFormat", Variant::i4(kXlOpenXmlWorkbook)}});
    } catch (const host::SaveError&) {
      throw;
    } catch (const host::HostError& e) {
      throw host::SaveError(e.what());
    }
  }

 private:
  Disp worksheets() const { return book_.object(L"Worksheets", {}, "Worksheets"); }
  DispatchApplication& app_;
  Disp book_;
  std::vector<std::unique_ptr<DispatchWorksheet>> sheets_;
};

void DispatchWorksheet::add_chart(const host::Chart& chart) {
  std::string problem = host::chart_problem(chart);
  if (!problem.empty()) throw host::HostError(problem);
  // The chart object is placed in points: from the top-left corner of the
  // covered cells to that of the cell beyond them.
  const host::Area& at = chart.position;
  Disp from = cell(at.top, at.left);
  Disp beyond = cell(at.bottom + 1, at.right + 1);
  const double left = to_double(from.get(L"Left"), "Range.Left");
  const double top = to_double(from.get(L"Top"), "Range.Top");
  const double width = to_double(beyond.get(L"Left"), "Range.Left") - left;
  const double height = to_double(beyond.get(L"Top"), "Range.Top") - top;
  Disp objects = sheet_.object(L"ChartObjects", {}, "ChartObjects");
  Disp object = to_disp(objects.call(L"Add", {Variant::r8(left), Variant::r8(top), Variant::r8(width),
                                              Variant::r8(height)}),
                        "ChartObject");
  Disp c = object.object(L"Chart", {}, "Chart");
  Disp list = c.object(L"SeriesCollection", {}, "SeriesCollection");
  for (const host::ChartSeries& s : chart.series) {
    auto& source = static_cast<DispatchWorksheet&>(book_.sheet(s.sheet));
    Disp series = to_disp(list.call(L"NewSeries", {}), "Series");
    series.put(L"ChartType", Variant::i4(static_cast<long>(s.type)));
    series.put(L"Name", Variant::str(s.name));
    series.put(L"Values", Variant::dispatch(source.range(s.values).get()));
    series.put(L"XValues", Variant::dispatch(source.range(s.categories).get()));
  }
  // The title object exists only once HasTitle is set.
  auto title = [](const Disp& owner, const wchar_t* member, const char* label, const std::string& text) {
    owner.put(L"HasTitle", Variant::boolean(!text.empty()));
    if (!text.empty()) owner.object(member, {}, label).put(L"Text", Variant::str(text));
  };
  title(c, L"ChartTitle", "ChartTitle", chart.title);
  title(c.object(L"Axes", {Variant::i4(kXlCategory)}, "Axis"), L"AxisTitle", "AxisTitle", chart.category_title);
  title(c.object(L"Axes", {Variant::i4(kXlValue)}, "Axis"), L"AxisTitle", "AxisTitle", chart.value_title);
  c.put(L"HasLegend", Variant::boolean(true));
}

// ---------------------------------------------------------------------------

class DispatchFunctions final : public host::WorksheetFunctions {
 public:
  explicit DispatchFunctions(DispatchApplication& app) : app_(app) {}
  void release() { fn_.reset(); }

  int count_blank(const host::Worksheet& sheet, const host::Area& area) override {
    return static_cast<int>(to_double(fn().call(L"CountBlank", {arg(sheet, area)}), "CountBlank"));
  }
  int count_if(const host::Worksheet& sheet, const host::Area& area, const host::Value& criterion) override {
    return static_cast<int>(
        to_double(fn().call(L"CountIf", {arg(sheet, area), from_value(criterion)}), "CountIf"));
  }
  double max(const host::Worksheet& sheet, const host::Area& area) override {
    return to_double(fn().call(L"Max", {arg(sheet, area)}), "Max");
  }
  double min(const host::Worksheet& sheet, const host::Area& area) override {
    return to_double(fn().call(L"Min", {arg(sheet, area)}), "Min");
  }
  double average(const host::Worksheet& sheet, const host::Area& area) override {
    return to_double(fn().call(L"Average", {arg(sheet, area)}), "Average");
  }
  int match_exact(const host::Value& value, const host::Worksheet& sheet, const host::Area& area) override {
    return static_cast<int>(
        to_double(fn().call(L"Match", {from_value(value), arg(sheet, area), Variant::i4(0)}), "Match"));
  }

 private:
  const Disp& fn() {
    if (!fn_) fn_ = app_.disp().object(L"WorksheetFunction", {}, "WorksheetFunction");
    return fn_;
  }
  static Variant arg(const host::Worksheet& sheet, const host::Area& area) {
    const auto& s = static_cast<const DispatchWorksheet&>(sheet);
    return Variant::dispatch(s.range(area).get());
  }
  DispatchApplication& app_;
  Disp fn_;
};

// ---------------------------------------------------------------------------

class DispatchControls final : public host::CommandBarControls {
 public:
  DispatchControls(DispatchApplication& app, const Disp& parent) : app_(app), parent_(parent) {}

  int count() const override {
    return static_cast<int>(to_long(controls().get(L"Count"), "CommandBarControls.Count"));
  }
  host::CommandBarControl& item(int index) override;
  host::CommandBarControl& add(host::ControlType type, int id, int before, bool temporary) override;

 private:
  Disp controls() const { return parent_.object(L"Controls", {}, "CommandBarControls"); }
  DispatchApplication& app_;
  const Disp& parent_;
};

class DispatchControl final : public host::CommandBarControl {
 public:
  DispatchControl(DispatchApplication& app, Disp control)
      : control_(std::move(control)), controls_(app, control_) {}
  ~DispatchControl() override { release(); }

  const Disp& disp() const { return control_; }
  void set_temporary(bool t) { temporary_ = t; }
  void release() {
    if (sink_) {
      sink_->disarm();
      sink_->Release();
      sink_ = nullptr;
    }
    point_.reset();
    control_.reset();
  }

  host::ControlType type() const override {
    return static_cast<host::ControlType>(to_long(control_.get(L"Type"), "CommandBarControl.Type"));
  }
  int id() const override { return static_cast<int>(to_long(control_.get(L"Id"), "CommandBarControl.Id")); }
  std::string caption() const override { return to_string(control_.get(L"Caption"), "CommandBarControl.Caption"); }
  void set_caption(const std::string& c) override { control_.put(L"Caption", Variant::str(c)); }
  std::string tooltip_text() const override {
    return to_string(control_.get(L"TooltipText"), "CommandBarControl.TooltipText");
  }
  void set_tooltip_text(const std::string& t) override { control_.put(L"TooltipText", Variant::str(t)); }
  bool enabled() const override { return to_bool(control_.get(L"Enabled"), "CommandBarControl.Enabled"); }
  void set_enabled(bool e) override { control_.put(L"Enabled", Variant::boolean(e)); }
  int face_id() const override {
    return static_cast<int>(to_long(control_.get(L"FaceId"), "CommandBarButton.FaceId"));
  }
  void set_face_id(int f) override { control_.put(L"FaceId", Variant::i4(f)); }
  bool begin_group() const override {
    return to_bool(control_.get(L"BeginGroup"), "CommandBarControl.BeginGroup");
  }
  void set_begin_group(bool b) override { control_.put(L"BeginGroup", Variant::boolean(b)); }
  std::string tag() const override { return to_string(control_.get(L"Tag"), "CommandBarControl.Tag"); }
  void set_tag(const std::string& t) override { control_.put(L"Tag", Variant::str(t)); }
  // The object model has no Temporary property; what this add-in asked for
  // when it added the control is what it knows.
  bool temporary() const override { return temporary_; }
  host::CommandBarControls& controls() override { return controls_; }

  void bind_click(host::ClickHandler handler) override {
    if (sink_) {
      if (point_) point_->Unadvise(cookie_);
      sink_->disarm();
      sink_->Release();
      sink_ = nullptr;
      point_.reset();
    }
    if (!handler) return;
    auto container = ComPtr<IDispatch>(control_.get()).query<IConnectionPointContainer>(
        IID_IConnectionPointContainer);
    if (!container)
      throw host::HostError(com_failure_text("CommandBarButton.Click", E_NOINTERFACE, "按钮不提供事件"));
    ComPtr<IConnectionPoint> point;
    HRESULT hr = container->FindConnectionPoint(kDiidCommandBarButtonEvents, point.put());
    if (FAILED(hr)) throw host::HostError(com_failure_text("CommandBarButton.Click", hr, ""));
    CmdBarEvents* sink = CmdBarEvents::create();
    sink->arm([this, handler](IDispatch*, VARIANT_BOOL* cancel_default) {
      bool cancel = cancel_default && *cancel_default != VARIANT_FALSE;
      handler(*this, cancel);
      if (cancel_default) *cancel_default = cancel ? VARIANT_TRUE : VARIANT_FALSE;
    });
    DWORD cookie = 0;
    hr = point->Advise(sink, &cookie);
    if (FAILED(hr)) {
      sink->disarm();
      sink->Release();
      throw host::HostError(com_failure_text("CommandBarButton.Click", hr, ""));
    }
    sink_ = sink;
    point_ = point;
    cookie_ = cookie;
  }

 private:
  Disp control_;
  DispatchControls controls_;
  bool temporary_ = false;
  CmdBarEvents* sink_ = nullptr;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

host::CommandBarControl& DispatchControls::item(int index) {
  return app_.wrap_control(controls().object(L"Item", {Variant::i4(index)}, "CommandBarControl"));
}

host::CommandBarControl& DispatchControls::add(host::ControlType type, int id, int before, bool temporary) {
  std::vector<NamedArg> named;
  named.push_back({L"Type", Variant::i4(static_cast<long>(type))});
  if (id != 0) named.push_back({L"Id", Variant::i4(id)});
  if (before != 0) named.push_back({L"Before", Variant::i4(before)});
  named.push_back({L"Temporary", Variant::boolean(temporary)});
  Variant added = controls().call(L"Add", {}, std::move(named));
  Disp d = to_disp(added, "CommandBarControl");
  if (!d) throw host::HostError(com_failure_text("CommandBarControls.Add", E_POINTER, "结果为空"));
  DispatchControl& c = app_.wrap_control(std::move(d));
  c.set_temporary(temporary);
  return c;
}

class DispatchCommandBar final : public host::CommandBar {
 public:
  DispatchCommandBar(DispatchApplication& app, Disp bar) : app_(app), bar_(std::move(bar)), controls_(app, bar_) {}
  const Disp& disp() const { return bar_; }
  void release() { bar_.reset(); }

  std::string name() const override { return to_string(bar_.get(L"Name"), "CommandBar.Name"); }
  host::CommandBarControls& controls() override { return controls_; }
  host::CommandBarControl* find_control_by_tag(const std::string& tag) override {
    Variant found = bar_.call(L"FindControl", {}, {{L"Tag", Variant::str(tag)}});
    Disp d = to_disp(found, "CommandBarControl");
    if (!d) return nullptr;
    return &app_.wrap_control(std::move(d));
  }

 private:
  DispatchApplication& app_;
  Disp bar_;
  DispatchControls controls_;
};

// ---------------------------------------------------------------------------

DispatchApplication::DispatchApplication(IDispatch* application)
    : app_(ComPtr<IDispatch>(application), "Application"),
      functions_(std::make_unique<DispatchFunctions>(*this)) {}

DispatchApplication::~DispatchApplication() { release_all(); }

void DispatchApplication::release_all() {
  for (auto& c : controls_) c->release();
  for (auto& b : bars_) b->release();
  for (auto& b : books_) b->release();
  functions_->release();
  app_.reset();
}

DispatchWorkbook& DispatchApplication::wrap_workbook(Disp book) {
  IUnknown* id = identity(book.get());
  for (auto& b : books_)
    if (b->disp() && identity(b->disp().get()) == id) return *b;
  books_.push_back(std::make_unique<DispatchWorkbook>(*this, std::move(book)));
  return *books_.back();
}

DispatchControl& DispatchApplication::wrap_control(Disp control) {
  IUnknown* id = identity(control.get());
  for (auto& c : controls_)
    if (c->disp() && identity(c->disp().get()) == id) return *c;
  controls_.push_back(std::make_unique<DispatchControl>(*this, std::move(control)));
  return *controls_.back();
}

host::Workbook& DispatchApplication::active_workbook() {
  Disp book = to_disp(app_.get(L"ActiveWorkbook"), "Workbook");
  if (!book) throw host::HostError("表格程序中没有打开的工作簿。");
  return wrap_workbook(std::move(book));
}

std::string DispatchApplication::name() const { return to_string(app_.get(L"Name"), "Application.Name"); }

bool DispatchApplication::screen_updating() const {
  return to_bool(app_.get(L"ScreenUpdating"), "Application.ScreenUpdating");
}
void DispatchApplication::set_screen_updating(bool on) { app_.put(L"ScreenUpdating", Variant::boolean(on)); }
bool DispatchApplication::display_alerts() const {
  return to_bool(app_.get(L"DisplayAlerts"), "Application.DisplayAlerts");
}
void DispatchApplication::set_display_alerts(bool on) { app_.put(L"DisplayAlerts", Variant::boolean(on)); }

void DispatchApplication::copy(host::Worksheet& sheet, const host::Area& area) {
  DispatchWorkbook::own(sheet).range(area).call(L"Copy", {});
}
void DispatchApplication::cut(host::Worksheet& sheet, const host::Area& area) {
  DispatchWorkbook::own(sheet).range(area).call(L"Cut", {});
}
void DispatchApplication::paste(host::Worksheet& sheet, host::CellRef at) {
  auto& s = DispatchWorkbook::own(sheet);
  s.disp().call(L"Paste", {}, {{L"Destination", Variant::dispatch(s.cell(at.row, at.col).get())}});
}
void DispatchApplication::end_copy_mode() { app_.put(L"CutCopyMode", Variant::boolean(false)); }
bool DispatchApplication::copy_mode() const {
  // False, or xlCopy (1) / xlCut (2) while a range is marked.
  return to_long(app_.get(L"CutCopyMode"), "Application.CutCopyMode") != 0;
}

host::WorksheetFunctions& DispatchApplication::worksheet_function() { return *functions_; }

host::CommandBar* DispatchApplication::command_bar(const std::string& name) {
  Disp bars = app_.object(L"CommandBars", {}, "CommandBars");
  Disp bar;
  try {
    bar = bars.object(L"Item", {Variant::str(name)}, "CommandBar");
  } catch (const host::HostError&) {
    return nullptr;  // no bar of that name
  }
  IUnknown* id = identity(bar.get());
  for (auto& b : bars_)
    if (b->disp() && identity(b->disp().get()) == id) return b.get();
  bars_.push_back(std::make_unique<DispatchCommandBar>(*this, std::move(bar)));
  return bars_.back().get();
}

}  // namespace lczs::win
