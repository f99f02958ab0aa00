// Choosing the reader for a file, and the rules that keep a save from
// destroying what a user had: a save is written beside its target, checked
// write by write, read back, and only then renamed into place.
#include <acl/libacl.h>
#include <attr/libattr.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "io/internal.h"
#include "io/io.h"
#include "io/test_points.h"

namespace lczs::io {

namespace fs = std::filesystem;
using memory::WorkbookData;

namespace {

std::string lower_extension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

// What we write: .xlsx, or .xlsm for a workbook with its macro project.
bool is_xlsx_path(const std::string& path) {
  std::string ext = lower_extension(path);
  return ext == ".xlsx" || ext == ".xlsm";
}

// The same file, whether or not it exists yet.
bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return fs::weakly_canonical(fs::absolute(a), ec) == fs::weakly_canonical(fs::absolute(b), ec);
}

std::string head(const std::string& path, std::size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::string buf(n, '\0');
  in.read(buf.data(), static_cast<std::streamsize>(n));
  buf.resize(static_cast<std::size_t>(in.gcount()));
  return buf;
}

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw host::SaveError("无法保存文件“" + path + "”：" + what);
}

// The temporary file of one save: created beside the target (a rename
// cannot cross file systems), recorded for the signal handler before it
// exists, and removed unless it was renamed into place.
class TemporaryFile {
 public:
  TemporaryFile(const std::string& target, const std::string& shown) {
    std::string prefix = detail::temporary_prefix(target);
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = prefix;
      for (std::size_t i = 0; i < detail::kTemporarySuffix; ++i) name += kAlphabet[rd() % (sizeof kAlphabet - 1)];
      record_ = std::make_unique<TemporaryFileRecord>(name);
      fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd_ >= 0) {
        path_ = name;
        return;
      }
      record_.reset();
      if (errno != EEXIST) fail(shown, "无法在文件夹中创建临时文件（" + detail::errno_text(errno) + "）");
    }
    fail(shown, "无法在文件夹中创建临时文件");
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes the file, reporting what a delayed write failure says.
  int close() {
    int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }
  // Renamed into place: nothing left to remove.
  void placed() { path_.clear(); }

 private:
  std::string path_;
  int fd_ = -1;
  std::unique_ptr<TemporaryFileRecord> record_;
};

void write_all(int fd, std::string_view bytes, const std::string& shown) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(shown, "写入失败（" + detail::errno_text(n < 0 ? errno : ENOSPC) + "）");
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Extended attributes a save carries over: what the library's table
// (/etc/xattr.conf) says to copy, less the trusted and security namespaces
// that only root may set (a label the system gives the new file itself).
int copied_attribute(const char* name, struct error_context* ctx) {
  if (::geteuid() != 0 && (std::strncmp(name, "trusted.", 8) == 0 || std::strncmp(name, "security.", 9) == 0))
    return 0;
  return attr_copy_check_permissions(name, ctx);
}

