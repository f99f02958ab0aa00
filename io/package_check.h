// Checking a package before it replaces anything, in two halves.
//
// check_piece parses a piece of a part's text with expat, inside the
// elements that are open where the piece starts and ends: the writer hands
// a large part on in pieces as it writes it, and the pieces are checked on
// other threads while the rest is still being written. A piece parses only
// if it turns the open elements before it into those after it, the first
// starting with none and the last leaving none, so the pieces together are
// the whole part parsed to its end. expat is stricter than the reader
// (control characters, undeclared entities), so a part that passes opens in
// the spreadsheet application too, and a part cut short never passes.
//
// verify_package then reads the written file back: its zip directory, every
// part unpacked (libzip checks its CRC), each part exactly as long, with the
// same CRC and the same ending as the text that was checked, within the
// reader's limits. Together they hold what reading the file back and parsing
// every part from it would, at the cost of one unpacking on the writer's
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/xml_writer.h"

namespace lczs::io::detail {

// What the writer made of one part.
struct PartDigest {
  std::string name;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;  // zlib's CRC-32, as the zip directory holds it
  std::string tail;       // the last kDigestTail bytes
};

// A package as the writer made it.
struct MadePackage {
  std::string bytes;  // compressed, as it goes to the file
  std::vector<PartDigest> parts;
};

// Bytes of a part's end compared on reading back.
inline constexpr std::size_t kDigestTail = 64;

// Parses `piece`, which starts `offset` bytes into the part `name`, inside
// `before` and up to `after`; a part that is no XML is not parsed. Throws
// host::SaveError naming `shown_path`, the part and the byte.
void check_piece(const std::string& shown_path, const std::string& name, std::string_view piece, std::uint64_t offset,
                 const OpenElements& before, const OpenElements& after);

// Reads the package written to `file` back and holds it against `parts`,
// the digests of what was written. Throws host::SaveError naming
// `shown_path` and the first fault.
void verify_package(const std::string& file, const std::string& shown_path, const std::vector<PartDigest>& parts);

}  // namespace lczs::io::detail
