// Writing .xlsx: the model's parts made by the part writers (io/parts.h)
// and packed by PackageWriter, then written beside the target and renamed
// over it. Each sheet's XML is made only while it is compressed, so a
// large workbook is not held twice in memory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "io/internal.h"
#include "io/io.h"
#include "io/package_writer.h"
#include "io/parts.h"

namespace lczs::io {

using memory::SheetData;
using memory::WorkbookData;

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw host::SaveError("无法保存文件“" + path + "”：" + what);
}

void check_sheet_names(const WorkbookData& book, const std::string& path) {
  std::vector<std::string> seen;
  for (const auto& s : book.sheets) {
    const std::string& n = s->name;
    if (n.empty() || detail::utf8_length(n) > static_cast<std::size_t>(host::kMaxSheetNameLength) ||
        n.find_first_of(":\\/?*[]") != std::string::npos || n.front() == '\'' || n.back() == '\'' ||
        !detail::valid_utf8(n))
      fail(path, "工作表名称“" + n + "”无效");
    std::string key;
    for (char c : n) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) fail(path, "工作表名称“" + n + "”重复");
    seen.push_back(key);
  }
}

// The active sheet as the file can have it: a visible one.
int visible_active(const WorkbookData& book, const std::string& path) {
  int active = book.active_sheet;
  if (active >= 0 && active < static_cast<int>(book.sheets.size()) && !book.sheets[active]->hidden) return active;
  for (std::size_t i = 0; i < book.sheets.size(); ++i)
    if (!book.sheets[i]->hidden) return static_cast<int>(i);
  fail(path, "工作簿中没有可见的工作表");
}

// The whole .xlsx package of `book`.
std::string package_bytes(const WorkbookData& book, const std::string& path) {
  if (book.sheets.empty()) fail(path, "工作簿中没有工作表");
  check_sheet_names(book, path);
  int active = visible_active(book, path);

  detail::PackageParts parts;
  for (std::size_t i = 0; i < book.sheets.size(); ++i)
    parts.sheet_parts.push_back("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml");
  // Whether there are shared strings is known only once the sheets are
  // written; the table is always written, empty if need be.
  parts.shared_strings = true;

  detail::StyleTable styles(book.formats, path);
  detail::StringTable strings;
  detail::PackageWriter pkg(path);
  pkg.add("[Content_Types].xml", detail::content_types_part(parts));
  pkg.add("_rels/.rels", detail::root_rels_part());
  pkg.add("docProps/app.xml", detail::app_properties_part(book));
  pkg.add("docProps/core.xml", detail::core_properties_part());
  pkg.add("xl/workbook.xml", detail::workbook_part(book, active));
  pkg.add("xl/_rels/workbook.xml.rels", detail::workbook_rels_part(parts));
  pkg.add("xl/theme/theme1.xml", detail::theme_part());
  // Parts are made in the order they were added: the sheets fill the style
  // and string tables that the last two parts write out.
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    const SheetData& sheet = *book.sheets[i];
    bool selected = static_cast<int>(i) == active || (sheet.view.tab_selected && !sheet.hidden);
    pkg.add_lazy(parts.sheet_parts[i], [&sheet, selected, &styles, &strings, &path] {
      return detail::sheet_part(sheet, selected, styles, strings, path);
    });
  }
  pkg.add_lazy("xl/styles.xml", [&styles] { return styles.part(); });
  pkg.add_lazy("xl/sharedStrings.xml", [&strings] { return strings.part(); });
  return pkg.finish();
}

// Writes all of `bytes` to `fd`, then makes it durable.
void write_all(int fd, const std::string& bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(path, "写入失败（" + std::string(std::strerror(n < 0 ? errno : EIO)) + "）");
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) fail(path, "写入失败（" + std::string(std::strerror(errno)) + "）");
}

}  // namespace

void write_xlsx(const WorkbookData& book, const std::string& path) {
  namespace fs = std::filesystem;
  fs::path target(path);
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) fail(path, "文件夹不存在");
  if (fs::is_directory(target, ec)) fail(path, "同名的文件夹已存在");

  // Made before the temporary file exists: a workbook that cannot be
  // written leaves nothing behind.
  std::string bytes = package_bytes(book, path);

  // The temporary file sits beside the target so that the rename cannot
  // cross file systems.
  std::string tmpl = (dir / ("." + target.filename().string() + ".lczs-XXXXXX")).string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) fail(path, "无法在文件夹中创建临时文件（" + std::string(std::strerror(errno)) + "）");
  // The new file gets the old one's permissions, or the usual ones for a
  // new file (mkstemp makes it private).
  struct stat st {};
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  std::string tmp(name.data());
  try {
    if (fchmod(fd, mode) != 0) fail(path, "无法设置临时文件的权限（" + std::string(std::strerror(errno)) + "）");
    write_all(fd, bytes, path);
    int rc = ::close(fd);
    fd = -1;
    if (rc != 0) fail(path, "写入失败（" + std::string(std::strerror(errno)) + "）");
    fs::rename(tmp, target, ec);
    if (ec) fail(path, "无法替换原文件（" + ec.message() + "）");
  } catch (const std::exception&) {
    if (fd >= 0) ::close(fd);
    fs::remove(tmp, ec);
    throw;
  }
}

}  // namespace lczs::io
