#include "tests/win/check.h"

#include <chrono>
#include <cstring>
#include <exception>

#include "win/com_util.h"

namespace lczs::wintest {

std::vector<Case>& cases() {
  static std::vector<Case> all;
  return all;
}

int& failures() {
  static int n = 0;
  return n;
}

void fail(const char* file, int line, const std::string& what) {
  ++failures();
  std::cout << "  FAILED " << file << ":" << line << ": " << what << "\n";
}

}  // namespace lczs::wintest

namespace {
// argv[1]: substrings separated by commas; a case runs when its name
// contains one of them.
bool selected(const char* name, const std::string& filter) {
  size_t start = 0;
  while (start <= filter.size()) {
    size_t end = filter.find(',', start);
    if (end == std::string::npos) end = filter.size();
    std::string part = filter.substr(start, end - start);
    if (!part.empty() && std::strstr(name, part.c_str())) return true;
    start = end + 1;
  }
  return false;
}
}  // namespace

// Runs every case, or those selected by argv[1].
int main(int argc, char** argv) {
  using namespace lczs::wintest;
  // The host's user-interface thread: a single-threaded apartment.
  lczs::win::ComApartment apartment;
  int failed_cases = 0, run = 0;
  for (const auto& c : cases()) {
    if (argc > 1 && !selected(c.name, argv[1])) continue;
    ++run;
    int before = failures();
    auto start = std::chrono::steady_clock::now();
    std::cout << "[ RUN  ] " << c.name << std::endl;
    try {
      c.body();
    } catch (const Stop&) {
    } catch (const std::exception& e) {
      fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    bool ok = failures() == before;
    if (!ok) ++failed_cases;
    std::cout << (ok ? "[  OK  ] " : "[ FAIL ] ") << c.name << " (" << static_cast<long>(ms) << " ms)"
              << std::endl;
  }
  std::cout << run - failed_cases << " of " << run << " cases passed" << std::endl;
  return failed_cases == 0 && run > 0 ? 0 : 1;
}
