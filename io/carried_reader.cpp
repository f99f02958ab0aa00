// Gathering the parts a workbook file holds that the model carries unread:
// each link is followed through the relationships of the parts it reaches,
// and every part found is copied, still compressed, into a small archive
// that the workbook data keeps until it is saved.
#include <zip.h>

#include <algorithm>
#include <cstring>

#include <pugixml.hpp>

#include "io/carried.h"
#include "io/internal.h"
#include "io/io.h"

namespace lczs::io::detail {

namespace {

constexpr std::string_view kRelsType = "application/vnd.openxmlformats-package.relationships+xml";
// Longest chain of parts followed from one link. Real files go three or
// four deep (sheet, drawing, chart, its colours); a file that goes deeper
// is not carried rather than followed down the stack.
constexpr int kMaxCarryDepth = 32;

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view local(const char* name) {
  const char* c = std::strchr(name, ':');
  return c != nullptr ? c + 1 : name;
}

template <class F>
void each_element(pugi::xml_node n, F&& f) {
  for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) f(c);
}

bool parse(pugi::xml_document& doc, std::string& text) {
  return static_cast<bool>(doc.load_buffer_inplace(text.data(), text.size(), pugi::parse_default));
}

// Sheet names in chart formulas: 'Sheet 1'!$A$1:$A$5, 成绩!$B$2.
void sheets_named(std::string_view f, std::vector<std::string>& out) {
  for (std::size_t bang = f.find('!'); bang != std::string_view::npos; bang = f.find('!', bang + 1)) {
    std::string name;
    if (bang > 0 && f[bang - 1] == '\'') {
      std::size_t i = bang - 1;
      // Back to the opening quote; a doubled quote is part of the name.
      while (i > 0) {
        --i;
        if (f[i] == '\'' && (i == 0 || f[i - 1] != '\'')) break;
        if (f[i] == '\'') --i;
      }
      for (std::size_t k = i + 1; k + 1 < bang; ++k) {
        name += f[k];
        if (f[k] == '\'' && f[k + 1] == '\'') ++k;
      }
    } else {
      std::size_t i = bang;
      while (i > 0 && std::strchr("(,=+-*/&^<> ", f[i - 1]) == nullptr) --i;
      name = std::string(f.substr(i, bang - i));
    }
    if (!name.empty() && std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
  }
}

}  // namespace

bool made_anew(std::string_view type) {
  static constexpr std::string_view kOwn[] = {
      "officeDocument", "core-properties", "extended-properties", "custom-properties", "worksheet",
      "styles", "sharedStrings", "theme", "calcChain",
      // Not carried: the reader names them, and a save over their file is refused.
      "chartsheet", "dialogsheet", "macrosheet", "xlMacrosheet", "externalLink", "pivotCacheDefinition"};
  auto slash = type.rfind('/');
  std::string_view last = slash == std::string_view::npos ? type : type.substr(slash + 1);
  return std::find(std::begin(kOwn), std::end(kOwn), last) != std::end(kOwn);
}

std::string rels_name(const std::string& part) {
  auto slash = part.rfind('/');
  std::string dir = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
  return dir + "_rels/" + file + ".rels";
}

std::string resolve_target(const std::string& source_part, std::string_view target) {
  std::vector<std::string> segs;
  std::string path;
  if (!target.empty() && target.front() == '/') {
    path = std::string(target.substr(1));
  } else {
    auto slash = source_part.rfind('/');
    path = (slash == std::string::npos ? "" : source_part.substr(0, slash + 1)) + std::string(target);
  }
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string seg = path.substr(i, j - i);
    if (seg == "..") {
      if (!segs.empty()) segs.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segs.push_back(seg);
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& s : segs) {
    if (!out.empty()) out += '/';
    out += s;
  }
  return out;
}

struct CarriedReader::Impl {
  std::string_view package;
  std::string name;
  ReadPart read;
  std::set<std::string> own;  // lower case
  zip_t* source = nullptr;
  std::map<std::string, std::string> defaults, overrides;  // extension / part (lower case) -> type
  bool types_read = false;
  std::vector<memory::BookCarried::Part> parts;
  std::map<std::string, std::string> carried;  // lower-case name -> name as stored

  ~Impl() {
    if (source != nullptr) zip_discard(source);
  }

  zip_t* archive() {
    if (source != nullptr) return source;
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(package.data(), package.size(), 0, &err);
    if (src != nullptr) {
      source = zip_open_from_source(src, ZIP_RDONLY, &err);
      if (source == nullptr) zip_source_free(src);
    }
    zip_error_fini(&err);
    return source;
  }

  void read_types() {
    if (types_read) return;
    types_read = true;
    auto text = read("[Content_Types].xml");
    if (!text) return;
    pugi::xml_document doc;
    if (!parse(doc, *text)) return;
    each_element(doc.document_element(), [&](pugi::xml_node n) {
      if (local(n.name()) == "Default") defaults[lower(n.attribute("Extension").value())] = n.attribute("ContentType").value();
      else if (local(n.name()) == "Override")
        overrides[lower(resolve_target("", n.attribute("PartName").value()))] = n.attribute("ContentType").value();
    });
  }

