// How the CLI reports: one line on stderr, "kv7 VERB: message", in the
// style of the Unix tools. Usage errors also point at the verb's help.
#pragma once

#include <string>

#include "kv7/platform/hresult.h"

namespace kv7::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Prints the message and returns kExitFailed.
int Fail(const std::string& verb, const std::string& message);
// Prints "doing: reason" for a failed status and returns kExitFailed. The
// reason is the thread's error information, which the system and the
// helper library word themselves; a bare platform text ("Access is
// denied.") is worded as the Unix tools do ("permission denied").
int FailStatus(const std::string& verb, HRESULT status, const std::string& doing);
// The reason FailStatus prints, taken from (and clearing) the thread's
// error information.
std::string ReasonText(HRESULT status);
// Prints the message with a pointer to the verb's help; returns kExitUsage.
int BadUsage(const std::string& verb, const std::string& message);

}  // namespace kv7::cli
