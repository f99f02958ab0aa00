// Reading .xlsx: the zip container with libzip, the XML parts with pugixml.
//
// Every limit and every check is here to turn a damaged or hostile file into
// a FileError with a message a user can act on: sizes and compression
// ratios of parts are bounded before they are inflated, references must lie
// inside the sheet, style ids must exist.
#include <zip.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>

#include <pugixml.hpp>

#include "io/carried.h"
#include "io/internal.h"
#include "io/io.h"
#include "io/xml_stream.h"

namespace lczs::io {

using memory::Cell;
using memory::Color;
using memory::Font;
using memory::Format;
using memory::FormatId;
using memory::SheetData;
using memory::TextRun;
using memory::WorkbookData;

namespace {

// ---- Small helpers ----------------------------------------------------------------

class Failure {
 public:
  explicit Failure(std::string name) : name_(std::move(name)) {}
  [[noreturn]] void operator()(const std::string& what) const {
    throw FileError("无法读取文件“" + name_ + "”：" + what);
  }

 private:
  std::string name_;
};

using detail::local_name;
std::string_view local(const char* name) { return local_name(name); }

pugi::xml_node child(pugi::xml_node n, std::string_view name) {
  for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && local(c.name()) == name) return c;
  return {};
}

template <class F>
void each_child(pugi::xml_node n, std::string_view name, F&& f) {
  for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && local(c.name()) == name) f(c);
}

pugi::xml_attribute attr(pugi::xml_node n, std::string_view name) {
  for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
    if (local(a.name()) == name) return a;
  return {};
}

// v: an attribute's value, nullptr when absent.
bool xml_bool(const char* v, bool absent) {
  if (v == nullptr) return absent;
  std::string_view s = v;
  return s == "1" || s == "true" || s == "on";
}
bool xml_bool(pugi::xml_attribute a, bool absent) { return xml_bool(a ? a.value() : nullptr, absent); }

// <b/>, <b val="0"/>: an element that is present and not switched off.
bool flag(pugi::xml_node n, std::string_view name) {
  pugi::xml_node c = child(n, name);
  return c && xml_bool(attr(c, "val"), true);
}

std::optional<double> to_double(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc::result_out_of_range && p == s.data() + s.size()) {
    // Too small for a double is 0; the largest double written with 15 or
    // 16 digits (1.79769313486232E+308) reads as a little more than the
    // largest double and is that double, as in the application.
    long double x = std::strtold(std::string(s).c_str(), nullptr);
    if (std::fabs(x) < 1) return 0.0;
    if (std::fabs(x) <= 1.79769313486232e308L) return x < 0 ? -DBL_MAX : DBL_MAX;
    return std::nullopt;
  }
  if (ec != std::errc() || p != s.data() + s.size() || s.empty() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<long long> to_int(std::string_view s) {
  long long v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

// Text of an OOXML string: _xHHHH_ stands for a character XML cannot hold.
std::string decode_text(std::string_view s) {
  if (s.find("_x") == std::string_view::npos) return std::string(s);
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == '_' && i + 7 <= s.size() && s[i + 1] == 'x' && s[i + 6] == '_') {
      unsigned cp = 0;
      bool hex = true;
      for (std::size_t k = 2; k < 6; ++k) {
        char c = s[i + k];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) {
          hex = false;
          break;
        }
        cp = cp * 16 + static_cast<unsigned>(d);
      }
      if (hex && !(cp >= 0xD800 && cp <= 0xDFFF)) {
        if (cp < 0x80) {
          out += static_cast<char>(cp);
        } else if (cp < 0x800) {
          out += static_cast<char>(0xC0 | (cp >> 6));
          out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
          out += static_cast<char>(0xE0 | (cp >> 12));
          out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
          out += static_cast<char>(0x80 | (cp & 0x3F));
        }
        i += 7;
        continue;
      }
    }
    out += s[i++];
  }
  return out;
}

// pugixml's own texts are English ("No document element found").
std::string xml_error_text(pugi::xml_parse_status status) {
  switch (status) {
    case pugi::status_no_document_element: return "没有内容";
    case pugi::status_out_of_memory: return "内存不足";
    case pugi::status_end_element_mismatch:
    case pugi::status_unrecognized_tag: return "元素没有正确结束";
    case pugi::status_bad_attribute: return "属性写法有误";
    case pugi::status_bad_pcdata:
    case pugi::status_bad_cdata:
    case pugi::status_bad_comment:
    case pugi::status_bad_pi:
    case pugi::status_bad_doctype:
    case pugi::status_bad_start_element:
    case pugi::status_bad_end_element: return "标记写法有误或内容已截断";
    default: return "代码 " + std::to_string(static_cast<int>(status));
  }
}

// ---- The zip container ---------------------------------------------------------------

class Package {
 public:
  Package(std::string_view bytes, const Failure& fail) : fail_(fail) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (src == nullptr) fail_("内存不足");
    za_ = zip_open_from_source(src, ZIP_RDONLY, &error);
    if (za_ == nullptr) {
      zip_source_free(src);
      zip_error_fini(&error);
      fail_("不是有效的 .xlsx 文件（文件不是 zip 压缩包，或已截断、损坏）");
    }
    zip_error_fini(&error);
    zip_int64_t n = zip_get_num_entries(za_, 0);
    if (n < 0 || n > static_cast<zip_int64_t>(detail::kMaxParts)) fail_("压缩包中的部件过多");
    for (zip_int64_t i = 0; i < n; ++i) {
      const char* name = zip_get_name(za_, static_cast<zip_uint64_t>(i), 0);
      if (name == nullptr) continue;
      std::string key(name);
      for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      index_.emplace(std::move(key), static_cast<zip_uint64_t>(i));
    }
  }
  ~Package() {
    if (za_ != nullptr) zip_discard(za_);
  }
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  static std::string key(std::string_view name) {
    std::string k(name);
    for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return k;
  }
  bool has(std::string_view name) const { return index_.count(key(name)) != 0; }

  // The part's bytes; nullopt when absent.
  std::optional<std::string> read(std::string_view name) {
    std::string data;
    if (!stream(name, [&](const char* bytes, std::size_t n, bool) { data.append(bytes, n); })) return std::nullopt;
    return data;
  }

  // Inflates the part a chunk at a time into sink(bytes, size, last), the
  // last call with last set (and possibly no bytes), so a large part is
  // never held whole. False when the part is absent. The size limits are
  // checked from the directory before anything is inflated.
  template <class Sink>
  bool stream(std::string_view name, Sink&& sink) {
    auto it = index_.find(key(name));
    if (it == index_.end()) return false;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za_, it->second, 0, &st) != 0) fail_("部件 " + std::string(name) + " 无法读取");
    if ((st.valid & ZIP_STAT_SIZE) == 0) fail_("部件 " + std::string(name) + " 的大小未知");
    if (st.size > detail::kMaxPartBytes) fail_("部件 " + std::string(name) + " 过大（可能是压缩炸弹）");
    if ((st.valid & ZIP_STAT_COMP_SIZE) != 0 && st.size > detail::kRatioCheckFloor &&
        st.size / std::max<zip_uint64_t>(st.comp_size, 1) > detail::kMaxCompressionRatio)
      fail_("部件 " + std::string(name) + " 的压缩比异常（可能是压缩炸弹）");
    if (total_ + st.size > detail::kMaxTotalBytes) fail_("解压后的内容过大（可能是压缩炸弹）");
    zip_file_t* zf = zip_fopen_index(za_, it->second, 0);
    if (zf == nullptr) {
      zip_error_t* e = zip_get_error(za_);
      fail_("部件 " + std::string(name) + " 无法解压（" +
            detail::zip_error_text(zip_error_code_zip(e), zip_error_code_system(e)) + "）");
    }
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zf, zip_fclose);
    auto damaged = [&] { fail_("部件 " + std::string(name) + " 已损坏（数据不完整或校验失败）"); };
    const std::size_t size = static_cast<std::size_t>(st.size);
    std::vector<char> buf(std::min<std::size_t>(kChunk, std::max<std::size_t>(size, 1)));
    std::size_t got = 0;
    while (got < size) {
      zip_int64_t r = zip_fread(zf, buf.data(), std::min(buf.size(), size - got));
      if (r <= 0) damaged();
      got += static_cast<std::size_t>(r);
      // The check sum is verified as the last byte comes out, so the end
      // of the data is read before the last chunk is handed on.
      char extra;
      bool last = got == size;
      // More data than the directory promised is as bad as less.
      if (last && zip_fread(zf, &extra, 1) != 0) damaged();
      sink(static_cast<const char*>(buf.data()), static_cast<std::size_t>(r), last);
    }
    if (size == 0) {
      char extra;
      if (zip_fread(zf, &extra, 1) != 0) damaged();
      sink(static_cast<const char*>(buf.data()), std::size_t{0}, true);
    }
    total_ += size;
    return true;
  }

 private:
  // Inflated bytes handed on at a time: large enough that the parser's
  // per-call cost is lost in the work, small beside any sheet.
  static constexpr std::size_t kChunk = 64 * 1024;
  const Failure& fail_;
  zip_t* za_ = nullptr;
  std::unordered_map<std::string, zip_uint64_t> index_;
  std::size_t total_ = 0;
};

// ---- Relationships -----------------------------------------------------------------------

struct Rel {
  std::string id;
  std::string type;    // last segment of the type URI: "worksheet", "styles", ...
  std::string full_type;
  std::string target;  // part name inside the package, without leading '/'
  bool external = false;
};

// ---- The reader ---------------------------------------------------------------------------------

struct SharedMaster {
  int row, col;
  std::string formula;
};

struct XmlDoc {
  pugi::xml_document doc;
  // Parsed in place: the text must not move with the document (a short
  // std::string keeps its characters inside itself).
  std::unique_ptr<std::string> data;
};

class Reader {
 public:
  Reader(std::string_view bytes, const std::string& name)
      : name_(name), fail_(name), pkg_(bytes, fail_), bytes_(bytes) {}

