#include "model/commandbars.h"

#include <gtest/gtest.h>

namespace lczs::memory {
namespace {

using host::ControlType;

std::vector<std::string> captions(MemoryCommandBarControls& controls) {
  std::vector<std::string> out;
  for (int i = 1; i <= controls.count(); ++i) out.push_back(controls.mem_item(i).caption());
  return out;
}

TEST(MemoryCommandBar, AddPlacesBeforeTheGivenPositionOrAtTheEnd) {
  MemoryCommandBar bar;
  auto& c = bar.mem_controls();
  // (before, caption) in the order added
  const std::vector<std::pair<int, std::string>> adds = {
      {0, "a"}, {0, "b"}, {1, "c"}, {3, "d"}, {5, "e"}};
  for (const auto& [before, caption] : adds)
    c.add(ControlType::Button, 1, before, false).set_caption(caption);
  EXPECT_EQ(captions(c), (std::vector<std::string>{"c", "a", "d", "b", "e"}));
  EXPECT_THROW(c.add(ControlType::Button, 1, 7, false), host::HostError);
  EXPECT_THROW(c.add(ControlType::Button, 1, -1, false), host::HostError);
  EXPECT_THROW(c.item(0), host::HostError);
  EXPECT_THROW(c.item(6), host::HostError);
  EXPECT_EQ(c.count(), 5);
}

TEST(MemoryCommandBar, FindControlSearchesOnlyTheTopLevelByTag) {
  MemoryCommandBar bar;
  auto& top = bar.controls().add(ControlType::Popup, 1, 0, true);
  auto& inner = top.controls().add(ControlType::Popup, 1, 0, false);
  inner.set_tag("inner");
  top.set_tag("top");
  EXPECT_EQ(bar.find_control_by_tag("top"), &top);
  EXPECT_EQ(bar.find_control_by_tag("inner"), nullptr);
}

TEST(MemoryCommandBar, ClickDeliversTheFlagToTheBoundHandlerAndReturnsIt) {
  MemoryCommandBar bar;
  auto& popup = bar.mem_controls().add(ControlType::Popup, 1, 0, false);
  auto& button = static_cast<MemoryCommandBarControl&>(popup.controls().add(ControlType::Button, 1, 0, false));
  EXPECT_TRUE(button.click(true));  // unbound: nothing happens, the flag comes back
  int calls = 0;
  button.bind_click([&](host::CommandBarControl& ctrl, bool& cancel) {
    EXPECT_EQ(&ctrl, &button);
    ++calls;
    cancel = !cancel;
  });
  EXPECT_TRUE(button.click(false));
  EXPECT_FALSE(button.click(true));
  button.set_enabled(false);
  EXPECT_FALSE(button.click(false));
  EXPECT_EQ(calls, 2);
  button.set_enabled(true);
  button.bind_click({});
  button.click();
  EXPECT_EQ(calls, 2);
  auto& as_memory = static_cast<MemoryCommandBarControl&>(popup);
  EXPECT_THROW(as_memory.click(), host::HostError);
  EXPECT_THROW(button.controls(), host::HostError);
  EXPECT_THROW(as_memory.set_face_id(3), host::HostError);
}

TEST(MemoryCommandBar, TheHostDropsTemporaryControlsWhenItCloses) {
  MemoryCommandBar bar;
  bar.controls().add(ControlType::Popup, 1, 0, false).set_caption("keep");
  auto& temp = bar.controls().add(ControlType::Popup, 1, 0, true);
  temp.set_caption("gone");
  auto& keep = bar.mem_controls().mem_item(1);
  keep.controls().add(ControlType::Button, 1, 0, true);
  keep.controls().add(ControlType::Button, 1, 0, false);
  bar.drop_temporary();
  EXPECT_EQ(captions(bar.mem_controls()), std::vector<std::string>{"keep"});
  EXPECT_EQ(keep.mem_controls().count(), 1);
}

TEST(MemoryCommandBar, CaptionsAreFoundAsShown) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"栎川助手(&Z)", "栎川助手(Z)"}, {"A&&B", "A&B"}, {"关于栎川助手...", "关于栎川助手..."}, {"x&", "x"}};
  for (const auto& [caption, shown] : cases) EXPECT_EQ(shown_caption(caption), shown) << caption;
  MemoryCommandBar bar;
  auto& top = bar.controls().add(ControlType::Popup, 1, 0, false);
  top.set_caption("栎川助手(&Z)");
  auto& b = top.controls().add(ControlType::Popup, 1, 0, false).controls().add(ControlType::Button, 1, 0, false);
  b.set_caption("开始分班");
  EXPECT_EQ(bar.find_by_caption("开始分班"), &b);
  EXPECT_EQ(bar.find_by_caption("栎川助手(&Z)"), &top);
  EXPECT_EQ(bar.find_by_caption("没有"), nullptr);
}

}  // namespace
}  // namespace lczs::memory
