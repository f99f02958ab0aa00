// One writer at a time, and what other programs' lock files say.
//
// The lock is flock on a hidden file beside the one saved: the kernel drops
// it when its holder dies, however it dies, so a lock file left behind is
// simply taken and staleness is never guessed. The file holds the holder's
// process number and start time, for the message of a run it refuses. The
// holder removes the file while it still holds the lock; a process that
// opened the old file meanwhile notices, on getting the lock, that its file
// is no longer the one at the path and starts again.
//
// A run removes only what it created: the lock file is recorded for the
// signal handler only once the lock is held, and the three stopping signals
// wait while the file is opened and locked, so a run told to stop at that
// moment either holds the lock (and removes its file) or leaves the file to
// the run that holds it.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "io/internal.h"
#include "io/io.h"
#include "io/test_points.h"

namespace lczs::io {

namespace fs = std::filesystem;

namespace detail {

std::string temporary_prefix(const std::string& target) {
  fs::path p(target);
  std::string name = p.filename().string();
  std::string dir = p.parent_path().empty() ? "." : p.parent_path().string();
  long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  std::size_t name_max = limit > 0 ? static_cast<std::size_t>(limit) : kDefaultNameMax;
  std::string prefix = "." + name + kTemporaryMark;
  if (prefix.size() + kTemporarySuffix <= name_max) return (p.parent_path() / prefix).string();
  // A name near the limit: its start, cut at a character, and a checksum of
  // the whole name keep the prefix one target's own.
  char sum[16];
  std::snprintf(sum, sizeof sum, "~%08lx", crc32(0L, reinterpret_cast<const Bytef*>(name.data()),
                                                  static_cast<uInt>(name.size())));
  std::string tail = std::string(sum) + kTemporaryMark;
  std::size_t room = name_max - kTemporarySuffix - 1 - tail.size();
  std::size_t cut = std::min(room, name.size());
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return (p.parent_path() / ("." + name.substr(0, cut) + tail)).string();
}

}  // namespace detail

namespace {

// Temporary files of the same target that a killed run left behind. Only
// called while holding the target's lock, so none of them is being written.
std::vector<std::string> remove_stale_temporaries(const std::string& target) {
  fs::path prefix_path(detail::temporary_prefix(target));
  std::string dir = prefix_path.parent_path().string();
  std::string prefix = prefix_path.filename().string();
  std::vector<std::string> removed;
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + detail::kTemporarySuffix || name.compare(0, prefix.size(), prefix) != 0)
      continue;
    std::string suffix = name.substr(prefix.size());
    bool generated = std::all_of(suffix.begin(), suffix.end(), [](unsigned char c) { return std::isalnum(c); });
    std::error_code type_ec;
    if (generated && it->is_regular_file(type_ec) && ::unlink(it->path().c_str()) == 0)
      removed.push_back(it->path().string());
  }
  return removed;
}

// The stopping signals wait while it lives.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t stopping;
    sigemptyset(&stopping);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopping, sig);
    ::pthread_sigmask(SIG_BLOCK, &stopping, &old_);
  }
  ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_;
};

// "（进程号 1234，09:12:03 开始）" from what the holder wrote, "" when it
// wrote nothing yet.
std::string holder_text(int fd) {
  char buf[64] = {};
  ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  long long pid = 0, started = 0;
  if (n <= 0 || std::sscanf(buf, "%lld %lld", &pid, &started) < 1 || pid <= 0) return "";
  std::string text = "（进程号 " + std::to_string(pid);
  std::time_t t = static_cast<std::time_t>(started);
  std::tm local {};
  char when[32];
  if (started > 0 && ::localtime_r(&t, &local) != nullptr && std::strftime(when, sizeof when, "%H:%M:%S", &local) > 0)
    text += std::string("，") + when + " 开始";
  return text + "）";
}

}  // namespace

FileLock::FileLock(const std::string& path) {
  target_ = real_save_path(path);
  lock_path_ = detail::temporary_prefix(target_) + "lock";
  for (;;) {
    SignalsHeld held_signals;
    int fd = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    // Another user's lock file: a lock needs no write access.
    if (fd < 0 && errno == EACCES) fd = ::open(lock_path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
      throw FileError("无法保存到“" + path + "”：不能在它的文件夹中建立锁定文件（" + detail::errno_text(errno) +
                      "）。请换一个可以写入的文件夹（例如用 -o 另存）。");
    test_points::reach(test_points::kLockOpened);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int err = errno;
      test_points::reach(test_points::kLockRefused);
      // Another run holds it; its file is its own, not ours to remove.
      std::string holder = err == EWOULDBLOCK ? holder_text(fd) : "";
      ::close(fd);
      if (err == EWOULDBLOCK)
        throw FileError("工作簿“" + path + "”正在被另一个 lczs 使用" + holder + "，请等它结束后再试。");
      throw FileError("无法锁定“" + path + "”（" + detail::errno_text(err) +
                      "，所在的文件系统可能不支持锁定），为免两次运行互相覆盖，没有开始。");
    }
    struct stat held {}, now {};
    if (::fstat(fd, &held) == 0 && ::lstat(lock_path_.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
        held.st_ino == now.st_ino) {
      fd_ = fd;
      record_ = std::make_unique<TemporaryFileRecord>(lock_path_);
      break;
    }
    ::close(fd);  // removed by the run that held it: try the new one
  }
  // Only for the message of a run this one refuses.
  char who[64];
  int n = std::snprintf(who, sizeof who, "%lld %lld\n", static_cast<long long>(::getpid()),
                        static_cast<long long>(std::time(nullptr)));
  if (::ftruncate(fd_, 0) == 0) (void)!::pwrite(fd_, who, static_cast<std::size_t>(n), 0);
  test_points::reach(test_points::kLockHeld);
  removed_ = remove_stale_temporaries(target_);
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  // A signal between the removal and the end of the record would remove
  // the lock file of a run that took the lock meanwhile.
  SignalsHeld held_signals;
  ::unlink(lock_path_.c_str());
  record_.reset();
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
