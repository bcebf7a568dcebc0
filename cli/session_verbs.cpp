// process-xml runs a project command document as a sibling tool would hand
// it to the package; shell keeps one project open and runs the verbs of
// standard input on it, so that what lives only while a project is open
// (item build settings) lasts across them.
#include "session_verbs.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "arguments.h"
#include "kv7/build/task_documents.h"
#include "kv7/platform/files.h"
#include "project_session.h"

namespace kv7::cli {
namespace {

std::string Utf8(WStringView text) { return ToUtf8(text); }

// Saves every open project that changed; the exit code.
int SaveProjects(CliHost& host) {
  int code = kExitOk;
  for (CMyProjectHierarchy* project : host.Projects()) {
    BOOL dirty = FALSE;
    if (FAILED(project->IsDirty(&dirty)) || !dirty) continue;
    HRESULT hr = project->Save(nullptr, FALSE, 0);
    if (FAILED(hr))
      code = FailStatus("process-xml", hr, "cannot write " + Utf8(project->GetProjectFilePath()));
  }
  return code;
}

// The words of a shell line, split as a shell splits them: blanks part
// words, quotes ('...' or "...") keep them together, a backslash outside
// single quotes takes the next character as it is. Nothing for a blank
// line or a comment ("#..."); *error for an unclosed quote.
std::optional<Arguments> SplitLine(const std::string& line, std::string* error) {
  Arguments words;
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      else if (c == '\\' && quote == '"' && i + 1 < line.size()) word += line[++i];
      else word += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      in_word = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      in_word = true;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (in_word) words.push_back(std::exchange(word, {}));
      in_word = false;
    } else if (c == '#' && !in_word) {
      break;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quote != 0) {
    *error = std::string("a quote (") + quote + ") is not closed";
    return std::nullopt;
  }
  if (in_word) words.push_back(word);
  return words;
}

// Verbs that make or hold projects of their own have no place in a shell.
bool ServesTheShell(const Verb& verb) {
  const std::string name = verb.name;
  return name != "new" && name != "shell" && name != "process-xml";
}

}  // namespace

int RunProcessXml(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {"--contents"}, 1, 1, &parsed, &error))
    return BadUsage("process-xml", error);
  const WString file = AbsolutePath(parsed.positional[0]);
  std::string bytes;
  HRESULT hr = ReadFileBytes(file, &bytes);
  if (FAILED(hr)) return FailStatus("process-xml", hr, "cannot read " + Utf8(file));
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  CliHost host;
  CKV7PrjXMLParser parser;
  hr = parser.Parse(FromUtf8(bytes).c_str());
  if (FAILED(hr)) return FailStatus("process-xml", hr, "cannot read the commands of " + Utf8(file));
  hr = parser.Execute(FromUtf8(parsed.Option("--contents")).c_str(),
                      [](const CKV7PrjXMLParserCmd& command, HRESULT status) {
                        if (SUCCEEDED(status)) {
                          std::printf("%s: ok\n", Utf8(command.Describe()).c_str());
                          return;
                        }
                        char code[16];
                        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
                        (void)FailStatus("process-xml", status,
                                         Utf8(command.Describe()) + " (" + code + ")");
                        std::fprintf(stderr, "  in %s\n", Utf8(command.GetElementXml()).c_str());
                      });
  int saved = SaveProjects(host);
  return FAILED(hr) ? kExitFailed : saved;
}

int RunShell(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 1, 1, &parsed, &error)) return BadUsage("shell", error);
  ProjectSession session("shell");
  if (int code = session.Open(parsed.positional[0])) return code;
  session.ServeAsShell();
  const std::string project = Utf8(session.project()->GetProjectFilePath());
  int failures = 0;
  std::string line;
  for (int number = 1; std::getline(std::cin, line); ++number) {
    std::optional<Arguments> words = SplitLine(line, &error);
    const Verb* verb = words && !words->empty() ? FindVerb(words->front()) : nullptr;
    std::string problem = !words           ? error
                          : words->empty() ? ""
                          : verb == nullptr ? "unknown command '" + words->front() + "'"
                          : !ServesTheShell(*verb) ? "'" + words->front() + "' is not for the shell"
                                                   : "";
    if (!problem.empty()) {
      std::fflush(stdout);  // the line's own output comes first
      std::fprintf(stderr, "kv7 shell: line %d: %s\n", number, problem.c_str());
      ++failures;
      continue;
    }
    if (verb == nullptr) continue;
    // The shell's project is each verb's PROJECT argument.
    Arguments verb_args(words->begin() + 1, words->end());
    if (verb->projectArgument >= 0) {
      size_t at = std::min<size_t>(static_cast<size_t>(verb->projectArgument), verb_args.size());
      verb_args.insert(verb_args.begin() + static_cast<std::ptrdiff_t>(at), project);
    }
    if (RunVerb(*verb, verb_args) != kExitOk) ++failures;
  }
  if (int code = session.SaveIfDirty()) return code;
  return failures == 0 ? kExitOk : kExitFailed;
}

}  // namespace kv7::cli
