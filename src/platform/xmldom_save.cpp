// Serialising XML documents with libxml2's node serializer: the source's
// declaration and line ends are reproduced, and files are replaced whole.
#include <fcntl.h>
#include <libxml/xmlsave.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "kv7/platform/errorinfo.h"
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

struct FileSink {
  int fd;
  int error = 0;
};

int WriteToFile(void* context, const char* data, int length) {
  auto& sink = *static_cast<FileSink*>(context);
  for (int done = 0; done < length;) {
    ssize_t wrote = ::write(sink.fd, data + done, static_cast<size_t>(length - done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) {
      sink.error = errno;
      return -1;
    }
    done += static_cast<int>(wrote);
  }
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

// A new file beside the target, removed unless Commit renames it over the
// target, so that a failed save leaves the target as it was.
class TempFile {
 public:
  explicit TempFile(const std::string& target) : target_(target) {
    static std::atomic<unsigned> counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = target + ".kv7-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
      fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      error_ = fd_ < 0 ? errno : 0;
      if (error_ != EEXIST) break;
    }
    if (fd_ < 0) path_.clear();
    // A replaced file keeps its permissions.
    struct stat existing;
    if (fd_ >= 0 && stat(target.c_str(), &existing) == 0) fchmod(fd_, existing.st_mode & 07777);
  }
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  int error() const { return error_; }

  // Closes the file and moves it over the target; returns 0 or the errno.
  int Commit() {
    int status = close(std::exchange(fd_, -1));
    if (status == 0) status = rename(path_.c_str(), target_.c_str());
    if (status != 0) return errno;
    path_.clear();
    return 0;
  }

 private:
  std::string target_;
  std::string path_;
  int fd_ = -1;
  int error_ = 0;
};

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
  TempFile file(ToUtf8(path));
  if (file.fd() < 0) return ReportError(HResultFromErrno(file.error()));
  xmlCharEncodingHandlerPtr encoder = utf8 ? nullptr : xmlFindCharEncodingHandler(encoding.c_str());
  if (!utf8 && encoder == nullptr) return ReportError(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
  FileSink sink{file.fd()};
  if (!Serialise(tree, reinterpret_cast<xmlNodePtr>(tree.doc), encoder, WriteToFile, &sink))
    return ReportError(HResultFromErrno(sink.error ? sink.error : EIO));
  if (int error = file.Commit()) return ReportError(HResultFromErrno(error));
  return S_OK;
}

}  // namespace kv7::xmldom
