// Parsing formulas into trees and evaluating them with the spreadsheet
// application's rules for text, blanks, booleans and errors.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>

#include "model/formula_internal.h"

namespace lczs::memory::formula {

using host::Area;
using host::ErrorCode;
using host::Value;

void Resolver::for_each_in(std::string_view sheet, const host::Area& area,
                           const std::function<void(int, int, const host::Value&)>& f) const {
  for (int r = area.top; r <= area.bottom; ++r)
    for (int c = area.left; c <= area.right; ++c) {
      Value v = cell(sheet, r, c);
      if (!v.is_empty()) f(r, c, v);
    }
}

namespace {

using detail::RefTok;
using detail::Tok;
using detail::Token;

// ---- The tree ------------------------------------------------------------

enum class Fn {
  Sum, Average, AverageA, Count, CountA, CountBlank, Max, Min, MaxA, MinA, Round, RoundUp,
  RoundDown, Today, If, And, Or, Not, Abs, Int, Mod, Sqrt, CountIf, SumIf, AverageIf, Rank,
  IfError, IsBlank, IsNumber, IsText, IsError, True, False, Median, Large, Small, StDev, StDevP,
  Var, VarP, VLookup, HLookup, Match, Index, Len, Left, Right, Mid, Concatenate, Trim, ValueFn,
  CountIfs, SumIfs, AverageIfs, Date, Year, Month, Day, Product, SumProduct, Choose, IsNA,
  IsLogical, NA,
};

struct FnInfo {
  Fn fn;
  int min_args;
  int max_args;
};

const std::unordered_map<std::string, FnInfo>& functions() {
  static const std::unordered_map<std::string, FnInfo> table{
      {"SUM", {Fn::Sum, 1, 255}},           {"AVERAGE", {Fn::Average, 1, 255}},
      {"AVERAGEA", {Fn::AverageA, 1, 255}}, {"COUNT", {Fn::Count, 1, 255}},
      {"COUNTA", {Fn::CountA, 1, 255}},     {"COUNTBLANK", {Fn::CountBlank, 1, 1}},
      {"MAX", {Fn::Max, 1, 255}},           {"MIN", {Fn::Min, 1, 255}},
      {"MAXA", {Fn::MaxA, 1, 255}},         {"MINA", {Fn::MinA, 1, 255}},
      {"ROUND", {Fn::Round, 2, 2}},         {"ROUNDUP", {Fn::RoundUp, 2, 2}},
      {"ROUNDDOWN", {Fn::RoundDown, 2, 2}}, {"TODAY", {Fn::Today, 0, 0}},
      {"IF", {Fn::If, 2, 3}},               {"AND", {Fn::And, 1, 255}},
      {"OR", {Fn::Or, 1, 255}},             {"NOT", {Fn::Not, 1, 1}},
      {"ABS", {Fn::Abs, 1, 1}},             {"INT", {Fn::Int, 1, 1}},
      {"MOD", {Fn::Mod, 2, 2}},             {"SQRT", {Fn::Sqrt, 1, 1}},
      {"COUNTIF", {Fn::CountIf, 2, 2}},     {"SUMIF", {Fn::SumIf, 2, 3}},
      {"AVERAGEIF", {Fn::AverageIf, 2, 3}}, {"RANK", {Fn::Rank, 2, 3}},
      {"RANK.EQ", {Fn::Rank, 2, 3}},        {"IFERROR", {Fn::IfError, 2, 2}},
      {"ISBLANK", {Fn::IsBlank, 1, 1}},     {"ISNUMBER", {Fn::IsNumber, 1, 1}},
      {"ISTEXT", {Fn::IsText, 1, 1}},       {"ISERROR", {Fn::IsError, 1, 1}},
      {"TRUE", {Fn::True, 0, 0}},           {"FALSE", {Fn::False, 0, 0}},
      {"MEDIAN", {Fn::Median, 1, 255}},     {"LARGE", {Fn::Large, 2, 2}},
      {"SMALL", {Fn::Small, 2, 2}},         {"STDEV", {Fn::StDev, 1, 255}},
      {"STDEV.S", {Fn::StDev, 1, 255}},     {"STDEVP", {Fn::StDevP, 1, 255}},
      {"STDEV.P", {Fn::StDevP, 1, 255}},    {"VAR", {Fn::Var, 1, 255}},
      {"VAR.S", {Fn::Var, 1, 255}},         {"VARP", {Fn::VarP, 1, 255}},
      {"VAR.P", {Fn::VarP, 1, 255}},        {"VLOOKUP", {Fn::VLookup, 3, 4}},
      {"HLOOKUP", {Fn::HLookup, 3, 4}},     {"MATCH", {Fn::Match, 2, 3}},
      {"INDEX", {Fn::Index, 2, 3}},         {"LEN", {Fn::Len, 1, 1}},
      {"LEFT", {Fn::Left, 1, 2}},           {"RIGHT", {Fn::Right, 1, 2}},
      {"MID", {Fn::Mid, 3, 3}},             {"CONCATENATE", {Fn::Concatenate, 1, 255}},
      {"TRIM", {Fn::Trim, 1, 1}},           {"VALUE", {Fn::ValueFn, 1, 1}},
      {"COUNTIFS", {Fn::CountIfs, 2, 254}}, {"SUMIFS", {Fn::SumIfs, 3, 255}},
      {"AVERAGEIFS", {Fn::AverageIfs, 3, 255}}, {"DATE", {Fn::Date, 3, 3}},
      {"YEAR", {Fn::Year, 1, 1}},           {"MONTH", {Fn::Month, 1, 1}},
      {"DAY", {Fn::Day, 1, 1}},             {"PRODUCT", {Fn::Product, 1, 255}},
      {"SUMPRODUCT", {Fn::SumProduct, 1, 255}}, {"CHOOSE", {Fn::Choose, 2, 255}},
      {"ISNA", {Fn::IsNA, 1, 1}},           {"ISLOGICAL", {Fn::IsLogical, 1, 1}},
      {"NA", {Fn::NA, 0, 0}},
  };
  return table;
}

struct Node {
  enum class K {
    Number, String, Bool, Error, Ref, Func, Neg, Plus, Percent, Binary, Missing,
    Union,  // (A1,B2:C3): kids
    Array,  // {1,2;3,4}: kids are the constants, row by row
  };
  K k = K::Number;
  double num = 0;
  std::string str;  // String value; Binary operator
  ErrorCode err = ErrorCode::NA;
  RefTok ref;
  Fn fn = Fn::Sum;
  std::vector<std::unique_ptr<Node>> kids;
};

}  // namespace

class Parsed {
 public:
  std::unique_ptr<Node> root;
  bool parses = false;
  bool supported = false;
};

namespace {

// Recursive descent over the tokens with the application's precedence:
// comparison < & < + - < * / < ^ < % < unary - < : and intersection.
class Parser {
 public:
  explicit Parser(std::string_view text) : toks_(detail::tokenize(text)) {}

  // Null when the text is not a formula.
  std::unique_ptr<Node> run(bool& supported) {
    supported_ = true;
    skip_space();
    if (pos_ >= toks_.size()) return nullptr;
    auto n = expr(0);
    skip_space();
    if (!n || failed_ || pos_ != toks_.size()) return nullptr;
    supported = supported_;
    return n;
  }

 private:
  std::vector<Token> toks_;
  std::size_t pos_ = 0;
  bool failed_ = false;
  bool supported_ = true;

  void skip_space() {
    while (pos_ < toks_.size() && toks_[pos_].type == Tok::Space) ++pos_;
  }
  const Token* peek() {
    skip_space();
    return pos_ < toks_.size() ? &toks_[pos_] : nullptr;
  }
  std::unique_ptr<Node> fail() {
    failed_ = true;
    return nullptr;
  }

  static int binary_power(const Token& t) {
    if (t.type != Tok::Op) return -1;
    const std::string& o = t.text;
    if (o == "=" || o == "<>" || o == "<" || o == ">" || o == "<=" || o == ">=") return 1;
    if (o == "&") return 2;
    if (o == "+" || o == "-") return 3;
    if (o == "*" || o == "/") return 4;
    if (o == "^") return 5;
    if (o == ":") return 8;
    return -1;
  }

