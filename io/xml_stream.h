// Reading an XML part as it inflates, with expat, for parts too large to
// hold whole (a sheet's cells, the shared strings).
//
// The handler chooses, element by element, what streams and what is kept:
// a streamed element's start and end (with its text) go to the handler as
// they come and then are gone; a kept element is built as a pugixml node,
// so the code that reads the small parts of a file reads it the same way.
// Outside any streamed element everything is kept in document(); inside
// one, an element the handler keeps is built on its own and handed over
// whole by kept() when it ends (a rich text cell's <is>, one shared
// string's <si>), then dropped. Memory is one chunk, the open elements and
// the kept DOM.
//
// Element and attribute names are given as written, prefix included; the
// handler compares local names. A document type with entity declarations
// is refused, so nothing expands beyond the part's own size.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace lczs::io::detail {

// Element and attribute names without their namespace prefix.
std::string_view local_name(std::string_view name);

// The attributes of a streamed element, valid during start() only.
class XmlAttrs {
 public:
  explicit XmlAttrs(const char** atts) : atts_(atts) {}
  // The value of the attribute of that exact name, nullptr when absent.
  const char* find(std::string_view name) const;
  // The value, "" when absent (as pugixml gives it).
  const char* operator[](std::string_view name) const {
    const char* v = find(name);
    return v != nullptr ? v : "";
  }

 private:
  const char** atts_;
};

class XmlStreamHandler {
 public:
  enum class Take { Stream, Keep };
  virtual ~XmlStreamHandler() = default;
  // An element starts at depth (0: the document element). Asked for every
  // element outside a kept one inside a stream; the answer for an element
  // inside a streamed one says whether it is built and handed to kept().
  virtual Take start(int depth, std::string_view name, const XmlAttrs& attrs) = 0;
  // A streamed element ends; text is its character data, if any.
  virtual void end(int /*depth*/, std::string_view /*name*/, std::string_view /*text*/) {}
  // A kept element inside a streamed one, whole.
  virtual void kept(int /*depth*/, pugi::xml_node /*node*/) {}
};

// A part that is not well-formed; what() is Chinese and says where.
struct XmlStreamError {
  std::string what;
};

class XmlStream {
 public:
  // Elements open at once beyond which a part is refused as malformed: far
  // past any the file format nests, and it bounds the open-element stack.
  static constexpr int kMaxDepth = 256;

  explicit XmlStream(XmlStreamHandler& handler);
  ~XmlStream();
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;

  // The next bytes of the part; last on the final call. Rethrows what the
  // handler threw; throws XmlStreamError on malformed XML.
  void feed(const char* bytes, std::size_t size, bool last);
  // What was kept outside the streamed elements (the document element
  // down), whole once the last bytes were fed.
  pugi::xml_node document_element() const { return doc_.document_element(); }

 private:
  struct Frame {
    pugi::xml_node node;  // kept: the node being built
    std::string text;
    bool streamed = false;
    bool capture_root = false;  // kept inside a stream: handed over at its end
    bool has_children = false;
  };
  static void on_start(void* self, const char* name, const char** atts);
  static void on_end(void* self, const char* name);
  static void on_text(void* self, const char* s, int len);
  static void on_entity(void* self, const char*, int, const char*, int, const char*, const char*, const char*,
                        const char*);
  void start(const char* name, const char** atts);
  void end(const char* name);
  void stop(std::exception_ptr e);

  XmlStreamHandler& handler_;
  struct Parser;
  std::unique_ptr<Parser> parser_;
  pugi::xml_document doc_;
  pugi::xml_document capture_;  // one kept element inside a stream at a time
  std::vector<Frame> frames_;   // open elements; frames_[depth_ - 1] is the innermost
  int depth_ = 0;
  std::exception_ptr error_;
  bool entities_ = false;
};

}  // namespace lczs::io::detail
