// The two halves of the check (io/package_check.h): pieces of parts parsed
// as the writer makes them, and the written file read back.
#include "io/package_check.h"

#include <expat.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <unordered_map>

#include "host/host.h"
#include "io/internal.h"

namespace lczs::io::detail {

namespace {

// expat copies what it is given into its own buffer: fed a piece at a
// time, a large part is not held twice.
constexpr std::size_t kParseChunk = 1 << 18;
// Pieces unpacked at a time on reading back.
constexpr std::size_t kReadChunk = 1 << 18;

bool is_xml_part(std::string_view name) {
  auto ends = [&](std::string_view tail) {
    if (name.size() < tail.size()) return false;
    std::string_view end = name.substr(name.size() - tail.size());
    return std::equal(end.begin(), end.end(), tail.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  };
  return ends(".xml") || ends(".rels") || ends(".vml");
}

// Whether `text` starts an element.
bool has_element(std::string_view text) {
  for (std::size_t at = text.find('<'); at != std::string_view::npos && at + 1 < text.size(); at = text.find('<', at + 1))
    if (text[at + 1] != '?' && text[at + 1] != '!' && text[at + 1] != '/') return true;
  return false;
}

// expat says "no element found" also when the root element never ends:
// the caller tells that apart.
std::string expat_text(XML_Error e) {
  switch (e) {
    case XML_ERROR_NO_MEMORY: return "内存不足";
    case XML_ERROR_NO_ELEMENTS: return "内容为空";
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
    case XML_ERROR_PARTIAL_CHAR: return "内容在中途截断";
    case XML_ERROR_TAG_MISMATCH: return "元素没有正确结束（可能在中途截断）";
    case XML_ERROR_INVALID_TOKEN:
    case XML_ERROR_BAD_CHAR_REF: return "含有 XML 不允许的字符";
    default: return "XML 格式错误（代码 " + std::to_string(static_cast<int>(e)) + "）";
  }
}

[[noreturn]] void fail(const std::string& shown, const std::string& what) {
  throw host::SaveError("无法保存文件“" + shown + "”：写出的文件校验失败：" + what + "。原文件没有改动。");
}

}  // namespace

void check_piece(const std::string& shown, const std::string& name, std::string_view piece, std::uint64_t offset,
                 const OpenElements& before, const OpenElements& after) {
  if (!is_xml_part(name)) return;
  // Nothing after a piece that ended the part: the end of a part handed on
  // just as its last element ended.
  if (piece.empty() && offset > 0 && before.empty() && after.empty()) return;
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> xml(XML_ParserCreate(nullptr), XML_ParserFree);
  if (!xml) throw std::bad_alloc();
  std::string open, close;
  for (std::string_view e : before) open.append("<").append(e).append(">");
  for (auto e = after.rbegin(); e != after.rend(); ++e) close.append("</").append(*e).append(">");
  auto parse = [&](std::string_view text, bool end) {
    if (XML_Parse(xml.get(), text.data(), static_cast<int>(text.size()), end) != XML_STATUS_ERROR) return;
    XML_Error e = XML_GetErrorCode(xml.get());
    long long at = XML_GetCurrentByteIndex(xml.get()) - static_cast<long long>(open.size());
    at = std::clamp<long long>(at, 0, static_cast<long long>(piece.size()));
    bool started = !before.empty() || has_element(piece);
    fail(shown, "部件 " + name + " 第 " + std::to_string(offset + static_cast<std::uint64_t>(at) + 1) + " 个字节处：" +
                    (e == XML_ERROR_NO_ELEMENTS && started ? "元素没有正确结束（可能在中途截断）" : expat_text(e)));
  };
  parse(open, false);
  for (std::size_t at = 0; at < piece.size(); at += kParseChunk) parse(piece.substr(at, kParseChunk), false);
  parse(close, true);
}

namespace {

class ReadBack {
 public:
  ReadBack(const std::string& file, const std::string& shown) : shown_(shown) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && static_cast<std::size_t>(st.st_size) > kMaxFileBytes)
      fail(shown_, "文件超过 " + std::to_string(kMaxFileBytes >> 20) + " MB，本程序以后将无法读取它");
    int err = 0;
    za_ = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (za_ == nullptr) fail(shown_, "压缩包无法打开（" + zip_error_text(err, errno) + "）");
  }
  ~ReadBack() {
    if (za_ != nullptr) zip_discard(za_);
  }
  ReadBack(const ReadBack&) = delete;
  ReadBack& operator=(const ReadBack&) = delete;

