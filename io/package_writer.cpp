#include "io/package_writer.h"

#include <zip.h>

#include <cstring>
#include <exception>
#include <vector>

#include "host/host.h"
#include "io/internal.h"

namespace lczs::io::detail {

namespace {

// A part made on demand: libzip opens, reads and closes it while closing
// the archive. Its pieces live from when they are made until libzip has
// read them and the check has parsed them.
struct LazyPart {
  std::string name;
  std::function<std::string(const PieceSink&)> make;
  PartCheck* check;
  std::exception_ptr* failure;
  std::vector<std::shared_ptr<const std::string>> pieces;
  std::size_t piece = 0;  // reading pieces[piece] at pos
  std::size_t pos = 0;
  std::size_t size = 0;
  bool made = false;

  bool produce() {
    made = true;
    try {
      pieces.clear();
      size = 0;
      check->wait_for_room();
      PieceSink put = [this](std::string text) { hand(std::move(text), false); };
      std::string rest = make(put);
      hand(std::move(rest), true);
      return true;
    } catch (...) {
      // Exceptions must not cross libzip's C frames; finish() rethrows.
      if (!*failure) *failure = std::current_exception();
      return false;
    }
  }

  void hand(std::string text, bool last) {
    auto p = std::make_shared<const std::string>(std::move(text));
    size += p->size();
    check->add(name, p, pieces.empty(), last);
    pieces.push_back(std::move(p));
  }

  // Whether everything made is still there to read from the start.
  bool whole() const { return made && !pieces.empty() && pieces.front() != nullptr; }

  std::size_t read(char* into, std::size_t len) {
    std::size_t done = 0;
    while (done < len && piece < pieces.size()) {
      const std::string& text = *pieces[piece];
      std::size_t n = std::min(len - done, text.size() - pos);
      std::memcpy(into + done, text.data() + pos, n);
      done += n;
      pos += n;
      if (pos == text.size()) {
        pieces[piece++].reset();  // read: the check may be the last to hold it
        pos = 0;
      }
    }
    return done;
  }
};

zip_int64_t lazy_callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* part = static_cast<LazyPart*>(state);
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      part->piece = part->pos = 0;
      // Made when libzip asked for the size; made again if read twice.
      return part->whole() || part->produce() ? 0 : -1;
    case ZIP_SOURCE_READ:
      return static_cast<zip_int64_t>(part->read(static_cast<char*>(data), len));
    case ZIP_SOURCE_CLOSE:
      part->pieces.clear();
      return 0;
    case ZIP_SOURCE_STAT: {
      // libzip asks for the size just before it reads the part: a part of
      // known size needs no Zip64 fields, which some readers refuse.
      if (!part->made && !part->produce()) return -1;
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = part->size;
      st->valid |= ZIP_STAT_SIZE;
      return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR: {
      auto* e = static_cast<int*>(data);
      e[0] = ZIP_ER_INTERNAL;
      e[1] = 0;
      return 2 * sizeof(int);
    }
    case ZIP_SOURCE_FREE:
      delete part;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      return -1;
  }
}

}  // namespace

struct PackageWriter::Impl {
  std::string path;
  int level;
  zip_source_t* buffer = nullptr;  // the archive's bytes
  zip_t* zip = nullptr;
  std::vector<std::shared_ptr<const std::string>> contents;  // kept until the archive is closed
  std::exception_ptr failure;
  std::unique_ptr<PartCheck> check;
  // Archives parts are copied from, open until the archive is closed.
  std::vector<std::pair<const std::string*, zip_t*>> sources;

  zip_t* source(const std::string& archive) {
    for (auto& [bytes, za] : sources)
      if (bytes == &archive) return za;
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(archive.data(), archive.size(), 0, &err);
    zip_t* za = src != nullptr ? zip_open_from_source(src, ZIP_RDONLY, &err) : nullptr;
    if (za == nullptr) {
      if (src != nullptr) zip_source_free(src);
      fail_zip("无法读取原文件中的部件", &err);
    }
    zip_error_fini(&err);
    sources.emplace_back(&archive, za);
    return za;
  }
  void close_sources() {
    for (auto& [bytes, za] : sources) zip_discard(za);
    sources.clear();
  }

  [[noreturn]] void fail(const std::string& what) const {
    throw host::SaveError("无法保存文件“" + path + "”：" + what);
  }
  [[noreturn]] void fail_zip(const std::string& what, zip_error_t* err) const {
    std::string detail =
        err != nullptr ? zip_error_text(zip_error_code_zip(err), zip_error_code_system(err)) : "";
    fail(what + (detail.empty() ? "" : "（" + detail + "）"));
  }

