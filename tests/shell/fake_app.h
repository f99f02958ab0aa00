// An application that offers nothing but its command bar: what the menu
// installation and the button dispatch reach.
#pragma once

#include <memory>

#include "host/host.h"
#include "model/commandbars.h"

namespace lczs::testing {

class BarOnlyApplication : public host::Application {
 public:
  explicit BarOnlyApplication(std::unique_ptr<host::CommandBar> bar) : bar_(std::move(bar)) {}

  host::CommandBar* command_bar(const std::string& name) override {
    return bar_ && bar_->name() == name ? bar_.get() : nullptr;
  }
  host::Workbook& active_workbook() override { throw host::HostError("没有打开的工作簿。"); }
  bool screen_updating() const override { return true; }
  void set_screen_updating(bool) override {}
  bool display_alerts() const override { return true; }
  void set_display_alerts(bool) override {}
  void copy(host::Worksheet&, const host::Area&) override {}
  void cut(host::Worksheet&, const host::Area&) override {}
  void paste(host::Worksheet&, host::CellRef) override {}
  void end_copy_mode() override {}
  bool copy_mode() const override { return false; }
  host::WorksheetFunctions& worksheet_function() override {
    throw host::HostError("没有工作表函数。");
  }

 private:
  std::unique_ptr<host::CommandBar> bar_;
};

}  // namespace lczs::testing
