// Hosts that wrap another host: every call forwards to the target.
//
// A test derives from these to intercept chosen calls (override the member,
// or override on_call to see every call by name). Workbooks returned by a
// forwarding application and sheets returned by a forwarding workbook are
// themselves wrapped, so an interception reaches every object a job gets;
// sheets passed back in (copy, paste, move ...) are unwrapped before they
// reach the target.
//
// FaultInjectingApplication makes chosen calls throw host::HostError:
//
//   FaultInjectingApplication faulty(app);
//   faulty.fail_on("sort", 2);   // the second sort throws
//   faulty.fail_after(10);       // the tenth host call throws, whatever it is
//   job(faulty ...);
//
// Operation names are the member names of host/host.h ("sort", "paste",
// "set_value", "value", "add_sheet", "save_as", "count_if" ...).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"

namespace lczs::host {

// Called with the operation's name before every forwarded call.
using CallHook = std::function<void(const char* op)>;

// The innermost sheet behind any number of forwarding wrappers.
host::Worksheet& unwrap(host::Worksheet& sheet);
const host::Worksheet& unwrap(const host::Worksheet& sheet);
host::Workbook& unwrap(host::Workbook& book);

class ForwardingWorksheet : public host::Worksheet {
 public:
  explicit ForwardingWorksheet(host::Worksheet& target, CallHook hook = {});
  host::Worksheet& target() { return *target_; }
  const host::Worksheet& target() const { return *target_; }

  std::string name() const override;
  void set_name(const std::string& name) override;
  int index() const override;
  bool visible() const override;
  void activate() override;
  void select(const host::Area& area) override;
  void select(const host::Area& area, host::CellRef active) override;
  host::Area selection() const override;
  host::CellRef active_cell() const override;
  host::Value value(int row, int col) const override;
  void set_value(int row, int col, const host::Value& v) override;
  void set_values(const host::Area& area, const host::Value& v) override;
  host::ValueGrid values(const host::Area& area) const override;
  void write_values(host::CellRef top_left, const host::ValueGrid& grid) override;
  std::string formula(int row, int col) const override;
  void set_formula(const host::Area& area, const std::string& text) override;
  void set_formula_r1c1(const host::Area& area, const std::string& text) override;
  host::CellRef used_extent() const override;
  host::Area current_region(int row, int col) const override;
  host::CellRef end_down(int row, int col) const override;
  void clear_contents(const host::Area& area) override;
  void clear_comments(const host::Area& area) override;
  void clear_hyperlinks(const host::Area& area) override;
  void delete_cells(const host::Area& area, host::Shift shift) override;
  void insert_cells(const host::Area& area, host::Shift shift) override;
  void sort(const host::Area& area, const host::SortSpec& spec) override;
  int replace_whole(const host::Area& area, const std::string& what,
                    const std::string& replacement) override;
  void set_font(const host::Area& area, const host::FontPatch& font) override;
  void set_characters_font(int row, int col, int start, int length,
                           const host::FontPatch& font) override;
  void set_alignment(const host::Area& area, const host::AlignmentPatch& alignment) override;
  void merge(const host::Area& area) override;
  void set_border(const host::Area& area, host::BorderIndex index,
                  const host::BorderSpec& border) override;
  void set_borders(const host::Area& area, const std::vector<host::BorderEdit>& edits) override;
  void set_number_format(const host::Area& area, const std::string& format) override;
  void set_column_width(int first_col, int last_col, double width) override;
  double column_width(int col) const override;
  void autofit_columns(int first_col, int last_col) override;
  void set_row_height(int first_row, int last_row, double points) override;
  double row_height(int row) const override;
  void add_page_break(int before_row) override;
  std::vector<int> page_breaks() const override;
  void add_chart(const host::Chart& chart) override;

 protected:
  // Default: calls the hook given at construction, if any.
  virtual void on_call(const char* op) const;

 private:
  host::Worksheet* target_;
  CallHook hook_;
};

class ForwardingWorkbook : public host::Workbook {
 public:
  explicit ForwardingWorkbook(host::Workbook& target, CallHook hook = {});
  ~ForwardingWorkbook() override;
  host::Workbook& target() { return *target_; }

