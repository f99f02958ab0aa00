// Writing an Open Packaging container (the zip file of an .xlsx) with
// libzip: parts are added by name with their content, or with a function
// that makes the content when libzip comes to the part. A large part (a
// sheet) is made in pieces; two worker threads check each piece
// (io/package_check.h) and compress it while the next is being made, so the
// text of a sheet is never held whole, and libzip copies the compressed
// stream as it is. Every failure throws host::SaveError naming the file and
// what went wrong.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "io/package_check.h"
#include "io/xml_writer.h"

namespace lczs::io::detail {

// zlib's fastest level: sheet XML compresses nearly as well at 1 as at 6
// (files about a quarter larger) in half the time. Pieces are compressed
// apart, each ending on a byte boundary, which costs a few bytes a piece.
inline constexpr int kDeflateLevel = 1;

class PackageWriter {
 public:
  // `shown_path` names the file in messages.
  explicit PackageWriter(std::string shown_path, int level = kDeflateLevel);
  ~PackageWriter();
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;

  void add(const std::string& name, std::string content);
  // `make` runs once, while finish() writes the package.
  void add_lazy(const std::string& name, std::function<std::string()> make);
  // The same for a large part made in pieces: `make` gives each piece but
  // the last to its sink as soon as it is made, so that it is checked and
  // compressed while the rest is still being made, and returns the last.
  void add_pieces(const std::string& name, std::function<std::string(const PieceSink&)> make);
  // Part `from` of the zip archive `archive`, copied compressed as it is
  // there. `archive` must outlive finish().
  void add_copy(const std::string& name, const std::string& archive, const std::string& from);

  // The whole package. Rethrows what a part's function threw, or the
  // check's first fault.
  MadePackage finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace lczs::io::detail
