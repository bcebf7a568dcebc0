// Project file texts for tests, written in a readable form: two spaces of
// indentation per level and plain line ends, which Layout turns into the
// system's layout (tabs, CR LF).
#pragma once

#include <string>
#include <vector>

namespace kv7::test {

// Project file text in the system's layout from a readable form: every two
// leading spaces become a tab and every line ends with CR LF.
inline std::string Layout(const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t spaces = 0;
    while (start + spaces < end && text[start + spaces] == ' ') ++spaces;
    out.append(spaces / 2, '\t').append(text, start + spaces, end - start - spaces).append("\r\n");
    start = end + 1;
  }
  return out;
}

inline std::string Pad(int level) { return std::string(static_cast<size_t>(level) * 2, ' '); }

// An item element at `level` in readable form (see Layout).
inline std::string Item(int level, const std::string& element, const std::string& reference,
                        bool relative = true) {
  return Pad(level) + "<" + element + ">\n" + Pad(level + 1) + "<FileInfo>\n" + Pad(level + 2) +
         "<Reference>" + reference + "</Reference>\n" + Pad(level + 2) + "<IsReferenceRelative>" +
         (relative ? "1" : "0") + "</IsReferenceRelative>\n" + Pad(level + 1) + "</FileInfo>\n" +
         Pad(level) + "</" + element + ">\n";
}

// A Files or Folders element holding `content`.
inline std::string List(int level, const std::string& element, const std::string& content) {
  return Pad(level) + "<" + element + ">\n" + content + Pad(level) + "</" + element + ">\n";
}

inline std::string Folder(int level, const std::string& name, const std::string& type,
                          const std::string& files, const std::string& folders = "") {
  return Pad(level) + "<Folder>\n" + Pad(level + 1) + "<Info>\n" + Pad(level + 2) + "<Name>" +
         name + "</Name>\n" + Pad(level + 2) + "<Type>" + type + "</Type>\n" + Pad(level + 1) +
         "</Info>\n" + List(level + 1, "Files", files) + List(level + 1, "Folders", folders) +
         Pad(level) + "</Folder>\n";
}

inline const std::string kGeneral =
    "  <General>\n    <SccProjectName>$/Sales</SccProjectName>\n    "
    "<SccLocalPath>.</SccLocalPath>\n"
    "    <SccAuxPath>aux</SccAuxPath>\n    <SccProvider>Vault</SccProvider>\n  </General>\n";

// A Configuration element as the project writes it: the full name, the
// connection text (escaped as written), the run order's names and the
// debugging info with its defaults.
inline std::string Configuration(int level, const std::string& fullName, bool buildForDebug,
                                 const std::string& connection = "",
                                 const std::vector<std::string>& runOrder = {}) {
  std::string items;
  for (const std::string& name : runOrder)
    items += Pad(level + 3) + "<RunOrderItem>\n" + Pad(level + 4) + "<FileName>" + name +
             "</FileName>\n" + Pad(level + 3) + "</RunOrderItem>\n";
  const std::string in = Pad(level + 1), in2 = Pad(level + 2);
  return Pad(level) + "<Configuration>\n" + in + "<Name>" + fullName + "</Name>\n" + in +
         "<ConnInfo>" + connection + "</ConnInfo>\n" + in + "<RunOrder>\n" + in2 +
         "<RunOrderItemList>\n" + items + in2 + "</RunOrderItemList>\n" + in + "</RunOrder>\n" +
         in + "<DebuggingInfo>\n" + in2 + "<BuildForDebug>" + (buildForDebug ? "TRUE" : "FALSE") +
         "</BuildForDebug>\n" + in2 + "<DebugSessionTimeout>60</DebugSessionTimeout>\n" + in2 +
         "<MaxVariableLengthDisplay>80</MaxVariableLengthDisplay>\n" + in2 +
         "<LogXML>FALSE</LogXML>\n" + in2 + "<ParametersXML></ParametersXML>\n" + in2 +
         "<ProcName></ProcName>\n" + in2 + "<ProcSchema></ProcSchema>\n" + in +
         "</DebuggingInfo>\n" + Pad(level) + "</Configuration>\n";
}

// An AssemblyInfo element as the project writes it: the source path, the
// install outcome and time, the external name; target directory "clr", no
// GUID, installed on build.
inline std::string AssemblyInfo(int level, const std::string& path, bool succeeded,
                                const std::string& installTime, const std::string& externalName) {
  const std::string in = Pad(level + 1);
  return Pad(level) + "<AssemblyInfo>\n" + in + "<FullSourcePath>" + path +
         "</FullSourcePath>\n" + in + "<LastInstallSucceeded>" + (succeeded ? "TRUE" : "FALSE") +
         "</LastInstallSucceeded>\n" + in + "<LastSuccessfullInstallTime>" + installTime +
         "</LastSuccessfullInstallTime>\n" + in + "<TimestampOfInstalledDll>" + installTime +
         "</TimestampOfInstalledDll>\n" + in + "<ExternalName>" + externalName +
         "</ExternalName>\n" + in + "<TargetDir>clr</TargetDir>\n" + in + "<Guid></Guid>\n" + in +
         "<DoNotInstallOnBuild>FALSE</DoNotInstallOnBuild>\n" + Pad(level) + "</AssemblyInfo>\n";
}

// The configurations a project gets when its file has none.
inline const std::string kDefaultConfigurations =
    List(1, "Configurations",
         Configuration(2, "Debug|Win32", true) + Configuration(2, "Release|Win32", false));

// A whole project text; `version` is the root's attribute text ("" for none),
// `head` what stands between Name and General.
inline std::string Project(const std::string& name, const std::string& files,
                           const std::string& folders,
                           const std::string& version = " version=\"3\"",
                           const std::string& general = kGeneral, const std::string& head = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KV7Project" + version + ">\n  <Name>" +
         name + "</Name>\n" + head + general + List(1, "Files", files) +
         List(1, "Folders", folders) + "</KV7Project>";
}

}  // namespace kv7::test
