// The files of one run of a job on a workbook file, for the homes that work
// on files (the `lczs` command and the web page it serves): the store they
// save through, and the words they tell the user about what was saved and
// what a save could not carry, so that every home says the same.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/io.h"
#include "model/memory_host.h"

namespace lczs::io {

// Whether two paths name one file, whether or not it exists yet.
bool same_file_path(const std::string& a, const std::string& b);

// "a.xlsx、b.xlsx", as the messages list files.
std::string join_files(const std::vector<std::string>& files);
// The line after a run that saved: "已保存：a.xlsx、b.xlsx"; "" when nothing was.
std::string saved_text(const std::vector<std::string>& files);

// Saves through the file formats. A bare file name (a save-as typed in a
// form) goes to the save folder: the workbook's, or the output's with -o.
// With `protect_source` (-o) the original workbook is never written.
class RunStore : public memory::WorkbookStore {
 public:
  // `source`: the absolute path of the workbook read ("" for none).
  RunStore(std::string source, std::string folder, bool protect_source);

  // The file a save to `path` writes, before any links are followed.
  std::string resolve(const std::string& path) const;
  bool is_source(const std::string& path) const;

  bool exists(const std::string& path) const override;
  void save(const memory::WorkbookData& book, const std::string& path) override;
  // Every file the run writes is locked (io::FileLock) from the moment its
  // name is known until the store goes: a reserved report at once, any
  // other file at its save at the latest. Throws host::SaveError when
  // another run holds it, or (reserve) when the file is read-only.
  void reserve(const std::string& path) override;
  // A lock taken before the store existed (the book's own target).
  void hold(std::unique_ptr<FileLock> lock);
  // The book as it was read (`state`, taken before reading it): a save
  // replaces it only while it is still so; otherwise the results are kept
  // beside it (io::ChangedError), and that file is among written().
  void expect_unchanged(std::string path, FileState state);

  // Where a file named by the job is written, given the path resolve()
  // made of it; unset, it is written there. A home that keeps files in a
  // folder of its own maps the names the user typed to names of its own.
  std::function<std::string(const std::string& path)> place;
  // How the user keeps the work when a save over the workbook is refused:
  // the last sentence of the refusal.
  std::string how_to_keep = kSaveAnotherFile;
  // Told once per save what the new file will not hold of the original
  // (io::left_out_text); the run goes on.
  std::function<void(const std::string& line)> on_left_out;
  // Told before each file is written (with its name) and after (with "").
  std::function<void(const std::vector<std::string>& written, const std::string& writing)> on_saved;
  // Told of each temporary file a killed save left, removed on taking a lock.
  std::function<void(const std::string& file)> on_leftover_removed;

  // The files saved so far, in order.
  const std::vector<std::string>& written() const { return written_; }

 private:
  std::string source_;
  std::string folder_;
  bool protect_source_;
  void lock(const std::string& target);

  std::vector<std::string> written_;
  std::vector<std::unique_ptr<FileLock>> locks_;
  std::string read_path_;
  std::optional<FileState> read_state_;
};

}  // namespace lczs::io
