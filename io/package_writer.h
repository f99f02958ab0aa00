// Writing an Open Packaging container (the zip file of an .xlsx) with
// libzip: parts are added by name with their content, or with a function
// that makes the content when libzip compresses the part, so that only one
// large part (a sheet) is held in memory at a time. Every failure throws
// host::SaveError naming the file and what went wrong. Each part's text is
// handed to a PartCheck as it is made, so the check parses it while libzip
// compresses it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "io/package_check.h"
#include "io/xml_writer.h"

namespace lczs::io::detail {

// zlib's fastest level: sheet XML compresses nearly as well at 1 as at 6
// (files about a quarter larger) in half the time.
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
  // the last to its sink as soon as it is made, so that the check parses it
  // while the rest is still being made, and returns the last.
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
