#include "report.h"

#include <cstdio>

#include "kv7/platform/errorinfo.h"

namespace kv7::cli {

int Fail(const std::string& verb, const std::string& message) {
  std::fflush(stdout);  // what the verb printed comes first
  std::fprintf(stderr, "kv7 %s: %s\n", verb.c_str(), message.c_str());
  return kExitFailed;
}

std::string ReasonText(HRESULT status) {
  HRESULT recorded = status;
  WString description;
  if (!GetErrorInfo(&recorded, &description)) recorded = status;
  ClearErrorInfo();
  if (description.empty() || description == SystemMessageText(recorded))
    description = UnixMessageText(recorded);
  return ToUtf8(description);
}

int FailStatus(const std::string& verb, HRESULT status, const std::string& doing) {
  return Fail(verb, doing + ": " + ReasonText(status));
}

int BadUsage(const std::string& verb, const std::string& message) {
  // "connection add" has its help with "connection".
  std::string help = verb.substr(0, verb.find(' '));
  std::fprintf(stderr, "kv7 %s: %s (see 'kv7 %s --help')\n", verb.c_str(), message.c_str(),
               help.c_str());
  return kExitUsage;
}

}  // namespace kv7::cli