  void run(const std::vector<PartDigest>& parts) {
    std::unordered_map<std::string_view, const PartDigest*> made;
    for (const PartDigest& d : parts) made.emplace(d.name, &d);
    zip_int64_t n = zip_get_num_entries(za_, 0);
    if (n <= 0) fail(shown_, "压缩包是空的");
    if (static_cast<std::size_t>(n) > kMaxParts) fail(shown_, "部件过多，本程序以后将无法读取它");
    if (static_cast<std::size_t>(n) != made.size()) fail(shown_, "压缩包的目录与写出的部件不符");
    bool has_types = false, has_workbook = false;
    std::vector<char> buf(kReadChunk);
    std::size_t total = 0;
    for (zip_int64_t i = 0; i < n; ++i) {
      zip_stat_t st;
      zip_stat_init(&st);
      if (zip_stat_index(za_, static_cast<zip_uint64_t>(i), 0, &st) != 0 || (st.valid & ZIP_STAT_NAME) == 0)
        fail(shown_, "压缩包的目录已损坏");
      std::string name = st.name;
      auto it = made.find(name);
      if (it == made.end()) fail(shown_, "压缩包的目录与写出的部件不符");
      const PartDigest& d = *it->second;
      has_types |= name == "[Content_Types].xml";
      has_workbook |= name == "xl/workbook.xml";
      // The reader's limits: what lczs writes, lczs reads.
      if (st.size > kMaxPartBytes ||
          (st.size > kRatioCheckFloor && st.size / std::max<zip_uint64_t>(st.comp_size, 1) > kMaxCompressionRatio))
        fail(shown_, "部件 " + name + " 过大，本程序以后将无法读取它");
      total += static_cast<std::size_t>(st.size);
      if (total > kMaxTotalBytes) fail(shown_, "内容过大，本程序以后将无法读取它");
      if (st.size != d.size || (st.valid & ZIP_STAT_CRC) == 0 || st.crc != d.crc)
        fail(shown_, "部件 " + name + " 与写出的内容不符");
      unpack(static_cast<zip_uint64_t>(i), d, buf);
    }
    if (!has_types || !has_workbook) fail(shown_, "缺少必需的部件");
  }

 private:
  // To its end: libzip checks the CRC once the last byte is read.
  void unpack(zip_uint64_t index, const PartDigest& d, std::vector<char>& buf) {
    zip_file_t* zf = zip_fopen_index(za_, index, 0);
    if (zf == nullptr)
      fail(shown_, "部件 " + d.name + " 无法解压（" +
                       zip_error_text(zip_error_code_zip(zip_get_error(za_)), zip_error_code_system(zip_get_error(za_))) +
                       "）");
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zf, zip_fclose);
    zip_uint64_t got = 0;
    std::string tail;
    for (;;) {
      zip_int64_t r = zip_fread(zf, buf.data(), buf.size());
      if (r < 0) {
        zip_error_t* e = zip_file_get_error(zf);
        fail(shown_, "部件 " + d.name + " 已损坏（" + zip_error_text(zip_error_code_zip(e), zip_error_code_system(e)) + "）");
      }
      if (r == 0) break;
      got += static_cast<zip_uint64_t>(r);
      std::string_view piece(buf.data(), static_cast<std::size_t>(r));
      tail.append(piece.substr(piece.size() - std::min(piece.size(), kDigestTail)));
      if (tail.size() > kDigestTail) tail.erase(0, tail.size() - kDigestTail);
    }
    if (got != d.size || tail != d.tail) fail(shown_, "部件 " + d.name + " 的长度或结尾与写出的内容不符");
  }

  std::string shown_;
  zip_t* za_ = nullptr;
};

}  // namespace

void verify_package(const std::string& file, const std::string& shown_path, const std::vector<PartDigest>& parts) {
  ReadBack(file, shown_path).run(parts);
}

}  // namespace lczs::io::detail