  WorkbookData read() {
    auto root_rels = rels("");
    std::string wb_part;
    for (const auto& r : root_rels)
      if (r.type == "officeDocument" && !r.external) wb_part = r.target;
    if (wb_part.empty()) {
      if (pkg_.has("xl/workbook.xml")) wb_part = "xl/workbook.xml";
      else fail_("不是有效的 .xlsx 文件（找不到工作簿部件）");
    }

    auto wb_rels = rels(wb_part);
    std::map<std::string, Rel> by_id;
    // Parts made anew on saving, which nothing carried may reach.
    std::set<std::string> own{wb_part};
    for (const auto* list : {&root_rels, &wb_rels})
      for (const auto& r : *list)
        if (!r.external && detail::made_anew(r.full_type)) own.insert(r.target);
    carried_ = std::make_unique<detail::CarriedReader>(
        bytes_, [this](const std::string& part) { return pkg_.read(part); }, own, name_);
    for (const auto& r : wb_rels) {
      by_id[r.id] = r;
      if (r.external) continue;
      if (r.type == "styles") styles_part_ = r.target;
      else if (r.type == "sharedStrings") sst_part_ = r.target;
      else if (r.type == "theme") theme_part_ = r.target;
      else if (r.type == "externalLink") unsupported("外部链接", r.target);
      else if (r.type == "pivotCacheDefinition") unsupported("数据透视表", r.target);
    }
    carry_links(root_rels, book_.carried.package_links);
    carry_links(wb_rels, book_.carried.book_links);
    read_theme();
    read_styles();
    read_shared_strings();

    XmlDoc wb = parse(wb_part);
    pugi::xml_node workbook = wb.doc.document_element();
    if (local(workbook.name()) != "workbook") fail_("工作簿部件不是工作簿");

    if (auto pr = child(workbook, "workbookPr")) {
      book_.settings.date1904 = xml_bool(pr.attribute("date1904"), false);
      book_.carried.code_name = pr.attribute("codeName").value();
    }
    std::vector<std::pair<pugi::xml_node, int>> sheet_nodes;  // node, index in file order
    int file_index = 0;
    int active_tab = 0;
    if (auto views = child(workbook, "bookViews"))
      if (auto view = child(views, "workbookView"))
        active_tab = static_cast<int>(to_int(attr(view, "activeTab").value()).value_or(0));
    int active = -1;
    std::set<std::string> names_seen;
    std::vector<SheetData*> sheet_of_file_index;  // nullptr: a sheet the model does not hold
    auto sheets = child(workbook, "sheets");
    each_child(sheets, "sheet", [&](pugi::xml_node s) {
      int idx = file_index++;
      sheet_of_file_index.push_back(nullptr);
      std::string sname = decode_text(s.attribute("name").value());
      std::string rid = attr(s, "id").value();
      auto it = by_id.find(rid);
      if (it == by_id.end() || it->second.external) fail_("工作表“" + sname + "”的部件不存在");
      const Rel& rel = it->second;
      if (rel.type != "worksheet") {
        unsupported(rel.type == "chartsheet" ? "图表工作表" : "宏表或对话框工作表", sname);
        return;
      }
      if (static_cast<int>(book_.sheets.size()) >= detail::kMaxSheets) fail_("工作表过多");
      check_sheet_name(sname, names_seen);
      auto sheet = std::make_unique<SheetData>();
      sheet->name = sname;
      std::string state = s.attribute("state").value();
      sheet->hidden = state == "hidden" || state == "veryHidden";
      sheet->very_hidden = state == "veryHidden";
      read_sheet(*sheet, rel.target);
      if (idx == active_tab) active = static_cast<int>(book_.sheets.size());
      sheet_of_file_index.back() = sheet.get();
      book_.sheets.push_back(std::move(sheet));
    });
    if (book_.sheets.empty()) fail_("工作簿中没有工作表");
    if (active < 0 || book_.sheets[active]->hidden) {
      active = -1;
      for (std::size_t i = 0; i < book_.sheets.size(); ++i)
        if (!book_.sheets[i]->hidden) {
          active = static_cast<int>(i);
          break;
        }
      if (active < 0) fail_("工作簿中没有可见的工作表");
    }
    book_.active_sheet = active;
    book_.sheets[active]->view.tab_selected = true;

    // Names, each in its scope: a sheet's own go with the sheet (its print
    // area and titles among them); localSheetId counts the file's sheets.
    if (auto names = child(workbook, "definedNames"))
      each_child(names, "definedName", [&](pugi::xml_node n) { read_name(n, sheet_of_file_index); });
    if (auto p = child(workbook, "workbookProtection")) book_.settings.protection = attributes(p);
    for (const auto& r : root_rels) {
      if (r.external || !pkg_.has(r.target)) continue;
      if (r.type == "core-properties") read_core_properties(r.target);
      else if (r.type == "custom-properties") read_custom_properties(r.target);
    }
    carried_->finish(book_.carried);
    return std::move(book_);
  }

 private:
  void unsupported(const std::string& what, const std::string& where) {
    for (const auto& u : book_.unsupported)
      if (u.what == what && u.where == where) return;
    book_.unsupported.push_back({what, where});
  }

  static std::string_view kind_of(const Rel& r) {
    if (r.type == "vbaProject") return "宏";
    if (r.type == "customXml") return "自定义 XML";
    if (r.type == "thumbnail") return "缩略图";
    return "其他部件";
  }

  // Links of the package or workbook to parts the writer does not make.
  void carry_links(const std::vector<Rel>& from, std::vector<memory::CarriedLink>& into) {
    for (const auto& r : from) {
      if (detail::made_anew(r.full_type)) continue;
      memory::CarriedLink link{r.id, r.full_type, r.target, r.external};
      if (carried_->carry_link(link)) into.push_back(std::move(link));
      else unsupported(std::string(kind_of(r)), r.target);
    }
  }