  // Whether the tokens at pos_ start an operand that a space before them
  // intersects with the operand before the space.
  bool intersection_follows() {
    if (pos_ >= toks_.size() || toks_[pos_].type != Tok::Space) return false;
    std::size_t j = pos_ + 1;
    if (j >= toks_.size()) return false;
    Tok t = toks_[j].type;
    // "#REF!" stands where a reference was.
    return t == Tok::Ref || t == Tok::Name || t == Tok::Func || t == Tok::LParen ||
           (t == Tok::Error && toks_[j].error == ErrorCode::Ref);
  }

  // Deeper nesting than the application allows (64 levels of functions)
  // would only exhaust the stack.
  static constexpr int kMaxDepth = 200;
  int depth_ = 0;
  struct Depth {
    int& d;
    explicit Depth(int& x) : d(x) { ++d; }
    ~Depth() { --d; }
  };

  std::unique_ptr<Node> expr(int min_power) {
    Depth guard(depth_);
    if (depth_ > kMaxDepth) return fail();
    auto lhs = prefix();
    if (!lhs) return fail();
    for (;;) {
      if (min_power <= 8 && intersection_follows()) {
        // "A1:B5 B2:C3": the common cells.
        ++pos_;
        auto rhs = expr(9);
        if (!rhs) return fail();
        auto n = std::make_unique<Node>();
        n->k = Node::K::Binary;
        n->str = " ";
        n->kids.push_back(std::move(lhs));
        n->kids.push_back(std::move(rhs));
        lhs = std::move(n);
        continue;
      }
      const Token* t = peek();
      if (!t) break;
      if (t->type == Tok::Op && t->text == "%") {
        if (6 < min_power) break;
        ++pos_;
        auto n = std::make_unique<Node>();
        n->k = Node::K::Percent;
        n->kids.push_back(std::move(lhs));
        lhs = std::move(n);
        continue;
      }
      int p = binary_power(*t);
      if (p < 0 || p < min_power) break;
      std::string op = t->text;
      ++pos_;
      auto rhs = expr(p + 1);
      if (!rhs) return fail();
      auto n = std::make_unique<Node>();
      n->k = Node::K::Binary;
      n->str = op;
      n->kids.push_back(std::move(lhs));
      n->kids.push_back(std::move(rhs));
      lhs = std::move(n);
    }
    return lhs;
  }

  std::unique_ptr<Node> prefix() {
    const Token* t = peek();
    if (!t) return nullptr;
    auto n = std::make_unique<Node>();
    switch (t->type) {
      case Tok::Op:
        if (t->text == "-" || t->text == "+") {
          n->k = t->text == "-" ? Node::K::Neg : Node::K::Plus;
          ++pos_;
          auto operand = expr(7);
          if (!operand) return nullptr;
          n->kids.push_back(std::move(operand));
          return n;
        }
        if (t->text == "@") {
          ++pos_;
          supported_ = false;
          return expr(7);
        }
        return nullptr;
      case Tok::Number:
        n->k = Node::K::Number;
        n->num = t->number;
        ++pos_;
        return n;
      case Tok::String:
        n->k = Node::K::String;
        n->str = t->text;
        ++pos_;
        return n;
      case Tok::Bool:
        n->k = Node::K::Bool;
        n->num = t->number;
        ++pos_;
        return n;
      case Tok::Error:
        n->k = Node::K::Error;
        n->err = t->error;
        ++pos_;
        return n;
      case Tok::Ref:
        n->k = Node::K::Ref;
        n->ref = t->ref;
        if (n->ref.external) supported_ = false;
        ++pos_;
        return n;
      case Tok::Name:
        // A defined name: its value is unknown here.
        n->k = Node::K::Error;
        n->err = ErrorCode::Name;
        supported_ = false;
        ++pos_;
        return n;
      case Tok::Func: return call();
      case Tok::LParen: {
        ++pos_;
        auto inner = expr(0);
        if (!inner) return nullptr;
        const Token* c = peek();
        if (c && c->type == Tok::Comma) {
          // A union of references "(A1,B2)".
          n->k = Node::K::Union;
          n->kids.push_back(std::move(inner));
          while (c && c->type == Tok::Comma) {
            ++pos_;
            auto part = expr(0);
            if (!part) return nullptr;
            n->kids.push_back(std::move(part));
            c = peek();
          }
          inner = std::move(n);
        }
        if (!c || c->type != Tok::RParen) return nullptr;
        ++pos_;
        return inner;
      }
      case Tok::LBrace: return array();
      default: return nullptr;
    }
  }

  // {1,2;3,4}: constants only, rows of equal length.
  std::unique_ptr<Node> array() {
    ++pos_;
    auto n = std::make_unique<Node>();
    n->k = Node::K::Array;
    std::size_t row_length = 0, in_row = 0;
    bool first_row = true;
    for (;;) {
      const Token* c = peek();
      if (!c) return nullptr;
      double sign = 1;
      while (c && c->type == Tok::Op && (c->text == "-" || c->text == "+")) {
        if (c->text == "-") sign = -sign;
        ++pos_;
        c = peek();
      }
      if (!c) return nullptr;
      auto e = std::make_unique<Node>();
      switch (c->type) {
        case Tok::Number: e->k = Node::K::Number; e->num = sign * c->number; break;
        case Tok::String: e->k = Node::K::String; e->str = c->text; break;
        case Tok::Bool: e->k = Node::K::Bool; e->num = c->number; break;
        case Tok::Error: e->k = Node::K::Error; e->err = c->error; break;
        default: return nullptr;
      }
      if (sign < 0 && c->type != Tok::Number) return nullptr;
      n->kids.push_back(std::move(e));
      ++in_row;
      ++pos_;
      c = peek();
      if (!c) return nullptr;
      ++pos_;
      if (c->type == Tok::Comma) continue;
      if (c->type != Tok::Semicolon && c->type != Tok::RBrace) return nullptr;
      if (first_row) row_length = in_row;
      else if (in_row != row_length) return nullptr;
      first_row = false;
      in_row = 0;
      if (c->type == Tok::RBrace) return n;
    }
  }

  std::unique_ptr<Node> call() {
    std::string name = toks_[pos_].text;
    pos_ += 2;  // name and '('
    auto n = std::make_unique<Node>();
    n->k = Node::K::Func;
    std::vector<std::unique_ptr<Node>> args;
    const Token* t = peek();
    if (t && t->type == Tok::RParen) {
      ++pos_;
    } else {
      for (;;) {
        t = peek();
        if (!t) return nullptr;
        if (t->type == Tok::Comma || t->type == Tok::RParen) {
          auto m = std::make_unique<Node>();
          m->k = Node::K::Missing;
          args.push_back(std::move(m));
        } else {
          auto a = expr(0);
          if (!a) return nullptr;
          args.push_back(std::move(a));
        }
        t = peek();
        if (!t) return nullptr;
        ++pos_;
        if (t->type == Tok::RParen) break;
        if (t->type != Tok::Comma) return nullptr;
      }
    }
    std::string key = name;
    for (std::string_view prefix : {"_XLFN._XLWS.", "_XLFN."})
      if (key.rfind(prefix, 0) == 0) key.erase(0, prefix.size());
    auto it = functions().find(key);
    if (it == functions().end() || static_cast<int>(args.size()) < it->second.min_args ||
        static_cast<int>(args.size()) > it->second.max_args) {
      supported_ = false;
    } else {
      n->fn = it->second.fn;
    }
    n->kids = std::move(args);
    return n;
  }
};

// ---- Values --------------------------------------------------------------

// Thrown when evaluation meets something the engine does not compute (a text
// that reads as a date, say); the caller keeps the cell's stored value.
struct Unsupported {};

struct Ev {
  bool is_ref = false;
  Value v;
  std::string sheet;  // is_ref
  Area area;          // is_ref
  static Ev val(Value x) {
    Ev e;
    e.v = std::move(x);
    return e;
  }
  static Ev err(ErrorCode c) { return val(Value::error(c)); }
};

std::string trim_spaces(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return std::string(s.substr(b, e - b));
}

// A text as the application reads it as a number: "3", " -1.5 ", "1,000",
// "1E3", "50%". Texts that read as dates or times throw Unsupported.
std::optional<double> text_number(std::string_view text) {
  std::string s = trim_spaces(text);
  if (s.empty()) return std::nullopt;
  std::size_t i = 0;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') neg = s[i++] == '-';
  std::string digits;
  bool any = false, point = false;
  bool grouped_ok = true;
  while (i < s.size()) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      digits += c;
      any = true;
    } else if (c == ',' && !point && any) {
      // thousands separators need three digits after them
      std::size_t k = i + 1, n = 0;
      while (k < s.size() && s[k] >= '0' && s[k] <= '9') ++k, ++n;
      if (n != 3) grouped_ok = false;
    } else if (c == '.' && !point) {
      point = true;
      digits += c;
    } else {
      break;
    }
    ++i;
  }
  if (any && grouped_ok && i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    std::size_t k = i + 1;
    std::string exp = "e";
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) exp += s[k++];
    std::size_t start = k;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9') exp += s[k++];
    if (k > start) {
      digits += exp;
      i = k;
    }
  }
  bool percent = false;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i < s.size() && s[i] == '%') {
    percent = true;
    ++i;
  }
  if (any && grouped_ok && i == s.size()) {
    double v = detail::decimal_value(digits);
    if (percent) v /= 100;
    return neg ? -v : v;
  }
  // Dates and times ("2024-9-1", "9/1", "8:30", "2024年9月1日") convert to
  // serials in the application under rules of the user's locale.
  bool has_digit = false;
  for (char c : s) has_digit |= (c >= '0' && c <= '9');
  if (has_digit && (s.find_first_of("/-:") != std::string::npos ||
                    s.find("年") != std::string::npos || s.find("月") != std::string::npos))
    throw Unsupported{};
  return std::nullopt;
}

