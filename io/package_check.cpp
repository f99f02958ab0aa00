// Reading a finished package back before it replaces anything. A writer
// whose writes went wrong can still produce a zip whose directory and CRCs
// agree with parts that were cut short, so every XML part is also parsed to
// its end. expat parses as the part streams out of libzip: nothing is held
// but one buffer, and the check costs a fraction of the write. expat is
// stricter than the reader (control characters, undeclared entities), so
// a file that passes opens in the spreadsheet application too.
#include <expat.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "io/internal.h"
#include "io/io.h"

namespace lczs::io::detail {

namespace {

constexpr std::size_t kChunk = 1 << 18;

bool is_xml_part(std::string_view name) {
  auto ends = [&](std::string_view tail) {
    if (name.size() < tail.size()) return false;
    std::string_view end = name.substr(name.size() - tail.size());
    return std::equal(end.begin(), end.end(), tail.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  };
  return ends(".xml") || ends(".rels") || ends(".vml");
}

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

class Check {
 public:
  Check(const std::string& file, const std::string& shown) : shown_(shown) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && static_cast<std::size_t>(st.st_size) > kMaxFileBytes)
      fail("文件超过 " + std::to_string(kMaxFileBytes >> 20) + " MB，本程序以后将无法读取它");
    int err = 0;
    za_ = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (za_ == nullptr) fail("压缩包无法打开（" + zip_error_text(err, errno) + "）");
  }
  ~Check() {
    if (za_ != nullptr) zip_discard(za_);
  }
  Check(const Check&) = delete;
  Check& operator=(const Check&) = delete;

  void run() {
    zip_int64_t n = zip_get_num_entries(za_, 0);
    if (n <= 0) fail("压缩包是空的");
    if (static_cast<std::size_t>(n) > kMaxParts) fail("部件过多，本程序以后将无法读取它");
    bool has_types = false, has_workbook = false;
    std::vector<char> buf(kChunk);
    std::size_t total = 0;
    for (zip_int64_t i = 0; i < n; ++i) {
      zip_stat_t st;
      zip_stat_init(&st);
      if (zip_stat_index(za_, static_cast<zip_uint64_t>(i), 0, &st) != 0 || (st.valid & ZIP_STAT_NAME) == 0)
        fail("压缩包的目录已损坏");
      std::string name = st.name;
      has_types |= name == "[Content_Types].xml";
      has_workbook |= name == "xl/workbook.xml";
      // The reader's limits: what lczs writes, lczs reads.
      if (st.size > kMaxPartBytes ||
          (st.size > kRatioCheckFloor && st.size / std::max<zip_uint64_t>(st.comp_size, 1) > kMaxCompressionRatio))
        fail("部件 " + name + " 过大，本程序以后将无法读取它");
      total += static_cast<std::size_t>(st.size);
      if (total > kMaxTotalBytes) fail("内容过大，本程序以后将无法读取它");
      part(static_cast<zip_uint64_t>(i), name, st.size, buf);
    }
    if (!has_types || !has_workbook) fail("缺少必需的部件");
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw host::SaveError("无法保存文件“" + shown_ + "”：写出的文件校验失败：" + what + "。原文件没有改动。");
  }

  void part(zip_uint64_t index, const std::string& name, zip_uint64_t size, std::vector<char>& buf) {
    zip_file_t* zf = zip_fopen_index(za_, index, 0);
    if (zf == nullptr) fail("部件 " + name + " 无法解压（" + zip_error_text(zip_error_code_zip(zip_get_error(za_)), zip_error_code_system(zip_get_error(za_))) + "）");
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zf, zip_fclose);
    std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> xml(nullptr, XML_ParserFree);
    if (is_xml_part(name)) {
      xml.reset(XML_ParserCreate(nullptr));
      if (!xml) throw std::bad_alloc();
    }
    zip_uint64_t got = 0;
    for (;;) {
      // Straight into expat's own buffer: the part is not copied twice.
      void* into = xml ? XML_GetBuffer(xml.get(), static_cast<int>(kChunk)) : buf.data();
      if (into == nullptr) throw std::bad_alloc();
      zip_int64_t r = zip_fread(zf, into, kChunk);
      if (r < 0) {
        zip_error_t* e = zip_file_get_error(zf);
        fail("部件 " + name + " 已损坏（" + zip_error_text(zip_error_code_zip(e), zip_error_code_system(e)) + "）");
      }
      got += static_cast<zip_uint64_t>(r);
      if (xml && XML_ParseBuffer(xml.get(), static_cast<int>(r), r == 0) == XML_STATUS_ERROR)
        fail("部件 " + name + " 第 " + std::to_string(XML_GetCurrentLineNumber(xml.get())) + " 行：" +
             expat_text(XML_GetErrorCode(xml.get())));
      if (r == 0) break;
    }
    if (got != size) fail("部件 " + name + " 的长度与目录不符");
  }

  std::string shown_;
  zip_t* za_ = nullptr;
};

}  // namespace

void verify_package(const std::string& file, const std::string& shown_path) {
  Check check(file, shown_path);
  check.run();
}

}  // namespace lczs::io::detail