  // A sheet's element as text, with the namespaces the sheet declares, so
  // that it reads the same inside the sheet the writer makes.
  static std::string element_text(pugi::xml_node el, pugi::xml_node root) {
    pugi::xml_document d;
    pugi::xml_node copy = d.append_copy(el);
    for (auto a = root.first_attribute(); a; a = a.next_attribute())
      if (std::string_view(a.name()).rfind("xmlns:", 0) == 0 && !copy.attribute(a.name()))
        copy.append_attribute(a.name()) = a.value();
    struct Out : pugi::xml_writer {
      std::string text;
      void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }
    } out;
    d.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.text;
  }

  // Drawings, pictures and printer settings of a sheet, carried as they were.
  void carry_sheet_objects(SheetData& sheet, pugi::xml_node ws, const std::vector<Rel>& sheet_rels) {
    std::map<std::string, const Rel*> by_id;
    for (const auto& r : sheet_rels) by_id[r.id] = &r;
    auto link = [&](const char* id) -> std::optional<memory::CarriedLink> {
      auto it = by_id.find(id);
      if (it == by_id.end()) return std::nullopt;
      const Rel& r = *it->second;
      return memory::CarriedLink{r.id, r.full_type, r.target, r.external};
    };
    bool comments = std::any_of(sheet_rels.begin(), sheet_rels.end(), [](const Rel& r) { return r.type == "comments"; });
    bool controls = static_cast<bool>(child(ws, "controls"));
    static constexpr std::pair<std::string_view, std::string_view> kCarried[] = {
        {"drawing", "图形"}, {"legacyDrawing", "图形"}, {"legacyDrawingHF", "页眉页脚图片"},
        {"drawingHF", "页眉页脚图片"}, {"picture", "背景图片"}};
    for (pugi::xml_node c = ws.first_child(); c; c = c.next_sibling()) {
      std::string_view n = local(c.name());
      auto kind = std::find_if(std::begin(kCarried), std::end(kCarried), [&](const auto& k) { return k.first == n; });
      if (kind == std::end(kCarried)) continue;
      // The notes' drawing and the controls' shapes belong to them.
      if (n == "legacyDrawing" && (comments || controls)) {
        if (!comments) unsupported("图形", sheet.name);
        continue;
      }
      std::vector<memory::CarriedLink> links;
      bool found = true;
      for (auto a = c.first_attribute(); a; a = a.next_attribute())
        if (local(a.name()) == "id" && std::strchr(a.name(), ':') != nullptr) {
          if (auto l = link(a.value())) links.push_back(*l);
          else found = false;
        }
      if (found && n == "drawing" && !links.empty() &&
          std::all_of(links.begin(), links.end(),
                      [&](const memory::CarriedLink& l) { return carried_->empty_drawing(l.target); }))
        continue;
      std::optional<memory::CarriedObject> o;
      if (found) o = carried_->sheet_object(n, element_text(c, ws), links);
      if (o) sheet.carried.objects.push_back(std::move(*o));
      else unsupported(std::string(kind->second), sheet.name);
    }
    if (auto ps = child(ws, "pageSetup"))
      if (auto l = link(attr(ps, "id").value())) {
        // Without them the page setup itself is still carried.
        if (auto o = carried_->printer_settings(*l)) sheet.carried.objects.push_back(std::move(*o));
      }
  }

  void check_sheet_name(const std::string& n, std::set<std::string>& seen) {
    if (n.empty() || detail::utf8_length(n) > static_cast<std::size_t>(host::kMaxSheetNameLength) ||
        n.find_first_of(":\\/?*[]") != std::string::npos || !detail::valid_utf8(n))
      fail_("工作表名称“" + n + "”无效");
    std::string key;
    for (char c : n) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!seen.insert(key).second) fail_("工作表名称“" + n + "”重复");
  }

  XmlDoc parse(const std::string& part) {
    XmlDoc d;
    auto data = pkg_.read(part);
    if (!data) fail_("缺少部件 " + part);
    d.data = std::make_unique<std::string>(std::move(*data));
    auto res = d.doc.load_buffer_inplace(d.data->data(), d.data->size(),
                                         pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!res) fail_("部件 " + part + " 的 XML 格式错误（" + xml_error_text(res.status) + "，位置 " + std::to_string(res.offset) + "）");
    return d;
  }

  std::vector<Rel> rels(const std::string& part) {
    std::vector<Rel> out;
    std::string name = part.empty() ? "_rels/.rels" : detail::rels_name(part);
    if (!pkg_.has(name)) return out;
    XmlDoc d = parse(name);
    each_child(d.doc.document_element(), "Relationship", [&](pugi::xml_node r) {
      Rel rel;
      rel.id = r.attribute("Id").value();
      std::string type = r.attribute("Type").value();
      rel.full_type = type;
      auto slash = type.rfind('/');
      rel.type = slash == std::string::npos ? type : type.substr(slash + 1);
      rel.external = std::string_view(r.attribute("TargetMode").value()) == "External";
      rel.target = rel.external ? r.attribute("Target").value() : detail::resolve_target(part, r.attribute("Target").value());
      out.push_back(std::move(rel));
    });
    return out;
  }

  // ---- Theme and colours ----

  void read_theme() {
    theme_ = detail::default_theme();
    if (theme_part_.empty() || !pkg_.has(theme_part_)) return;
    XmlDoc d = parse(theme_part_);
    pugi::xml_node elements = child(d.doc.document_element(), "themeElements");
    pugi::xml_node scheme = child(elements, "clrScheme");
    if (!scheme) return;
    static constexpr std::pair<std::string_view, int> kSlots[] = {
        {"lt1", 0}, {"dk1", 1}, {"lt2", 2}, {"dk2", 3}, {"accent1", 4}, {"accent2", 5},
        {"accent3", 6}, {"accent4", 7}, {"accent5", 8}, {"accent6", 9}, {"hlink", 10}, {"folHlink", 11}};
    for (auto [slot, index] : kSlots) {
      pugi::xml_node n = child(scheme, slot);
      const char* hex = nullptr;
      if (auto c = child(n, "srgbClr")) hex = c.attribute("val").value();
      else if (auto c = child(n, "sysClr")) hex = c.attribute("lastClr").value();
      if (hex != nullptr && std::strlen(hex) == 6) theme_[index] = static_cast<std::uint32_t>(std::strtoul(hex, nullptr, 16));
    }
  }

  Color color(pugi::xml_node n) {
    Color c;
    if (!n) return c;
    double tint = to_double(attr(n, "tint").value()).value_or(0);
    if (xml_bool(attr(n, "auto"), false)) return c;
    if (auto a = attr(n, "rgb")) {
      std::string_view v = a.value();
      std::uint32_t argb = static_cast<std::uint32_t>(std::strtoul(std::string(v).c_str(), nullptr, 16));
      if (v.size() <= 6) argb |= 0xFF000000u;
      c.kind = Color::Kind::Rgb;
      c.argb = argb;
      c.tint = tint;
      return c;
    }
    if (auto a = attr(n, "theme")) {
      int t = static_cast<int>(to_int(a.value()).value_or(0));
      if (t < 0 || t >= 12) t = 1;
      // A theme colour keeps its reference when it means the same under the
      // theme we write; otherwise it becomes the colour it showed.
      if (theme_[t] == detail::default_theme()[t]) {
        c.kind = Color::Kind::Theme;
        c.theme = t;
        c.tint = tint;
      } else {
        c.kind = Color::Kind::Rgb;
        c.argb = 0xFF000000u | detail::apply_tint(theme_[t], tint);
      }
      return c;
    }
    if (auto a = attr(n, "indexed")) {
      int i = static_cast<int>(to_int(a.value()).value_or(64));
      if (i >= 64) return c;  // system colours: automatic
      if (!palette_.empty()) {
        c.kind = Color::Kind::Rgb;
        c.argb = 0xFF000000u | (i < static_cast<int>(palette_.size()) ? palette_[i] : 0);
        return c;
      }
      c.kind = Color::Kind::Indexed;
      c.index = i;
      return c;
    }
    return c;
  }

  // ---- Styles ----

  Font font(pugi::xml_node n, bool run) {
    // What a font leaves out is the standard font's.
    Font f;
    if (!fonts_.empty()) {
      f.name = fonts_[0].name;
      f.size = fonts_[0].size;
    }
    if (auto e = child(n, run ? "rFont" : "name")) f.name = e.attribute("val").value();
    if (auto e = child(n, "sz")) f.size = to_double(e.attribute("val").value()).value_or(f.size);
    f.bold = flag(n, "b");
    f.italic = flag(n, "i");
    f.strikethrough = flag(n, "strike");
    f.outline = flag(n, "outline");
    f.shadow = flag(n, "shadow");
    if (auto u = child(n, "u")) {
      std::string_view v = attr(u, "val") ? attr(u, "val").value() : "single";
      f.underline = v == "double" ? host::Underline::Double
                    : v == "singleAccounting" ? host::Underline::SingleAccounting
                    : v == "doubleAccounting" ? host::Underline::DoubleAccounting
                    : v == "none" ? host::Underline::None
                                  : host::Underline::Single;
    }
    if (auto v = child(n, "vertAlign")) {
      std::string_view s = v.attribute("val").value();
      f.superscript = s == "superscript";
      f.subscript = s == "subscript";
    }
    f.color = color(child(n, "color"));
    if (auto e = child(n, "family")) f.family = static_cast<int>(to_int(e.attribute("val").value()).value_or(0));
    if (auto e = child(n, "charset")) f.charset = static_cast<int>(to_int(e.attribute("val").value()).value_or(-1));
    if (auto e = child(n, "scheme")) f.scheme = e.attribute("val").value();
    if (f.scheme == "none") f.scheme.clear();
    return f;
  }

  memory::BorderLine border_line(pugi::xml_node n) {
    if (!n) return {};
    memory::BorderLine line = detail::border_from_style(n.attribute("style").value());
    if (line.style != host::LineStyle::None) line.color = color(child(n, "color"));
    return line;
  }

  void read_styles() {
    xf_ids_.assign(1, 0);  // a workbook without styles: everything default
    if (styles_part_.empty() || !pkg_.has(styles_part_)) return;
    XmlDoc d = parse(styles_part_);
    pugi::xml_node ss = d.doc.document_element();

    if (auto colors = child(ss, "colors"))
      if (auto idx = child(colors, "indexedColors"))
        each_child(idx, "rgbColor", [&](pugi::xml_node c) {
          palette_.push_back(static_cast<std::uint32_t>(std::strtoul(c.attribute("rgb").value(), nullptr, 16)) & 0xFFFFFF);
        });
    // Some writers spell out the default palette: that is no palette of its own.
    bool custom = false;
    for (std::size_t i = 0; i < palette_.size() && i < 64; ++i) custom |= palette_[i] != detail::indexed_rgb(static_cast<int>(i));
    if (!custom) palette_.clear();

    std::map<long long, std::string> numfmts;
    each_child(child(ss, "numFmts"), "numFmt", [&](pugi::xml_node n) {
      auto id = to_int(n.attribute("numFmtId").value());
      if (id) numfmts[*id] = n.attribute("formatCode").value();
    });
    each_child(child(ss, "fonts"), "font", [&](pugi::xml_node n) { fonts_.push_back(font(n, false)); });
    std::vector<memory::Fill> fills;
    each_child(child(ss, "fills"), "fill", [&](pugi::xml_node n) {
      memory::Fill f;
      if (auto p = child(n, "patternFill")) {
        f.pattern = p.attribute("patternType") ? p.attribute("patternType").value() : "none";
        f.fg = color(child(p, "fgColor"));
        f.bg = color(child(p, "bgColor"));
        if (f.pattern == "none") f.fg = f.bg = Color{};
      }
      fills.push_back(f);
    });
    std::vector<memory::Borders> borders;
    each_child(child(ss, "borders"), "border", [&](pugi::xml_node n) {
      memory::Borders b;
      b.left = border_line(child(n, "left") ? child(n, "left") : child(n, "start"));
      b.right = border_line(child(n, "right") ? child(n, "right") : child(n, "end"));
      b.top = border_line(child(n, "top"));
      b.bottom = border_line(child(n, "bottom"));
      b.diagonal = border_line(child(n, "diagonal"));
      b.diagonal_up = xml_bool(n.attribute("diagonalUp"), false);
      b.diagonal_down = xml_bool(n.attribute("diagonalDown"), false);
      borders.push_back(b);
    });

    each_child(child(ss, "dxfs"), "dxf", [&](pugi::xml_node x) { dxfs_.push_back(diff_format(x, numfmts)); });

    std::vector<Format> formats;
    each_child(child(ss, "cellXfs"), "xf", [&](pugi::xml_node x) {
      Format f;
      auto index = [&](const char* a, std::size_t count, const char* what) -> std::size_t {
        auto v = to_int(x.attribute(a).value());
        long long i = v.value_or(0);
        if (!x.attribute(a)) i = 0;
        if (i < 0 || static_cast<std::size_t>(i) >= count) {
          if (count == 0 && i == 0) return SIZE_MAX;
          fail_(std::string("样式表引用了不存在的") + what + "（编号 " + x.attribute(a).value() + "）");
        }
        return static_cast<std::size_t>(i);
      };
      if (std::size_t i = index("fontId", fonts_.size(), "字体"); i != SIZE_MAX) f.font = fonts_[i];
      if (std::size_t i = index("fillId", fills.size(), "填充"); i != SIZE_MAX) f.fill = fills[i];
      if (std::size_t i = index("borderId", borders.size(), "边框"); i != SIZE_MAX) f.borders = borders[i];
      long long nf = to_int(x.attribute("numFmtId").value()).value_or(0);
      if (auto it = numfmts.find(nf); it != numfmts.end()) f.number_format = it->second;
      else if (auto b = detail::builtin_format(static_cast<int>(nf))) f.number_format = std::string(*b);
      if (auto a = child(x, "alignment")) {
        std::string_view h = a.attribute("horizontal").value();
        f.alignment.horizontal = h == "left" ? host::HAlign::Left
                                 : h == "center" ? host::HAlign::Center
                                 : h == "right" ? host::HAlign::Right
                                 : h == "fill" ? host::HAlign::Fill
                                 : h == "justify" ? host::HAlign::Justify
                                 : h == "centerContinuous" ? host::HAlign::CenterAcrossSelection
                                 : h == "distributed" ? host::HAlign::Distributed
                                                      : host::HAlign::General;
        std::string_view v = a.attribute("vertical").value();
        f.alignment.vertical = v == "top" ? host::VAlign::Top
                               : v == "center" ? host::VAlign::Center
                               : v == "justify" ? host::VAlign::Justify
                               : v == "distributed" ? host::VAlign::Distributed
                                                    : host::VAlign::Bottom;
        f.alignment.wrap_text = xml_bool(a.attribute("wrapText"), false);
        f.alignment.shrink_to_fit = xml_bool(a.attribute("shrinkToFit"), false);
        f.alignment.indent = static_cast<int>(std::clamp<long long>(to_int(a.attribute("indent").value()).value_or(0), 0, 250));
        long long rot = to_int(a.attribute("textRotation").value()).value_or(0);
        f.alignment.rotation = rot == 255 ? 255 : rot > 90 && rot <= 180 ? static_cast<int>(90 - rot)
                               : rot >= 0 && rot <= 90 ? static_cast<int>(rot) : 0;
      }
      if (auto p = child(x, "protection")) {
        f.locked = xml_bool(p.attribute("locked"), true);
        f.hidden = xml_bool(p.attribute("hidden"), false);
      }
      formats.push_back(std::move(f));
    });
    if (formats.empty()) return;
    book_.formats.set_default(formats[0]);
    xf_ids_.assign(formats.size(), 0);
    for (std::size_t i = 1; i < formats.size(); ++i) xf_ids_[i] = book_.formats.intern(formats[i]);
  }

  // text: a style attribute's value, nullptr when absent.
  FormatId style(const char* text) {
    if (text == nullptr) return 0;
    auto v = to_int(text);
    if (!v || *v < 0 || static_cast<std::size_t>(*v) >= xf_ids_.size())
      fail_(std::string("单元格引用了不存在的样式（编号 ") + text + "）");
    return xf_ids_[static_cast<std::size_t>(*v)];
  }
  FormatId style(pugi::xml_attribute a) { return style(a ? a.value() : nullptr); }

  // ---- Strings ----

  struct RichText {
    std::string text;
    std::vector<TextRun> runs;  // empty: plain
  };

  RichText rich_text(pugi::xml_node si) {
    RichText r;
    bool styled = false;
    for (pugi::xml_node c = si.first_child(); c; c = c.next_sibling()) {
      std::string_view n = local(c.name());
      if (n == "t") {
        r.text += decode_text(c.text().get());
      } else if (n == "r") {
        TextRun run;
        run.text = decode_text(child(c, "t").text().get());
        if (auto pr = child(c, "rPr")) {
          run.font = font(pr, true);
          styled = true;
        }
        r.text += run.text;
        r.runs.push_back(std::move(run));
      }
    }
    if (!styled) r.runs.clear();
    return r;
  }

  // A book of many different texts has a large table: it streams, one
  // string at a time.
  void read_shared_strings() {
    if (sst_part_.empty() || !pkg_.has(sst_part_)) return;
    struct Strings : detail::XmlStreamHandler {
      Reader& r;
      explicit Strings(Reader& reader) : r(reader) {}
      Take start(int depth, std::string_view name, const detail::XmlAttrs&) override {
        return depth == 1 && local_name(name) == "si" ? Take::Keep : Take::Stream;
      }
      void kept(int, pugi::xml_node si) override {
        RichText rt = r.rich_text(si);
        r.strings_.push_back({host::Value::text(std::move(rt.text)), std::move(rt.runs)});
      }
    } strings(*this);
    stream(sst_part_, strings);
  }

  // Feeds the part through a streaming parse into handler; the DOM of what
  // it kept stays with the returned stream.
  template <class Handler>
  std::unique_ptr<detail::XmlStream> stream(const std::string& part, Handler& handler) {
    auto xml = std::make_unique<detail::XmlStream>(handler);
    if constexpr (requires { handler.watch(*xml); }) handler.watch(*xml);
    try {
      bool found = pkg_.stream(part, [&](const char* bytes, std::size_t n, bool last) { xml->feed(bytes, n, last); });
      if (!found) fail_("缺少部件 " + part);
    } catch (const detail::XmlStreamError& e) {
      fail_("部件 " + part + " 的 XML 格式错误（" + e.what + "）");
    }
    return xml;
  }

  // ---- Sheets ----

  std::optional<host::Area> range(std::string_view ref) {
    auto colon = ref.find(':');
    auto a = detail::parse_cell(ref.substr(0, colon));
    if (!a) return std::nullopt;
    if (colon == std::string_view::npos) return host::Area::cell(a->row, a->col);
    auto b = detail::parse_cell(ref.substr(colon + 1));
    if (!b) return std::nullopt;
    return host::Area{std::min(a->row, b->row), std::min(a->col, b->col), std::max(a->row, b->row),
                      std::max(a->col, b->col)};
  }

  std::string where(const SheetData& s, int row, int col) {
    return "工作表“" + s.name + "”的单元格 " + host::address(host::Area::cell(row, col), false);
  }

  std::vector<Rel> sheet_rels(SheetData& sheet, const std::string& part) {
    std::vector<Rel> all = rels(part);
    for (const auto& r : all) {
      if (r.type == "pivotTable") {
        unsupported("数据透视表", sheet.name);
      } else if (r.type == "table") {
        unsupported("表格", sheet.name);
      } else if (r.type == "oleObject" || r.type == "package") {
        unsupported("嵌入对象", sheet.name);
      } else if (r.type == "control" || r.type == "ctrlProp") {
        unsupported("控件", sheet.name);
      }
    }
    return all;
  }

  void read_sheet(SheetData& sheet, const std::string& part) {
    std::vector<Rel> links = sheet_rels(sheet, part);
    SheetCells cells(*this, sheet);
    auto xml = stream(part, cells);
    pugi::xml_node ws = xml->document_element();
    carry_sheet_objects(sheet, ws, links);

    static constexpr std::pair<std::string_view, std::string_view> kParts[] = {
        {"oleObjects", "嵌入对象"},
        {"controls", "控件"},              {"extLst", "扩展内容"}};
    for (pugi::xml_node c = ws.first_child(); c; c = c.next_sibling()) {
      std::string_view n = local(c.name());
      for (auto [el, what] : kParts)
        if (n == el) {
          if (el == "extLst") {
            // Extensions are where newer versions keep data validation and
            // conditional formats; anything else in them is presentation.
            bool data = false;
            for (auto e = c.first_child(); e; e = e.next_sibling())
              for (auto x = e.first_child(); x; x = x.next_sibling()) {
                std::string_view xn = local(x.name());
                if (xn == "dataValidations") unsupported("数据有效性", sheet.name), data = true;
                if (xn == "conditionalFormattings") unsupported("条件格式", sheet.name), data = true;
                if (xn == "sparklineGroups") unsupported("迷你图", sheet.name), data = true;
              }
            (void)data;
          } else {
            unsupported(std::string(what), sheet.name);
          }
        }
    }

    for (const std::string& what : cells.notes()) unsupported(what, sheet.name);
    cells.settle_heights(file_default_height(ws));

    read_settings(sheet, ws);
    read_range_items(sheet, ws);

    // View.
    if (auto views = child(ws, "sheetViews")) {
      if (auto view = child(views, "sheetView")) {
        sheet.view.tab_selected = xml_bool(view.attribute("tabSelected"), false);
        if (auto tl = detail::parse_cell(view.attribute("topLeftCell").value())) sheet.view.top_left = *tl;
        read_view_settings(sheet.settings.view, view);
        std::string active_pane;
        if (auto pane = child(view, "pane")) active_pane = pane.attribute("activePane").value();
        if (active_pane.empty() && sheet.settings.view.panes) active_pane = "topLeft";
        pugi::xml_node chosen;
        each_child(view, "selection", [&](pugi::xml_node s) {
          std::string p = s.attribute("pane").value();
          if (!chosen || p == active_pane) chosen = s;
        });
        if (chosen) {
          auto ac = detail::parse_cell(chosen.attribute("activeCell").value());
          std::string_view sq = chosen.attribute("sqref").value();
          std::optional<host::Area> sel;
          // Several areas: the one holding the active cell.
          std::size_t i = 0;
          while (i < sq.size()) {
            std::size_t j = sq.find(' ', i);
            if (j == std::string_view::npos) j = sq.size();
            auto a = range(sq.substr(i, j - i));
            if (a && (!sel || (ac && a->contains(ac->row, ac->col)))) sel = a;
            i = j + 1;
          }
          if (!sel && ac) sel = host::Area::cell(ac->row, ac->col);
          if (sel) {
            sheet.view.selection = *sel;
            sheet.view.active_cell = ac && sel->contains(ac->row, ac->col) ? *ac : sel->top_left();
          }
        }
      }
    }

    // Default sizes.
    if (auto fp = child(ws, "sheetFormatPr")) {
      // Without customHeight the application takes the default height from
      // the standard font and the number is only a hint.
      if (auto h = to_double(fp.attribute("defaultRowHeight").value());
          h && *h > 0 && *h <= 409 && xml_bool(fp.attribute("customHeight"), false))
        sheet.default_row_height = *h;
      if (auto w = to_double(fp.attribute("defaultColWidth").value()); w && *w > 0 && *w <= 255) {
        sheet.default_column_width = detail::column_width_from_file(*w);
      } else if (auto b = to_double(fp.attribute("baseColWidth").value()); b && *b >= 0 && *b <= 255) {
        // The application rounds the default column up to 8 pixels.
        double px = std::ceil((std::floor(*b * 7 + 0.5) + 5) / 8) * 8;
        sheet.default_column_width = (px - 5) / 7;
      }
    }

    // Columns. Ranges may repeat columns; the work they make is bounded.
    long long col_work = 0;
    each_child(child(ws, "cols"), "col", [&](pugi::xml_node c) {
      auto lo = to_int(c.attribute("min").value()), hi = to_int(c.attribute("max").value());
      if (!lo || !hi || *lo < 1 || *hi < *lo || *lo > host::kMaxCols)
        fail_("工作表“" + sheet.name + "”的列设置超出工作表范围");
      long long last = std::min<long long>(*hi, host::kMaxCols);
      memory::ColumnInfo info;
      if (auto w = to_double(c.attribute("width").value()); w && *w >= 0 && *w <= 255)
        info.width = detail::column_width_from_file(*w);
      if (c.attribute("style")) {
        FormatId f = style(c.attribute("style"));
        if (f != 0) info.format = f;
      }
      info.hidden = xml_bool(c.attribute("hidden"), false);
      info.outline_level = outline_level(c.attribute("outlineLevel"));
      info.collapsed = xml_bool(c.attribute("collapsed"), false);
      if (info == memory::ColumnInfo{}) return;
      col_work += last - *lo + 1;
      if (col_work > 4LL * host::kMaxCols) fail_("工作表“" + sheet.name + "”的列设置过多");
      for (long long k = *lo; k <= last; ++k) sheet.columns[static_cast<int>(k)] = info;
    });

    // Merged ranges: inside the sheet and not overlapping.
    each_child(child(ws, "mergeCells"), "mergeCell", [&](pugi::xml_node m) {
      auto a = range(m.attribute("ref").value());
      if (!a) fail_("工作表“" + sheet.name + "”的合并区域“" + m.attribute("ref").value() + "”无效");
      if (a->is_single_cell()) return;
      if (sheet.merges.size() > 100000) fail_("工作表“" + sheet.name + "”的合并区域过多");
      sheet.merges.push_back(*a);
    });
    if (auto o = detail::first_overlap(sheet.merges))
      fail_("工作表“" + sheet.name + "”的合并区域 " + host::address(sheet.merges[o->first], false) + " 与 " +
            host::address(sheet.merges[o->second], false) + " 重叠");

    // Manual page breaks (a break with id n is below row n).
    each_child(child(ws, "rowBreaks"), "brk", [&](pugi::xml_node b) {
      auto id = to_int(b.attribute("id").value());
      if (!id || *id < 0 || *id >= host::kMaxRows) fail_("工作表“" + sheet.name + "”的分页符超出工作表范围");
      if (!xml_bool(b.attribute("man"), false) || *id == 0) return;
      sheet.row_breaks.push_back(static_cast<int>(*id) + 1);
    });
    std::sort(sheet.row_breaks.begin(), sheet.row_breaks.end());
    sheet.row_breaks.erase(std::unique(sheet.row_breaks.begin(), sheet.row_breaks.end()), sheet.row_breaks.end());

    read_hyperlinks(sheet, child(ws, "hyperlinks"), links);
    read_comments(sheet, links, attr(child(ws, "legacyDrawing"), "id").value());
  }

  // ---- What belongs to cells: hyperlinks and comments ----

  // <hyperlinks>: each link on the cells of its range. A range over more
  // cells than kMaxHyperlinkCells would make that many cells: it is named
  // as content the model cannot carry instead.
  void read_hyperlinks(SheetData& sheet, pugi::xml_node list, const std::vector<Rel>& sheet_rels) {
    std::map<std::string, const Rel*> by_id;
    for (const Rel& r : sheet_rels) by_id[r.id] = &r;
    std::size_t made = 0;
    each_child(list, "hyperlink", [&](pugi::xml_node h) {
      auto area = range(h.attribute("ref").value());
      if (!area) fail_("工作表“" + sheet.name + "”的超链接位置“" + h.attribute("ref").value() + "”无效");
      memory::Hyperlink link;
      if (auto id = attr(h, "id"); id) {
        auto it = by_id.find(id.value());
        if (it != by_id.end() && it->second->type == "hyperlink") link.address = it->second->target;
      }
      link.location = decode_text(h.attribute("location").value());
      link.tooltip = decode_text(h.attribute("tooltip").value());
      link.display = decode_text(h.attribute("display").value());
      if (link.address.empty() && link.location.empty()) return;  // leads nowhere
      std::size_t cells = static_cast<std::size_t>(area->row_count()) * static_cast<std::size_t>(area->col_count());
      if (cells > detail::kMaxHyperlinkCells - made) {
        unsupported("超链接", sheet.name);
        return;
      }
      made += cells;
      for (int r = area->top; r <= area->bottom; ++r)
        for (int c = area->left; c <= area->right; ++c) sheet.set_hyperlink(r, c, link);
    });
  }

  // The comments part with the boxes of the legacy drawing `drawing_id`
  // names. Shapes of that drawing that are not comment boxes (buttons,
  // controls) are not carried.
  void read_comments(SheetData& sheet, const std::vector<Rel>& sheet_rels, std::string_view drawing_id) {
    std::string part;
    std::map<std::pair<int, int>, NoteBox> boxes;
    for (const Rel& r : sheet_rels) {
      if (r.external) continue;
      if (r.type == "comments") part = r.target;
    }
    if (part.empty() || !pkg_.has(part)) return;
    for (const Rel& r : sheet_rels)
      if (!r.external && r.type == "vmlDrawing" && r.id == drawing_id) read_note_boxes(sheet, r.target, boxes);
    XmlDoc d = parse(part);
    pugi::xml_node root = d.doc.document_element();
    std::vector<std::string> authors;
    each_child(child(root, "authors"), "author", [&](pugi::xml_node a) { authors.push_back(decode_text(a.text().get())); });
    each_child(child(root, "commentList"), "comment", [&](pugi::xml_node c) {
      auto at = detail::parse_cell(c.attribute("ref").value());
      if (!at) fail_("工作表“" + sheet.name + "”的批注位置“" + c.attribute("ref").value() + "”无效");
      memory::Comment note;
      if (auto id = to_int(c.attribute("authorId").value()); id && *id >= 0 && static_cast<std::size_t>(*id) < authors.size())
        note.author = authors[static_cast<std::size_t>(*id)];
      RichText text = rich_text(child(c, "text"));
      if (text.runs.empty()) note.text.push_back({std::move(text.text), std::nullopt});
      else note.text = std::move(text.runs);
      if (auto box = boxes.find({at->row, at->col}); box != boxes.end()) {
        const NoteBox& b = box->second;
        if (b.width) note.width = *b.width;
        if (b.height) note.height = *b.height;
        note.visible = b.visible;
        note.anchor = b.anchor;
      }
      sheet.set_comment(at->row, at->col, std::move(note));
    });
  }

  struct NoteBox {
    std::optional<double> width, height;  // points
    bool visible = false;
    std::optional<std::array<int, 8>> anchor;  // relative to the cell
  };

  // A CSS length of a VML style in points ("108pt", "144px", "1.5in").
  static std::optional<double> css_points(std::string_view style, std::string_view property) {
    std::size_t i = 0;
    while (i < style.size()) {
      std::size_t j = style.find(';', i);
      if (j == std::string_view::npos) j = style.size();
      std::string_view item = style.substr(i, j - i);
      i = j + 1;
      auto colon = item.find(':');
      if (colon == std::string_view::npos) continue;
      auto trim = [](std::string_view x) {
        while (!x.empty() && std::isspace(static_cast<unsigned char>(x.front()))) x.remove_prefix(1);
        while (!x.empty() && std::isspace(static_cast<unsigned char>(x.back()))) x.remove_suffix(1);
        return x;
      };
      if (trim(item.substr(0, colon)) != property) continue;
      std::string_view v = trim(item.substr(colon + 1));
      static constexpr std::pair<std::string_view, double> kUnits[] = {
          {"pt", 1}, {"px", 0.75}, {"in", 72}, {"cm", 72 / 2.54}, {"mm", 72 / 25.4}};
      double scale = 0.75;  // a bare number is pixels
      for (auto [unit, k] : kUnits)
        if (v.size() > unit.size() && v.substr(v.size() - unit.size()) == unit) {
          v.remove_suffix(unit.size());
          scale = k;
          break;
        }
      auto x = to_double(v);
      if (x && *x > 0 && *x <= detail::kMaxNoteBoxPoints / scale) return *x * scale;
      return std::nullopt;
    }
    return std::nullopt;
  }

  void read_note_boxes(SheetData& sheet, const std::string& part, std::map<std::pair<int, int>, NoteBox>& boxes) {
    if (!pkg_.has(part)) return;
    // Legacy drawings are not always well-formed XML; a box that cannot be
    // read keeps the default size.
    auto data = pkg_.read(part);
    if (!data) return;
    pugi::xml_document doc;
    if (!doc.load_buffer(data->data(), data->size(), pugi::parse_default)) {
      unsupported("图形", sheet.name);
      return;
    }
    for (pugi::xml_node shape : doc.document_element().children()) {
      std::string_view kind = local(shape.name());
      if (kind == "shapelayout" || kind == "shapetype") continue;
      pugi::xml_node data_node = child(shape, "ClientData");
      if (kind != "shape" || !data_node || std::string_view(data_node.attribute("ObjectType").value()) != "Note") {
        unsupported("图形", sheet.name);
        continue;
      }
      auto row = to_int(child(data_node, "Row").text().get());
      auto col = to_int(child(data_node, "Column").text().get());
      if (!row || !col || *row < 0 || *col < 0 || *row >= host::kMaxRows || *col >= host::kMaxCols) continue;
      NoteBox box;
      std::string_view style = shape.attribute("style").value();
      box.width = css_points(style, "width");
      box.height = css_points(style, "height");
      box.visible = static_cast<bool>(child(data_node, "Visible")) ||
                    (style.find("visibility:visible") != std::string_view::npos);
      std::string_view anchor = child(data_node, "Anchor").text().get();
      std::array<int, 8> a{};
      std::size_t k = 0, i = 0;
      while (k < 8 && i < anchor.size()) {
        std::size_t j = anchor.find(',', i);
        if (j == std::string_view::npos) j = anchor.size();
        std::string_view item = anchor.substr(i, j - i);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\n' || item.back() == '\r')) item.remove_suffix(1);
        auto x = to_int(item);
        if (!x || *x < 0 || *x > std::max(host::kMaxRows, host::kMaxCols) * 2LL) break;
        a[k++] = static_cast<int>(*x);
        i = j + 1;
      }
      if (k == 8) {
        // Columns and rows as offsets from the cell's, so the box follows it.
        for (int n : {0, 4}) a[static_cast<std::size_t>(n)] -= static_cast<int>(*col);
        for (int n : {2, 6}) a[static_cast<std::size_t>(n)] -= static_cast<int>(*row);
        box.anchor = a;
      }
      boxes[{static_cast<int>(*row) + 1, static_cast<int>(*col) + 1}] = box;
    }
  }

  // ---- What belongs to ranges ----

  // Attributes of an element to carry, without namespace declarations,
  // attributes of other namespaces (the part we write declares neither) and
  // those named in `skip`, which the model holds itself.
  static memory::Attributes own_attributes(pugi::xml_node n, std::initializer_list<std::string_view> skip) {
    memory::Attributes out;
    for (auto a = n.first_attribute(); a; a = a.next_attribute()) {
      std::string_view name = a.name();
      if (name.find(':') != std::string_view::npos || name == "xmlns" ||
          std::find(skip.begin(), skip.end(), name) != skip.end())
        continue;
      out.emplace_back(name, a.value());
    }
    return out;
  }

  // Whether an element is of the sheet's own namespace, whatever prefix
  // the file gave that: extensions of other namespaces could not be
  // written back unbound.
  static bool own_namespace(pugi::xml_node n) {
    auto prefix = [](std::string_view name) {
      std::size_t colon = name.find(':');
      return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
    };
    pugi::xml_node top = n;
    while (top.parent() && top.parent().type() != pugi::node_document) top = top.parent();
    return prefix(n.name()) == prefix(top.name());
  }

  memory::Element element(pugi::xml_node n, int depth = 0) {
    memory::Element e;
    e.name = local(n.name());
    e.attributes = own_attributes(n, {});
    for (auto c = n.first_child(); c; c = c.next_sibling()) {
      if (c.type() == pugi::node_pcdata) e.text += c.value();
      else if (c.type() == pugi::node_element && own_namespace(c) && local(c.name()) != "extLst" &&
               depth < detail::kMaxElementDepth)
        e.children.push_back(element(c, depth + 1));
    }
    return e;
  }

  memory::DiffFormat diff_format(pugi::xml_node x, const std::map<long long, std::string>& numfmts) {
    memory::DiffFormat d;
    if (auto f = child(x, "font")) {
      auto set = [&](std::string_view name, std::optional<bool>& out) {
        if (auto n = child(f, name)) out = xml_bool(n.attribute("val"), true);
      };
      set("b", d.font.bold);
      set("i", d.font.italic);
      set("strike", d.font.strikethrough);
      if (auto u = child(f, "u")) {
        std::string_view v = u.attribute("val") ? u.attribute("val").value() : "single";
        d.font.underline = v == "single" ? host::Underline::Single
                           : v == "double" ? host::Underline::Double
                           : v == "singleAccounting" ? host::Underline::SingleAccounting
                           : v == "doubleAccounting" ? host::Underline::DoubleAccounting
                                                     : host::Underline::None;
      }
      if (auto c = child(f, "color")) d.font.color = color(c);
      if (auto n = child(f, "name")) d.font.name = n.attribute("val").value();
      if (auto n = child(f, "sz")) d.font.size = to_double(n.attribute("val").value());
    }
    if (auto n = child(x, "numFmt")) {
      if (n.attribute("formatCode")) {
        d.number_format = n.attribute("formatCode").value();
      } else if (auto id = to_int(n.attribute("numFmtId").value())) {
        if (auto it = numfmts.find(*id); it != numfmts.end()) d.number_format = it->second;
        else if (auto b = detail::builtin_format(static_cast<int>(*id))) d.number_format = std::string(*b);
      }
    }
    if (auto fill = child(x, "fill")) {
      d.has_fill = true;
      if (auto p = child(fill, "patternFill")) {
        if (p.attribute("patternType")) d.fill_pattern = p.attribute("patternType").value();
        if (auto c = child(p, "fgColor")) d.fill_fg = color(c);
        if (auto c = child(p, "bgColor")) d.fill_bg = color(c);
      }
    }
    if (auto b = child(x, "border")) {
      auto side = [&](std::string_view name, std::string_view alias, std::optional<memory::DiffLine>& out) {
        pugi::xml_node n = child(b, name) ? child(b, name) : child(b, alias);
        if (!n || !n.attribute("style")) return;
        memory::DiffLine line;
        line.style = n.attribute("style").value();
        if (auto c = child(n, "color")) line.color = color(c);
        out = line;
      };
      side("left", "start", d.left);
      side("right", "end", d.right);
      side("top", "top", d.top);
      side("bottom", "bottom", d.bottom);
    }
    return d;
  }

  std::optional<memory::DiffFormat> dxf(pugi::xml_attribute a, const SheetData& sheet) {
    if (!a) return std::nullopt;
    auto id = to_int(a.value());
    if (!id || *id < 0 || static_cast<std::size_t>(*id) >= dxfs_.size())
      fail_("工作表“" + sheet.name + "”的条件格式引用了不存在的格式（编号 " + a.value() + "）");
    return dxfs_[static_cast<std::size_t>(*id)];
  }

  memory::Areas areas(const SheetData& sheet, std::string_view sqref, std::string_view what) {
    memory::Areas out;
    std::size_t i = 0;
    while (i < sqref.size()) {
      std::size_t j = sqref.find(' ', i);
      if (j == std::string_view::npos) j = sqref.size();
      if (j > i) {
        auto a = range(sqref.substr(i, j - i));
        if (!a) fail_("工作表“" + sheet.name + "”的" + std::string(what) + "区域“" + std::string(sqref) + "”无效");
        out.push_back(*a);
      }
      i = j + 1;
    }
    return out;
  }

  void count_range_item(const SheetData& sheet) {
    if (++range_items_ > detail::kMaxRangeItems) fail_("工作表“" + sheet.name + "”的数据有效性和条件格式过多");
  }

  static std::string formula_text(pugi::xml_node n) {
    std::string text = decode_text(n.text().get());
    if (!text.empty() && text.front() == '=') text.erase(0, 1);
    return text;
  }

  void read_range_items(SheetData& sheet, pugi::xml_node ws) {
    memory::RangeItems& items = sheet.ranges;
    if (auto dvs = child(ws, "dataValidations")) {
      items.validations_attributes = own_attributes(dvs, {"count"});
      each_child(dvs, "dataValidation", [&](pugi::xml_node n) {
        count_range_item(sheet);
        memory::DataValidation v;
        v.areas = areas(sheet, n.attribute("sqref").value(), "数据有效性");
        v.attributes = own_attributes(n, {"sqref"});
        if (auto f = child(n, "formula1")) v.formula1 = formula_text(f);
        if (auto f = child(n, "formula2")) v.formula2 = formula_text(f);
        if (!v.areas.empty()) items.validations.push_back(std::move(v));
      });
    }
    each_child(ws, "conditionalFormatting", [&](pugi::xml_node n) {
      memory::ConditionalFormat cf;
      cf.areas = areas(sheet, n.attribute("sqref").value(), "条件格式");
      cf.pivot = xml_bool(n.attribute("pivot"), false);
      each_child(n, "cfRule", [&](pugi::xml_node r) {
        count_range_item(sheet);
        memory::ConditionalRule rule;
        rule.attributes = own_attributes(r, {"dxfId"});
        rule.format = dxf(r.attribute("dxfId"), sheet);
        for (auto c = r.first_child(); c; c = c.next_sibling()) {
          if (c.type() != pugi::node_element || !own_namespace(c)) continue;
          std::string_view name = local(c.name());
          if (name == "formula") rule.formulas.push_back(formula_text(c));
          else if (name == "colorScale" || name == "dataBar" || name == "iconSet") rule.scale = element(c);
        }
        cf.rules.push_back(std::move(rule));
      });
      if (!cf.areas.empty() && !cf.rules.empty()) items.conditional_formats.push_back(std::move(cf));
    });
    if (auto af = child(ws, "autoFilter")) {
      if (auto area = range(af.attribute("ref").value())) {
        memory::AutoFilter filter;
        filter.area = *area;
        each_child(af, "filterColumn", [&](pugi::xml_node n) {
          count_range_item(sheet);
          memory::FilterColumn c;
          auto id = to_int(n.attribute("colId").value());
          if (!id || *id < 0 || *id >= area->col_count())
            fail_("工作表“" + sheet.name + "”的自动筛选列（" + n.attribute("colId").value() + "）超出筛选区域");
          c.column = static_cast<int>(*id);
          c.attributes = own_attributes(n, {"colId"});
          for (auto k = n.first_child(); k; k = k.next_sibling()) {
            if (k.type() != pugi::node_element || !own_namespace(k) || local(k.name()) == "extLst")
              continue;
            c.criteria = element(k);
            if (c.criteria->name == "colorFilter") {
              c.color = dxf(k.attribute("dxfId"), sheet);
              std::erase_if(c.criteria->attributes, [](const auto& a) { return a.first == "dxfId"; });
            }
            break;
          }
          filter.columns.push_back(std::move(c));
        });
        items.autofilter = std::move(filter);
      }
    }
  }

  void read_name(pugi::xml_node n, const std::vector<SheetData*>& sheet_of_file_index) {
    memory::DefinedName name;
    name.name = n.attribute("name").value();
    name.formula = formula_text(n);
    name.attributes = own_attributes(n, {"name", "localSheetId"});
    if (name.name.empty()) return;
    if (++range_items_ > detail::kMaxRangeItems) fail_("工作簿中的名称过多");
    if (!n.attribute("localSheetId")) {
      book_.names.push_back(std::move(name));
      return;
    }
    auto id = to_int(n.attribute("localSheetId").value());
    if (!id || *id < 0 || *id >= static_cast<long long>(sheet_of_file_index.size()))
      fail_("名称“" + name.name + "”所属的工作表（编号 " + n.attribute("localSheetId").value() + "）不存在");
    SheetData* sheet = sheet_of_file_index[static_cast<std::size_t>(*id)];
    if (!sheet) return;  // a chart sheet's: the sheet is not carried either
    // The filter's own name is made again from the filter when writing.
    if (name.name == memory::kFilterDatabase && sheet->ranges.autofilter) return;
    sheet->ranges.names.push_back(std::move(name));
  }

  static memory::Attributes attributes(pugi::xml_node n) {
    memory::Attributes out;
    for (auto a = n.first_attribute(); a; a = a.next_attribute()) out.emplace_back(a.name(), a.value());
    return out;
  }

  // Element names as the writer spells them, whatever prefixes the file used.
  void read_core_properties(const std::string& part) {
    XmlDoc d = parse(part);
    static constexpr std::string_view kDc[] = {"title", "subject", "creator", "description", "identifier", "language"};
    for (auto n = d.doc.document_element().first_child(); n; n = n.next_sibling()) {
      if (n.type() != pugi::node_element) continue;
      std::string name(local(n.name()));
      if (name == "modified") continue;  // the save is the modification
      std::string prefix = name == "created" ? "dcterms:"
                           : std::find(std::begin(kDc), std::end(kDc), name) != std::end(kDc) ? "dc:" : "cp:";
      book_.settings.core_properties.emplace_back(prefix + name, n.text().get());
    }
  }

  void read_custom_properties(const std::string& part) {
    XmlDoc d = parse(part);
    each_child(d.doc.document_element(), "property", [&](pugi::xml_node p) {
      for (auto v = p.first_child(); v; v = v.next_sibling())
        if (v.type() == pugi::node_element) {
          book_.settings.custom_properties.push_back({p.attribute("name").value(), std::string(local(v.name())), v.text().get()});
          break;
        }
    });
  }

  static int outline_level(const char* v) {
    return static_cast<int>(std::clamp<long long>(to_int(v != nullptr ? v : "").value_or(0), 0, 7));
  }
  static int outline_level(pugi::xml_attribute a) { return outline_level(a.value()); }

  void read_view_settings(memory::ViewSettings& v, pugi::xml_node view) {
    if (auto z = to_int(view.attribute("zoomScale").value()); z && *z >= 10 && *z <= 400) v.zoom = static_cast<int>(*z);
    v.gridlines = xml_bool(view.attribute("showGridLines"), true);
    v.headings = xml_bool(view.attribute("showRowColHeaders"), true);
    v.right_to_left = xml_bool(view.attribute("rightToLeft"), false);
    if (auto pane = child(view, "pane")) {
      memory::Panes p;
      std::string_view state = pane.attribute("state").value();
      p.kind = state == "frozen" || state == "frozenSplit" ? memory::Panes::Kind::Frozen : memory::Panes::Kind::Split;
      p.x = std::clamp(to_double(pane.attribute("xSplit").value()).value_or(0), 0.0, 1e7);
      p.y = std::clamp(to_double(pane.attribute("ySplit").value()).value_or(0), 0.0, 1e7);
      if (p.kind == memory::Panes::Kind::Frozen) p.x = std::min(std::floor(p.x), double(host::kMaxCols - 1)),
                                                 p.y = std::min(std::floor(p.y), double(host::kMaxRows - 1));
      if (auto tl = detail::parse_cell(pane.attribute("topLeftCell").value())) p.top_left = *tl;
      std::string active = pane.attribute("activePane").value();
      if (active == "topLeft" || active == "topRight" || active == "bottomLeft" || active == "bottomRight")
        p.active = active;
      else
        p.active = "topLeft";
      if (p.x > 0 || p.y > 0) v.panes = p;
    }
  }

  // The sheet's tab colour, outline and page setup.
  void read_settings(SheetData& sheet, pugi::xml_node ws) {
    memory::SheetSettings& st = sheet.settings;
    memory::PageSetup& page = st.page;
    if (auto pr = child(ws, "sheetPr")) {
      if (auto tab = child(pr, "tabColor")) st.view.tab_color = color(tab);
      sheet.carried.code_name = pr.attribute("codeName").value();
      if (auto o = child(pr, "outlinePr")) {
        st.outline.summary_below = xml_bool(o.attribute("summaryBelow"), true);
        st.outline.summary_right = xml_bool(o.attribute("summaryRight"), true);
      }
      if (auto pp = child(pr, "pageSetUpPr")) page.fit_to_page = xml_bool(pp.attribute("fitToPage"), false);
    }
    if (auto p = child(ws, "sheetProtection")) st.protection = attributes(p);
    if (auto po = child(ws, "printOptions")) {
      page.center_horizontally = xml_bool(po.attribute("horizontalCentered"), false);
      page.center_vertically = xml_bool(po.attribute("verticalCentered"), false);
      page.print_gridlines = xml_bool(po.attribute("gridLines"), false);
      page.print_headings = xml_bool(po.attribute("headings"), false);
    }
    if (auto pm = child(ws, "pageMargins")) {
      auto margin = [&](const char* name, double& out) {
        if (auto v = to_double(pm.attribute(name).value()); v && *v >= 0 && *v < 49) out = *v;
      };
      margin("left", page.margin_left);
      margin("right", page.margin_right);
      margin("top", page.margin_top);
      margin("bottom", page.margin_bottom);
      margin("header", page.margin_header);
      margin("footer", page.margin_footer);
    }
    if (auto ps = child(ws, "pageSetup")) {
      auto number = [&](const char* name, long long lo, long long hi) -> std::optional<int> {
        auto v = to_int(ps.attribute(name).value());
        if (!v || *v < lo || *v > hi) return std::nullopt;
        return static_cast<int>(*v);
      };
      page.landscape = std::string_view(ps.attribute("orientation").value()) == "landscape";
      page.paper_size = number("paperSize", 1, 255).value_or(0);
      page.scale = number("scale", 10, 400).value_or(100);
      page.fit_width = number("fitToWidth", 0, 32767).value_or(1);
      page.fit_height = number("fitToHeight", 0, 32767).value_or(1);
      if (xml_bool(ps.attribute("useFirstPageNumber"), false)) page.first_page_number = number("firstPageNumber", -32768, 32767);
      page.black_and_white = xml_bool(ps.attribute("blackAndWhite"), false);
      page.draft = xml_bool(ps.attribute("draft"), false);
      page.over_then_down = std::string_view(ps.attribute("pageOrder").value()) == "overThenDown";
    }
    if (auto hf = child(ws, "headerFooter")) {
      memory::HeaderFooter& h = page.header_footer;
      h.different_odd_even = xml_bool(hf.attribute("differentOddEven"), false);
      h.different_first = xml_bool(hf.attribute("differentFirst"), false);
      h.scale_with_doc = xml_bool(hf.attribute("scaleWithDoc"), true);
      h.align_with_margins = xml_bool(hf.attribute("alignWithMargins"), true);
      for (const auto& [element, text] : memory::kHeaderFooterTexts)
        if (auto n = child(hf, element)) h.*text = decode_text(n.text().get());
    }
  }

  // What a <c> element held, gathered as it streamed. The strings keep
  // their room from cell to cell.
  struct CellXml {
    const char* style = nullptr;  // points into style_text when given
    std::string style_text, type;
    bool has_v = false, has_f = false, has_is = false;
    std::string v, f, f_type, f_si;
    RichText is;
    void clear() {
      style = nullptr;
      type.clear();
      has_v = has_f = has_is = false;
      v.clear();
      f.clear();
    }
  };

  // State of the cells of one sheet across cells.
  struct CellsSoFar {
    std::unordered_map<std::string, SharedMaster> masters;
    bool array_seen = false;
    std::vector<std::string> notes;  // what cannot be carried, in the order met
    void note(const std::string& what) {
      if (std::find(notes.begin(), notes.end(), what) == notes.end()) notes.push_back(what);
    }
  };

  // The cells of a sheet as the part streams: each row and cell goes into
  // the sheet as it ends. Every other element of the worksheet is kept as
  // a DOM (see XmlStream) and read from it afterwards, so reading a new
  // part of a sheet is a child() lookup there like the others.
  class SheetCells : public detail::XmlStreamHandler {
   public:
    SheetCells(Reader& r, SheetData& sheet) : r_(r), sheet_(sheet) {}
    // What the cells hold that cannot be carried, in the order met.
    const std::vector<std::string>& notes() const { return so_far_.notes; }

    Take start(int depth, std::string_view name, const detail::XmlAttrs& a) override {
      std::string_view n = local_name(name);
      switch (depth) {
        case 0:
          if (n != "worksheet") r_.fail_("工作表“" + sheet_.name + "”的部件不是工作表");
          return Take::Keep;
        case 1:
          top_streamed_ = n == "sheetData";
          data_ = top_streamed_ && !data_seen_;  // only the first one counts
          data_seen_ |= top_streamed_;
          // The default height comes before the cells in the file.
          if (data_ && kept_so_far_ != nullptr && child(kept_so_far_->document_element(), "sheetFormatPr")) {
            default_height_ = file_default_height(kept_so_far_->document_element());
            default_known_ = true;
          }
          return top_streamed_ ? Take::Stream : Take::Keep;
        case 2:
          row_ = data_ && n == "row";
          if (row_) start_row(a);
          break;
        case 3:
          cell_ = row_ && n == "c";
          if (cell_) start_cell(a);
          break;
        case 4:
          taking_ = Part::None;
          if (!cell_) break;
          if (n == "v" && !cell_xml_.has_v) {
            taking_ = Part::V;
          } else if (n == "f" && !cell_xml_.has_f) {
            taking_ = Part::F;
            cell_xml_.f_type = a["t"];
            cell_xml_.f_si = a["si"];
          } else if (n == "is" && !cell_xml_.has_is) {
            return Take::Keep;
          }
          break;
        default:
          break;
      }
      return top_streamed_ ? Take::Stream : Take::Keep;
    }

    void end(int depth, std::string_view, std::string_view text) override {
      if (depth == 4 && taking_ == Part::V) {
        cell_xml_.v.assign(text);
        cell_xml_.has_v = true;
      } else if (depth == 4 && taking_ == Part::F) {
        cell_xml_.f.assign(text);
        cell_xml_.has_f = true;
      } else if (depth == 3 && cell_) {
        r_.read_cell(sheet_, cell_xml_, row_no_, col_no_, so_far_);
        cell_ = false;
      }
      if (depth == 4) taking_ = Part::None;
    }

    void kept(int depth, pugi::xml_node node) override {
      if (depth != 4 || !cell_ || cell_xml_.has_is) return;
      cell_xml_.is = r_.rich_text(node);
      cell_xml_.has_is = true;
    }

    // The stream whose kept elements come before the cells.
    void watch(const detail::XmlStream& xml) { kept_so_far_ = &xml; }

    // Heights given without customHeight before the default height was
    // known were kept as the row's own; those equal to the default height
    // that came after the cells were only that default written out.
    void settle_heights(std::optional<double> default_height) {
      if (!default_height || default_known_) return;
      for (auto [r, h] : loose_heights_) {
        auto it = sheet_.rows.find(r);
        if (it == sheet_.rows.end() || h != *default_height) continue;
        it->second.height.reset();
        if (it->second == memory::RowInfo{}) sheet_.rows.erase(it);
      }
    }

   private:
    enum class Part { None, V, F };

    void start_row(const detail::XmlAttrs& a) {
      const std::string& name = sheet_.name;
      if (const char* ref = a.find("r")) {
        auto v = to_int(ref);
        if (!v || *v < 1) r_.fail_("工作表“" + name + "”的行号无效（" + ref + "）");
        if (*v > host::kMaxRows)
          r_.fail_("工作表“" + name + "”的行数超过上限（" + std::to_string(host::kMaxRows) + " 行）");
        row_no_ = static_cast<int>(*v);
      } else {
        if (++row_no_ > host::kMaxRows)
          r_.fail_("工作表“" + name + "”的行数超过上限（" + std::to_string(host::kMaxRows) + " 行）");
      }
      // A height of its own, or one the application fitted to the content;
      // the default height written out is no height of its own.
      memory::RowInfo info;
      if (auto h = to_double(a["ht"]); h && *h >= 0 && *h <= 409) {
        bool custom = xml_bool(a.find("customHeight"), false);
        if (custom || !default_height_ || *h != *default_height_) info.height = std::round(*h * 1000) / 1000;
        if (!custom && !default_known_) loose_heights_.emplace_back(row_no_, *h);
      }
      if (xml_bool(a.find("customFormat"), false)) {
        FormatId f = r_.style(a.find("s"));
        if (f != 0) info.format = f;
      }
      info.hidden = xml_bool(a.find("hidden"), false);
      info.outline_level = outline_level(a.find("outlineLevel"));
      info.collapsed = xml_bool(a.find("collapsed"), false);
      if (!(info == memory::RowInfo{})) sheet_.rows[row_no_] = info;
      col_no_ = 0;
    }

    void start_cell(const detail::XmlAttrs& a) {
      if (const char* ref = a.find("r")) {
        auto cell = detail::parse_cell(ref);
        if (!cell) r_.fail_("工作表“" + sheet_.name + "”的单元格引用“" + ref + "”超出工作表范围或无效");
        if (cell->row != row_no_) r_.fail_("工作表“" + sheet_.name + "”的单元格 " + ref + " 不在它所在的行");
        col_no_ = cell->col;
      } else if (++col_no_ > host::kMaxCols) {
        r_.fail_("工作表“" + sheet_.name + "”的列数超过上限");
      }
      cell_xml_.clear();
      if (const char* s = a.find("s")) {
        cell_xml_.style_text = s;
        cell_xml_.style = cell_xml_.style_text.c_str();
      }
      cell_xml_.type = a["t"];
    }

    Reader& r_;
    SheetData& sheet_;
    bool top_streamed_ = false, data_ = false, data_seen_ = false, row_ = false, cell_ = false;
    Part taking_ = Part::None;
    int row_no_ = 0, col_no_ = 0;
    CellXml cell_xml_;
    CellsSoFar so_far_;
    const detail::XmlStream* kept_so_far_ = nullptr;
    std::optional<double> default_height_;
    bool default_known_ = false;
    std::vector<std::pair<int, double>> loose_heights_;  // row, height as written
  };

  // The file's default row height, as written.
  static std::optional<double> file_default_height(pugi::xml_node ws) {
    if (auto fp = child(ws, "sheetFormatPr")) return to_double(fp.attribute("defaultRowHeight").value());
    return std::nullopt;
  }

  void read_cell(SheetData& sheet, const CellXml& c, int row, int col, CellsSoFar& so_far) {
    Cell cell;
    cell.format = style(c.style);
    std::string_view t = c.type;
    const char* vtext = c.has_v ? c.v.c_str() : nullptr;

    if (c.has_f) {
      std::string_view ft = c.f_type;
      std::string text = decode_text(c.f);
      if (ft == "shared") {
        const std::string& si = c.f_si;
        if (!text.empty()) {
          so_far.masters[si] = {row, col, text};
        } else {
          auto it = so_far.masters.find(si);
          if (it == so_far.masters.end()) fail_(where(sheet, row, col) + " 的共享公式缺少主公式");
          text = detail::shift_formula(it->second.formula, row - it->second.row, col - it->second.col);
        }
      } else if (ft == "array" && !so_far.array_seen) {
        so_far.array_seen = true;
        so_far.note("数组公式");
      } else if (ft == "dataTable") {
        so_far.note("模拟运算表");
      }
      if (!text.empty() && text.front() == '=') text.erase(0, 1);
      cell.set_formula(std::move(text));
    }
    if (t == "s") {
      if (vtext == nullptr) fail_(where(sheet, row, col) + " 缺少共享字符串编号");
      auto idx = to_int(vtext);
      if (!idx || *idx < 0 || static_cast<std::size_t>(*idx) >= strings_.size())
        fail_(where(sheet, row, col) + " 引用了不存在的共享字符串（编号 " + vtext + "）");
      // The cells share the table's text rather than each holding a copy.
      const SharedString& ss = strings_[static_cast<std::size_t>(*idx)];
      cell.value = ss.text;
      cell.set_runs(ss.runs);
    } else if (t == "inlineStr") {
      if (c.has_is) {
        cell.value = host::Value::text(c.is.text);
        cell.set_runs(c.is.runs);
      } else if (vtext != nullptr) {
        cell.value = host::Value::text(decode_text(vtext));
      }
    } else if (t == "str") {
      std::string s = vtext != nullptr ? decode_text(vtext) : "";
      // A formula's error or logical result that a writer stored as text.
      if (auto e = host::parse_error(s); e && !cell.formula().empty()) cell.value = host::Value::error(*e);
      else if (!cell.formula().empty() && (s == "TRUE" || s == "FALSE")) cell.value = host::Value::boolean(s == "TRUE");
      else if (vtext != nullptr) cell.value = host::Value::text(std::move(s));
    } else if (t == "b") {
      if (vtext != nullptr) {
        std::string_view s = vtext;
        if (s != "0" && s != "1" && s != "true" && s != "false")
          fail_(where(sheet, row, col) + " 的逻辑值无效（" + std::string(s) + "）");
        cell.value = host::Value::boolean(s == "1" || s == "true");
      }
    } else if (t == "e") {
      if (vtext != nullptr) cell.value = host::Value::error(host::parse_error(vtext).value_or(host::ErrorCode::NA));
    } else if (t == "d") {
      if (vtext != nullptr) {
        auto serial = iso_date(vtext);
        if (!serial) fail_(where(sheet, row, col) + " 的日期无效（" + vtext + "）");
        cell.value = host::Value::number(*serial);
      }
    } else if (t.empty() || t == "n") {
      if (vtext != nullptr && *vtext != '\0') {
        auto num = to_double(vtext);
        if (!num) fail_(where(sheet, row, col) + " 的数值无效（" + vtext + "）");
        cell.value = host::Value::number(*num);
      }
    } else {
      fail_(where(sheet, row, col) + " 的类型未知（" + std::string(t) + "）");
    }

    if (cell.value.is_text() && detail::utf8_length(cell.value.as_text()) > static_cast<std::size_t>(host::kMaxCellTextLength))
      fail_(where(sheet, row, col) + " 的文本超过 " + std::to_string(host::kMaxCellTextLength) + " 个字符");

    if (!cell.formula().empty()) {
      // A formula that is only an error literal is how a constant error is
      // written; it is the constant.
      if (auto e = host::parse_error(cell.formula())) {
        cell.set_formula({});
        cell.value = host::Value::error(*e);
      } else if (vtext == nullptr || (*vtext == '\0' && t != "str")) {
        book_.needs_full_recalc = true;
      }
    }
    if (cell.blank_default()) return;
    sheet.put(row, col, std::move(cell));
  }

  // "2024-03-01" or "2024-03-01T08:30:00" to a serial date number.
  static std::optional<double> iso_date(std::string_view s) {
    int y, mo, d, h = 0, mi = 0;
    double sec = 0;
    if (s.size() < 10 || s[4] != '-' || s[7] != '-') return std::nullopt;
    auto num = [&](std::size_t pos, std::size_t len, int& out) {
      auto [p, ec] = std::from_chars(s.data() + pos, s.data() + pos + len, out);
      return ec == std::errc() && p == s.data() + pos + len;
    };
    if (!num(0, 4, y) || !num(5, 2, mo) || !num(8, 2, d)) return std::nullopt;
    if (s.size() >= 16 && s[10] == 'T') {
      if (!num(11, 2, h) || !num(14, 2, mi)) return std::nullopt;
      if (s.size() >= 19) sec = to_double(s.substr(17, 2)).value_or(0);
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31) return std::nullopt;
    // Days from 1899-12-30 (the application's day 0 for dates after
    // February 1900).
    auto days = [](int yy, int mm, int dd) {
      yy -= mm <= 2;
      long era = (yy >= 0 ? yy : yy - 399) / 400;
      long yoe = yy - era * 400;
      long doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
      long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
      return era * 146097 + doe - 719468;  // days since 1970-01-01
    };
    double serial = static_cast<double>(days(y, mo, d) - days(1899, 12, 30));
    return serial + (h * 3600 + mi * 60 + sec) / 86400.0;
  }

  std::string name_;
  Failure fail_;
  Package pkg_;
  std::string_view bytes_;
  std::unique_ptr<detail::CarriedReader> carried_;
  WorkbookData book_;
  std::string styles_part_, sst_part_, theme_part_;
  detail::ThemePalette theme_{};
  std::vector<std::uint32_t> palette_;
  std::vector<Font> fonts_;
  std::vector<FormatId> xf_ids_;
  std::vector<memory::DiffFormat> dxfs_;  // the styles part's differential formats
  std::size_t range_items_ = 0;
  struct SharedString {
    host::Value text;
    std::vector<TextRun> runs;
  };
  std::vector<SharedString> strings_;
};

}  // namespace