std::string number_text(double v) { return Value::number(v).display_text(); }

class Evaluator {
 public:
  explicit Evaluator(const Resolver& r) : r_(r) {}

  Ev eval(const Node& n) {
    switch (n.k) {
      case Node::K::Number: return num_result(n.num);
      case Node::K::String: return Ev::val(Value::text(n.str));
      case Node::K::Bool: return Ev::val(Value::boolean(n.num != 0));
      case Node::K::Error: return Ev::err(n.err);
      case Node::K::Missing: return Ev::val(Value());
      case Node::K::Ref: return ref(n.ref);
      case Node::K::Func: return call(n);
      case Node::K::Plus: return eval(*n.kids[0]);
      case Node::K::Neg: {
        Value v = scalar(eval(*n.kids[0]));
        auto x = number(v);
        if (!x) return Ev::val(v.is_error() ? v : Value::error(ErrorCode::Value));
        return num_result(-*x);
      }
      case Node::K::Percent: {
        Value v = scalar(eval(*n.kids[0]));
        auto x = number(v);
        if (!x) return Ev::val(v.is_error() ? v : Value::error(ErrorCode::Value));
        return num_result(*x / 100);
      }
      case Node::K::Binary: return binary(n);
      case Node::K::Union:
      case Node::K::Array: throw Unsupported{};  // only the aggregates read them
    }
    return Ev::err(ErrorCode::Value);
  }

  // The value a reference stands for in a scalar place. A range there is
  // read by implicit intersection in older files and as an array (spilling,
  // or summed element by element) in newer ones; the text alone does not
  // tell which, so the engine leaves such formulas to the application.
  Value scalar(const Ev& e) {
    if (!e.is_ref) return e.v;
    if (!e.area.is_single_cell()) throw Unsupported{};
    return r_.cell(e.sheet, e.area.top, e.area.left);
  }

 private:
  const Resolver& r_;

  static Ev num_result(double x) {
    if (!std::isfinite(x)) return Ev::err(ErrorCode::Num);
    return Ev::val(Value::number(x));
  }

  // Number for arithmetic: empty 0, booleans 1/0, numeric text converted.
  // nullopt: an error value or a text that is no number.
  static std::optional<double> number(const Value& v) {
    switch (v.kind()) {
      case Value::Kind::Empty: return 0.0;
      case Value::Kind::Number:
      case Value::Kind::Boolean: return v.as_number();
      case Value::Kind::Text: return text_number(v.as_text());
      case Value::Kind::Error: return std::nullopt;
    }
    return std::nullopt;
  }

  static std::string text(const Value& v) {
    switch (v.kind()) {
      case Value::Kind::Number: return number_text(v.as_number());
      case Value::Kind::Boolean: return v.as_boolean() ? "TRUE" : "FALSE";
      case Value::Kind::Text: return v.as_text();
      default: return "";
    }
  }

  // Truth value: numbers non-zero, booleans, "TRUE"/"FALSE" texts; empty
  // is FALSE. nullopt: #VALUE! (or the error itself).
  static std::optional<bool> truth(const Value& v) {
    switch (v.kind()) {
      case Value::Kind::Empty: return false;
      case Value::Kind::Number:
      case Value::Kind::Boolean: return v.as_number() != 0;
      case Value::Kind::Text:
        if (detail::same_sheet(v.as_text(), "TRUE")) return true;
        if (detail::same_sheet(v.as_text(), "FALSE")) return false;
        return std::nullopt;
      case Value::Kind::Error: return std::nullopt;
    }
    return std::nullopt;
  }

  static Value value_error(const Value& v) {
    return v.is_error() ? v : Value::error(ErrorCode::Value);
  }

  Ev ref(const RefTok& t) {
    if (!t.usable()) return Ev::err(ErrorCode::Ref);
    std::string sheet = t.has_sheet ? t.sheet : "";
    if (!sheet.empty() && !r_.sheet_exists(sheet)) return Ev::err(ErrorCode::Ref);
    Ev e;
    e.is_ref = true;
    e.sheet = std::move(sheet);
    e.area = t.area();
    return e;
  }

  static int text_compare(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
      unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
      if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }

  // Order of two values as the comparison operators see it: numbers before
  // texts before booleans, an empty value taking the other side's type.
  static int compare(Value a, Value b) {
    auto rank = [](const Value& v) {
      return v.is_number() ? 0 : v.is_text() ? 1 : v.is_boolean() ? 2 : 3;
    };
    auto blank_like = [](const Value& other) {
      if (other.is_text()) return Value::text("");
      if (other.is_boolean()) return Value::boolean(false);
      return Value::number(0);
    };
    if (a.is_empty() && b.is_empty()) return 0;
    if (a.is_empty()) a = blank_like(b);
    if (b.is_empty()) b = blank_like(a);
    int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (a.is_text()) return text_compare(a.as_text(), b.as_text());
    // The operands of a comparison are taken to 15 significant digits, so
    // 0.1+0.2=0.3 holds as in the application.
    double x = significant15(a.as_number()), y = significant15(b.as_number());
    return x < y ? -1 : x > y ? 1 : 0;
  }

  static double significant15(double x) {
    if (x == 0 || !std::isfinite(x)) return x;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 14);
    double v = detail::decimal_value(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
    return x < 0 ? -v : v;
  }

