// One writer at a time, and what other programs' lock files say.
//
// The lock is flock on a hidden file beside the one saved: the kernel drops
// it when its holder dies, however it dies, so a lock file left behind is
// simply taken. The holder removes the file while it still holds the lock;
// a process that opened the old file meanwhile notices, on getting the
// lock, that its file is no longer the one at the path and starts again.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "io/internal.h"
#include "io/io.h"

namespace lczs::io {

namespace fs = std::filesystem;

namespace detail {

std::string temporary_prefix(const std::string& target) {
  fs::path p(target);
  return (p.parent_path() / ("." + p.filename().string() + ".lczs-")).string();
}

}  // namespace detail

namespace {

// Temporary files of the same target that a killed run left behind. Only
// called while holding the target's lock, so none of them is being written.
void remove_stale_temporaries(const std::string& target) {
  fs::path prefix_path(detail::temporary_prefix(target));
  std::string dir = prefix_path.parent_path().string();
  std::string prefix = prefix_path.filename().string();
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + detail::kTemporarySuffix || name.compare(0, prefix.size(), prefix) != 0)
      continue;
    std::string suffix = name.substr(prefix.size());
    bool generated = std::all_of(suffix.begin(), suffix.end(), [](unsigned char c) { return std::isalnum(c); });
    std::error_code type_ec;
    if (generated && it->is_regular_file(type_ec)) ::unlink(it->path().c_str());
  }
}

}  // namespace

FileLock::FileLock(const std::string& path) {
  std::string target = real_save_path(path);
  lock_path_ = detail::temporary_prefix(target) + "lock";
  for (;;) {
    // The record comes first: a signal between creating and recording must
    // not leave the file.
    record_ = std::make_unique<TemporaryFileRecord>(lock_path_);
    int fd = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      record_.reset();
      return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int err = errno;
      ::close(fd);
      // Another run holds it; its file is its own, not ours to remove.
      record_.reset();
      if (err == EWOULDBLOCK)
        throw FileError("工作簿“" + path + "”正在被另一个 lczs 使用，请等它结束后再试。");
      return;  // a file system without flock: as without a lock file
    }
    struct stat held {}, now {};
    if (::fstat(fd, &held) == 0 && ::stat(lock_path_.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
        held.st_ino == now.st_ino) {
      fd_ = fd;
      break;
    }
    ::close(fd);  // removed by the run that held it: try the new one
  }
  remove_stale_temporaries(target);
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  ::unlink(lock_path_.c_str());
  ::close(fd_);
}

std::string office_lock_warning(const std::string& path) {
  fs::path p(path);
  fs::path dir = p.parent_path();
  std::string name = p.filename().string();
  // The spreadsheet application writes "~$" + the name, replacing the first
  // two characters when the name is long; other suites write their own.
  std::vector<std::string> candidates = {"~$" + name, ".~lock." + name + "#", ".~" + name};
  if (detail::utf8_length(name) > 2) candidates.push_back("~$" + name.substr(detail::utf8_offset(name, 2)));
  for (const auto& c : candidates) {
    std::error_code ec;
    if (fs::exists(dir / c, ec))
      return "提示：工作簿“" + path + "”旁有锁定文件“" + c + "”，它可能正在电子表格程序中打开；"
             "请先在那里关闭它，否则那边保存时会覆盖本次的结果。";
  }
  return "";
}

}  // namespace lczs::io
