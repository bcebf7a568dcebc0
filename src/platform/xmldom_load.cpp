// Loading XML documents with libxml2: one parser context per load that
// captures the first error, refuses document type declarations and keeps
// the source's declaration and line-end style for saving.
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

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
  size_t bom = 0;  // bytes of the byte-order mark
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

// One parse: the bytes given to libxml2 and the first error it reported.
class ParseRun {
 public:
  ParseRun(std::string_view raw, size_t bom) : raw_(raw), bom_(bom) {
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

  std::string_view raw() const { return raw_; }
  ParseErrorInfo& error() { return error_; }

 private:
  // Characters from the start of the text to the parser's position:
  // xmlByteConsumed counts raw bytes, BOM included.
  LONG CharOffset(xmlParserCtxtPtr ctxt) const {
    if (ctxt->input == nullptr) return 0;
    long consumed = xmlByteConsumed(ctxt);
    size_t bytes = std::clamp<size_t>(consumed < 0 ? 0 : size_t(consumed), bom_, raw_.size());
    const xmlCharEncodingHandler* decoder = ctxt->input->buf ? ctxt->input->buf->encoder : nullptr;
    std::string_view name = decoder && decoder->name ? decoder->name : "UTF-8";
    size_t chars = name == "UTF-8"             ? Utf16Length(raw_.substr(bom_, bytes - bom_))
                   : name.starts_with("UTF-16") ? (bytes - bom_) / 2
                                                : bytes - bom_;  // a single-byte code page
    return static_cast<LONG>(std::min<size_t>(chars, LONG_MAX));
  }

  std::string_view raw_;
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

// No network, no entity substitution, no DTD loading, libxml2's default
// depth limit; blanks are kept so that saving reproduces the layout.
constexpr int kParseOptions = XML_PARSE_NONET;

xmlDocPtr Parse(ParseRun& run, const char* url, const char* encoding, int options) {
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) return nullptr;
  ctxt->_private = &run;
  ctxt->sax->serror = OnError;
  ctxt->sax->internalSubset = OnDoctype;
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, run.raw().data(), static_cast<int>(run.raw().size()),
                                    url, encoding, options);
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

// Reads a whole file; returns 0 or the errno of the failure.
int ReadAll(const std::string& path, std::string& bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char chunk[1 << 16];
  int error = 0;
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || bytes.size() + size_t(got) > size_t(INT_MAX)) {
      error = got < 0 ? errno : EFBIG;  // libxml2 takes sizes as int
      break;
    }
    bytes.append(chunk, size_t(got));
  }
  close(fd);
  return error;
}

}  // namespace

LoadResult LoadText(WStringView text) {
  if (text.starts_with(u'\uFEFF')) text.remove_prefix(1);
  Layout layout;
  ScanLayout(text.size(), [&](size_t i) { return text[i]; }, layout);
  std::string utf8 = ToUtf8(text);
  ParseRun run(utf8, 0);
  xmlDocPtr doc = Parse(run, nullptr, "UTF-8", kParseOptions | XML_PARSE_IGNORE_ENC);
  return Finish(doc, std::move(layout), std::move(run.error()));
}

LoadResult LoadFile(WStringView path) {
  std::string file = ToUtf8(path);
  std::string bytes;
  if (int error = ReadAll(file, bytes)) {
    ParseErrorInfo info;
    info.code = HResultFromErrno(error);
    info.reason =
        u"Cannot read the file \"" + WString(path) + u"\": " + SystemMessageText(info.code);
    info.url = path;
    return Finish(nullptr, {}, std::move(info));
  }
  Layout layout = ScanBytes(bytes);
  ParseRun run(bytes, layout.bom);
  xmlDocPtr doc = Parse(run, file.c_str(), nullptr, kParseOptions);
  ParseErrorInfo error = std::move(run.error());
  error.url = path;
  return Finish(doc, std::move(layout), std::move(error));
}

}  // namespace kv7::xmldom