namespace detail {

std::string read_file_bytes(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw FileError("无法读取“" + path + "”：这是一个文件夹，不是文件");
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw FileError("无法打开文件“" + path + "”：文件不存在或无权读取");
  auto size = in.tellg();
  if (size < 0) throw FileError("无法读取文件“" + path + "”");
  if (static_cast<std::size_t>(size) > kMaxFileBytes)
    throw FileError("无法读取文件“" + path + "”：文件过大（超过 " + std::to_string(kMaxFileBytes >> 20) + " MB）");
  std::string data(static_cast<std::size_t>(size), '\0');
  in.seekg(0);
  in.read(data.data(), size);
  if (!in) throw FileError("无法读取文件“" + path + "”：读取失败");
  return data;
}

}  // namespace detail

WorkbookData read_xlsx_bytes(std::string_view bytes, const std::string& name_for_messages) {
  try {
    return Reader(bytes, name_for_messages).read();
  } catch (const std::bad_alloc&) {
    throw FileError("无法读取文件“" + name_for_messages + "”：内容过大，内存不足");
  }
}

WorkbookData read_xlsx(const std::string& path) {
  std::string bytes = detail::read_file_bytes(path);
  WorkbookData book = read_xlsx_bytes(bytes, path);
  book.path = path;
  return book;
}

}  // namespace lczs::io
