#include "io/xml_stream.h"

#include <expat.h>

#include <climits>
#include <cstring>

namespace lczs::io::detail {

std::string_view local_name(std::string_view name) {
  auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const char* XmlAttrs::find(std::string_view name) const {
  for (const char** a = atts_; a != nullptr && a[0] != nullptr; a += 2)
    if (name == a[0]) return a[1];
  return nullptr;
}

namespace {

std::string expat_text(XML_Error e) {
  switch (e) {
    case XML_ERROR_NO_MEMORY: return "内存不足";
    case XML_ERROR_NO_ELEMENTS: return "没有内容";
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
    case XML_ERROR_PARTIAL_CHAR: return "标记写法有误或内容已截断";
    case XML_ERROR_TAG_MISMATCH: return "元素没有正确结束";
    case XML_ERROR_INVALID_TOKEN:
    case XML_ERROR_BAD_CHAR_REF: return "含有 XML 不允许的字符";
    case XML_ERROR_DUPLICATE_ATTRIBUTE: return "属性重复";
    case XML_ERROR_UNDEFINED_ENTITY: return "引用了未定义的实体";
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT: return "根元素之后还有内容";
    default: return "代码 " + std::to_string(static_cast<int>(e));
  }
}

bool blank(const std::string& s) {
  return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

struct XmlStream::Parser {
  XML_Parser p;
  Parser() : p(XML_ParserCreate(nullptr)) {}
  ~Parser() {
    if (p != nullptr) XML_ParserFree(p);
  }
};

XmlStream::XmlStream(XmlStreamHandler& handler) : handler_(handler), parser_(std::make_unique<Parser>()) {
  if (parser_->p == nullptr) throw XmlStreamError{"内存不足"};
  XML_SetUserData(parser_->p, this);
  XML_SetElementHandler(parser_->p, on_start, on_end);
  XML_SetCharacterDataHandler(parser_->p, on_text);
  XML_SetEntityDeclHandler(parser_->p, on_entity);
}

XmlStream::~XmlStream() = default;

void XmlStream::feed(const char* bytes, std::size_t size, bool last) {
  // expat takes int lengths; chunks are far smaller, but a caller's are not
  // bounded here.
  do {
    int n = static_cast<int>(std::min<std::size_t>(size, INT_MAX / 2));
    bool final_piece = last && static_cast<std::size_t>(n) == size;
    XML_Status status = XML_Parse(parser_->p, bytes, n, final_piece);
    if (error_) std::rethrow_exception(error_);
    if (status == XML_STATUS_ERROR) {
      std::string why = entities_ ? "含有实体声明" : expat_text(XML_GetErrorCode(parser_->p));
      throw XmlStreamError{why + "，第 " + std::to_string(XML_GetCurrentLineNumber(parser_->p)) + " 行"};
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  } while (size > 0);
}

void XmlStream::stop(std::exception_ptr e) {
  if (!error_) error_ = std::move(e);
  XML_StopParser(parser_->p, XML_FALSE);
}

// Once stopped, expat may still deliver a few callbacks (the end of an empty
// element whose start stopped it); they must not touch the frames, whose
// depth no longer matches.
void XmlStream::on_start(void* self, const char* name, const char** atts) {
  auto* s = static_cast<XmlStream*>(self);
  if (s->error_ || s->entities_) return;
  // Nothing may unwind through expat's C frames: the handler's exception
  // waits until XML_Parse returns.
  try {
    s->start(name, atts);
  } catch (...) {
    s->stop(std::current_exception());
  }
}

void XmlStream::on_end(void* self, const char* name) {
  auto* s = static_cast<XmlStream*>(self);
  if (s->error_ || s->entities_) return;
  try {
    s->end(name);
  } catch (...) {
    s->stop(std::current_exception());
  }
}

void XmlStream::on_text(void* self, const char* text, int len) {
  auto* s = static_cast<XmlStream*>(self);
  if (s->depth_ == 0 || s->error_ || s->entities_) return;
  Frame& f = s->frames_[static_cast<std::size_t>(s->depth_ - 1)];
  // A streamed element's text is what stands before its first child: the
  // layout between a sheet's rows would otherwise pile up.
  if (f.streamed && f.has_children) return;
  try {
    f.text.append(text, static_cast<std::size_t>(len));
  } catch (...) {
    s->stop(std::current_exception());
  }
}

void XmlStream::on_entity(void* self, const char*, int, const char*, int, const char*, const char*, const char*,
                          const char*) {
  auto* s = static_cast<XmlStream*>(self);
  s->entities_ = true;
  XML_StopParser(s->parser_->p, XML_FALSE);
}

void XmlStream::start(const char* name, const char** atts) {
  if (depth_ >= kMaxDepth) throw XmlStreamError{"元素嵌套过深"};
  if (static_cast<std::size_t>(depth_) == frames_.size()) frames_.emplace_back();
  Frame* parent = depth_ > 0 ? &frames_[static_cast<std::size_t>(depth_ - 1)] : nullptr;
  Frame& f = frames_[static_cast<std::size_t>(depth_)];
  f.text.clear();
  f.has_children = false;
  f.capture_root = false;
  f.node = pugi::xml_node();
  if (parent != nullptr) parent->has_children = true;

  bool inside_kept = parent != nullptr && !parent->streamed && parent->node.root() == capture_.root();
  XmlStreamHandler::Take take = XmlStreamHandler::Take::Keep;
  if (!inside_kept) take = handler_.start(depth_, name, XmlAttrs(atts));
  f.streamed = take == XmlStreamHandler::Take::Stream;
  if (!f.streamed) {
    if (parent == nullptr) {
      f.node = doc_.append_child(name);
    } else if (parent->streamed) {
      capture_.reset();
      f.node = capture_.append_child(name);
      f.capture_root = true;
    } else {
      f.node = parent->node.append_child(name);
    }
    for (const char** a = atts; a[0] != nullptr; a += 2) f.node.append_attribute(a[0]).set_value(a[1]);
  }
  ++depth_;
}

void XmlStream::end(const char* name) {
  --depth_;
  Frame& f = frames_[static_cast<std::size_t>(depth_)];
  if (f.streamed) {
    handler_.end(depth_, name, f.text);
    return;
  }
  // As pugixml keeps text: whitespace only when it is all the element holds.
  if (!f.text.empty() && (!f.has_children || !blank(f.text)))
    f.node.append_child(pugi::node_pcdata).set_value(f.text.c_str());
  if (f.capture_root) {
    handler_.kept(depth_, f.node);
    capture_.reset();
  }
}

}  // namespace lczs::io::detail
