// Placing the carried parts in a new package: which of them are still
// reached, under which names, and the relationships that reach them.
#include <algorithm>
#include <map>

#include "host/host.h"
#include "io/carried.h"

namespace lczs::io::detail {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool macro_enabled_name(const std::string& path) {
  return path.size() >= 5 && lower(path.substr(path.size() - 5)) == ".xlsm";
}

bool PartNames::take(const std::string& name) { return taken_.insert(lower(name)).second; }

std::string PartNames::fresh(const std::string& stem, const std::string& ext, int first) {
  for (int n = first;; ++n) {
    std::string name = stem + std::to_string(n) + ext;
    if (take(name)) return name;
  }
}

std::string relative_target(const std::string& from, const std::string& to) {
  auto dir_of = [](const std::string& p) {
    std::vector<std::string> segs;
    std::size_t i = 0;
    for (std::size_t j; (j = p.find('/', i)) != std::string::npos; i = j + 1) segs.push_back(p.substr(i, j - i));
    return segs;
  };
  std::vector<std::string> a = dir_of(from), b = dir_of(to);
  std::size_t common = 0;
  while (common < a.size() && common < b.size() && a[common] == b[common]) ++common;
  std::string out;
  for (std::size_t i = common; i < a.size(); ++i) out += "../";
  for (std::size_t i = common; i < b.size(); ++i) out += b[i] + "/";
  return out + to.substr(to.rfind('/') == std::string::npos ? 0 : to.rfind('/') + 1);
}

CarriedPlan plan_carried(const memory::WorkbookData& book, bool macro_enabled, PartNames& names) {
  CarriedPlan plan;
  const memory::BookCarried& c = book.carried;
  std::map<std::string, const memory::BookCarried::Part*> by_name;
  for (const auto& p : c.parts) by_name[lower(p.name)] = &p;
  std::map<std::string, std::string> written;  // archive name (lower case) -> new name

  // Writes `name` and all it reaches under their own names; a leaf already
  // written is written again under a fresh one, and so is a sheet's own
  // part (the drawing of a copied sheet) with its relationships, which
  // reach the same pictures. Returns the new name, "" when the part is not
  // in the archive.
  auto place = [&](const std::string& name, bool sheets_own, auto& self) -> std::string {
    auto it = by_name.find(lower(name));
    if (it == by_name.end()) return "";
    const auto& part = *it->second;
    auto done = written.find(lower(name));
    if (done != written.end()) {
      if (!part.reaches.empty() && !sheets_own) return done->second;
      auto slash = part.name.rfind('/'), dot = part.name.rfind('.');
      if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = part.name.size();
      std::string stem = part.name.substr(0, dot);
      while (!stem.empty() && std::isdigit(static_cast<unsigned char>(stem.back())) != 0) stem.pop_back();
      std::string fresh = names.fresh(stem, part.name.substr(dot), 2);
      plan.copies.emplace_back(fresh, part.name);
      plan.content_types.emplace_back(fresh, part.content_type);
      // In the same folder, the relationships' relative targets hold as they are.
      for (const auto& r : part.reaches)
        if (lower(r) == lower(rels_name(part.name)) && names.take(rels_name(fresh)))
          plan.copies.emplace_back(rels_name(fresh), r);
      return fresh;
    }
    if (!names.take(part.name))
      throw host::SaveError("无法保存：文件中的部件 " + part.name + " 与本程序写出的部件同名");
    written[lower(name)] = part.name;
    plan.copies.emplace_back(part.name, part.name);
    // Relationship parts are typed by their extension.
    if (part.name.size() < 5 || lower(part.name.substr(part.name.size() - 5)) != ".rels")
      plan.content_types.emplace_back(part.name, part.content_type);
    for (const auto& r : part.reaches) self(r, false, self);
    return part.name;
  };
  auto keep = [&](const memory::CarriedLink& l, bool sheets_own, std::vector<memory::CarriedLink>& into) {
    memory::CarriedLink out = l;
    if (!l.external) {
      out.target = place(l.target, sheets_own, place);
      if (out.target.empty()) return;
    }
    into.push_back(std::move(out));
  };
  for (const auto& l : c.package_links) keep(l, false, plan.package_links);
  for (const auto& l : c.book_links)
    if (macro_enabled || l.type != memory::kMacroProjectType) keep(l, false, plan.book_links);
  for (const auto& s : book.sheets) {
    auto& links = plan.sheet_links.emplace_back();
    for (const auto& o : s->carried.objects)
      for (const auto& l : o.links) keep(l, true, links);
  }
  return plan;
}

}  // namespace lczs::io::detail
