// A fake spreadsheet application for the Wine tests: the in-memory model
// exposed through IDispatch with the object model's member names
// (Application, Workbook, Worksheets, Worksheet, Range, Font, Border,
// HPageBreaks, ChartObjects and their charts, WorksheetFunction,
// CommandBars with connection points), so
// that the add-in's IDispatch host can be driven without the real
// application.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "win/com_util.h"

namespace lczs::wintest {

// Fake objects alive right now (every kind); 0 once everything is released.
long fake_live_objects();
// The FileFormat of every Workbook.SaveAs since the application was made,
// 0 for one that named none.
const std::vector<long>& fake_save_as_formats();
// Names the add-in looked up, in first-use order (the members it calls).
const std::vector<std::string>& fake_members_used();
// IDispatch calls (GetIDsOfNames and Invoke) made on fake objects so far.
long fake_dispatch_calls();

class FakeApplication;

// A chart the add-in made through ChartObjects.Add and its Chart object.
struct FakeChartRecord {
  std::string sheet;
  host::Chart chart;
  bool title_shown = false;
  bool axis_title_shown[2] = {false, false};  // category, value
  bool legend = false;
};
// Every chart made, in order.
std::vector<FakeChartRecord> fake_charts(IDispatch* application);

// One control of the fake command bars.
struct FakeControlState {
  int type = 1;
  int id = 1;
  std::string caption, tooltip, tag;
  bool enabled = true, begin_group = false, temporary = false;
  int face_id = 0;
  std::vector<FakeControlState> children;
  int sinks = 0;  // advised event receivers
};

// The outcome of raising a button's Click.
struct ClickResult {
  HRESULT hr = S_OK;
  std::string description;  // of a failed event call
  bool cancel_default = false;
  int receivers = 0;
};

// Creates the application over `app` (not owned). `with_menu_bar`: whether
// CommandBars("Worksheet Menu Bar") exists. `fresh_wrappers`: CommandBars,
// its bar and every control come as a new object on every access, as some
// applications hand them out.
IDispatch* make_fake_application(host::Application& app, bool with_menu_bar = true, bool fresh_wrappers = false);

// Inspection and events of the fake's command bar "Worksheet Menu Bar".
std::vector<FakeControlState> fake_menu(IDispatch* application);
// Raises Click on the control reached by captions from the bar down.
ClickResult fake_click(IDispatch* application, const std::vector<std::string>& path,
                       bool cancel_default = false);
// The host closing: drops every temporary control (and its receivers).
void fake_drop_temporary_controls(IDispatch* application);

}  // namespace lczs::wintest
