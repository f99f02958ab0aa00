#include "io/package_writer.h"

#include <zip.h>
#include <zlib.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/host.h"
#include "io/internal.h"

namespace lczs::io::detail {

namespace {

// One piece of a part: checked, compressed and summed by a worker.
struct Piece {
  std::string name;  // of the part
  std::shared_ptr<const std::string> text;
  std::uint64_t offset = 0;  // in the part
  OpenElements before, after;
  bool last = false;
  int level = kDeflateLevel;
  // Filled by the worker.
  std::string compressed;
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
  bool done = false;
};

// Raw deflate of a piece. A piece that is not the last ends on a byte
// boundary with an empty stored block (a sync flush) and no final block,
// so that the pieces compressed apart, put end to end, are one stream.
std::string deflate_piece(std::string_view in, bool last, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
  std::unique_ptr<z_stream, int (*)(z_stream*)> end(&z, deflateEnd);
  std::string out(deflateBound(&z, in.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(out.data() + z.total_out);
    z.avail_out = static_cast<uInt>(out.size() - z.total_out);
    int rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    if (rc == Z_STREAM_ERROR) throw std::bad_alloc();
    if ((last && rc == Z_STREAM_END) || (!last && z.avail_in == 0 && z.avail_out > 0)) break;
    out.resize(out.size() * 2);
  }
  out.resize(z.total_out);
  // Held until the part is put together: not at the size of the bound.
  out.shrink_to_fit();
  return out;
}

// Workers that check and compress pieces while the writer goes on making
// the next ones; the machine has two cores and the writer keeps one busy.
class PieceWorkers {
 public:
  explicit PieceWorkers(const std::string& shown) : shown_(shown) {
    try {
      threads_.reserve(kWorkers);
      for (int i = 0; i < kWorkers; ++i) threads_.emplace_back([this] { run(); });
    } catch (...) {
      // Fewer threads, or none (the system refused one, or memory ran
      // out): what no worker takes is done in submit().
    }
  }
  ~PieceWorkers() {
    {
      std::lock_guard lock(mu_);
      closing_ = true;
      queue_.clear();
    }
    changed_.notify_all();
    for (auto& t : threads_) t.join();
  }
  PieceWorkers(const PieceWorkers&) = delete;
  PieceWorkers& operator=(const PieceWorkers&) = delete;

  // Waits while more than kPieceBacklog bytes wait for a worker, so that a
  // large part is not held whole; throws a worker's fault.
  void submit(std::shared_ptr<Piece> piece) {
    if (threads_.empty()) {
      work(*piece);
      piece->done = true;
      return;
    }
    std::unique_lock lock(mu_);
    changed_.wait(lock, [&] { return backlog_ <= kPieceBacklog || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    backlog_ += piece->text->size();
    queue_.push_back(std::move(piece));
    changed_.notify_all();
  }

  // Waits until every one of `pieces` is done; throws a worker's fault.
  void wait(const std::vector<std::shared_ptr<Piece>>& pieces) {
    std::unique_lock lock(mu_);
    changed_.wait(lock, [&] {
      return failure_ || std::all_of(pieces.begin(), pieces.end(), [](const auto& p) { return p->done; });
    });
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  static constexpr int kWorkers = 2;
  static constexpr std::size_t kPieceBacklog = 8u << 20;

  void work(Piece& p) const {
    const std::string& text = *p.text;
    check_piece(shown_, p.name, text, p.offset, p.before, p.after);
    p.compressed = deflate_piece(text, p.last, p.level);
    p.crc = static_cast<std::uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(text.data()), text.size()));
    p.size = text.size();
  }

  void run() {
    std::unique_lock lock(mu_);
    for (;;) {
      changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (closing_) return;
      std::shared_ptr<Piece> p = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      std::exception_ptr fault;
      try {
        work(*p);
      } catch (...) {
        fault = std::current_exception();
      }
      std::size_t size = p->text->size();
      p->text.reset();
      lock.lock();
      backlog_ -= size;
      p->done = true;
      if (fault && !failure_) failure_ = fault;
      changed_.notify_all();
    }
  }

  const std::string& shown_;
  std::mutex mu_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Piece>> queue_;
  std::size_t backlog_ = 0;
  bool closing_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> threads_;
};

// Each part's digest once; a part made again replaces it.
void record_digest(std::vector<PartDigest>& digests, std::unordered_map<std::string, std::size_t>& index, PartDigest d) {
  auto [it, fresh] = index.emplace(d.name, digests.size());
  if (fresh) digests.push_back(std::move(d));
  else digests[it->second] = std::move(d);
}

struct Shared {
  PieceWorkers* workers;
  std::exception_ptr* failure;
  std::vector<PartDigest>* digests;
  std::unordered_map<std::string, std::size_t>* digest_of;  // name -> digests
  int level;
};

// A part made on demand, when libzip asks for its size just before it
// writes it. Its pieces are checked and compressed by the workers as they
// are made; libzip is handed the compressed stream, its CRC and sizes, and
// copies it as it is.
struct LazyPart {
  std::string name;
  std::function<std::string(const PieceSink&)> make;
  Shared shared;
  std::vector<std::shared_ptr<Piece>> pieces;
  OpenElements open;  // after the last piece handed on
  PartDigest digest;
  std::string compressed;  // from made until libzip has copied it
  std::size_t compressed_size = 0;
  std::size_t pos = 0;
  bool made = false;

  bool produce() {
    made = true;
    try {
      pieces.clear();
      open.clear();
      digest = PartDigest{name, 0, 0, ""};
      PieceSink put = [this](std::string text, const OpenElements& after) { hand(std::move(text), after, false); };
      std::string rest = make(put);
      hand(std::move(rest), {}, true);
      shared.workers->wait(pieces);
      compressed.clear();
      std::uint32_t crc = static_cast<std::uint32_t>(crc32_z(0, nullptr, 0));
      for (const auto& p : pieces) {
        compressed += p->compressed;
        crc = static_cast<std::uint32_t>(crc32_combine(crc, p->crc, static_cast<z_off_t>(p->size)));
      }
      pieces.clear();
      compressed_size = compressed.size();
      digest.crc = crc;
      record_digest(*shared.digests, *shared.digest_of, digest);
      return true;
    } catch (...) {
      // Exceptions must not cross libzip's C frames; finish() rethrows.
      if (!*shared.failure) *shared.failure = std::current_exception();
      return false;
    }
  }

  void hand(std::string text, const OpenElements& after, bool last) {
    auto p = std::make_shared<Piece>();
    p->name = name;
    p->offset = digest.size;
    p->before = open;
    p->after = after;
    p->last = last;
    p->level = shared.level;
    std::string& tail = digest.tail;
    tail.append(std::string_view(text).substr(text.size() - std::min(text.size(), kDigestTail)));
    if (tail.size() > kDigestTail) tail.erase(0, tail.size() - kDigestTail);
    digest.size += text.size();
    p->text = std::make_shared<const std::string>(std::move(text));
    open = after;
    pieces.push_back(p);
    shared.workers->submit(std::move(p));
  }
};

zip_int64_t lazy_callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* part = static_cast<LazyPart*>(state);
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      part->pos = 0;
      // Made when libzip asked for the size; made again if read twice.
      return (part->made && part->compressed.size() == part->compressed_size) || part->produce() ? 0 : -1;
    case ZIP_SOURCE_READ: {
      std::size_t n = std::min<std::size_t>(len, part->compressed.size() - part->pos);
      std::memcpy(data, part->compressed.data() + part->pos, n);
      part->pos += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      std::string().swap(part->compressed);
      return 0;
    case ZIP_SOURCE_STAT: {
      // libzip asks just before it writes the part: a part of known size
      // needs no Zip64 fields, which some readers refuse. Data already
      // compressed with its CRC is copied, not compressed again.
      if (!part->made && !part->produce()) return -1;
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = part->digest.size;
      st->comp_size = part->compressed_size;
      st->crc = part->digest.crc;
      st->comp_method = ZIP_CM_DEFLATE;
      st->valid |= ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
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
  std::exception_ptr failure;
  std::vector<PartDigest> digests;
  std::unordered_map<std::string, std::size_t> digest_of;
  std::unique_ptr<PieceWorkers> workers;
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
};

PackageWriter::PackageWriter(std::string shown_path, int level) : impl_(std::make_unique<Impl>()) {
  impl_->path = std::move(shown_path);
  impl_->level = level;
  impl_->workers = std::make_unique<PieceWorkers>(impl_->path);
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
  auto text = std::make_shared<const std::string>(std::move(content));
  add_pieces(name, [text](const PieceSink&) { return *text; });
}

void PackageWriter::add_lazy(const std::string& name, std::function<std::string()> make) {
  add_pieces(name, [make = std::move(make)](const PieceSink&) { return make(); });
}

void PackageWriter::add_pieces(const std::string& name, std::function<std::string(const PieceSink&)> make) {
  Impl& m = *impl_;
  auto* part = new LazyPart{name, std::move(make), {m.workers.get(), &m.failure, &m.digests, &m.digest_of, m.level}};
  zip_source_t* src = zip_source_function(m.zip, lazy_callback, part);
  if (src == nullptr) {
    delete part;
    m.fail_zip("内存不足", zip_get_error(m.zip));
  }
  zip_int64_t idx = zip_file_add(m.zip, name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
  if (idx < 0) {
    zip_source_free(src);
    m.fail_zip("无法加入部件 " + name, zip_get_error(m.zip));
  }
  if (zip_set_file_compression(m.zip, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, static_cast<zip_uint32_t>(m.level)) != 0)
    m.fail_zip("无法设置部件 " + name + " 的压缩方式", zip_get_error(m.zip));
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
  record_digest(impl_->digests, impl_->digest_of, std::move(d));
}

MadePackage PackageWriter::finish() {
  Impl& m = *impl_;
  if (zip_close(m.zip) != 0) {
    if (m.failure) std::rethrow_exception(m.failure);
    m.fail_zip("无法写入压缩包", zip_get_error(m.zip));
  }
  m.zip = nullptr;
  m.close_sources();
  MadePackage package;
  package.parts = std::move(m.digests);
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
