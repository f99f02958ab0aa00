// A minimal test runner for the Wine harness (no test framework is built
// for mingw here): LCZS_TEST registers a case, CHECK/CHECK_EQ record
// failures and go on, REQUIRE stops the case.
#pragma once

#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace lczs::wintest {

struct Case {
  const char* name;
  std::function<void()> body;
};
std::vector<Case>& cases();
int& failures();

struct Register {
  Register(const char* name, std::function<void()> body) { cases().push_back({name, std::move(body)}); }
};

struct Stop {};  // REQUIRE failed: ends the case

void fail(const char* file, int line, const std::string& what);

template <class A, class B>
std::string describe(const A& a, const B& b) {
  std::ostringstream s;
  s << "\n    left:  " << a << "\n    right: " << b;
  return s.str();
}

}  // namespace lczs::wintest

#define LCZS_CAT2(a, b) a##b
#define LCZS_CAT(a, b) LCZS_CAT2(a, b)
#define LCZS_TEST(name)                                                                   \
  static void LCZS_CAT(test_, name)();                                                    \
  static ::lczs::wintest::Register LCZS_CAT(reg_, name)(#name, LCZS_CAT(test_, name));    \
  static void LCZS_CAT(test_, name)()

#define CHECK(cond) \
  do { if (!(cond)) ::lczs::wintest::fail(__FILE__, __LINE__, #cond); } while (0)
#define CHECK_MSG(cond, msg) \
  do { if (!(cond)) ::lczs::wintest::fail(__FILE__, __LINE__, std::string(#cond) + ": " + (msg)); } while (0)
#define CHECK_EQ(a, b)                                                                              \
  do {                                                                                              \
    auto&& lczs_a = (a);                                                                            \
    auto&& lczs_b = (b);                                                                            \
    if (!(lczs_a == lczs_b))                                                                        \
      ::lczs::wintest::fail(__FILE__, __LINE__, #a " == " #b + ::lczs::wintest::describe(lczs_a, lczs_b)); \
  } while (0)
#define REQUIRE(cond) \
  do { if (!(cond)) { ::lczs::wintest::fail(__FILE__, __LINE__, #cond); throw ::lczs::wintest::Stop{}; } } while (0)