// The new file is the user's file: same owner, group, permissions, access
// control list and extended attributes as the one it replaces (a root run
// must not take a user's file; a colleague granted access by an ACL on a
// school share keeps it), or the usual permissions of a new file.
void take_over_ownership(int fd, const struct stat* old, const std::string& old_path, const std::string& tmp_path,
                         const std::string& shown) {
  if (old != nullptr) {
    // Only root may give a file away; others keep what they may.
    if (::fchown(fd, old->st_uid, old->st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old->st_gid);
    ::fchmod(fd, old->st_mode & 07777);
    if (::perm_copy_file(old_path.c_str(), tmp_path.c_str(), nullptr) != 0)
      fail(shown, "无法保留原文件的访问控制列表（" + detail::errno_text(errno) + "）");
    if (::attr_copy_file(old_path.c_str(), tmp_path.c_str(), copied_attribute, nullptr) != 0)
      fail(shown, "无法保留原文件的扩展属性（" + detail::errno_text(errno) + "）");
    return;
  }
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
}

// Renames without replacing: renameat2 where the file system has it, a hard
// link otherwise; both fail with EEXIST when the target appeared.
int rename_no_replace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

// "成绩（栎川助手结果）.xlsx", then "成绩（栎川助手结果 2）.xlsx" ..., the
// name cut at a character where the folder's limit needs it.
std::string kept_name(const fs::path& target, int n) {
  std::string stem = target.stem().string(), ext = target.extension().string();
  std::string mark = n == 1 ? "（栎川助手结果）" : "（栎川助手结果 " + std::to_string(n) + "）";
  std::size_t room = detail::kDefaultNameMax - mark.size() - ext.size();
  if (stem.size() > room) {
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
    stem.resize(cut);
  }
  return (target.parent_path() / (stem + mark + ext)).string();
}

void sync_folder(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string real_save_path(const std::string& path) {
  fs::path p(path);
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(p, ec)) break;
    fs::path to = fs::read_symlink(p, ec);
    if (ec) break;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  return p.string();
}

void refuse_read_only(const std::string& path) {
  std::string real = real_save_path(path);
  struct stat st {};
  if (::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  bool read_only = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
                   (::faccessat(AT_FDCWD, real.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT);
  if (read_only) fail(path, "文件是只读的，不能覆盖它");
}

namespace {

// The folder a save to `real` writes its temporary file in.
std::string folder_of(const std::string& real) {
  fs::path target(real);
  return target.parent_path().empty() ? "." : target.parent_path().string();
}

void check_folder_exists(const std::string& dir, const std::string& shown) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) fail(shown, "文件夹不存在");
}

void save_xlsx(const WorkbookData& book, const std::string& path, Replace replace, const FileState* unchanged) {
  if (path.empty()) fail(path, "没有给出文件名");
  std::string real = real_save_path(path);
  fs::path target(real);
  std::string dir = folder_of(real);
  check_folder_exists(dir, path);
  struct stat old {};
  bool had = ::stat(real.c_str(), &old) == 0;
  if (had && S_ISDIR(old.st_mode)) fail(path, "同名的文件夹已存在");
  if (had && !S_ISREG(old.st_mode)) fail(path, "它不是普通文件（是管道或设备），不能保存到那里");
  if (had) refuse_read_only(real);
  if (book.sheets.size() > static_cast<std::size_t>(detail::kMaxSheets))
    fail(path, "工作簿有 " + std::to_string(book.sheets.size()) + " 个工作表，超过本程序能打开的 " +
                   std::to_string(detail::kMaxSheets) + " 个，保存后将无法再打开它。请删去一些工作表后再试。");
  detail::MadePackage made = detail::make_package(book, path);
  TemporaryFile tmp(real, path);
  take_over_ownership(tmp.fd(), had ? &old : nullptr, real, tmp.path(), path);
  write_all(tmp.fd(), made.bytes, path);
  std::string().swap(made.bytes);
  // Durable before it replaces anything; a delayed write error (NFS, a
  // full disk found late) shows here or at close.
  if (::fsync(tmp.fd()) != 0 || tmp.close() != 0) fail(path, "写入失败（" + detail::errno_text(errno) + "）");
  detail::verify_package(tmp.path(), path, made.parts);
  test_points::reach(test_points::kSaveWritten);
  // Another program saved the file while this run worked on what it read:
  // replacing it would lose that work, and keeping nothing would lose this.
  // (A change between this check and the rename is not seen; the window is
  // the time of one stat and one read.)
  if (unchanged != nullptr && file_state(real) != *unchanged) {
    for (int n = 1; n <= 100; ++n) {
      std::string kept = kept_name(target, n);
      if (rename_no_replace(tmp.path(), kept) == 0) {
        tmp.placed();
        sync_folder(dir);
        throw ChangedError("工作簿“" + path + "”在本次运行期间被其他程序改动过，为免丢失那些改动，没有保存到它；"
                           "本次的结果保存在“" + kept + "”。", kept);
      }
      if (errno != EEXIST) break;
    }
    fail(path, "它在本次运行期间被其他程序改动过，为免丢失那些改动，没有保存到它，也无法在它旁边另存");
  }
  int rc = replace == Replace::Never ? rename_no_replace(tmp.path(), real) : ::rename(tmp.path().c_str(), real.c_str());
  if (rc != 0) {
    if (errno == EEXIST)
      fail(path, "同名的文件在保存期间出现了，为免覆盖它，没有保存。请先将它改名或移走后再试。");
    fail(path, "无法替换原文件（" + detail::errno_text(errno) + "）");
  }
  tmp.placed();
  sync_folder(dir);
}

}  // namespace

void check_save_folder(const std::string& path) {
  std::string dir = folder_of(real_save_path(path));
  check_folder_exists(dir, path);
  // What creating the temporary file there would meet, in its words.
  if (::access(dir.c_str(), W_OK | X_OK) != 0)
    fail(path, "无法在文件夹中创建临时文件（" + detail::errno_text(errno) + "）");
}

FileState file_state(const std::string& path) {
  FileState state;
  // Never blocks on a pipe: only a regular file has a state to compare.
  int fd = ::open(real_save_path(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno != ENOENT) state.size = -2;
    return state;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    state.size = -2;
    return state;
  }
  state.size = static_cast<long long>(st.st_size);
  state.modified_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  std::vector<unsigned char> buf(1 << 20);
  uLong crc = crc32(0L, Z_NULL, 0);
  for (;;) {
    ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) state.size = -2;
    if (n <= 0) break;
    crc = crc32_z(crc, buf.data(), static_cast<z_size_t>(n));
  }
  ::close(fd);
  state.crc = crc;
  return state;
}

void write_xlsx(const WorkbookData& book, const std::string& path, Replace replace, const FileState* unchanged) {
  try {
    save_xlsx(book, path, replace, unchanged);
  } catch (const std::bad_alloc&) {
    fail(path, "内存不足");
  }
}

