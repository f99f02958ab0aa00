// The host interface over the spreadsheet application's own object model,
// reached by late binding (IDispatch). Every COM failure becomes
// host::HostError (host::SaveError for saves); no caller sees a COM type.
//
// The application object owns every wrapper it hands out; a wrapper is the
// same C++ object for as long as the application object lives, so callers may
// compare Worksheet* as they do on the memory host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/commandbars.h"
#include "host/host.h"
#include "win/dispatch.h"

namespace lczs::win {

class DispatchWorkbook;
class DispatchWorksheet;
class DispatchCommandBar;
class DispatchControl;
class DispatchFunctions;

class DispatchApplication : public host::Application {
 public:
  explicit DispatchApplication(IDispatch* application);
  ~DispatchApplication() override;

  // Drops every reference this object and its wrappers hold to the
  // application's objects, and disarms the Click bindings. Later calls throw
  // HostError. Used when the application is gone.
  void release_all();
  const Disp& disp() const { return app_; }
  // Application.Name, which titles the application's own message boxes.
  std::string name() const;

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

  // Wrappers, found again by the object's COM identity.
  DispatchWorkbook& wrap_workbook(Disp book);
  DispatchControl& wrap_control(Disp control);

 private:
  Disp app_;
  std::vector<std::unique_ptr<DispatchWorkbook>> books_;
  std::vector<std::unique_ptr<DispatchCommandBar>> bars_;
  std::vector<std::unique_ptr<DispatchControl>> controls_;
  std::unique_ptr<DispatchFunctions> functions_;
};

}  // namespace lczs::win