  Ev binary(const Node& n) {
    const std::string& op = n.str;
    if (op == ":") {
      Ev a = eval(*n.kids[0]);
      Ev b = eval(*n.kids[1]);
      if (!a.is_ref) return Ev::val(value_error(a.v));
      if (!b.is_ref) return Ev::val(value_error(b.v));
      if (!detail::same_sheet(a.sheet, b.sheet)) return Ev::err(ErrorCode::Value);
      Ev e = a;
      e.area = Area{std::min(a.area.top, b.area.top), std::min(a.area.left, b.area.left),
                    std::max(a.area.bottom, b.area.bottom), std::max(a.area.right, b.area.right)};
      return e;
    }
    if (op == " ") {
      Ev a = eval(*n.kids[0]);
      Ev b = eval(*n.kids[1]);
      if (!a.is_ref) return Ev::val(value_error(a.v));
      if (!b.is_ref) return Ev::val(value_error(b.v));
      if (!detail::same_sheet(a.sheet, b.sheet)) return Ev::err(ErrorCode::Value);
      Area x{std::max(a.area.top, b.area.top), std::max(a.area.left, b.area.left),
             std::min(a.area.bottom, b.area.bottom), std::min(a.area.right, b.area.right)};
      if (x.top > x.bottom || x.left > x.right) return Ev::err(ErrorCode::Null);
      a.area = x;
      return a;
    }
    Value a = scalar(eval(*n.kids[0]));
    Value b = scalar(eval(*n.kids[1]));
    if (op == "&") {
      if (a.is_error()) return Ev::val(a);
      if (b.is_error()) return Ev::val(b);
      std::string s = text(a) + text(b);
      if (s.size() > static_cast<std::size_t>(host::kMaxCellTextLength))
        return Ev::err(ErrorCode::Value);
      return Ev::val(Value::text(std::move(s)));
    }
    if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
      if (a.is_error()) return Ev::val(a);
      if (b.is_error()) return Ev::val(b);
      int c = compare(a, b);
      bool r = op == "=" ? c == 0 : op == "<>" ? c != 0 : op == "<" ? c < 0 : op == ">" ? c > 0
               : op == "<=" ? c <= 0 : c >= 0;
      return Ev::val(Value::boolean(r));
    }
    auto x = number(a);
    if (!x) return Ev::val(value_error(a));
    auto y = number(b);
    if (!y) return Ev::val(value_error(b));
    switch (op[0]) {
      case '+': return num_result(*x + *y);
      case '-': return num_result(*x - *y);
      case '*': return num_result(*x * *y);
      case '/':
        if (*y == 0) return Ev::err(ErrorCode::Div0);
        return num_result(*x / *y);
      case '^':
        if (*x == 0 && *y == 0) return Ev::err(ErrorCode::Num);
        if (*x == 0 && *y < 0) return Ev::err(ErrorCode::Div0);
        return num_result(std::pow(*x, *y));
    }
    return Ev::err(ErrorCode::Value);
  }

  // ---- Aggregates ----------------------------------------------------------

  // Calls f(value, from_reference) for every value of the arguments: the
  // non-empty cells of references (row by row), and direct values. A missing
  // argument counts as the number 0. Stops at the first error f returns.
  template <class F>
  std::optional<Value> each_value(const Node& call_node, F&& f, std::size_t first = 0,
                                  std::size_t last = SIZE_MAX) {
    last = std::min(last, call_node.kids.size());
    for (std::size_t i = first; i < last; ++i) {
      const auto& arg = call_node.kids[i];
      if (arg->k == Node::K::Missing) {
        if (auto e = f(Value::number(0), false)) return e;
        continue;
      }
      if (arg->k == Node::K::Array) {
        // Constants in an array count the way cells of a reference do.
        for (const auto& k : arg->kids) {
          Value v = eval(*k).v;
          if (auto e = f(v, true)) return e;
        }
        continue;
      }
      if (arg->k == Node::K::Union) {
        if (auto e = each_value(*arg, f)) return e;
        continue;
      }
      Ev e = eval(*arg);
      if (!e.is_ref) {
        if (auto err = f(e.v, false)) return err;
        continue;
      }
      std::optional<Value> stop;
      r_.for_each_in(e.sheet, e.area, [&](int, int, const Value& v) {
        if (stop || v.is_empty()) return;
        stop = f(v, true);
      });
      if (stop) return stop;
    }
    return std::nullopt;
  }

  enum class Agg { Sum, Count, CountA, Average, AverageA, Max, Min, MaxA, MinA, Product };

  Ev aggregate(const Node& n, Agg kind) {
    double sum = 0, best = 0, product = 1;
    long long count = 0;
    bool any = false;
    bool text_as_zero = kind == Agg::AverageA || kind == Agg::MaxA || kind == Agg::MinA;
    auto take = [&](double x) {
      sum += x;
      product *= x;
      if (!any || (kind == Agg::Max || kind == Agg::MaxA ? x > best : x < best)) best = x;
      any = true;
      ++count;
    };
    auto err = each_value(n, [&](const Value& v, bool from_ref) -> std::optional<Value> {
      if (kind == Agg::CountA) {
        ++count;
        return std::nullopt;
      }
      if (kind == Agg::Count) {
        if (v.is_number()) ++count;
        else if (!from_ref && v.is_boolean()) ++count;
        else if (!from_ref && v.is_text() && text_number(v.as_text())) ++count;
        return std::nullopt;
      }
      if (v.is_error()) return v;
      if (v.is_number()) {
        take(v.as_number());
      } else if (from_ref) {
        if (text_as_zero && v.is_text()) take(0);
        else if (text_as_zero && v.is_boolean()) take(v.as_number());
      } else if (v.is_boolean() || v.is_empty()) {
        take(v.as_number());
      } else if (v.is_text()) {
        auto x = text_number(v.as_text());
        if (!x) return Value::error(ErrorCode::Value);
        take(*x);
      }
      return std::nullopt;
    });
    if (err) return Ev::val(*err);
    switch (kind) {
      case Agg::Sum: return num_result(sum);
      case Agg::Product: return num_result(any ? product : 0);
      case Agg::Count:
      case Agg::CountA: return Ev::val(Value::number(static_cast<double>(count)));
      case Agg::Average:
      case Agg::AverageA:
        if (count == 0) return Ev::err(ErrorCode::Div0);
        return num_result(sum / static_cast<double>(count));
      default: return Ev::val(Value::number(any ? best : 0));
    }
  }

  // ---- Criteria (COUNTIF, SUMIF) -------------------------------------------

  struct Criterion {
    std::string op = "=";
    enum class T { Number, Text, Bool, Error } type = T::Text;
    double num = 0;
    std::string text;  // upper-cased for wildcard matching
    ErrorCode err = ErrorCode::NA;
  };

  static std::string upper_ascii(std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
  }

  static bool wildcard(std::string_view p, std::string_view s) {
    // '*' any run, '?' one character (byte-wise; UTF-8 sequences count as
    // one character), '~' escapes.
    auto char_len = [](std::string_view t, std::size_t i) {
      unsigned char c = static_cast<unsigned char>(t[i]);
      std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      return std::min(n, t.size() - i);
    };
    std::size_t pi = 0, si = 0, star_p = std::string_view::npos, star_s = 0;
    while (si < s.size()) {
      if (pi < p.size() && p[pi] == '*') {
        star_p = ++pi;
        star_s = si;
        continue;
      }
      if (pi < p.size()) {
        if (p[pi] == '?') {
          ++pi;
          si += char_len(s, si);
          continue;
        }
        std::size_t q = pi;
        if (p[q] == '~' && q + 1 < p.size() && (p[q + 1] == '*' || p[q + 1] == '?' || p[q + 1] == '~'))
          ++q;
        std::size_t n = char_len(p, q);
        if (s.substr(si, n) == p.substr(q, n)) {
          pi = q + n;
          si += n;
          continue;
        }
      }
      if (star_p == std::string_view::npos) return false;
      pi = star_p;
      si = star_s + char_len(s, star_s);
      star_s = si;
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
  }

  static Criterion criterion(const Value& v) {
    Criterion c;
    if (v.is_number()) {
      c.type = Criterion::T::Number;
      c.num = v.as_number();
      return c;
    }
    if (v.is_boolean()) {
      c.type = Criterion::T::Bool;
      c.num = v.as_number();
      return c;
    }
    if (v.is_error()) {
      c.type = Criterion::T::Error;
      c.err = v.as_error();
      return c;
    }
    if (v.is_empty()) throw Unsupported{};
    std::string s = v.as_text();
    for (std::string_view op : {"<=", ">=", "<>", "=", "<", ">"}) {
      if (s.rfind(op, 0) == 0) {
        c.op = std::string(op);
        s.erase(0, op.size());
        break;
      }
    }
    if (auto x = text_number(s)) {
      c.type = Criterion::T::Number;
      c.num = *x;
    } else if (detail::same_sheet(s, "TRUE") || detail::same_sheet(s, "FALSE")) {
      c.type = Criterion::T::Bool;
      c.num = detail::same_sheet(s, "TRUE") ? 1 : 0;
    } else if (auto e = host::parse_error(upper_ascii(s))) {
      c.type = Criterion::T::Error;
      c.err = *e;
    } else {
      c.type = Criterion::T::Text;
      c.text = upper_ascii(s);
      // "" and "=" match blank cells only; the bare empty text matches
      // blanks and empty texts alike.
      if (c.text.empty() && c.op == "=" && s.empty() && v.as_text().empty()) c.op = "";
    }
    return c;
  }

  static bool matches(const Criterion& c, const Value& v) {
    bool eq = false;
    int order = 0;
    bool ordered = false;
    switch (c.type) {
      case Criterion::T::Number:
        if (v.is_number()) {
          eq = v.as_number() == c.num;
          order = v.as_number() < c.num ? -1 : v.as_number() > c.num ? 1 : 0;
          ordered = true;
        } else if (v.is_text()) {
          try {
            auto x = text_number(v.as_text());
            eq = x && *x == c.num;
          } catch (const Unsupported&) {
            eq = false;
          }
        }
        break;
      case Criterion::T::Bool:
        eq = v.is_boolean() && v.as_number() == c.num;
        break;
      case Criterion::T::Error:
        eq = v.is_error() && v.as_error() == c.err;
        break;
      case Criterion::T::Text:
        if (c.op.empty()) return v.is_empty() || (v.is_text() && v.as_text().empty());
        if (c.text.empty()) {
          eq = v.is_empty();
        } else if (v.is_text()) {
          std::string u = upper_ascii(v.as_text());
          eq = wildcard(c.text, u);
          order = text_compare(u, c.text);
          ordered = true;
        }
        break;
    }
    if (c.op == "=") return eq;
    if (c.op == "<>") return !eq;
    if (!ordered) return false;
    if (c.op == "<") return order < 0;
    if (c.op == ">") return order > 0;
    if (c.op == "<=") return order <= 0;
    return order >= 0;
  }

  Ev need_ref(const Node& n) {
    Ev e = eval(n);
    if (!e.is_ref && !e.v.is_error()) return Ev::err(ErrorCode::Value);
    return e;
  }

  // COUNTIF, SUMIF, AVERAGEIF.
  Ev conditional(const Node& n, Fn fn) {
    Ev range = need_ref(*n.kids[0]);
    if (!range.is_ref) return range;
    Value cv = scalar(eval(*n.kids[1]));
    Criterion c = criterion(cv);
    if (fn == Fn::CountIf) {
      long long count = 0, seen = 0;
      r_.for_each_in(range.sheet, range.area, [&](int, int, const Value& v) {
        if (v.is_empty()) return;
        ++seen;
        if (matches(c, v)) ++count;
      });
      if (matches(c, Value())) {
        long long cells = static_cast<long long>(range.area.row_count()) * range.area.col_count();
        count += cells - seen;
      }
      return Ev::val(Value::number(static_cast<double>(count)));
    }
    Ev target = range;
    if (n.kids.size() == 3 && n.kids[2]->k != Node::K::Missing) {
      target = need_ref(*n.kids[2]);
      if (!target.is_ref) return target;
      // The sum area takes the criteria area's shape from its top-left cell.
      target.area = Area{target.area.top, target.area.left,
                         target.area.top + range.area.row_count() - 1,
                         target.area.left + range.area.col_count() - 1};
      if (!target.area.valid()) throw Unsupported{};
    }
    double sum = 0;
    long long count = 0;
    std::optional<Value> err;
    int dr = range.area.top - target.area.top, dc = range.area.left - target.area.left;
    r_.for_each_in(target.sheet, target.area, [&](int row, int col, const Value& v) {
      if (err || !v.is_number()) {
        if (!err && v.is_error()) {
          Value key = (dr == 0 && dc == 0 && detail::same_sheet(range.sheet, target.sheet))
                          ? v
                          : r_.cell(range.sheet, row + dr, col + dc);
          if (matches(c, key)) err = v;
        }
        return;
      }
      Value key = (dr == 0 && dc == 0 && detail::same_sheet(range.sheet, target.sheet))
                      ? v
                      : r_.cell(range.sheet, row + dr, col + dc);
      if (!matches(c, key)) return;
      sum += v.as_number();
      ++count;
    });
    if (err) return Ev::val(*err);
    if (fn == Fn::SumIf) return num_result(sum);
    if (count == 0) return Ev::err(ErrorCode::Div0);
    return num_result(sum / static_cast<double>(count));
  }

  // ---- Rounding --------------------------------------------------------------

  enum class RoundMode { HalfAway, Up, Down };

  // Rounds on the decimal value the cell shows (15 significant digits), so
  // ROUND(2.675, 2) is 2.68 although the double is a little below 2.675.
  static double round_decimal(double x, double digits_arg, RoundMode mode) {
    if (x == 0 || !std::isfinite(x)) return x;
    int digits = static_cast<int>(std::trunc(std::clamp(digits_arg, -400.0, 400.0)));
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 14);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    // d.dddddddddddddde[+-]XX
    std::size_t e = sci.find('e');
    std::string mant;
    for (char c : sci.substr(0, e))
      if (c != '.') mant += c;
    int exp10 = std::atoi(std::string(sci.substr(e + 1)).c_str());
    // x = 0.mant * 10^(exp10 + 1); keep the first `keep` digits.
    int keep = exp10 + 1 + digits;
    if (keep >= static_cast<int>(mant.size())) {
      double v = detail::decimal_value(sci);
      return x < 0 ? -v : v;
    }
    std::string kept;
    bool round_up = false;
    if (keep <= 0) {
      bool nonzero = mant.find_first_not_of('0') != std::string::npos;
      if (mode == RoundMode::HalfAway) round_up = keep == 0 && mant[0] >= '5';
      else if (mode == RoundMode::Up) round_up = nonzero;
      kept = "0";
    } else {
      kept = mant.substr(0, static_cast<std::size_t>(keep));
      std::string rest = mant.substr(static_cast<std::size_t>(keep));
      if (mode == RoundMode::HalfAway) round_up = rest[0] >= '5';
      else if (mode == RoundMode::Up) round_up = rest.find_first_not_of('0') != std::string::npos;
    }
    if (round_up) {
      int i = static_cast<int>(kept.size()) - 1;
      while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9') kept[static_cast<std::size_t>(i--)] = '0';
      if (i < 0) kept.insert(kept.begin(), '1');
      else ++kept[static_cast<std::size_t>(i)];
    }
    std::string text = kept + "e" + std::to_string(-digits);
    double v = detail::decimal_value(text);
    return x < 0 && v != 0 ? -v : v;
  }

  // ---- Functions -------------------------------------------------------------

  std::optional<double> arg_number(const Node& n, Value& error) {
    if (n.k == Node::K::Missing) return 0.0;
    Value v = scalar(eval(n));
    auto x = number(v);
    if (!x) error = value_error(v);
    return x;
  }

  Ev logical(const Node& n, bool is_and) {
    bool result = is_and;
    bool any = false;
    auto err = each_value(n, [&](const Value& v, bool from_ref) -> std::optional<Value> {
      if (v.is_error()) return v;
      std::optional<bool> b;
      if (v.is_number() || v.is_boolean()) b = v.as_number() != 0;
      else if (!from_ref) {
        b = truth(v);
        if (!b) return Value::error(ErrorCode::Value);
      }
      if (!b) return std::nullopt;
      any = true;
      result = is_and ? (result && *b) : (result || *b);
      return std::nullopt;
    });
    if (err) return Ev::val(*err);
    if (!any) return Ev::err(ErrorCode::Value);
    return Ev::val(Value::boolean(result));
  }

  Ev rank(const Node& n) {
    Value error;
    auto x = arg_number(*n.kids[0], error);
    if (!x) return Ev::val(error);
    Ev range = need_ref(*n.kids[1]);
    if (!range.is_ref) return range;
    bool ascending = false;
    if (n.kids.size() == 3) {
      auto o = arg_number(*n.kids[2], error);
      if (!o) return Ev::val(error);
      ascending = *o != 0;
    }
    long long better = 0;
    bool found = false;
    r_.for_each_in(range.sheet, range.area, [&](int, int, const Value& v) {
      if (!v.is_number()) return;
      double y = v.as_number();
      if (y == *x) found = true;
      if (ascending ? y < *x : y > *x) ++better;
    });
    if (!found) return Ev::err(ErrorCode::NA);
    return Ev::val(Value::number(static_cast<double>(better + 1)));
  }

  // ---- Statistics ------------------------------------------------------------

  // The numbers of arguments [first, last) as SUM reads them.
  std::optional<Value> numbers_of(const Node& n, std::vector<double>& out, std::size_t first = 0,
                                  std::size_t last = SIZE_MAX) {
    return each_value(
        n,
        [&](const Value& v, bool from_ref) -> std::optional<Value> {
          if (v.is_error()) return v;
          if (v.is_number()) {
            out.push_back(v.as_number());
          } else if (!from_ref) {
            if (v.is_boolean() || v.is_empty()) {
              out.push_back(v.as_number());
            } else {
              auto x = text_number(v.as_text());
              if (!x) return Value::error(ErrorCode::Value);
              out.push_back(*x);
            }
          }
          return std::nullopt;
        },
        first, last);
  }

  Ev statistic(const Node& n, Fn fn) {
    std::vector<double> xs;
    if (auto e = numbers_of(n, xs, 0, fn == Fn::Large || fn == Fn::Small ? 1 : SIZE_MAX))
      return Ev::val(*e);
    if (fn == Fn::Large || fn == Fn::Small) {
      Value error;
      auto k = arg_number(*n.kids[1], error);
      if (!k) return Ev::val(error);
      double kk = std::ceil(*k);
      if (xs.empty() || kk < 1 || kk > static_cast<double>(xs.size())) return Ev::err(ErrorCode::Num);
      std::sort(xs.begin(), xs.end());
      std::size_t i = static_cast<std::size_t>(kk) - 1;
      return num_result(fn == Fn::Small ? xs[i] : xs[xs.size() - 1 - i]);
    }
    if (fn == Fn::Median) {
      if (xs.empty()) return Ev::err(ErrorCode::Num);
      std::sort(xs.begin(), xs.end());
      std::size_t m = xs.size() / 2;
      return num_result(xs.size() % 2 ? xs[m] : (xs[m - 1] + xs[m]) / 2);
    }
    // Variance by two passes: the mean first, then the squared deviations.
    bool sample = fn == Fn::StDev || fn == Fn::Var;
    std::size_t need = sample ? 2 : 1;
    if (xs.size() < need) return Ev::err(ErrorCode::Div0);
    double sum = 0;
    for (double x : xs) sum += x;
    double mean = sum / static_cast<double>(xs.size());
    double sq = 0;
    for (double x : xs) sq += (x - mean) * (x - mean);
    double var = sq / static_cast<double>(sample ? xs.size() - 1 : xs.size());
    return num_result(fn == Fn::StDev || fn == Fn::StDevP ? std::sqrt(var) : var);
  }

  // ---- Lookup ------------------------------------------------------------------

  static bool lookup_equal(const Value& key, const Value& v) {
    if (key.is_number()) return v.is_number() && v.as_number() == key.as_number();
    if (key.is_boolean()) return v.is_boolean() && v.as_number() == key.as_number();
    if (key.is_text())
      return v.is_text() && wildcard(upper_ascii(key.as_text()), upper_ascii(v.as_text()));
    return false;
  }

  static int same_type_order(const Value& a, const Value& b) {
    if (a.is_text()) return text_compare(a.as_text(), b.as_text());
    return a.as_number() < b.as_number() ? -1 : a.as_number() > b.as_number() ? 1 : 0;
  }

  // Position (from 0) of key in a one-row or one-column area. type 0: the
  // first equal value; 1: the last value not above key in ascending data;
  // -1: the last value not below key in descending data. Unsorted or mixed
  // data, where the application's binary search gives answers of its own,
  // are not computed.
  std::optional<long long> find_in(const std::string& sheet, const Area& v, const Value& key,
                                   int type) {
    bool vertical = v.left == v.right;
    auto index = [&](int r, int c) -> long long { return vertical ? r - v.top : c - v.left; };
    std::optional<long long> found;
    if (type == 0) {
      r_.for_each_in(sheet, v, [&](int r, int c, const Value& x) {
        if (!found && lookup_equal(key, x)) found = index(r, c);
      });
      return found;
    }
    bool foreign = false, unsorted = false;
    std::optional<Value> last;
    r_.for_each_in(sheet, v, [&](int r, int c, const Value& x) {
      if (x.is_empty()) return;
      if (x.kind() != key.kind()) {
        foreign = true;
        return;
      }
      if (last && same_type_order(*last, x) * type > 0) unsorted = true;
      last = x;
      if (same_type_order(x, key) * type <= 0) found = index(r, c);
    });
    if (foreign || unsorted) throw Unsupported{};
    return found;
  }

  Value lookup_key(const Node& n) {
    Value key = scalar(eval(n));
    if (key.is_empty()) throw Unsupported{};
    return key;
  }

  // VLOOKUP, HLOOKUP.
  Ev table_lookup(const Node& n, bool vertical) {
    const auto& a = n.kids;
    Value key = lookup_key(*a[0]);
    if (key.is_error()) return Ev::val(key);
    Ev table = need_ref(*a[1]);
    if (!table.is_ref) return table;
    Value error;
    auto idx = arg_number(*a[2], error);
    if (!idx) return Ev::val(error);
    double k = std::trunc(*idx);
    const Area& t = table.area;
    if (k < 1) return Ev::err(ErrorCode::Value);
    if (k > (vertical ? t.col_count() : t.row_count())) return Ev::err(ErrorCode::Ref);
    bool approx = true;
    if (a.size() == 4) {
      Value m = a[3]->k == Node::K::Missing ? Value::boolean(false) : scalar(eval(*a[3]));
      if (m.is_error()) return Ev::val(m);
      auto b = truth(m);
      if (!b) return Ev::err(ErrorCode::Value);
      approx = *b;
    }
    Area keys = vertical ? Area{t.top, t.left, t.bottom, t.left} : Area{t.top, t.left, t.top, t.right};
    auto pos = find_in(table.sheet, keys, key, approx ? 1 : 0);
    if (!pos) return Ev::err(ErrorCode::NA);
    int off = static_cast<int>(k) - 1, at = static_cast<int>(*pos);
    return Ev::val(vertical ? r_.cell(table.sheet, t.top + at, t.left + off)
                            : r_.cell(table.sheet, t.top + off, t.left + at));
  }

  Ev match(const Node& n) {
    const auto& a = n.kids;
    Value key = lookup_key(*a[0]);
    if (key.is_error()) return Ev::val(key);
    Ev range = need_ref(*a[1]);
    if (!range.is_ref) return range;
    int type = 1;
    if (a.size() == 3) {
      Value error;
      auto t = arg_number(*a[2], error);
      if (!t) return Ev::val(error);
      type = *t > 0 ? 1 : *t < 0 ? -1 : 0;
    }
    const Area& v = range.area;
    if (v.top != v.bottom && v.left != v.right) return Ev::err(ErrorCode::NA);
    auto pos = find_in(range.sheet, v, key, type);
    if (!pos) return Ev::err(ErrorCode::NA);
    return Ev::val(Value::number(static_cast<double>(*pos + 1)));
  }

  Ev index(const Node& n) {
    const auto& a = n.kids;
    Ev ref = need_ref(*a[0]);
    if (!ref.is_ref) return ref;
    Value error;
    auto rn = arg_number(*a[1], error);
    if (!rn) return Ev::val(error);
    double row = std::trunc(*rn), col = 0;
    if (a.size() == 3) {
      auto cn = arg_number(*a[2], error);
      if (!cn) return Ev::val(error);
      col = std::trunc(*cn);
    }
    const Area t = ref.area;
    // One index into a single row counts along the row.
    if (a.size() == 2 && t.top == t.bottom && t.left != t.right) std::swap(row, col);
    if (a.size() == 2 && t.left == t.right && t.top == t.bottom) col = 1;
    if (row < 0 || col < 0) return Ev::err(ErrorCode::Value);
    if (row > t.row_count() || col > t.col_count()) return Ev::err(ErrorCode::Ref);
    if (a.size() == 2 && col == 0 && t.left == t.right) col = 1;
    Ev e = ref;
    if (row > 0) e.area.top = e.area.bottom = t.top + static_cast<int>(row) - 1;
    if (col > 0) e.area.left = e.area.right = t.left + static_cast<int>(col) - 1;
    return e;
  }

  // ---- Text --------------------------------------------------------------------

  // Byte offsets of the characters of a UTF-8 text. The application counts
  // UTF-16 units; texts with characters outside the basic plane, where the
  // two counts differ, are not computed.
  static std::vector<std::size_t> char_starts(const std::string& s) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < s.size();) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      if (c >= 0xF0) throw Unsupported{};
      out.push_back(i);
      i += c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
    }
    return out;
  }

  std::optional<std::string> text_arg(const Node& n, Value& error) {
    if (n.k == Node::K::Missing) return std::string();
    Value v = scalar(eval(n));
    if (v.is_error()) {
      error = v;
      return std::nullopt;
    }
    return text(v);
  }

  Ev text_function(const Node& n) {
    const auto& a = n.kids;
    Value error;
    auto s = text_arg(*a[0], error);
    if (!s) return Ev::val(error);
    if (n.fn == Fn::Trim) {
      std::string out;
      for (char c : *s) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
      }
      if (!out.empty() && out.back() == ' ') out.pop_back();
      return Ev::val(Value::text(std::move(out)));
    }
    auto starts = char_starts(*s);
    long long len = static_cast<long long>(starts.size());
    if (n.fn == Fn::Len) return Ev::val(Value::number(static_cast<double>(len)));
    auto piece = [&](long long from, long long count) {
      from = std::clamp(from, 0LL, len);
      long long to = std::clamp(from + count, from, len);
      std::size_t b = from < len ? starts[static_cast<std::size_t>(from)] : s->size();
      std::size_t e = to < len ? starts[static_cast<std::size_t>(to)] : s->size();
      return Ev::val(Value::text(s->substr(b, e - b)));
    };
    if (n.fn == Fn::Mid) {
      auto start = arg_number(*a[1], error);
      if (!start) return Ev::val(error);
      auto count = arg_number(*a[2], error);
      if (!count) return Ev::val(error);
      if (*start < 1 || *count < 0) return Ev::err(ErrorCode::Value);
      return piece(static_cast<long long>(std::min(*start, 1e9)) - 1,
                   static_cast<long long>(std::min(*count, 1e9)));
    }
    double count = 1;
    if (a.size() == 2) {
      auto c = arg_number(*a[1], error);
      if (!c) return Ev::val(error);
      count = *c;
    }
    if (count < 0) return Ev::err(ErrorCode::Value);
    long long k = static_cast<long long>(std::min(count, 1e9));
    return n.fn == Fn::Left ? piece(0, k) : piece(std::max(0LL, len - k), k);
  }

  // ---- COUNTIFS, SUMIFS, AVERAGEIFS ------------------------------------------------

  Ev multi_conditional(const Node& n, Fn fn) {
    const auto& a = n.kids;
    std::size_t first = fn == Fn::CountIfs ? 0 : 1;
    if ((a.size() - first) % 2 != 0) throw Unsupported{};
    Ev target;
    if (first == 1) {
      target = need_ref(*a[0]);
      if (!target.is_ref) return target;
    }
    std::vector<std::pair<Ev, Criterion>> conds;
    for (std::size_t i = first; i < a.size(); i += 2) {
      Ev range = need_ref(*a[i]);
      if (!range.is_ref) return range;
      Value cv = scalar(eval(*a[i + 1]));
      conds.emplace_back(std::move(range), criterion(cv));
    }
    const Area base = conds[0].first.area;
    auto same_shape = [&](const Area& x) {
      return x.row_count() == base.row_count() && x.col_count() == base.col_count();
    };
    for (auto& [range, c] : conds)
      if (!same_shape(range.area)) return Ev::err(ErrorCode::Value);
    if (first == 1 && !same_shape(target.area)) return Ev::err(ErrorCode::Value);

    long long count = 0;
    double sum = 0;
    std::optional<Value> err;
    auto at = [&](const Ev& e, int dr, int dc) {
      return r_.cell(e.sheet, e.area.top + dr, e.area.left + dc);
    };
    auto consider = [&](int dr, int dc, const Value* first_value) {
      for (std::size_t i = 0; i < conds.size(); ++i) {
        Value v = i == 0 && first_value ? *first_value : at(conds[i].first, dr, dc);
        if (!matches(conds[i].second, v)) return;
      }
      if (first == 0) {
        ++count;
        return;
      }
      Value v = at(target, dr, dc);
      if (v.is_error() && !err) err = v;
      if (!v.is_number()) return;
      sum += v.as_number();
      ++count;
    };
    if (matches(conds[0].second, Value())) {
      // Blank cells qualify: every cell of the area has to be looked at.
      long long cells = static_cast<long long>(base.row_count()) * base.col_count();
      if (cells > 200000) throw Unsupported{};
      for (int dr = 0; dr < base.row_count(); ++dr)
        for (int dc = 0; dc < base.col_count(); ++dc) consider(dr, dc, nullptr);
    } else {
      r_.for_each_in(conds[0].first.sheet, base, [&](int r, int c, const Value& v) {
        if (!v.is_empty()) consider(r - base.top, c - base.left, &v);
      });
    }
    if (err) return Ev::val(*err);
    if (fn == Fn::CountIfs) return Ev::val(Value::number(static_cast<double>(count)));
    if (fn == Fn::SumIfs) return num_result(sum);
    if (count == 0) return Ev::err(ErrorCode::Div0);
    return num_result(sum / static_cast<double>(count));
  }

  // ---- Dates (1900 date system) ---------------------------------------------

  // Days from 1970-01-01 of a proleptic Gregorian date.
  static long long days_from_civil(long long y, long long m, long long d) {
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
  }

  static void civil_from_days(long long z, long long& y, long long& m, long long& d) {
    z += 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
  }

  // The application counts 1900 as a leap year: serial 60 is 29 February
  // 1900 and serials from 61 on are one day ahead of the calendar.
  static Ev date_serial(double yd, double md, double dd) {
    long long y = static_cast<long long>(std::trunc(yd));
    long long m = static_cast<long long>(std::trunc(std::clamp(md, -1e7, 1e7)));
    long long d = static_cast<long long>(std::trunc(std::clamp(dd, -1e9, 1e9)));
    if (y >= 0 && y < 1900) y += 1900;
    if (y < 0 || y >= 10000) return Ev::err(ErrorCode::Num);
    y += (m - 1) >= 0 ? (m - 1) / 12 : -((12 - m) / 12);
    m = ((m - 1) % 12 + 12) % 12 + 1;
    long long first = days_from_civil(y, m, 1) - days_from_civil(1899, 12, 31);
    if (first >= 60) ++first;  // months after the phantom 29 February 1900
    long long days = first + (d - 1);
    if (days < 0 || days > 2958465) return Ev::err(ErrorCode::Num);
    return Ev::val(Value::number(static_cast<double>(days)));
  }

  Ev date_part(const Node& n) {
    Value error;
    auto x = arg_number(*n.kids[0], error);
    if (!x) return Ev::val(error);
    if (*x < 0 || *x > 2958465.99999999) return Ev::err(ErrorCode::Num);
    long long s = static_cast<long long>(std::floor(*x));
    long long y = 1900, m = 1, d = 0;
    if (s == 60) {
      m = 2;
      d = 29;
    } else if (s > 0) {
      civil_from_days(days_from_civil(1899, 12, 31) + (s > 60 ? s - 1 : s), y, m, d);
    }
    double v = n.fn == Fn::Year ? static_cast<double>(y) : n.fn == Fn::Month ? static_cast<double>(m)
                                                                            : static_cast<double>(d);
    return Ev::val(Value::number(v));
  }

  // SUMPRODUCT over references and single values: the element-wise products
  // of equally shaped areas, entries that are no numbers counting as 0.
  Ev sum_product(const Node& n) {
    std::vector<double> acc;
    int rows = 0, cols = 0;
    for (std::size_t i = 0; i < n.kids.size(); ++i) {
      Ev e = eval(*n.kids[i]);
      std::vector<double> xs;
      int r = 1, c = 1;
      if (!e.is_ref) {
        if (e.v.is_error()) return Ev::val(e.v);
        xs.push_back(e.v.is_number() ? e.v.as_number() : 0);
      } else {
        r = e.area.row_count();
        c = e.area.col_count();
        if (static_cast<long long>(r) * c > 200000) throw Unsupported{};
        xs.assign(static_cast<std::size_t>(r) * static_cast<std::size_t>(c), 0.0);
        std::optional<Value> err;
        r_.for_each_in(e.sheet, e.area, [&](int row, int col, const Value& v) {
          if (v.is_error() && !err) err = v;
          if (v.is_number())
            xs[static_cast<std::size_t>(row - e.area.top) * static_cast<std::size_t>(c) +
               static_cast<std::size_t>(col - e.area.left)] = v.as_number();
        });
        if (err) return Ev::val(*err);
      }
      if (i == 0) {
        rows = r;
        cols = c;
        acc = std::move(xs);
        continue;
      }
      if (r != rows || c != cols) return Ev::err(ErrorCode::Value);
      for (std::size_t k = 0; k < acc.size(); ++k) acc[k] *= xs[k];
    }
    double sum = 0;
    for (double x : acc) sum += x;
    return num_result(sum);
  }

  Ev call(const Node& n) {
    const auto& a = n.kids;
    Value error;
    auto one_number = [&](auto&& f) -> Ev {
      auto x = arg_number(*a[0], error);
      if (!x) return Ev::val(error);
      return f(*x);
    };
    switch (n.fn) {
      case Fn::Sum: return aggregate(n, Agg::Sum);
      case Fn::Average: return aggregate(n, Agg::Average);
      case Fn::AverageA: return aggregate(n, Agg::AverageA);
      case Fn::Count: return aggregate(n, Agg::Count);
      case Fn::CountA: return aggregate(n, Agg::CountA);
      case Fn::Max: return aggregate(n, Agg::Max);
      case Fn::Min: return aggregate(n, Agg::Min);
      case Fn::MaxA: return aggregate(n, Agg::MaxA);
      case Fn::MinA: return aggregate(n, Agg::MinA);
      case Fn::CountBlank: {
        Ev range = need_ref(*a[0]);
        if (!range.is_ref) return range;
        long long filled = 0;
        r_.for_each_in(range.sheet, range.area, [&](int, int, const Value& v) {
          if (!v.is_empty() && !(v.is_text() && v.as_text().empty())) ++filled;
        });
        long long cells = static_cast<long long>(range.area.row_count()) * range.area.col_count();
        return Ev::val(Value::number(static_cast<double>(cells - filled)));
      }
      case Fn::Round:
      case Fn::RoundUp:
      case Fn::RoundDown: {
        auto x = arg_number(*a[0], error);
        if (!x) return Ev::val(error);
        auto d = arg_number(*a[1], error);
        if (!d) return Ev::val(error);
        RoundMode m = n.fn == Fn::Round ? RoundMode::HalfAway
                      : n.fn == Fn::RoundUp ? RoundMode::Up : RoundMode::Down;
        return num_result(round_decimal(*x, *d, m));
      }
      case Fn::Today: return Ev::val(Value::number(r_.today_serial()));
      case Fn::If: {
        Value c = a[0]->k == Node::K::Missing ? Value() : scalar(eval(*a[0]));
        if (c.is_error()) return Ev::val(c);
        auto t = truth(c);
        if (!t) return Ev::err(ErrorCode::Value);
        if (*t) {
          if (a.size() < 2) return Ev::val(Value::boolean(true));
          if (a[1]->k == Node::K::Missing) return Ev::val(Value::number(0));
          return eval(*a[1]);
        }
        if (a.size() < 3) return Ev::val(Value::boolean(false));
        if (a[2]->k == Node::K::Missing) return Ev::val(Value::number(0));
        return eval(*a[2]);
      }
      case Fn::And: return logical(n, true);
      case Fn::Or: return logical(n, false);
      case Fn::Not: {
        Value v = scalar(eval(*a[0]));
        if (v.is_error()) return Ev::val(v);
        auto t = truth(v);
        if (!t) return Ev::err(ErrorCode::Value);
        return Ev::val(Value::boolean(!*t));
      }
      case Fn::Abs: return one_number([](double x) { return num_result(std::fabs(x)); });
      case Fn::Int: return one_number([](double x) { return num_result(std::floor(x)); });
      case Fn::Sqrt:
        return one_number([](double x) {
          return x < 0 ? Ev::err(ErrorCode::Num) : num_result(std::sqrt(x));
        });
      case Fn::Mod: {
        auto x = arg_number(*a[0], error);
        if (!x) return Ev::val(error);
        auto d = arg_number(*a[1], error);
        if (!d) return Ev::val(error);
        if (*d == 0) return Ev::err(ErrorCode::Div0);
        return num_result(*x - *d * std::floor(*x / *d));
      }
      case Fn::CountIf:
      case Fn::SumIf:
      case Fn::AverageIf: return conditional(n, n.fn);
      case Fn::Rank: return rank(n);
      case Fn::IfError: {
        Ev e = eval(*a[0]);
        if (!scalar(e).is_error()) return e;
        if (a[1]->k == Node::K::Missing) return Ev::val(Value::number(0));
        return eval(*a[1]);
      }
      case Fn::IsBlank: {
        Ev e = eval(*a[0]);
        return Ev::val(Value::boolean(e.is_ref && scalar(e).is_empty()));
      }
      case Fn::IsNumber: return Ev::val(Value::boolean(scalar(eval(*a[0])).is_number()));
      case Fn::IsText: return Ev::val(Value::boolean(scalar(eval(*a[0])).is_text()));
      case Fn::IsError: return Ev::val(Value::boolean(scalar(eval(*a[0])).is_error()));
      case Fn::True: return Ev::val(Value::boolean(true));
      case Fn::False: return Ev::val(Value::boolean(false));
      case Fn::Median:
      case Fn::Large:
      case Fn::Small:
      case Fn::StDev:
      case Fn::StDevP:
      case Fn::Var:
      case Fn::VarP: return statistic(n, n.fn);
      case Fn::VLookup: return table_lookup(n, true);
      case Fn::HLookup: return table_lookup(n, false);
      case Fn::Match: return match(n);
      case Fn::Index: return index(n);
      case Fn::Len:
      case Fn::Left:
      case Fn::Right:
      case Fn::Mid:
      case Fn::Trim: return text_function(n);
      case Fn::Concatenate: {
        std::string out;
        for (const auto& arg : a) {
          auto t = text_arg(*arg, error);
          if (!t) return Ev::val(error);
          out += *t;
        }
        if (out.size() > static_cast<std::size_t>(host::kMaxCellTextLength))
          return Ev::err(ErrorCode::Value);
        return Ev::val(Value::text(std::move(out)));
      }
      case Fn::ValueFn: {
        Value v = scalar(eval(*a[0]));
        if (v.is_error()) return Ev::val(v);
        if (v.is_boolean()) return Ev::err(ErrorCode::Value);
        auto x = number(v);
        if (!x) return Ev::err(ErrorCode::Value);
        return num_result(*x);
      }
      case Fn::CountIfs:
      case Fn::SumIfs:
      case Fn::AverageIfs: return multi_conditional(n, n.fn);
      case Fn::Date: {
        double parts[3];
        for (int i = 0; i < 3; ++i) {
          auto x = arg_number(*a[static_cast<std::size_t>(i)], error);
          if (!x) return Ev::val(error);
          parts[i] = *x;
        }
        return date_serial(parts[0], parts[1], parts[2]);
      }
      case Fn::Year:
      case Fn::Month:
      case Fn::Day: return date_part(n);
      case Fn::Product: return aggregate(n, Agg::Product);
      case Fn::SumProduct: return sum_product(n);
      case Fn::Choose: {
        auto k = arg_number(*a[0], error);
        if (!k) return Ev::val(error);
        double i = std::trunc(*k);
        if (i < 1 || i >= static_cast<double>(a.size())) return Ev::err(ErrorCode::Value);
        const Node& pick = *a[static_cast<std::size_t>(i)];
        if (pick.k == Node::K::Missing) return Ev::val(Value::number(0));
        return eval(pick);
      }
      case Fn::IsNA: {
        Value v = scalar(eval(*a[0]));
        return Ev::val(Value::boolean(v.is_error() && v.as_error() == ErrorCode::NA));
      }
      case Fn::IsLogical: return Ev::val(Value::boolean(scalar(eval(*a[0])).is_boolean()));
      case Fn::NA: return Ev::err(ErrorCode::NA);
    }
    throw Unsupported{};
  }
};

}  // namespace

ParsedPtr parse(std::string_view formula) {
  auto p = std::make_shared<Parsed>();
  bool supported = false;
  Parser parser(formula);
  p->root = parser.run(supported);
  p->parses = p->root != nullptr;
  p->supported = p->parses && supported;
  return p;
}

// The formula's cell does not matter to anything computed: A1 references
// are absolute coordinates, and ranges in scalar places are left alone.
Result evaluate(const Parsed& formula, int, int, const Resolver& r) {
  Result out;
  if (!formula.supported) {
    out.supported = false;
    return out;
  }
  try {
    Evaluator ev(r);
    Value v = ev.scalar(ev.eval(*formula.root));
    // A formula showing an empty cell shows 0.
    if (v.is_empty()) v = Value::number(0);
    out.value = std::move(v);
  } catch (const Unsupported&) {
    out.supported = false;
  }
  return out;
}

Result evaluate(std::string_view formula, int row, int col, const Resolver& r) {
  return evaluate(*parse(formula), row, col, r);
}

bool is_supported(std::string_view formula) { return parse(formula)->supported; }

bool is_supported(const Parsed& formula) { return formula.supported; }

bool parses(std::string_view formula) { return parse(formula)->parses; }

}  // namespace lczs::memory::formula
