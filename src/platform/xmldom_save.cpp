// Serialising XML documents with libxml2's node serializer: the source's
// declaration and line ends are reproduced, and files are replaced whole.
#include <libxml/xmlsave.h>
#include <strings.h>

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "xmldom_impl.h"

namespace kv7::xmldom {
namespace {

// Carries serialised UTF-8 to the destination: line feeds become the
// document's line end, then the encoder (when not UTF-8) converts the text.
struct Stage {
  bool crlf;
  xmlOutputBufferPtr encoded;  // null when writing UTF-8
  xmlOutputWriteCallback write;
  void* destination;
  std::string scratch;
};

int StageWrite(void* context, const char* data, int length) {
  auto& stage = *static_cast<Stage*>(context);
  std::string_view text(data, static_cast<size_t>(length));
  if (stage.crlf) {
    stage.scratch.clear();
    for (size_t at = 0; at < text.size();) {
      size_t feed = text.find('\n', at);
      stage.scratch.append(text.substr(at, feed - at));
      if (feed == std::string_view::npos) break;
      stage.scratch.append("\r\n");
      at = feed + 1;
    }
    text = stage.scratch;
  }
  int size = static_cast<int>(text.size());
  int written = stage.encoded ? xmlOutputBufferWrite(stage.encoded, size, text.data())
                              : stage.write(stage.destination, text.data(), size);
  return written < 0 ? -1 : length;
}

void WriteText(xmlOutputBufferPtr out, std::string_view text) {
  xmlOutputBufferWrite(out, static_cast<int>(text.size()), text.data());
}

// A document is its declaration and its top-level nodes, one per line.
void DumpDocument(xmlOutputBufferPtr out, const Tree& tree) {
  if (!tree.declaration.empty()) {
    WriteText(out, tree.declaration);
    WriteText(out, "\n");
  }
  for (xmlNodePtr node = tree.doc->children; node; node = node->next) {
    xmlNodeDumpOutput(out, tree.doc, node, 0, 0, "UTF-8");
    WriteText(out, "\n");
  }
}

// Serialises `node` without added formatting; takes over `encoder`.
// Returns false when the destination refused a write.
bool Serialise(const Tree& tree, xmlNodePtr node, xmlCharEncodingHandlerPtr encoder,
               xmlOutputWriteCallback write, void* destination) {
  Stage stage{tree.crlf, nullptr, write, destination, {}};
  if (encoder) stage.encoded = xmlOutputBufferCreateIO(write, nullptr, destination, encoder);
  xmlOutputBufferPtr out = xmlOutputBufferCreateIO(StageWrite, nullptr, &stage, nullptr);
  if (node->type == XML_DOCUMENT_NODE) DumpDocument(out, tree);
  else xmlNodeDumpOutput(out, tree.doc, node, 0, 0, "UTF-8");
  bool ok = xmlOutputBufferFlush(out) >= 0 &&
            (stage.encoded == nullptr || xmlOutputBufferFlush(stage.encoded) >= 0);
  xmlOutputBufferClose(out);
  if (stage.encoded) xmlOutputBufferClose(stage.encoded);
  return ok;
}

int AppendToString(void* context, const char* data, int length) {
  static_cast<std::string*>(context)->append(data, static_cast<size_t>(length));
  return length;
}

// The encoding that the declaration names; UTF-8 when it names none.
std::string DeclaredEncoding(std::string_view declaration) {
  size_t name = declaration.find("encoding");
  size_t open = declaration.find_first_of("\"'", name);
  if (name == std::string_view::npos || open == std::string_view::npos) return "UTF-8";
  size_t close = declaration.find(declaration[open], open + 1);
  return std::string(declaration.substr(open + 1, close - open - 1));
}

}  // namespace

std::string SerialiseToUtf8(const Tree& tree, xmlNodePtr node) {
  std::string text;
  Serialise(tree, node, nullptr, AppendToString, &text);
  // libxml2 writes an attribute with the space that parts it from its element.
  if (node->type == XML_ATTRIBUTE_NODE && text.starts_with(' ')) text.erase(0, 1);
  return text;
}

HRESULT SaveTree(const Tree& tree, WStringView path) {
  std::string encoding = DeclaredEncoding(tree.declaration);
  bool utf8 =
      strcasecmp(encoding.c_str(), "UTF-8") == 0 || strcasecmp(encoding.c_str(), "UTF8") == 0;
  xmlCharEncodingHandlerPtr encoder = utf8 ? nullptr : xmlFindCharEncodingHandler(encoding.c_str());
  if (!utf8 && encoder == nullptr) return ReportError(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
  std::string bytes;
  if (!Serialise(tree, reinterpret_cast<xmlNodePtr>(tree.doc), encoder, AppendToString, &bytes))
    return ReportError(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  // The file is replaced whole, so a failed save leaves it as it was.
  if (HRESULT hr = WriteFileBytes(path, bytes); FAILED(hr)) return ReportError(hr);
  return S_OK;
}

}  // namespace kv7::xmldom
