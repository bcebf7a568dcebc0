// The global settings verbs. Options are named by their getter and setter
// stems (HideExt, StatementSeparator, ...), matched ignoring case, and shown
// as the options document holds them.
#include "options_verbs.h"

#include <cstdio>
#include <string>

#include "arguments.h"
#include "kv7/options/global_options.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/platform/registry.h"
#include "kv7/util/logging.h"
#include "project_session.h"

namespace kv7::cli {
namespace {

// The option's value as the document holds it; "(none)" when unset.
std::string OptionText(CKV7GlobalOptionsClass& options, const char16_t* name) {
  CComBSTR text;
  if (options.GetOptionText(name, text.Put()) != S_OK) return "(none)";
  return ToUtf8(text.ToString());
}

void PrintOption(CKV7GlobalOptionsClass& options, const char16_t* name) {
  std::printf("%s = %s\n", ToUtf8(name).c_str(), OptionText(options, name).c_str());
}

// The option's own spelling of a NAME argument; null when none matches.
const char16_t* FindOption(const std::string& argument) {
  WString wanted = FromUtf8(argument);
  for (const char16_t* name : CKV7GlobalOptionsClass::GetOptionNames())
    if (EqualsNoCase(name, wanted)) return name;
  return nullptr;
}

std::string AllOptionNames() {
  std::string names;
  for (const char16_t* name : CKV7GlobalOptionsClass::GetOptionNames())
    names += (names.empty() ? "" : ", ") + ToUtf8(name);
  return names;
}

// Why a saved value reads back differently: another option that shares the
// element and is saved after it, or an element the document lacks.
std::string WhyNotKept(const char16_t* name, const char16_t* path) {
  const std::string element = ToUtf8(path);
  for (const char16_t* other : CKV7GlobalOptionsClass::GetOptionNames()) {
    const char16_t* other_path = nullptr;
    if (other != name && CKV7GlobalOptionsClass::GetOptionPath(other, &other_path) == S_OK &&
        other_path != nullptr && WStringView(other_path) == path)
      return "its element " + element + " also holds " + ToUtf8(other) + ", which is saved after it";
  }
  return "the options document has no " + element.substr(element.rfind('/') + 1) +
         " element with a val attribute";
}

int SetOption(CKV7GlobalOptionsClass& options, const char16_t* name, const std::string& value) {
  const std::string shown = ToUtf8(name);
  const char16_t* path = nullptr;
  (void)CKV7GlobalOptionsClass::GetOptionPath(name, &path);
  if (path == nullptr)
    return Fail("options", shown + " lives only in memory for one session and is not kept in the "
                                   "options document, so it cannot be set here");
  const std::string before = OptionText(options, name);
  if (FAILED(options.SetOptionText(name, FromUtf8(value).c_str()))) {
    bool boolean = before == "true" || before == "false";
    return BadUsage("options", "'" + value + "' is not a value for " + shown +
                                   (boolean ? " (true or false)" : " (a number, not negative)"));
  }
  const std::string wanted = OptionText(options, name);
  // The options class reports no failure of its own save; the helper
  // library's error information tells whether the document was written.
  ClearErrorInfo();
  (void)options.SaveToRegistry();
  HRESULT written = S_OK;
  if (GetErrorInfo(&written, nullptr))
    return FailStatus("options", written, "cannot save " + shown);
  (void)options.GlobalOptionsChanged();
  const std::string kept = OptionText(options, name);
  if (value.empty()) {
    // A cleared text option reads back as its default, when it has one.
    if (kept == "(none)") std::printf("%s cleared: it has no value now\n", shown.c_str());
    else std::printf("%s cleared: it reads as its default, %s\n", shown.c_str(), kept.c_str());
    return kExitOk;
  }
  if (kept != wanted)
    return Fail("options", shown + " did not keep the value " + wanted + ": it reads back as " +
                               kept + " (" + WhyNotKept(name, path) + ")");
  PrintOption(options, name);
  return kExitOk;
}

}  // namespace

// ---- options --------------------------------------------------------------

int RunOptions(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 0, 2, &parsed, &error)) return BadUsage("options", error);
  CKV7GlobalOptionsClass& options = *GetKV7GlobalOptions();
  if (parsed.positional.empty()) {
    for (const char16_t* name : CKV7GlobalOptionsClass::GetOptionNames())
      PrintOption(options, name);
    return kExitOk;
  }
  const char16_t* name = FindOption(parsed.positional[0]);
  if (name == nullptr)
    return Fail("options", "no option '" + parsed.positional[0] + "' (the options are " +
                               AllOptionNames() + ")");
  if (parsed.positional.size() == 1) {
    PrintOption(options, name);
    return kExitOk;
  }
  return SetOption(options, name, parsed.positional[1]);
}

// ---- log ------------------------------------------------------------------

namespace {

void PrintLogState() {
  WString file;
  GetLoggingFile(file);
  if (IsLoggingEnabledW()) std::printf("logging: on\nfile: %s\n", ToUtf8(file).c_str());
  else std::printf("logging: off\n");
}

// Writes the log settings: "Logging" always, "LoggingFile" when given.
int WriteLogSettings(DWORD logging, const WString* file) {
  CRegKey key;
  LONG status = key.Create(HKEY_LOCAL_MACHINE, kKV7LoggingKey);
  if (status == ERROR_SUCCESS && file != nullptr)
    status = key.SetStringValue(kKV7LoggingFileValue, *file);
  if (status == ERROR_SUCCESS) status = key.SetDWORDValue(kKV7LoggingValue, logging);
  if (status != ERROR_SUCCESS)
    return FailStatus("log", HRESULT_FROM_WIN32(static_cast<DWORD>(status)),
                      "cannot write the log settings");
  UpdateLoggingSettings();
  PrintLogState();
  return kExitOk;
}

}  // namespace

int RunLog(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 0, 2, &parsed, &error)) return BadUsage("log", error);
  const std::vector<std::string>& words = parsed.positional;
  if (words.empty()) {
    PrintLogState();
    return kExitOk;
  }
  if (words[0] == "off" && words.size() == 1) return WriteLogSettings(0, nullptr);
  if (words[0] != "on" || words.size() != 2) return BadUsage("log", "expected 'on FILE' or 'off'");
  WString file = AbsolutePath(words[1]);
  if (file.size() > kKV7LoggingFileMaxChars)
    return BadUsage("log", "the log file's path is longer than " +
                               std::to_string(kKV7LoggingFileMaxChars) + " characters");
  if (HRESULT hr = CheckFileWritable(file); FAILED(hr))
    return Fail("log", "cannot write " + ToUtf8(file) + ": " + ToUtf8(UnixMessageText(hr)));
  return WriteLogSettings(1, &file);
}

}  // namespace kv7::cli
