// Forwarding hosts and fault injection.
#include "helpers.h"

#include "host/forwarding.h"

namespace lczs::memory::testing {
namespace {

using host::FaultInjectingApplication;
using host::ForwardingApplication;
using host::ForwardingWorkbook;

TEST(Forwarding, CallsReachTheTargetAndSheetsAreWrapped) {
  OneSheet s({{1, 2}});
  std::vector<std::string> calls;
  ForwardingApplication fwd(s.app, [&](const char* op) { calls.push_back(op); });
  host::Worksheet& ws = fwd.active_workbook().active_sheet();
  EXPECT_NE(&ws, s.ws);  // a wrapper
  EXPECT_EQ(&unwrap(ws), s.ws);
  EXPECT_EQ(ws.value(1, 2), N(2));
  fwd.copy(ws, Area{1, 1, 1, 2});
  fwd.paste(ws, {2, 1});
  EXPECT_EQ(s.ws->value(2, 2), N(2));
  EXPECT_EQ(fwd.worksheet_function().max(ws, Area{1, 1, 2, 2}), 2);
  EXPECT_EQ(calls, (Strings{"active_workbook", "active_sheet", "value", "copy", "paste", "worksheet_function", "max"}));
}

TEST(FaultInjection, NthCallOfAnOperation) {
  OneSheet s({{2}, {1}});
  FaultInjectingApplication faulty(s.app);
  faulty.fail_on("sort", 2);
  host::Worksheet& ws = faulty.active_workbook().active_sheet();
  host::SortSpec spec{.key1 = {1, host::SortOrder::Ascending}, .header = host::SortHeader::No};
  ws.sort(Area{1, 1, 2, 1}, spec);
  EXPECT_THROW(ws.sort(Area{1, 1, 2, 1}, spec), host::HostError);
  ws.sort(Area{1, 1, 2, 1}, spec);
  EXPECT_EQ(faulty.calls("sort"), 3);
  EXPECT_EQ(faulty.failures(), 1);
}

TEST(FaultInjection, NthHostCallAndOnwards) {
  OneSheet s({{1}});
  FaultInjectingApplication faulty(s.app);
  faulty.fail_after(3);
  host::Workbook& wb = faulty.active_workbook();   // 1
  host::Worksheet& ws = wb.active_sheet();          // 2
  EXPECT_THROW(ws.set_value(1, 1, N(9)), host::HostError);  // 3: not done
  EXPECT_EQ(s.ws->value(1, 1), N(1));
  faulty.fail_from("value", 1);
  EXPECT_THROW(ws.value(1, 1), host::HostError);
  EXPECT_THROW(ws.value(1, 1), host::HostError);
  faulty.clear_failures();
  EXPECT_EQ(ws.value(1, 1), N(1));
  EXPECT_EQ(faulty.log().front(), "active_workbook");
}

TEST(FaultInjection, DeletedSheetsLoseTheirWrappers) {
  OneSheet s({{1}});
  FaultInjectingApplication faulty(s.app);
  host::Workbook& wb = faulty.active_workbook();
  host::Worksheet& added = wb.add_sheet();
  added.set_name("临时");
  faulty.set_display_alerts(false);
  wb.delete_sheet(added);
  EXPECT_EQ(wb.sheet_count(), 1);
  EXPECT_EQ(wb.find_sheet("临时"), nullptr);
}


TEST(Forwarding, WrappedSheetsPassedStraightToTheMemoryHost) {
  OneSheet s({{1, 2}});
  ForwardingWorkbook wrapped(*s.book);
  host::Worksheet& ws = wrapped.sheet(1);
  s.app.copy(ws, Area{1, 1, 1, 2});
  s.app.paste(ws, {2, 1});
  EXPECT_EQ(s.ws->value(2, 2), N(2));
  EXPECT_EQ(s.app.worksheet_function().count_if(ws, Area{1, 1, 2, 2}, N(2)), 2);
  host::Worksheet& copy = s.book->copy_sheet_after(ws, ws);
  EXPECT_EQ(copy.name(), "S (2)");
}

}  // namespace
}  // namespace lczs::memory::testing