  void add_source(const std::string& name, zip_source_t* src) {
    zip_int64_t idx = zip_file_add(zip, name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (idx < 0) {
      zip_source_free(src);
      fail_zip("无法加入部件 " + name, zip_get_error(zip));
    }
    if (zip_set_file_compression(zip, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE,
                                 static_cast<zip_uint32_t>(level)) != 0)
      fail_zip("无法设置部件 " + name + " 的压缩方式", zip_get_error(zip));
  }
};

PackageWriter::PackageWriter(std::string shown_path, int level) : impl_(std::make_unique<Impl>()) {
  impl_->path = std::move(shown_path);
  impl_->level = level;
  impl_->check = std::make_unique<PartCheck>(impl_->path);
  zip_error_t err;
  zip_error_init(&err);
  impl_->buffer = zip_source_buffer_create(nullptr, 0, 0, &err);
  if (impl_->buffer == nullptr) impl_->fail_zip("内存不足", &err);
  zip_source_keep(impl_->buffer);  // read back after the archive is closed
  impl_->zip = zip_open_from_source(impl_->buffer, ZIP_TRUNCATE, &err);
  if (impl_->zip == nullptr) {
    zip_source_free(impl_->buffer);
    impl_->fail_zip("无法创建压缩包", &err);
  }
  zip_error_fini(&err);
}

PackageWriter::~PackageWriter() {
  if (impl_->zip != nullptr) zip_discard(impl_->zip);
  impl_->close_sources();
  if (impl_->buffer != nullptr) zip_source_free(impl_->buffer);
}

void PackageWriter::add(const std::string& name, std::string content) {
  impl_->contents.push_back(std::make_shared<const std::string>(std::move(content)));
  const std::string& c = *impl_->contents.back();
  zip_source_t* src = zip_source_buffer(impl_->zip, c.data(), c.size(), 0);
  if (src == nullptr) impl_->fail_zip("内存不足", zip_get_error(impl_->zip));
  impl_->add_source(name, src);
  impl_->check->add(name, impl_->contents.back());
}

void PackageWriter::add_lazy(const std::string& name, std::function<std::string()> make) {
  add_pieces(name, [make = std::move(make)](const PieceSink&) { return make(); });
}

void PackageWriter::add_pieces(const std::string& name, std::function<std::string(const PieceSink&)> make) {
  auto* part = new LazyPart{name, std::move(make), impl_->check.get(), &impl_->failure};
  zip_source_t* src = zip_source_function(impl_->zip, lazy_callback, part);
  if (src == nullptr) {
    delete part;
    impl_->fail_zip("内存不足", zip_get_error(impl_->zip));
  }
  impl_->add_source(name, src);
}

void PackageWriter::add_copy(const std::string& name, const std::string& archive, const std::string& from) {
  zip_t* src = impl_->source(archive);
  zip_int64_t idx = zip_name_locate(src, from.c_str(), 0);
  if (idx < 0) impl_->fail("原文件的部件 " + from + " 已不存在");
  // The whole entry, without a compression set here: libzip copies the
  // compressed data without inflating it.
  zip_source_t* s = zip_source_zip(impl_->zip, src, static_cast<zip_uint64_t>(idx), 0, 0, -1);
  if (s == nullptr) impl_->fail_zip("无法复制部件 " + from, zip_get_error(impl_->zip));
  if (zip_file_add(impl_->zip, name.c_str(), s, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
    zip_source_free(s);
    impl_->fail_zip("无法加入部件 " + name, zip_get_error(impl_->zip));
  }
  // The read-back check holds the written part against its copy: size and
  // CRC from the copy's directory, the ending from reading it through
  // (which also checks its CRC).
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(src, static_cast<zip_uint64_t>(idx), 0, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0 ||
      (st.valid & ZIP_STAT_CRC) == 0)
    impl_->fail("原文件的部件 " + from + " 无法读取");
  PartDigest d{name, st.size, st.crc, ""};
  zip_file_t* f = zip_fopen_index(src, static_cast<zip_uint64_t>(idx), 0);
  if (f == nullptr) impl_->fail("原文件的部件 " + from + " 无法读取");
  char buf[16384];
  zip_int64_t n;
  zip_uint64_t got = 0;
  while ((n = zip_fread(f, buf, sizeof buf)) > 0) {
    got += static_cast<zip_uint64_t>(n);
    d.tail.append(buf, static_cast<std::size_t>(n));
    if (d.tail.size() > kDigestTail) d.tail.erase(0, d.tail.size() - kDigestTail);
  }
  zip_fclose(f);
  if (n < 0 || got != st.size) impl_->fail("原文件的部件 " + from + " 已损坏");
  impl_->check->add_known(std::move(d));
}

MadePackage PackageWriter::finish() {
  Impl& m = *impl_;
  if (zip_close(m.zip) != 0) {
    if (m.failure) std::rethrow_exception(m.failure);
    m.fail_zip("无法写入压缩包", zip_get_error(m.zip));
  }
  m.zip = nullptr;
  m.close_sources();
  m.contents.clear();
  MadePackage package;
  package.parts = m.check->finish();
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_source_stat(m.buffer, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0)
    m.fail_zip("无法读取压缩包", zip_source_error(m.buffer));
  std::string& bytes = package.bytes;
  bytes.resize(static_cast<std::size_t>(st.size));
  if (zip_source_open(m.buffer) != 0) m.fail_zip("无法读取压缩包", zip_source_error(m.buffer));
  zip_int64_t n = zip_source_read(m.buffer, bytes.data(), bytes.size());
  zip_source_close(m.buffer);
  if (n < 0 || static_cast<zip_uint64_t>(n) != st.size) m.fail_zip("无法读取压缩包", zip_source_error(m.buffer));
  return package;
}

}  // namespace lczs::io::detail
