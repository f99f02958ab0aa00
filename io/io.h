// Workbook files for the in-memory model: reading .xlsx and .csv into a
// WorkbookData, writing .xlsx from one, and the rules that keep a save from
// destroying what a user had.
//
// Reading never half-succeeds: a file that cannot be read in full throws
// FileError (a Chinese message naming the file and what is wrong) and
// returns nothing. Parts the model does not read but carries as they were
// (images, charts, printer settings, a macro project, ...) are kept in
// WorkbookData::carried and the sheets' carried objects. Parts it can
// neither read nor carry (pivot tables, array formulas, ...) do not stop
// reading; they are listed in WorkbookData::unsupported, and such a workbook
// is never saved over its own file.
//
// Writing is atomic and verified: the file is written beside the target
// under a temporary name, read back, and only then renamed over it, so a
// failed save leaves the old file whole and nothing else behind.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "model/memory_host.h"
#include "model/model.h"

namespace lczs::io {

// A file that cannot be read: not a workbook, damaged, too large, or a
// format this program does not read.
class FileError : public host::HostError {
 public:
  using HostError::HostError;
};

// By content (an .ods, a picture or a web page is refused saying what it
// is; a zip package is read as .xlsx), then by extension (.xlsx, .xlsm,
// .csv, .txt).
memory::WorkbookData read_workbook(const std::string& path);
memory::WorkbookData read_xlsx(const std::string& path);
// The same from bytes in memory; `name_for_messages` stands for the file in
// messages.
memory::WorkbookData read_xlsx_bytes(std::string_view bytes, const std::string& name_for_messages);
memory::WorkbookData read_csv(const std::string& path);
memory::WorkbookData read_csv_bytes(std::string_view bytes, const std::string& path);

// Temporary files being written, so that a signal can remove them. Each
// slot is filled before its file is created and cleared after it is gone or
// renamed into place.
class TemporaryFileRecord {
 public:
  explicit TemporaryFileRecord(const std::string& path);
  ~TemporaryFileRecord();
  TemporaryFileRecord(const TemporaryFileRecord&) = delete;
  TemporaryFileRecord& operator=(const TemporaryFileRecord&) = delete;

 private:
  int slot_;
};
// Removes every recorded file. Async-signal-safe: for a signal handler.
void remove_recorded_files() noexcept;

// Whether a save may replace a file already at its target.
enum class Replace { Allowed, Never };

// What a file held when it was read, to tell before replacing it whether
// another program has changed it since: size, modification time and a
// checksum (CRC-32) of its bytes. Two states are the same file only when
// all three agree.
struct FileState {
  long long size = -1;  // -1: no file there; -2: it could not be read
  long long modified_ns = 0;
  unsigned long crc = 0;
  bool operator==(const FileState&) const = default;
};
// The file at `path` (links followed) as it is now; reads it whole.
FileState file_state(const std::string& path);

// A save that found its target changed by another program since it was
// read: nothing replaced it, and the new content is kept beside it.
class ChangedError : public host::SaveError {
 public:
  ChangedError(const std::string& message, std::string kept_as)
      : SaveError(message), kept_as_(std::move(kept_as)) {}
  // The file the new content went to.
  const std::string& kept_as() const { return kept_as_; }

 private:
  std::string kept_as_;
};

// Writes `book` as .xlsx to `path` atomically. A symbolic link is followed:
// its target gets the new content and the link stays. The file keeps the
// owner, group, permissions, ACL and extended attributes of the one it
// replaces. With Replace::Never a file that appears at `path` before the
// rename is never replaced. With `unchanged`, the file at `path` is
// replaced only while it is still in that state (checked just before the
// rename); otherwise the new content goes beside it as
// "NAME（栎川助手结果）.xlsx" (then "… 2", "… 3"), and ChangedError names both.
// Throws host::SaveError with the cause in Chinese ("磁盘空间不足", "内存不足").
void write_xlsx(const memory::WorkbookData& book, const std::string& path,
                Replace replace = Replace::Allowed, const FileState* unchanged = nullptr);

// The file a save to `path` writes: `path` with symbolic links followed.
std::string real_save_path(const std::string& path);

// Throws host::SaveError when the file a save to `path` would replace is
// read-only: it has no write permission at all (the application's
// read-only attribute; root too is refused), or none for this user. The
// application never saves over such a file, even where the folder would
// let a rename replace it, and neither does write_xlsx.
void refuse_read_only(const std::string& path);

// One writer at a time for a file: an operating-system lock (flock) on a
// hidden lock file beside it, held while the object lives and removed with
// it. The file names the holder (process number and start time) for the
// message of a run refused. The kernel frees a dead run's lock, so a lock
// file left behind is simply taken. Taking the lock also removes the
// temporary files an interrupted save of the same file left behind; a run
// that is refused removes nothing.
class FileLock {
 public:
  // Throws FileError when another run holds the lock (naming it), and when
  // no lock can be had (a folder that cannot be written, a file system
  // without locks): a run never goes on unlocked.
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // The file locked: `path` with symbolic links followed.
  const std::string& target() const { return target_; }
  // Temporary files left by an interrupted save, removed on taking it.
  const std::vector<std::string>& removed() const { return removed_; }

 private:
  std::string target_;
  std::string lock_path_;
  int fd_ = -1;
  std::unique_ptr<TemporaryFileRecord> record_;
  std::vector<std::string> removed_;
};

// A warning line when the spreadsheet application's owner file (~$NAME) or
// another office suite's lock file lies beside `path`: the workbook may be
// open there. "" when there is none.
std::string office_lock_warning(const std::string& path);

// The file that Save writes for a workbook read from `source_path`: the
// file itself for .xlsx and .xlsm, "<stem>.xlsx" beside it otherwise.
std::string save_target(const std::string& source_path);

// Throws host::SaveError (Chinese) when saving `book`, read from
// `source_path`, to `target` must be refused: the workbook holds content the
// model could not carry and `target` is its own file, or it came from a
// non-.xlsx file and `target` is that file or an .xlsx that already exists.
// The command calls it right after opening, before anything runs. The
// message ends with `how_to_keep`: how the user keeps the work instead.
inline constexpr const char* kSaveAnotherFile = "请另存为其他文件名。";
void check_saveable(const memory::WorkbookData& book, const std::string& source_path,
                    const std::string& target, const std::string& how_to_keep = kSaveAnotherFile);

// Throws host::SaveError, in the words a save there would fail with, when
// nothing can be saved in the folder of `path`: it is missing, not a
// folder, or not writable. The command calls it before anything runs, so
// that a run is not refused only after all its work.
void check_save_folder(const std::string& path);

// The store the `lczs` command saves through: check_saveable, then an
// atomic write_xlsx. `book.path` is the file the workbook was read from.
class XlsxStore : public memory::WorkbookStore {
 public:
  bool exists(const std::string& path) const override;
  void save(const memory::WorkbookData& book, const std::string& path) override;

 private:
  // Files this store wrote: saving a .csv workbook again replaces its own
  // .xlsx, which is not "an .xlsx already there".
  std::vector<std::string> written_;
};

// A Chinese warning naming the parts of the file the model could not carry,
// "" when there are none.
std::string warning_text(const memory::WorkbookData& book);

// What a save of `book` to `target` leaves out of what the file held: the
// carried content a step took out (WorkbookData::lost), and a macro project
// under a name other than .xlsm. "" when nothing; check_saveable refuses
// such a save over the workbook's own file.
std::string left_out_text(const memory::WorkbookData& book, const std::string& target);

}  // namespace lczs::io
