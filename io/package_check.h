// Checking a package before it replaces anything, in two halves.
//
// PartCheck parses each part's text to its end with expat on a second
// thread, piece by piece while the writer is still making the part and
// compressing it:
// expat is stricter than the reader (control characters, undeclared
// entities), so a text that passes opens in the spreadsheet application
// too, and a text cut short never passes. It keeps each part's length, CRC
// and last bytes.
//
// verify_package then reads the written file back: its zip directory, every
// part unpacked (libzip checks its CRC), each part exactly as long, with the
// same CRC and the same ending as the text that was parsed, within the
// reader's limits. Together they hold what reading the file back and parsing
// every part from it would, at the cost of one unpacking on the writer's
// thread; the parsing runs beside the compression on the other core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
// Text handed over but not yet parsed beyond which the writer waits before
// making another part: at most one large part is held at a time, as when
// the parts were made one by one, while small ones run ahead.
inline constexpr std::size_t kCheckBacklog = 8u << 20;

class PartCheck {
 public:
  // `shown_path` names the file in messages. Without a second thread (the
  // system refuses one) parts are parsed as they are handed over.
  explicit PartCheck(std::string shown_path);
  ~PartCheck();
  PartCheck(const PartCheck&) = delete;
  PartCheck& operator=(const PartCheck&) = delete;

  // Waits while more than kCheckBacklog bytes wait to be parsed.
  void wait_for_room();
  // Hands a piece of a part over, in order: `first` starts the part,
  // `last` ends it. A part handed over again replaces its digest. Throws
  // the fault found in an earlier piece.
  void add(const std::string& name, std::shared_ptr<const std::string> piece, bool first, bool last);
  void add(const std::string& name, std::shared_ptr<const std::string> text) { add(name, std::move(text), true, true); }
  // A part copied as it was from the file read (an image, a chart the
  // model carries): its digest, taken from its copy, without parsing.
  void add_known(PartDigest digest);
  // Waits for every part: their digests in the order handed over. Throws
  // host::SaveError for the first fault (or what the thread threw).
  std::vector<PartDigest> finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Reads the package written to `file` back and holds it against `parts`,
// the digests of what was written. Throws host::SaveError naming
// `shown_path` and the first fault.
void verify_package(const std::string& file, const std::string& shown_path, const std::vector<PartDigest>& parts);

}  // namespace lczs::io::detail