WorkbookData read_workbook(const std::string& path) {
  // A pipe or a device would block the read or never end: refused before
  // it is opened.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
    throw FileError("无法读取“" + path + "”：它不是普通文件（是管道或设备）。");
  std::string ext = lower_extension(path);
  std::string magic = head(path, 8);
  bool ole = magic.size() >= 8 && magic.substr(0, 8) == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  // A password-protected .xlsx is a compound file too, holding the package
  // in a stream named "EncryptedPackage" (its name is UTF-16 in the
  // compound file's directory).
  static const std::string kEncrypted("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
  if (ole && detail::read_file_bytes(path).find(kEncrypted) != std::string::npos)
    throw FileError("无法读取文件“" + path + "”：文件已加密，请先取消密码再运行。");
  if (std::string foreign = detail::foreign_file_text(path); !foreign.empty()) throw FileError(foreign);
  if (ext == ".xls" || ole)
    throw FileError("无法读取文件“" + path + "”：本程序不能读取 .xls 格式（Excel 97-2003）的工作簿，"
                    "请在电子表格程序中将它另存为 .xlsx 格式后再试。");
  // A package is read as one whatever its name: no text begins so.
  if (ext == ".xlsx" || ext == ".xlsm" || magic.rfind("PK\x03\x04", 0) == 0) return read_xlsx(path);
  return read_csv(path);
}

std::string save_target(const std::string& source_path) {
  if (is_xlsx_path(source_path)) return source_path;
  fs::path p(source_path);
  p.replace_extension(".xlsx");
  return p.string();
}

void check_saveable(const WorkbookData& book, const std::string& source_path, const std::string& target,
                    const std::string& how_to_keep) {
  if (source_path.empty()) return;
  bool own_file = same_file(source_path, target);
  if (!book.unsupported.empty() && own_file)
    throw host::SaveError("不能保存到原文件“" + target + "”：" + warning_text(book) +
                          "保存会丢失这些内容。" + how_to_keep);
  if (std::string lost = left_out_text(book, target); !lost.empty() && own_file)
    throw host::SaveError("不能保存到原文件“" + target + "”：" + lost + how_to_keep);
  if (!is_xlsx_path(source_path)) {
    if (own_file)
      throw host::SaveError("不能覆盖原文件“" + target + "”：它不是 .xlsx 格式，工作簿只能另存为 .xlsx 文件。");
    std::error_code ec;
    if (same_file(save_target(source_path), target) && fs::exists(target, ec))
      throw host::SaveError("不能保存为“" + target + "”：同名的 .xlsx 文件已经存在，为免覆盖它，请先将其改名或移走。");
  }
}

bool XlsxStore::exists(const std::string& path) const {
  std::error_code ec;
  return fs::exists(path, ec);
}

void XlsxStore::save(const WorkbookData& book, const std::string& path) {
  // A workbook that came from another format is saved as .xlsx beside it.
  std::string target = is_xlsx_path(path) ? path : save_target(path);
  bool ours = std::any_of(written_.begin(), written_.end(), [&](const std::string& w) { return same_file(w, target); });
  if (!ours) check_saveable(book, book.path, target);
  // The .xlsx beside a .csv was checked to be absent; one that appears
  // meanwhile is not ours to replace.
  bool beside = !ours && !book.path.empty() && !is_xlsx_path(book.path) && same_file(save_target(book.path), target);
  write_xlsx(book, target, beside ? Replace::Never : Replace::Allowed);
  if (!ours) written_.push_back(target);
}

namespace {

// "图表（工作表“成绩”）、批注（工作表“成绩”）" grouped by kind.
std::string listing(const std::vector<memory::Unsupported>& items) {
  std::vector<std::string> kinds;
  std::map<std::string, std::vector<std::string>> places;
  for (const auto& u : items) {
    if (!places.count(u.what)) kinds.push_back(u.what);
    auto& p = places[u.what];
    if (!u.where.empty() && std::find(p.begin(), p.end(), u.where) == p.end()) p.push_back(u.where);
  }
  std::string text;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (i > 0) text += "、";
    text += kinds[i];
    const auto& p = places[kinds[i]];
    if (!p.empty()) {
      text += "（";
      for (std::size_t j = 0; j < p.size() && j < 5; ++j) {
        if (j > 0) text += "，";
        text += p[j];
      }
      if (p.size() > 5) text += " 等";
      text += "）";
    }
  }
  return text;
}

}  // namespace

std::string warning_text(const WorkbookData& book) {
  if (book.unsupported.empty()) return "";
  return "文件中含有本程序无法保留的内容：" + listing(book.unsupported) + "。";
}

std::string left_out_text(const WorkbookData& book, const std::string& target) {
  std::vector<memory::Unsupported> out = book.lost;
  bool macros = book.carried.has_macros() && lower_extension(target) != ".xlsm";
  if (macros) out.push_back({"宏", "工作簿"});
  if (out.empty()) return "";
  std::string why = book.lost.empty() ? "" : "本程序只能原样保留它们，不能随排序、插入、删除或复制移动";
  if (macros) why += std::string(why.empty() ? "" : "；") + "宏只能保存在 .xlsm 文件中";
  return "“" + fs::path(target).filename().string() + "”中将没有原文件的这些内容：" + listing(out) + "（" + why + "）。";
}

}  // namespace lczs::io