  std::string full_name() const override;
  std::string opened_from() const override;
  int sheet_count() const override;
  host::Worksheet& sheet(int index) override;
  host::Worksheet& sheet(const std::string& name) override;
  host::Worksheet* find_sheet(const std::string& name) override;
  host::Worksheet& active_sheet() override;
  host::Worksheet& add_sheet() override;
  host::Worksheet& add_sheet_after(host::Worksheet& after) override;
  host::Worksheet& copy_sheet_after(host::Worksheet& source, host::Worksheet& after) override;
  void move_sheet_before(host::Worksheet& sheet, host::Worksheet& before) override;
  void delete_sheet(host::Worksheet& sheet) override;
  void save() override;
  void save_as(const std::string& path) override;
  void reserve_save_as(const std::string& path) override;

  // The wrapper of a sheet of the target (made on first use).
  host::Worksheet& wrap(host::Worksheet& target_sheet);

 protected:
  virtual void on_call(const char* op) const;
  // Makes the wrapper of a target sheet; override to intercept sheet calls.
  virtual std::unique_ptr<host::Worksheet> make_sheet(host::Worksheet& target_sheet);
  const CallHook& hook() const { return hook_; }

 private:
  host::Workbook* target_;
  CallHook hook_;
  std::map<host::Worksheet*, std::unique_ptr<host::Worksheet>> sheets_;
};

class ForwardingFunctions : public host::WorksheetFunctions {
 public:
  explicit ForwardingFunctions(host::WorksheetFunctions& target, CallHook hook = {});
  int count_blank(const host::Worksheet& sheet, const host::Area& area) override;
  int count_if(const host::Worksheet& sheet, const host::Area& area,
               const host::Value& criterion) override;
  double max(const host::Worksheet& sheet, const host::Area& area) override;
  double min(const host::Worksheet& sheet, const host::Area& area) override;
  double average(const host::Worksheet& sheet, const host::Area& area) override;
  int match_exact(const host::Value& value, const host::Worksheet& sheet,
                  const host::Area& area) override;

 private:
  void on_call(const char* op) const;
  host::WorksheetFunctions* target_;
  CallHook hook_;
};

class ForwardingApplication : public host::Application {
 public:
  explicit ForwardingApplication(host::Application& target, CallHook hook = {});
  ~ForwardingApplication() override;
  host::Application& target() { return *target_; }

  host::Workbook& active_workbook() override;
  bool screen_updating() const override;
  void set_screen_updating(bool on) override;
  bool display_alerts() const override;
  void set_display_alerts(bool on) override;
  void copy(host::Worksheet& sheet, const host::Area& area) override;
  void cut(host::Worksheet& sheet, const host::Area& area) override;
  void paste(host::Worksheet& sheet, host::CellRef at) override;
  void end_copy_mode() override;
  bool copy_mode() const override;
  host::WorksheetFunctions& worksheet_function() override;
  host::CommandBar* command_bar(const std::string& name) override;

 protected:
  virtual void on_call(const char* op) const;
  // Makes the wrapper of a target workbook; override to intercept its calls.
  virtual std::unique_ptr<host::Workbook> make_workbook(host::Workbook& target_book);
  const CallHook& hook() const { return hook_; }
  void set_hook(CallHook hook) { hook_ = std::move(hook); }

 private:
  host::Application* target_;
  CallHook hook_;
  std::map<host::Workbook*, std::unique_ptr<host::Workbook>> books_;
  std::unique_ptr<ForwardingFunctions> functions_;
};

// Counts every call through it and throws host::HostError on the chosen
// ones. Calls that throw are counted too; the failed call does not reach the
// target. A set_borders counts as the set_border calls it stands for, one
// per edit, so a failure can be planned at any one border as the
// application would fail it.
class FaultInjectingApplication : public ForwardingApplication {
 public:
  explicit FaultInjectingApplication(host::Application& target);

 protected:
  std::unique_ptr<host::Workbook> make_workbook(host::Workbook& target_book) override;

 public:

  // The nth call (from 1) of `op` throws.
  void fail_on(const std::string& op, int nth);
  // Every call of `op` from the nth on throws.
  void fail_from(const std::string& op, int nth);
  // The nth host call (from 1, counted over every operation) throws.
  void fail_after(int nth);
  // Forgets every planned failure (the counts stay).
  void clear_failures();

  int calls(const std::string& op) const;
  int total_calls() const { return total_; }
  int failures() const { return failures_; }
  // Every operation called, in order.
  const std::vector<std::string>& log() const { return log_; }

 private:
  void check(const char* op);
  struct Plan {
    int nth = 0;
    bool onwards = false;
  };
  std::map<std::string, std::vector<Plan>> plans_;
  std::map<std::string, int> counts_;
  std::vector<int> nth_calls_;
  std::vector<std::string> log_;
  int total_ = 0;
  int failures_ = 0;
};

}  // namespace lczs::host
