// What a run does to the user's files when something goes wrong: each case
// arranges a folder, runs the command and checks its exit status, its
// message, BOOK's bytes before and after and the folder's listing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <thread>

#include "io/io.h"
#include "model/memory_host.h"
#include "tests/cli/cli_harness.h"
#include "tests/cli/test_books.h"

namespace lczs::testing {
namespace {

namespace fs = std::filesystem;
using memory::Lit;

// A proficiency-test sheet: 班级, 学号, 姓名 and two subjects graded A to E.
memory::WorkbookData grades_book(int students) {
  memory::WorkbookData book;
  std::vector<std::vector<Lit>> rows = {{"班级", "学号", "姓名", "语文", "数学"}};
  for (int i = 1; i <= students; ++i)
    rows.push_back({1 + i % 3, i, "学生" + std::to_string(i), std::string(1, "ABCDE"[i % 5]),
                    std::string(1, "ABCDE"[(i * 3) % 5])});
  memory::add_sheet(book, "成绩", rows);
  book.active_sheet = 0;
  return book;
}

std::string grades_csv() {
  std::string csv = "班级,学号,姓名,语文,数学\n";
  for (int i = 1; i <= 6; ++i) csv += std::to_string(1 + i % 2) + "," + std::to_string(i) + ",学生" + std::to_string(i) + ",A,B\n";
  return csv;
}

// A file's bytes; a pipe or device is not opened.
std::string bytes_of(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) ? read_file(path) : "(not a file)";
}

// Whether the book at `path` holds the proficiency report.
bool has_report(const std::string& path) {
  for (const auto& sheet : io::read_workbook(path).sheets)
    if (sheet->name == "会考成绩分析") return true;
  return false;
}

std::set<std::string> listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// A small file system of its own, for the full-disk cases: only root may
// mount one, and a container may forbid even that.
class SmallDisk {
 public:
  SmallDisk(const fs::path& at, const char* size) : at_(at) {
    fs::create_directories(at);
    std::string options = std::string("size=") + size;
    mounted_ = ::geteuid() == 0 && ::mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  // Leaves about `room` bytes free.
  void fill(std::size_t room) const {
    std::string block(4096, 'x');
    std::ofstream out(at_ / "filler", std::ios::binary);
    for (;;) {
      std::error_code ec;
      auto space = fs::space(at_, ec);
      if (ec || space.available <= room + block.size()) break;
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
      out.flush();
      if (!out) break;
    }
  }

 private:
  fs::path at_;
  bool mounted_ = false;
};

struct Arranged {
  std::vector<std::string> args;
  std::vector<std::string> env;
  std::string skip;            // why the case cannot run here
  std::shared_ptr<void> keep;  // what must last until the case is checked
};

struct Case {
  std::string name;
  // Makes the files; `book` is the path BOOK will have.
  std::function<Arranged(const fs::path& folder, const std::string& book)> arrange;
  int exit_code;
  std::string says;  // in the messages
  bool book_changes;
  std::vector<std::string> new_files;   // in the listing afterwards
  std::vector<std::string> gone_files;  // no longer there
  std::string book_name = "成绩.xlsx";
  std::string written = "";  // another file the run writes, which must open
  // What else must hold of the saved BOOK.
  std::function<void(const memory::WorkbookData& saved)> keeps = nullptr;
};

std::vector<std::string> prof(const std::string& book, std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"proficiency", book, "--yes"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

void write_book(const std::string& path, const memory::WorkbookData& book) { io::write_xlsx(book, path); }

TEST(SaveFaults, EachFaultLeavesTheUsersFilesAsTheyWere) {
  const std::vector<Case> cases = {
      {"an empty -o is a usage error, not a save over BOOK",
       [](const fs::path&, const std::string& book) { return Arranged{prof(book, {"-o", ""})}; }, 2,
       "-o 的文件名是空的", false, {}},
      {"an empty BOOK is a usage error",
       [](const fs::path&, const std::string&) { return Arranged{prof("")}; }, 2, "文件名是空的", false, {}},
      {"a full target disk is named and leaves BOOK whole",
       [](const fs::path& folder, const std::string&) {
         auto disk = std::make_shared<SmallDisk>(folder / "disk", "96k");
         if (!disk->mounted()) return Arranged{{}, {}, "not root, or mounting is not permitted here"};
         std::string book = (folder / "disk" / "成绩.xlsx").string();
         write_book(book, grades_book(300));
         disk->fill(2048);
         return Arranged{prof(book), {}, "", disk};
       },
       3, "磁盘空间不足", false, {}},
      {"a full TMPDIR does not matter: nothing is written there",
       [](const fs::path& folder, const std::string& book) {
         fs::path tmp = folder / "tmp";
         auto disk = std::make_shared<SmallDisk>(tmp, "64k");
         if (!disk->mounted()) return Arranged{{}, {}, "not root, or mounting is not permitted here"};
         disk->fill(0);
         write_book(book, grades_book(3000));
         return Arranged{prof(book), {"TMPDIR=" + tmp.string()}, "", disk};
       },
       0, "分析完成", true, {}},
      {"a second run on the same book is refused while the first holds it",
       [](const fs::path&, const std::string& book) {
         return Arranged{prof(book), {}, "", std::make_shared<io::FileLock>(book)};
       },
       3, "正在被另一个 lczs 使用", false, {".成绩.xlsx.lczs-lock"}},
      {"a lock file left by a dead run is taken, and its temporary files go",
       [](const fs::path& folder, const std::string& book) {
         write_file((folder / ".成绩.xlsx.lczs-lock").string(), "");
         write_file((folder / ".成绩.xlsx.lczs-Ab3dE9").string(), "PK\x03\x04 cut short");
         return Arranged{prof(book)};
       },
       0, "分析完成", true, {}, {".成绩.xlsx.lczs-lock", ".成绩.xlsx.lczs-Ab3dE9"}},
      {"a read-only book is not saved over, though its folder would allow it",
       [](const fs::path&, const std::string& book) {
         ::chmod(book.c_str(), 0444);
         return Arranged{prof(book)};
       },
       3, "文件是只读的，不能覆盖它。请用 -o 把结果另存为其他文件", false, {}},
      {"a read-only book is read and its results saved with -o",
       [](const fs::path& folder, const std::string& book) {
         ::chmod(book.c_str(), 0444);
         return Arranged{prof(book, {"-o", (folder / "副本.xlsx").string()})};
       },
       0, "分析完成", false, {"副本.xlsx"}, {}, "成绩.xlsx", "副本.xlsx"},
      {"a read-only -o file is not replaced",
       [](const fs::path& folder, const std::string& book) {
         std::string out = (folder / "副本.xlsx").string();
         write_file(out, "theirs");
         ::chmod(out.c_str(), 0444);
         return Arranged{prof(book, {"-o", out})};
       },
       3, "文件是只读的", false, {}},
      {"a read-only report is refused before the exam runs",
       [](const fs::path& folder, const std::string& book) {
         write_exam_book_at(book);
         std::string report = (folder / "报告.xlsx").string();
         write_file(report, "theirs");
         ::chmod(report.c_str(), 0444);
         return Arranged{{"exam", book, "--cohort", "2001", "--grade", "G1", "--save-name", "报告", "--yes"}};
       },
       3, "文件是只读的", false, {}},
      {"the application's owner file gets one warning, not a refusal",
       [](const fs::path& folder, const std::string& book) {
         write_file((folder / "~$成绩.xlsx").string(), "owner");
         return Arranged{prof(book)};
       },
       0, "可能正在电子表格程序中打开", true, {"~$成绩.xlsx"}},
      {"a FIFO as BOOK is refused at once",
       [](const fs::path&, const std::string& book) {
         fs::remove(book);
         ::mkfifo(book.c_str(), 0600);
         return Arranged{prof(book)};
       },
       3, "不是普通文件", false, {}},
      {"an encrypted workbook is named as such",
       [](const fs::path&, const std::string& book) {
         std::string name;
         for (char c : std::string("EncryptedPackage")) name += std::string{c, '\0'};
         write_file(book, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0') + name);
         return Arranged{prof(book)};
       },
       3, "文件已加密，请先取消密码再运行", false, {}},
      {"more sheets than can be opened again are not written",
       [](const fs::path&, const std::string& book) {
         memory::WorkbookData many = grades_book(10);
         for (int i = 2; i <= 1024; ++i) memory::add_sheet(many, "S" + std::to_string(i), {{i}});
         write_book(book, many);
         return Arranged{prof(book)};
       },
       3, "超过本程序能打开的 1024 个", false, {}},
      {"a merged range is written at the cost of its cells, not its area",
       [](const fs::path&, const std::string& book) {
         memory::WorkbookData merged = grades_book(10);
         memory::add_sheet(merged, "其他", {{"x"}}).merges.push_back({3, 1, 1048576, 16384});
         write_book(book, merged);
         return Arranged{prof(book)};
       },
       0, "分析完成", true, {}},
      {"a book in the 1904 date system keeps its dates",
       [](const fs::path&, const std::string& book) {
         memory::WorkbookData dated = grades_book(10);
         dated.settings.date1904 = true;
         memory::Format date;
         date.number_format = "yyyy-mm-dd";
         // 2024-09-01 counted from 1904-01-01.
         memory::add_sheet(dated, "日期", {{44074}}).at(1, 1).format = dated.formats.intern(date);
         write_book(book, dated);
         return Arranged{prof(book)};
       },
       0, "分析完成", true, {}, {}, "成绩.xlsx", "",
       [](const memory::WorkbookData& saved) {
         EXPECT_TRUE(saved.settings.date1904);
         auto sheet = std::find_if(saved.sheets.begin(), saved.sheets.end(), [](const auto& s) { return s->name == "日期"; });
         ASSERT_NE(sheet, saved.sheets.end());
         const memory::Cell* day = (*sheet)->get(1, 1);
         ASSERT_NE(day, nullptr);
         EXPECT_EQ(day->value, host::Value::number(44074));
         EXPECT_EQ(saved.formats.get(day->format).number_format, "yyyy-mm-dd");
       }},
      {"control characters in text are written so that the file reads back",
       [](const fs::path&, const std::string& book) {
         memory::WorkbookData text = grades_book(10);
         memory::add_sheet(text, "备注", {{std::string("a\x0B" "b\x01" "c")}, {std::string("nul\0x", 5)}});
         write_book(book, text);
         return Arranged{prof(book)};
       },
       0, "分析完成", true, {}},
      {"a control character typed into a form is written so that the report opens",
       [](const fs::path&, const std::string& book) {
         memory::WorkbookData exam;
         std::vector<std::vector<Lit>> rows = {{"班级", "学号", "姓名", "语文", "数学"}};
         for (int i = 1; i <= 8; ++i) rows.push_back({1 + i % 2, i, "学生" + std::to_string(i), 60 + i, 90 - i});
         memory::add_sheet(exam, "成绩", rows);
         write_book(book, exam);
         return Arranged{{"exam", book, "--cohort", "20\x01" "01", "--grade", "G1", "--save-name", "报告", "--yes"}};
       },
       0, "成绩分析完毕", false, {"报告.xlsx"}, {}, "成绩.xlsx", "报告.xlsx"},
      {"a csv with an unterminated quote is refused naming its line",
       [](const fs::path&, const std::string& book) {
         write_file(book, "班级,学号,姓名,语文\n1,1,\"张三,A\n1,2,李四,B\n");
         return Arranged{prof(book)};
       },
       3, "第 2 行开始的引号没有结束", false, {}, {}, "成绩.csv"},
      {"a csv with text after a closing quote is refused naming that text",
       [](const fs::path&, const std::string& book) {
         write_file(book, "班级,学号,姓名,语文\n1,1,\"张三\"丰,A\n1,2,李四,B\n");
         return Arranged{prof(book)};
       },
       3, "第 2 行有一个字段在结束它的引号之后还有文字“丰”", false, {}, {}, "成绩.csv"},
      {"a csv with text after a closing quote on a later line of a quoted row is refused naming that line",
       [](const fs::path&, const std::string& book) {
         write_file(book, "班级,学号,姓名,语文\n1,1,\"张\n三\",\"A\"+\n1,2,李四,B\n");
         return Arranged{prof(book)};
       },
       3, "第 3 行有一个字段在结束它的引号之后还有文字“+”", false, {}, {}, "成绩.csv"},
      {"a UTF-8 csv with one bad byte is refused naming line and byte",
       [](const fs::path&, const std::string& book) {
         write_file(book, grades_csv() + "1,9,李\xFF四,A,B\n");
         return Arranged{prof(book)};
       },
       3, "第 8 行第 8 个字节（0xFF）", false, {}, {}, "成绩.csv"},
      {"a csv that no encoding reads cleanly is refused",
       [](const fs::path&, const std::string& book) {
         write_file(book, "a,b\n1,\x81\x20\n");
         return Arranged{prof(book)};
       },
       3, "第 2 行第 3 个字节（0x81）", false, {}, {}, "成绩.csv"},
      {"UTF-16 without its mark is refused, not read as garbage",
       [](const fs::path&, const std::string& book) {
         write_file(book, std::string("\x6D\x73\x2C\x00\x66\x52\x0A\x00", 8));
         return Arranged{prof(book)};
       },
       3, "没有 BOM 的 UTF-16", false, {}, {}, "成绩.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string book = dir.file(c.book_name);
    if (c.book_name.size() > 5 && c.book_name.substr(c.book_name.size() - 5) == ".xlsx")
      write_book(book, grades_book(10));
    Arranged a = c.arrange(dir.path(), book);
    if (!a.skip.empty()) {
      std::cout << "[  SKIPPED ] " << c.name << ": " << a.skip << "\n";
      continue;
    }
    const std::string target = a.args.size() > 1 ? a.args[1] : book;
    const fs::path folder = target.empty() ? dir.path() : fs::path(target).parent_path();
    const std::string before = bytes_of(target.empty() ? book : target);
    std::set<std::string> expected = listing(folder);
    for (const auto& f : c.new_files) expected.insert(f);
    for (const auto& f : c.gone_files) expected.erase(f);
    CliResult r = run_lczs(a.args, "", "", a.env);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
    if (c.book_changes) {
      EXPECT_NE(bytes_of(target), before);
      EXPECT_TRUE(has_report(target));
      if (c.keeps) c.keeps(io::read_workbook(target));
    } else {
      EXPECT_EQ(bytes_of(target.empty() ? book : target), before);
    }
    EXPECT_EQ(listing(folder), expected);
    if (!c.written.empty()) {
      EXPECT_NO_THROW(io::read_workbook((folder / c.written).string()));
    }
  }
}

// One allocation fails on demand: the one after `g_allocations_left` more.
std::atomic<long> g_allocations_left{-1};

void* allocate(std::size_t n) {
  long left = g_allocations_left.load();
  if (left >= 0) g_allocations_left.store(left - 1);
  if (left == 0) throw std::bad_alloc();
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}

// The sanitizers' allocator ends the process instead of failing an
// allocation, so the failure is injected in this process, at every
// allocation of the save in turn.
TEST(SaveFaults, AnAllocationFailingAnywhereInTheWriterIsReportedAndLeavesNothing) {
  TempDir dir;
  const std::string book = dir.file("成绩.xlsx");
  memory::WorkbookData data = grades_book(40);
  memory::add_sheet(data, "备注", {{"合并"}}).merges.push_back({1, 1, 2, 3});
  io::write_xlsx(data, book);
  const std::string before = read_file(book);
  const std::set<std::string> files = listing(dir.path());
  bool finished = false;
  for (long n = 0; n < 100000 && !finished; n += 1 + n / 50) {
    SCOPED_TRACE(n);
    std::exception_ptr failure;
    g_allocations_left.store(n);
    try {
      io::write_xlsx(data, book);
      finished = true;
    } catch (...) {
      failure = std::current_exception();
    }
    g_allocations_left.store(-1);
    if (finished) break;
    try {
      std::rethrow_exception(failure);
    } catch (const host::SaveError& e) {
      EXPECT_NE(std::string(e.what()).find("内存不足"), std::string::npos) << e.what();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "not a save error: " << e.what();
    }
    EXPECT_EQ(read_file(book), before);
    EXPECT_EQ(listing(dir.path()), files);
  }
  EXPECT_TRUE(finished);
}

// The .xlsx beside a .csv is checked to be absent when the book is opened;
// one that another program makes before the save ends is never replaced.
TEST(SaveFaults, AnXlsxThatAppearsBesideACsvDuringTheRunIsNotReplaced) {
  TempDir dir;
  const std::string theirs = dir.file("成绩.xlsx");
  write_file(theirs, "made meanwhile");
  std::string message;
  try {
    io::write_xlsx(grades_book(10), theirs, io::Replace::Never);
  } catch (const host::SaveError& e) {
    message = e.what();
  }
  EXPECT_NE(message.find("同名的文件在保存期间出现了"), std::string::npos) << message;
  EXPECT_EQ(read_file(theirs), "made meanwhile");
  EXPECT_EQ(listing(dir.path()), std::set<std::string>{"成绩.xlsx"});
}

TEST(SaveFaults, ALinkedBookSavesToItsTargetAndAnOwnersFileStaysTheirs) {
  TempDir dir;
  fs::create_directory(dir.path() / "real");
  const std::string real = dir.file("real/真.xlsx"), link = dir.file("链接.xlsx");
  io::write_xlsx(grades_book(10), real);
  fs::create_symlink("real/真.xlsx", link);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(real.c_str(), 4321, 4322), 0);
  }
  ::chmod(real.c_str(), 0604);
  CliResult r = run_lczs(prof(link));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(has_report(real));
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
  } else {
    std::cout << "[  SKIPPED ] owner kept: only root can save a file it does not own\n";
  }
}

std::string xattr_of(const std::string& path, const char* name) {
  std::string value(4096, '\0');
  ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
  return n < 0 ? "(none)" : value.substr(0, static_cast<std::size_t>(n));
}

// A POSIX ACL as the kernel keeps it in system.posix_acl_access: a version,
// then (tag, permissions, id) entries in the order of their tags.
std::string acl_granting(std::uint32_t user) {
  std::string acl;
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) acl += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  put(2, 4);
  const std::uint32_t kAny = 0xFFFFFFFF;
  const std::uint32_t entries[][3] = {{0x01, 6, kAny}, {0x02, 6, user}, {0x04, 4, kAny}, {0x10, 6, kAny}, {0x20, 0, kAny}};
  for (const auto& e : entries) {
    put(e[0], 2);
    put(e[1], 2);
    put(e[2], 4);
  }
  return acl;
}

// A colleague given access by an ACL, or a note a file manager keeps in an
// extended attribute, stays with the book a run saves in place.
TEST(SaveFaults, ASaveInPlaceKeepsTheAclAndTheExtendedAttributes) {
  TempDir dir;
  const std::string book = dir.file("成绩.xlsx");
  write_book(book, grades_book(10));
  const std::string note = "教务处 2026";
  const std::string acl = acl_granting(4321);
  const struct {
    const char* name;
    const std::string& value;
  } attributes[] = {{"user.lczs.note", note}, {"system.posix_acl_access", acl}};
  for (const auto& a : attributes) {
    if (::setxattr(book.c_str(), a.name, a.value.data(), a.value.size(), 0) != 0) {
      GTEST_SKIP() << "this file system keeps no " << a.name << ": " << std::strerror(errno);
    }
  }
  std::map<std::string, std::string> before;
  for (const auto& a : attributes) before[a.name] = xattr_of(book, a.name);
  struct stat st_before {};
  ASSERT_EQ(::stat(book.c_str(), &st_before), 0);
  CliResult r = run_lczs(prof(book));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_TRUE(has_report(book));
  for (const auto& a : attributes) EXPECT_EQ(xattr_of(book, a.name), before[a.name]) << a.name;
  struct stat st_after {};
  ASSERT_EQ(::stat(book.c_str(), &st_after), 0);
  EXPECT_EQ(st_after.st_mode & 07777, st_before.st_mode & 07777);
}

// A signal at any moment of a save leaves either the old book or the new
// one, and never a temporary or lock file.
TEST(SaveFaults, ASignalDuringASaveLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string book = dir.file("成绩.xlsx");
  io::write_xlsx(grades_book(4000), book);
  const std::string before = read_file(book);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    std::vector<std::string> argv_s = {LCZS_BINARY, "proficiency", book, "--yes"};
    std::vector<char*> argv;
    for (auto& x : argv_s) argv.push_back(x.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&quiet);
    // Stopped as soon as its temporary file shows, or at the end.
    int status = 0;
    auto writing = [&] {
      for (const auto& name : listing(dir.path()))
        if (name.find(".lczs-") != std::string::npos && name.find("lock") == std::string::npos) return true;
      return false;
    };
    while (::waitpid(pid, &status, WNOHANG) == 0 && !writing())
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    ::kill(pid, sig);
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{"成绩.xlsx"});
    const std::string after = read_file(book);
    if (after != before) {
      EXPECT_TRUE(has_report(book));
    }
    write_file(book, before);
  }
}

}  // namespace
}  // namespace lczs::testing

void* operator new(std::size_t n) { return lczs::testing::allocate(n); }
void* operator new[](std::size_t n) { return lczs::testing::allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return lczs::testing::allocate(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
