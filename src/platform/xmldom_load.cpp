// Loading XML documents with libxml2: one parser context per load that
// captures the first error, refuses document type declarations and keeps
// the source's declaration and line-end style for saving.
#include <fcntl.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <functional>

#include "kv7/platform/errorinfo.h"
#include "xmldom_impl.h"

namespace kv7::xmldom {
namespace {

// Parse errors read 0xC00CE000 plus libxml2's error number (xmlParserErrors),
// negative as the platform's parser codes are.
LONG ErrorCode(int xml_error) {
  return MakeHResult(0xC00CE000u + static_cast<std::uint32_t>(std::min(xml_error, 0x1FFF)));
}

// Longest part of the offending line kept on either side of the error.
constexpr std::ptrdiff_t kSourceReach = 1000;

// What the saved form keeps of the source, and where its text starts.
struct Layout {
  std::string declaration;
  bool crlf = false;
  bool line_found = false;  // whether the text scanned had a line feed
  size_t bom = 0;           // bytes of the byte-order mark
};

// Finds the declaration and the first line end in text of `length` units
// read through `unit`, which is how both decoded and raw text are scanned.
template <class UnitAt>
void ScanLayout(size_t length, UnitAt unit, Layout& layout) {
  constexpr std::string_view kOpen = "<?xml";
  size_t at = 0;
  while (at < kOpen.size() && at < length && unit(at) == char16_t(kOpen[at])) ++at;
  bool open = at == kOpen.size() && at < length &&
              (unit(at) == ' ' || unit(at) == '\t' || unit(at) == '\r' || unit(at) == '\n');
  for (; open && at + 1 < length; ++at) {
    if (unit(at) == '?' && unit(at + 1) == '>') {
      for (size_t k = 0; k < at + 2; ++k) layout.declaration += static_cast<char>(unit(k));
      break;
    }
  }
  for (size_t i = 0; i < length; ++i) {
    if (unit(i) == '\n') {
      layout.line_found = true;
      layout.crlf = i > 0 && unit(i - 1) == '\r';
      break;
    }
  }
}

// The layout of a file's bytes: UTF-16 is told by its byte-order mark or
// by "<?" in either byte order; anything else is read byte by byte, which
// suits UTF-8 and the single-byte code pages alike.
Layout ScanBytes(std::string_view bytes) {
  Layout layout;
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  bool little = bytes.starts_with("\xFF\xFE") || bytes.starts_with(std::string_view("<\0?\0", 4));
  bool big = bytes.starts_with("\xFE\xFF") || bytes.starts_with(std::string_view("\0<\0?", 4));
  if (little || big) {
    layout.bom = byte(0) >= 0xFE ? 2 : 0;
    size_t length = (bytes.size() - layout.bom) / 2;
    ScanLayout(length, [&](size_t i) {
      size_t at = layout.bom + 2 * i;
      return char16_t(little ? byte(at) | byte(at + 1) << 8 : byte(at) << 8 | byte(at + 1));
    }, layout);
  } else {
    layout.bom = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    ScanLayout(bytes.size() - layout.bom, [&](size_t i) { return char16_t(byte(layout.bom + i)); },
               layout);
  }
  return layout;
}

// UTF-16 units of UTF-8 text: one per lead byte, two for a 4-byte sequence.
size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) units += (c & 0xC0) != 0x80 ? (c >= 0xF0 ? 2 : 1) : 0;
  return units;
}

// The decoded line around the parser's position, for srcText.
std::string LineAround(xmlParserInputPtr input) {
  if (input == nullptr || input->cur == nullptr) return {};
  auto* base = reinterpret_cast<const char*>(input->base);
  auto* cur = reinterpret_cast<const char*>(input->cur);
  auto* end = reinterpret_cast<const char*>(input->end);
  const char* begin = cur;
  while (begin > base && begin[-1] != '\n' && cur - begin < kSourceReach) --begin;
  while (begin < cur && (*begin & 0xC0) == 0x80) ++begin;
  const char* stop = cur;
  while (stop < end && *stop != '\n' && stop - cur < kSourceReach) ++stop;
  while (stop > cur && stop < end && (*stop & 0xC0) == 0x80) --stop;
  if (stop > begin && stop[-1] == '\r') --stop;
  return std::string(begin, stop);
}

