// Workbook files for the in-memory model: reading .xlsx and .csv into a
// WorkbookData, writing .xlsx from one, and the rules that keep a save from
// destroying what a user had.
//
// Reading never half-succeeds: a file that cannot be read in full throws
// FileError (a Chinese message naming the file and what is wrong) and
// returns nothing. Parts of a workbook that the model cannot carry (charts,
// comments, ...) do not stop reading; they are listed in
// WorkbookData::unsupported, and such a workbook is never saved over its
// own file.
//
// Writing is atomic: the file is written beside the target under a
// temporary name and renamed over it, so a failed save leaves the old file
// whole.
#pragma once

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

// By extension (.xlsx, .xlsm, .csv, .txt) and, failing that, by content.
memory::WorkbookData read_workbook(const std::string& path);
memory::WorkbookData read_xlsx(const std::string& path);
// The same from bytes in memory; `name_for_messages` stands for the file in
// messages.
memory::WorkbookData read_xlsx_bytes(std::string_view bytes, const std::string& name_for_messages);
memory::WorkbookData read_csv(const std::string& path);
memory::WorkbookData read_csv_bytes(std::string_view bytes, const std::string& path);

// Writes `book` as .xlsx to `path` atomically. Throws host::SaveError.
void write_xlsx(const memory::WorkbookData& book, const std::string& path);

// The .xlsx file that Save writes for a workbook read from `source_path`:
// the file itself for .xlsx, "<stem>.xlsx" beside it otherwise.
std::string save_target(const std::string& source_path);

// Throws host::SaveError (Chinese) when saving `book`, read from
// `source_path`, to `target` must be refused: the workbook holds content the
// model could not carry and `target` is its own file, or it came from a
// non-.xlsx file and `target` is that file or an .xlsx that already exists.
// The command calls it right after opening, before anything runs.
void check_saveable(const memory::WorkbookData& book, const std::string& source_path,
                    const std::string& target);

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

}  // namespace lczs::io
