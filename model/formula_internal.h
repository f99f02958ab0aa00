// Pieces the formula engine's sources share: the tokeniser and the reference
// tokens it produces. Not part of the model's interface.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/formula.h"

namespace lczs::memory::formula::detail {

// One reference as written: optional sheet prefix and the cells.
struct RefTok {
  enum class Kind {
    Cell,  // A1
    Area,  // A1:B2
    Cols,  // A:B (no row part)
    Rows,  // 1:2 (no column part)
    Bad,   // "#REF!" in place of the cells
  };
  Kind kind = Kind::Cell;
  bool has_sheet = false;
  bool sheet_deleted = false;  // "#REF!A1": the sheet was deleted
  bool external = false;       // [1]Sheet1!A1 or '[Book.xlsx]Sheet1'!A1
  std::string sheet;           // unquoted name
  std::string sheet_text;      // the prefix as written, without '!'
  int r1 = 1, c1 = 1, r2 = 1, c2 = 1;
  bool ar1 = false, ac1 = false, ar2 = false, ac2 = false;  // '$' markers

  bool has_rows() const { return kind == Kind::Cell || kind == Kind::Area || kind == Kind::Rows; }
  bool has_cols() const { return kind == Kind::Cell || kind == Kind::Area || kind == Kind::Cols; }
  bool usable() const { return kind != Kind::Bad && !sheet_deleted && !external; }
  // The cells, whole rows/columns spanning the sheet.
  host::Area area() const;
  // Puts the corners in order (top-left first), each coordinate keeping its
  // '$'; a single-cell area becomes a Cell only when it was one.
  void normalize();
};

enum class Tok {
  Space,
  Number,
  String,
  Bool,
  Error,
  Ref,
  Func,    // a function name; the '(' follows as LParen
  Name,    // a defined name (or anything the engine does not know)
  Op,      // + - * / ^ & = <> < > <= >= % : @
  LParen,
  RParen,
  Comma,
  Semicolon,
  LBrace,
  RBrace,
  Unknown,  // a character that has no place in a formula
};

struct Token {
  Tok type = Tok::Unknown;
  std::size_t begin = 0, end = 0;  // byte span in the source
  std::string text;                // Op/Func/Name/Bool upper-cased; String unescaped
  double number = 0;
  host::ErrorCode error = host::ErrorCode::NA;
  RefTok ref;
};

// Notation of the references of a text. R1C1 needs the formula's cell.
struct Notation {
  bool r1c1 = false;
  int row = 1, col = 1;
};

// Splits the whole text into tokens; never fails (stray characters become
// Unknown tokens, an unterminated string runs to the end as Unknown).
std::vector<Token> tokenize(std::string_view text, Notation n = {});

// A reference printed back: sheet_text (which rewriters set, quoted, when
// they change the sheet) and '!', or "#REF!" for a deleted sheet, then the
// cells in the notation asked for.
std::string print_ref(const RefTok& ref, Notation n = {});

bool same_sheet(std::string_view a, std::string_view b);
// A plain decimal ("12", ".5", "1.5e3"; no sign) whatever the C locale says
// the decimal point is. Overflow gives infinity, underflow 0.
double decimal_value(std::string_view text);
bool is_ident_char(unsigned char c);

}  // namespace lczs::memory::formula::detail