// Reads the first bytes of the parser's input, for counting characters.
using PrefixReader = std::function<std::string(size_t length)>;

// One parse: where its bytes come from and the first error it reported.
class ParseRun {
 public:
  ParseRun(PrefixReader prefix, size_t bom) : prefix_(std::move(prefix)), bom_(bom) {
    error_.code = E_FAIL;
    error_.reason = u"The document could not be parsed.";
  }

  // Keeps the first error, though a fatal one replaces a recoverable one
  // (an undeclared prefix, say) so that a failure names its cause.
  void Record(xmlParserCtxtPtr ctxt, int code, int level, std::string_view message, int line,
              int column) {
    if (level < XML_ERR_ERROR || level_ == XML_ERR_FATAL ||
        (level_ != XML_ERR_NONE && level != XML_ERR_FATAL))
      return;
    level_ = level;
    while (message.ends_with('\n')) message.remove_suffix(1);
    error_.code = ErrorCode(code);
    error_.reason = FromUtf8(message);
    error_.line = line;
    error_.linepos = column;
    error_.filepos = CharOffset(ctxt);
    error_.srcText = FromUtf8(LineAround(ctxt->input));
  }

  ParseErrorInfo& error() { return error_; }

 private:
  // Characters from the start of the text to the parser's position:
  // xmlByteConsumed counts raw bytes, BOM included.
  LONG CharOffset(xmlParserCtxtPtr ctxt) const {
    if (ctxt->input == nullptr) return 0;
    long consumed = xmlByteConsumed(ctxt);
    size_t bytes = consumed > long(bom_) ? size_t(consumed) - bom_ : 0;
    const xmlCharEncodingHandler* decoder = ctxt->input->buf ? ctxt->input->buf->encoder : nullptr;
    std::string_view encoding = decoder && decoder->name ? decoder->name : "UTF-8";
    size_t chars = bytes;  // a single-byte code page
    if (encoding == "UTF-8") {
      std::string prefix = prefix_(bom_ + bytes);
      chars = Utf16Length(std::string_view(prefix).substr(std::min(bom_, prefix.size())));
    } else if (encoding.starts_with("UTF-16")) {
      chars = bytes / 2;
    }
    return static_cast<LONG>(std::min<size_t>(chars, LONG_MAX));
  }

  PrefixReader prefix_;
  size_t bom_;
  ParseErrorInfo error_;
  int level_ = XML_ERR_NONE;
};

ParseRun& RunOf(void* context) {
  return *static_cast<ParseRun*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

void OnError(void* context, xmlErrorPtr error) {
  RunOf(context).Record(static_cast<xmlParserCtxtPtr>(context), error->code, error->level,
                        error->message ? error->message : "", error->line, error->int2);
}

// A document type declaration would let entities expand or load: refuse
// the document as soon as one starts.
void OnDoctype(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  RunOf(context).Record(ctxt, XML_ERR_USER_STOP, XML_ERR_FATAL, "DTD is prohibited.",
                        ctxt->input->line, ctxt->input->col);
  ctxt->wellFormed = 0;
  xmlStopParser(ctxt);
}

// An element written with an end tag and nothing inside ("<a></a>") keeps
// that form when saved: it gets an empty text child, which callers do not
// see and which the serialiser writes as nothing between the two tags.
void OnEndElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                  const xmlChar* uri) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
  xmlNodePtr element = ctxt->node;
  const xmlChar* cur = ctxt->input ? ctxt->input->cur : nullptr;
  bool end_tag = element != nullptr && element->children == nullptr && cur != nullptr &&
                 cur - ctxt->input->base >= 2 && cur[-2] != '/';
  xmlSAX2EndElementNs(context, localname, prefix, uri);
  if (end_tag) xmlAddChild(element, xmlNewDocText(element->doc, BAD_CAST ""));
}

// No network, no entity substitution, no DTD loading, libxml2's default
// depth limit; blanks are kept so that saving reproduces the layout, unless
// the caller does not need it (a whitespace-only element keeps its text).
int ParseOptions(bool keep_layout) {
  return keep_layout ? XML_PARSE_NONET : XML_PARSE_NONET | XML_PARSE_NOBLANKS;
}

