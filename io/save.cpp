// Choosing the reader for a file, and the rules that keep a save from
// destroying what a user had.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "io/internal.h"
#include "io/io.h"

namespace lczs::io {

namespace fs = std::filesystem;
using memory::WorkbookData;

namespace {

std::string lower_extension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

// Only .xlsx: what we write is no macro workbook (.xlsm) and no text.
bool is_xlsx_path(const std::string& path) { return lower_extension(path) == ".xlsx"; }

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

}  // namespace

WorkbookData read_workbook(const std::string& path) {
  std::string ext = lower_extension(path);
  std::string magic = head(path, 8);
  bool ole = magic.size() >= 8 && magic.substr(0, 8) == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  if (ext == ".xls" || ole)
    throw FileError("无法读取文件“" + path + "”：本程序不能读取 .xls 格式（Excel 97-2003）的工作簿，"
                    "请在电子表格程序中将它另存为 .xlsx 格式后再试。");
  if (ext == ".xlsx" || ext == ".xlsm") return read_xlsx(path);
  if (ext == ".csv" || ext == ".txt" || ext == ".tsv") return read_csv(path);
  if (magic.size() >= 4 && magic.substr(0, 4) == "PK\x03\x04") return read_xlsx(path);
  return read_csv(path);
}

std::string save_target(const std::string& source_path) {
  if (is_xlsx_path(source_path)) return source_path;
  fs::path p(source_path);
  p.replace_extension(".xlsx");
  return p.string();
}

void check_saveable(const WorkbookData& book, const std::string& source_path, const std::string& target) {
  if (source_path.empty()) return;
  bool own_file = same_file(source_path, target);
  if (!book.unsupported.empty() && own_file)
    throw host::SaveError("不能保存到原文件“" + target + "”：" + warning_text(book) +
                          "保存会丢失这些内容。请另存为其他文件名。");
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
  write_xlsx(book, target);
  if (!ours) written_.push_back(target);
}

std::string warning_text(const WorkbookData& book) {
  if (book.unsupported.empty()) return "";
  // "图表（工作表“成绩”）、批注（工作表“成绩”）" grouped by kind.
  std::vector<std::string> kinds;
  std::map<std::string, std::vector<std::string>> places;
  for (const auto& u : book.unsupported) {
    if (!places.count(u.what)) kinds.push_back(u.what);
    auto& p = places[u.what];
    if (!u.where.empty() && std::find(p.begin(), p.end(), u.where) == p.end()) p.push_back(u.where);
  }
  std::string text = "文件中含有本程序无法保留的内容：";
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
  text += "。";
  return text;
}

}  // namespace lczs::io
