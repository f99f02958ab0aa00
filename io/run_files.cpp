#include "io/run_files.h"

#include <filesystem>

#include "host/host.h"
#include "io/io.h"

namespace lczs::io {

namespace fs = std::filesystem;

bool same_file_path(const std::string& a, const std::string& b) {
  std::error_code ec1, ec2;
  fs::path ca = fs::weakly_canonical(fs::absolute(a), ec1);
  fs::path cb = fs::weakly_canonical(fs::absolute(b), ec2);
  if (ec1 || ec2) return fs::absolute(a).lexically_normal() == fs::absolute(b).lexically_normal();
  return ca == cb;
}

std::string join_files(const std::vector<std::string>& files) {
  std::string out;
  for (const auto& f : files) out += (out.empty() ? "" : "、") + f;
  return out;
}

std::string saved_text(const std::vector<std::string>& files) {
  return files.empty() ? "" : "已保存：" + join_files(files);
}

RunStore::RunStore(std::string source, std::string folder, bool protect_source)
    : source_(std::move(source)), folder_(std::move(folder)), protect_source_(protect_source) {}

std::string RunStore::resolve(const std::string& path) const {
  fs::path p(path);
  std::string resolved = (p.is_relative() ? fs::path(folder_) / p : p).string();
  return place ? place(resolved) : resolved;
}

bool RunStore::is_source(const std::string& path) const {
  return !source_.empty() && same_file_path(resolve(path), source_);
}

bool RunStore::exists(const std::string& path) const {
  std::error_code ec;
  return fs::exists(resolve(path), ec);
}

void RunStore::save(const memory::WorkbookData& book, const std::string& path) {
  std::string target = resolve(path);
  if (protect_source_ && is_source(target))
    throw host::SaveError("不能写入原工作簿“" + source_ + "”：已用 -o 指定了输出文件。");
  // A save-as names a file other than the workbook's own; it may not be
  // the original workbook, even when the application would not ask.
  if (path != book.path && is_source(target))
    throw host::SaveError("另存为的文件“" + target + "”就是原工作簿，已拒绝。");
  if (!source_.empty()) check_saveable(book, source_, target, how_to_keep);
  // Over the workbook's own file this was refused above; a new file is
  // written without it, and says so once.
  if (std::string left_out = left_out_text(book, target); !left_out.empty() && on_left_out)
    on_left_out(left_out);
  // The .xlsx beside a .csv was absent when checked; one that appears
  // before the rename is someone else's.
  bool beside_source =
      !source_.empty() && save_target(source_) != source_ && same_file_path(target, save_target(source_));
  lock(target);
  if (on_saved) on_saved(written_, target);
  bool over_read = read_state_ && same_file_path(target, read_path_);
  try {
    write_xlsx(book, target, beside_source ? Replace::Never : Replace::Allowed, over_read ? &*read_state_ : nullptr);
  } catch (const ChangedError& e) {
    written_.push_back(e.kept_as());
    if (on_saved) on_saved(written_, "");
    throw;
  } catch (...) {
    if (on_saved) on_saved(written_, "");  // a failed save leaves the old file
    throw;
  }
  if (over_read) read_state_ = file_state(target);
  written_.push_back(target);
  if (on_saved) on_saved(written_, "");
}

void RunStore::reserve(const std::string& path) {
  std::string target = resolve(path);
  lock(target);
  refuse_read_only(target);
}

void RunStore::hold(std::unique_ptr<FileLock> lock) { locks_.push_back(std::move(lock)); }

void RunStore::expect_unchanged(std::string path, FileState state) {
  read_path_ = std::move(path);
  read_state_ = state;
}

void RunStore::lock(const std::string& target) {
  std::string real = real_save_path(target);
  for (const auto& held : locks_)
    if (same_file_path(held->target(), real)) return;
  try {
    locks_.push_back(std::make_unique<FileLock>(target));
  } catch (const host::HostError& e) {
    throw host::SaveError(e.what());
  }
  if (on_leftover_removed)
    for (const auto& f : locks_.back()->removed()) on_leftover_removed(f);
}

}  // namespace lczs::io