  std::optional<std::string> content_type(const std::string& name) {
    read_types();
    if (auto it = overrides.find(lower(name)); it != overrides.end()) return it->second;
    auto dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return std::nullopt;
    if (auto it = defaults.find(lower(name.substr(dot + 1))); it != defaults.end()) return it->second;
    return std::nullopt;
  }

  // The name the package stores `name` under; nullopt when absent.
  std::optional<std::string> stored_name(const std::string& name) {
    zip_t* za = archive();
    if (za == nullptr) return std::nullopt;
    zip_int64_t idx = zip_name_locate(za, name.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
    if (idx < 0) return std::nullopt;
    const char* stored = zip_get_name(za, static_cast<zip_uint64_t>(idx), 0);
    return stored != nullptr ? std::optional<std::string>(stored) : std::nullopt;
  }

  std::size_t add(const std::string& name, std::string type) {
    carried[lower(name)] = name;
    parts.push_back({name, std::move(type), {}});
    return parts.size() - 1;
  }

  // Carries `name` and all it reaches; its stored name, or nullopt (and
  // nothing carried) when a part is missing, untyped or one of ours.
  std::optional<std::string> carry(const std::string& name) {
    std::size_t mark = parts.size();
    auto result = carry_from(name, 0);
    if (!result) {
      for (std::size_t i = mark; i < parts.size(); ++i) carried.erase(lower(parts[i].name));
      parts.resize(mark);
    }
    return result;
  }

  std::optional<std::string> carry_from(const std::string& name, int depth) {
    if (auto it = carried.find(lower(name)); it != carried.end()) return it->second;
    if (own.count(lower(name)) != 0 || parts.size() >= kMaxParts || depth > kMaxCarryDepth) return std::nullopt;
    auto stored = stored_name(name);
    auto type = content_type(name);
    if (!stored || !type) return std::nullopt;
    std::size_t me = add(*stored, *type);
    std::string rels = rels_name(*stored);
    auto rels_stored = stored_name(rels);
    if (!rels_stored) return stored;
    auto text = read(*rels_stored);
    pugi::xml_document doc;
    if (!text || !parse(doc, *text)) return std::nullopt;
    std::size_t rels_index = add(*rels_stored, std::string(kRelsType));
    parts[me].reaches.push_back(*rels_stored);
    bool ok = true;
    each_element(doc.document_element(), [&](pugi::xml_node r) {
      if (!ok || std::string_view(r.attribute("TargetMode").value()) == "External") return;
      auto target = carry_from(resolve_target(*stored, r.attribute("Target").value()), depth + 1);
      ok = target.has_value();
      if (ok) parts[rels_index].reaches.push_back(*target);
    });
    if (!ok) return std::nullopt;
    return stored;
  }

  // The relationships of a carried part, as (type's last segment, part).
  std::vector<std::pair<std::string, std::string>> links_of(const std::string& part) {
    std::vector<std::pair<std::string, std::string>> out;
    auto text = read(rels_name(part));
    pugi::xml_document doc;
    if (!text || !parse(doc, *text)) return out;
    each_element(doc.document_element(), [&](pugi::xml_node r) {
      std::string type = r.attribute("Type").value();
      auto slash = type.rfind('/');
      out.emplace_back(slash == std::string::npos ? type : type.substr(slash + 1),
                       resolve_target(part, r.attribute("Target").value()));
    });
    return out;
  }

  // What a drawing holds and where it stands.
  void read_drawing(const std::string& part, memory::CarriedObject& o) {
    bool chart = false, image = false;
    for (const auto& [type, target] : links_of(part)) {
      chart |= type == "chart";
      image |= type == "image";
      if (type != "chart") continue;
      auto text = read(target);
      pugi::xml_document doc;
      if (!text || !parse(doc, *text)) continue;
      for (auto f : doc.select_nodes("//*[local-name()='f']")) sheets_named(f.node().text().get(), o.reads);
    }
    o.what = chart && image ? "图表和图片" : chart ? "图表" : image ? "图片" : "图形";
    // Pictures and shapes copy with their sheet; a chart would have to be
    // pointed at the copy's cells.
    o.copies = !chart;
    auto text = read(part);
    pugi::xml_document doc;
    if (!text || !parse(doc, *text)) {
      o.covers_sheet = true;
      return;
    }
    each_element(doc.document_element(), [&](pugi::xml_node anchor) {
      std::string_view kind = local(anchor.name());
      if (kind == "absoluteAnchor") return;  // placed on the page, not on cells
      auto cell = [&](std::string_view corner) -> std::optional<host::CellRef> {
        pugi::xml_node c;
        each_element(anchor, [&](pugi::xml_node n) {
          if (local(n.name()) == corner) c = n;
        });
        if (!c) return std::nullopt;
        long row = -1, col = -1;
        each_element(c, [&](pugi::xml_node n) {
          if (local(n.name()) == "row") row = std::strtol(n.text().get(), nullptr, 10);
          if (local(n.name()) == "col") col = std::strtol(n.text().get(), nullptr, 10);
        });
        if (row < 0 || col < 0 || row >= host::kMaxRows || col >= host::kMaxCols) return std::nullopt;
        return host::CellRef{static_cast<int>(row) + 1, static_cast<int>(col) + 1};
      };
      auto from = cell("from");
      auto to = kind == "twoCellAnchor" ? cell("to") : std::nullopt;
      if (!from) {
        o.covers_sheet = true;
        return;
      }
      // A one-cell anchor keeps its size: how far down and right it reaches
      // is not read, so it stands over everything below and right of it.
      host::CellRef end = to ? *to : host::CellRef{host::kMaxRows, host::kMaxCols};
      o.covers.push_back({std::min(from->row, end.row), std::min(from->col, end.col), std::max(from->row, end.row),
                          std::max(from->col, end.col)});
    });
  }
};

CarriedReader::CarriedReader(std::string_view package, ReadPart read, std::set<std::string> own_parts,
                             std::string shown_name)
    : impl_(std::make_unique<Impl>()) {
  impl_->name = std::move(shown_name);
  impl_->package = package;
  impl_->read = std::move(read);
  for (const auto& p : own_parts) impl_->own.insert(lower(p));
}

CarriedReader::~CarriedReader() = default;

bool CarriedReader::carry_link(memory::CarriedLink& link) {
  if (link.external) return true;
  auto stored = impl_->carry(link.target);
  if (!stored) return false;
  link.target = *stored;
  return true;
}

std::optional<memory::CarriedObject> CarriedReader::sheet_object(std::string_view element_name, std::string xml,
                                                                const std::vector<memory::CarriedLink>& links) {
  memory::CarriedObject o;
  o.element = std::move(xml);
  for (memory::CarriedLink l : links) {
    if (!carry_link(l)) return std::nullopt;
    o.links.push_back(std::move(l));
  }
  if (element_name == "drawing") {
    for (const auto& l : o.links) impl_->read_drawing(l.target, o);
  } else if (element_name == "legacyDrawing") {
    o.what = "图形";
    o.covers_sheet = true;
  } else if (element_name == "picture") {
    o.what = "背景图片";
    o.copies = true;
  } else {
    o.what = "页眉页脚图片";
  }
  return o;
}

bool CarriedReader::empty_drawing(const std::string& target) {
  auto text = impl_->read(target);
  pugi::xml_document doc;
  if (!text || !parse(doc, *text) || !doc.document_element()) return false;
  bool any = false;
  each_element(doc.document_element(), [&](pugi::xml_node) { any = true; });
  return !any;
}

std::optional<memory::CarriedObject> CarriedReader::printer_settings(const memory::CarriedLink& link) {
  memory::CarriedObject o;
  o.what = "打印机设置";
  o.links.push_back(link);
  if (!carry_link(o.links.back())) return std::nullopt;
  return o;
}

void CarriedReader::finish(memory::BookCarried& into) {
  Impl& m = *impl_;
  into.parts = m.parts;
  if (m.parts.empty()) return;
  zip_t* src = m.archive();
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &err);
  zip_t* dest = buffer != nullptr ? zip_open_from_source(buffer, ZIP_TRUNCATE, &err) : nullptr;
  zip_error_fini(&err);
  if (dest == nullptr) {
    if (buffer != nullptr) zip_source_free(buffer);
    throw std::bad_alloc();
  }
  zip_source_keep(buffer);
  bool ok = true;
  for (const auto& p : m.parts) {
    zip_int64_t idx = zip_name_locate(src, p.name.c_str(), 0);
    // The whole entry: libzip copies its compressed data as it is.
    zip_source_t* s = idx < 0 ? nullptr : zip_source_zip(dest, src, static_cast<zip_uint64_t>(idx), 0, 0, -1);
    if (s == nullptr || zip_file_add(dest, p.name.c_str(), s, ZIP_FL_ENC_UTF_8) < 0) {
      if (s != nullptr) zip_source_free(s);
      ok = false;
      break;
    }
  }
  if (!ok || zip_close(dest) != 0) {
    zip_discard(dest);
    zip_source_free(buffer);
    throw FileError("无法读取文件“" + m.name + "”：图片、图表等部件已损坏");
  }
  auto bytes = std::make_shared<std::string>();
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0) {
    bytes->resize(static_cast<std::size_t>(st.size));
    zip_int64_t n = zip_source_read(buffer, bytes->data(), bytes->size());
    zip_source_close(buffer);
    if (n < 0 || static_cast<std::size_t>(n) != bytes->size()) ok = false;
  } else {
    ok = false;
  }
  zip_source_free(buffer);
  if (!ok) throw FileError("无法读取文件“" + m.name + "”：图片、图表等部件已损坏");
  into.archive = std::move(bytes);
}

}  // namespace lczs::io::detail
