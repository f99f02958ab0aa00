#include "model/commandbars.h"

#include <algorithm>

namespace lczs::memory {

using host::HostError;

int MemoryCommandBarControls::count() const { return static_cast<int>(items_.size()); }

MemoryCommandBarControl& MemoryCommandBarControls::mem_item(int index) {
  if (index < 1 || index > count()) throw HostError("菜单项序号超出范围。");
  return *items_[index - 1];
}

const MemoryCommandBarControl& MemoryCommandBarControls::mem_item(int index) const {
  return const_cast<MemoryCommandBarControls*>(this)->mem_item(index);
}

host::CommandBarControl& MemoryCommandBarControls::item(int index) { return mem_item(index); }

host::CommandBarControl& MemoryCommandBarControls::add(host::ControlType type, int id, int before,
                                                       bool temporary) {
  if (type != host::ControlType::Button && type != host::ControlType::Popup)
    throw HostError("不支持的菜单项类型。");
  if (before < 0 || before > count() + 1) throw HostError("菜单项位置超出范围。");
  auto control = std::make_unique<MemoryCommandBarControl>(type, id, temporary);
  auto at = before == 0 ? items_.end() : items_.begin() + (before - 1);
  return **items_.insert(at, std::move(control));
}

void MemoryCommandBarControls::drop_temporary() {
  std::erase_if(items_, [](const auto& c) { return c->temporary(); });
  for (auto& c : items_)
    if (c->type() == host::ControlType::Popup) c->mem_controls().drop_temporary();
}

MemoryCommandBarControl::MemoryCommandBarControl(host::ControlType type, int id, bool temporary)
    : type_(type), id_(id), temporary_(temporary) {
  if (type == host::ControlType::Popup) children_ = std::make_unique<MemoryCommandBarControls>();
}

void MemoryCommandBarControl::set_face_id(int face_id) {
  if (type_ != host::ControlType::Button) throw HostError("菜单不能设置图标。");
  face_id_ = face_id;
}

MemoryCommandBarControls& MemoryCommandBarControl::mem_controls() {
  if (!children_) throw HostError("按钮没有子菜单项。");
  return *children_;
}

const MemoryCommandBarControls& MemoryCommandBarControl::mem_controls() const {
  return const_cast<MemoryCommandBarControl*>(this)->mem_controls();
}

host::CommandBarControls& MemoryCommandBarControl::controls() { return mem_controls(); }

void MemoryCommandBarControl::bind_click(host::ClickHandler handler) {
  if (type_ != host::ControlType::Button && handler) throw HostError("菜单没有单击事件。");
  on_click_ = std::move(handler);
}

bool MemoryCommandBarControl::click(bool cancel_default) {
  if (type_ != host::ControlType::Button) throw HostError("菜单没有单击事件。");
  if (!enabled_ || !on_click_) return cancel_default;
  // The handler may rebind this very button; keep the one being called.
  host::ClickHandler handler = on_click_;
  handler(*this, cancel_default);
  return cancel_default;
}

MemoryCommandBar::MemoryCommandBar(std::string name) : name_(std::move(name)) {}

host::CommandBarControl* MemoryCommandBar::find_control_by_tag(const std::string& tag) {
  for (int i = 1; i <= controls_.count(); ++i) {
    auto& c = controls_.mem_item(i);
    if (c.tag() == tag) return &c;
  }
  return nullptr;
}

namespace {
MemoryCommandBarControl* find_in(MemoryCommandBarControls& controls, const std::string& caption) {
  for (int i = 1; i <= controls.count(); ++i) {
    auto& c = controls.mem_item(i);
    if (shown_caption(c.caption()) == caption) return &c;
    if (c.type() == host::ControlType::Popup)
      if (auto* found = find_in(c.mem_controls(), caption)) return found;
  }
  return nullptr;
}
}  // namespace

MemoryCommandBarControl* MemoryCommandBar::find_by_caption(const std::string& caption) {
  return find_in(controls_, shown_caption(caption));
}

std::string shown_caption(const std::string& caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      out += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      out += '&';
      ++i;
    }
  }
  return out;
}

}  // namespace lczs::memory
