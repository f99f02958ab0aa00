// Pieces the .xlsx reader and writer share: colour palettes, built-in number
// formats, border styles, cell references, column widths and the rebasing of
// shared formulas.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/package_check.h"
#include "model/model.h"

namespace lczs::io::detail {

// ---- Limits on what a file may make us hold -----------------------------------

// Largest file read at all.
inline constexpr std::size_t kMaxFileBytes = 256u << 20;
// Largest uncompressed part of a package, and all parts together.
inline constexpr std::size_t kMaxPartBytes = 256u << 20;
inline constexpr std::size_t kMaxTotalBytes = 1024u << 20;
// Largest ratio of uncompressed to compressed size for a part bigger than
// kRatioCheckFloor; spreadsheet XML compresses well but not a thousandfold.
inline constexpr std::size_t kMaxCompressionRatio = 200;
inline constexpr std::size_t kRatioCheckFloor = 1u << 20;
inline constexpr std::size_t kMaxParts = 10000;
inline constexpr int kMaxSheets = 1024;
// Validations, conditional format rules, filter columns and names of a
// workbook, and how deep a carried element may nest (a hostile file could
// otherwise make the reader recurse without end).
inline constexpr std::size_t kMaxRangeItems = 1000000;
inline constexpr int kMaxElementDepth = 16;
// Cells one sheet's hyperlinks may cover: a link over a range is one link
// per cell in the model.
inline constexpr std::size_t kMaxHyperlinkCells = 1u << 16;
// Largest comment box side read from a file, in points; a larger one is
// taken as damage and the box keeps its default size.
inline constexpr double kMaxNoteBoxPoints = 10000;

// ---- Colours -------------------------------------------------------------------

// RGB (0xRRGGBB) of an indexed colour of the default palette; 64 and above
// (system colours) give black.
std::uint32_t indexed_rgb(int index);

// The theme colours the writer's theme part holds (the default 2007 Office theme), in
// SpreadsheetML's order: lt1, dk1, lt2, dk2, accent1..6, hlink, folHlink.
using ThemePalette = std::array<std::uint32_t, 12>;
const ThemePalette& default_theme();

// Applies a tint (-1..1) to an RGB colour the way the application does.
std::uint32_t apply_tint(std::uint32_t rgb, double tint);

// RGB of any colour; `automatic` is what Auto stands for.
std::uint32_t resolve_rgb(const memory::Color& c, const ThemePalette& theme,
                          std::uint32_t automatic);

// ---- Number formats --------------------------------------------------------------

// The code of a built-in number format id, nullopt for unknown ids.
std::optional<std::string_view> builtin_format(int id);
// The built-in id of a format code, nullopt when it is not a built-in one.
std::optional<int> builtin_format_id(std::string_view code);

// ---- Borders ----------------------------------------------------------------------

// SpreadsheetML border style names ("thin", "mediumDashed", ...).
memory::BorderLine border_from_style(std::string_view style);
std::string_view border_style_name(const memory::BorderLine& line);

// ---- Cells ----------------------------------------------------------------------------

// "B3" (no $) to (row, col); nullopt when malformed or outside the sheet.
std::optional<host::CellRef> parse_cell(std::string_view ref);

// The first two of `areas` that overlap (as indexes), nullopt when none do.
// O(n log n): the file decides how many there are.
std::optional<std::pair<std::size_t, std::size_t>> first_overlap(const std::vector<host::Area>& areas);

// ---- Column widths ------------------------------------------------------------------

// A width as a file stores it (characters including the cell padding) to the
// width the user sees (Range.ColumnWidth), and back. The application draws columns in whole pixels of a 7-pixel digit
// with 5 pixels of padding.
double column_width_from_file(double file_width);
double file_width_from_column_width(double width);

// ---- Shared formulas ------------------------------------------------------------------

// The formula of a cell `drow` rows and `dcol` columns away from the cell
// holding `formula`: relative references move, absolute ones stay. References
// that would leave the sheet become #REF!.
std::string shift_formula(std::string_view formula, int drow, int dcol);

// ---- Files ----------------------------------------------------------------------------

// The whole file, at most kMaxFileBytes; throws FileError.
std::string read_file_bytes(const std::string& path);

// What a file that is no workbook this program reads really is, told from
// its content, and what to do with it, as the whole refusal; "" when it may
// be one (an .xlsx package, a compound file of Excel, text).
std::string foreign_file_text(const std::string& path);

// ---- Writing ----------------------------------------------------------------------------

// The whole .xlsx package for `book`, its parts parsed as they were made
// (io/package_check.h); `shown_path` names the file in messages. Throws
// host::SaveError (or std::bad_alloc).
MadePackage make_package(const memory::WorkbookData& book, const std::string& shown_path);

// Temporary files of a save to `target` are named "<this>XXXXXX" beside it,
// hidden; the lock file is "<this>lock". The prefix is ".NAME.lczs-", or for
// a name too long to take it within the folder's longest file name, the
// name's start, "~" and a checksum of the whole name: every name a file can
// have has its temporaries and its lock.
std::string temporary_prefix(const std::string& target);
inline constexpr std::size_t kTemporarySuffix = 6;
inline constexpr const char* kTemporaryMark = ".lczs-";
// The longest file name where the file system does not say (NAME_MAX).
inline constexpr std::size_t kDefaultNameMax = 255;

// ---- Messages -----------------------------------------------------------------------------

// A system error (errno) in the user's words: "磁盘空间不足" for ENOSPC and so
// on, never the C library's English text.
std::string errno_text(int err);
// A libzip error code (ZIP_ER_*) with its system error, in the same words.
std::string zip_error_text(int zip_error, int system_error);

// ---- Text -----------------------------------------------------------------------------

bool valid_utf8(std::string_view s);
// A sheet name the application accepts, made from any text: characters it
// cannot hold become "_", cut to 31 characters, never empty.
std::string clean_sheet_name(std::string_view s);
// Number of Unicode characters of UTF-8 text.
std::size_t utf8_length(std::string_view s);
// Byte offset of the n-th character.
std::size_t utf8_offset(std::string_view s, std::size_t n);

}  // namespace lczs::io::detail