// Runs `read` (one of libxml2's xmlCtxtRead functions) on a context that
// reports to `run`.
template <class Read>
xmlDocPtr Parse(ParseRun& run, Read read) {
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) return nullptr;
  ctxt->_private = &run;
  ctxt->sax->serror = OnError;
  ctxt->sax->internalSubset = OnDoctype;
  ctxt->sax->endElementNs = OnEndElement;
  xmlDocPtr doc = read(ctxt);
  xmlFreeParserCtxt(ctxt);
  return doc;
}

LoadResult Finish(xmlDocPtr doc, Layout layout, ParseErrorInfo error) {
  LoadResult result;
  result.ok = doc != nullptr;
  result.tree = std::make_shared<Tree>(doc);
  if (result.ok) {
    result.tree->declaration = std::move(layout.declaration);
    result.tree->crlf = layout.crlf;
  } else {
    result.error = std::move(error);
  }
  return result;
}

// Reads up to `length` bytes of a file from `offset`; a failure reads
// nothing here and shows when the parser reads.
std::string ReadAt(int fd, size_t offset, size_t length) {
  std::string bytes(length, '\0');
  ssize_t got = pread(fd, bytes.data(), length, static_cast<off_t>(offset));
  bytes.resize(got < 0 ? 0 : size_t(got));
  return bytes;
}

// The layout of a file, from its start up to its first line end; read
// apart from the parse, which streams the file as libxml2 itself does.
Layout ReadLayout(int fd) {
  // Small reads: the first line end is near the start, and freeing a large
  // buffer here would let malloc return the heap to the system just before
  // the parse needs it again.
  constexpr size_t kChunk = 4096;
  std::string head;
  for (;;) {
    std::string chunk = ReadAt(fd, head.size(), kChunk);
    head += chunk;
    if (chunk.empty() || (chunk.find('\n') != std::string::npos && ScanBytes(head).line_found))
      return ScanBytes(head);
  }
}

// The parser's input from a file; read failures keep their errno.
struct FileInput {
  int fd;
  int error = 0;
};

int ReadInput(void* context, char* buffer, int length) {
  auto& input = *static_cast<FileInput*>(context);
  for (;;) {
    ssize_t got = read(input.fd, buffer, static_cast<size_t>(length));
    if (got >= 0) return static_cast<int>(got);
    if (errno != EINTR) break;
  }
  input.error = errno;
  return -1;
}

LoadResult Unreadable(WStringView path, int error) {
  ParseErrorInfo info;
  info.code = HResultFromErrno(error);
  info.reason = u"cannot read " + WString(path) + u": " + UnixMessageText(info.code);
  info.url = path;
  return Finish(nullptr, {}, std::move(info));
}

}  // namespace

LoadResult LoadText(WStringView text, bool keep_layout) {
  if (text.starts_with(u'\uFEFF')) text.remove_prefix(1);
  Layout layout;
  ScanLayout(text.size(), [&](size_t i) { return text[i]; }, layout);
  std::string utf8 = ToUtf8(text);
  ParseRun run([&](size_t length) { return utf8.substr(0, length); }, 0);
  xmlDocPtr doc = Parse(run, [&](xmlParserCtxtPtr ctxt) {
    return xmlCtxtReadMemory(ctxt, utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                             ParseOptions(keep_layout) | XML_PARSE_IGNORE_ENC);
  });
  return Finish(doc, std::move(layout), std::move(run.error()));
}

LoadResult LoadFile(WStringView path, bool keep_layout) {
  std::string file = ToUtf8(path);
  FileInput input{open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  if (input.fd < 0) return Unreadable(path, errno);
  Layout layout = ReadLayout(input.fd);
  ParseRun run([&](size_t length) { return ReadAt(input.fd, 0, length); }, layout.bom);
  xmlDocPtr doc = Parse(run, [&](xmlParserCtxtPtr ctxt) {
    return xmlCtxtReadIO(ctxt, ReadInput, nullptr, &input, file.c_str(), nullptr,
                         ParseOptions(keep_layout));
  });
  close(input.fd);
  if (input.error != 0) {
    xmlFreeDoc(doc);
    return Unreadable(path, input.error);
  }
  ParseErrorInfo error = std::move(run.error());
  error.url = path;
  return Finish(doc, std::move(layout), std::move(error));
}

}  // namespace kv7::xmldom
