// The project's assemblies at build time: installing the changed ones
// before the items deploy, and naming them in the items' texts.
#include <algorithm>
#include <ctime>
#include <memory>

#include "kv7/helper/helper.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/utilities.h"

namespace {

void WriteLine(const KV7OutputSink& output, WStringView text) {
  if (output) output(WString(text) + u"\n");
}

// The DLL of a record on disk; a relative source path (with either
// separator) lies below the project folder.
WString DllPath(const CKV7AssemblyInfo& record, const WString& projectFolder) {
  const WString& path = record.GetFullSourcePath();
  if (IsFullPathName(path)) return path;
  WString native = path;
  std::replace(native.begin(), native.end(), u'\\', u'/');
  return projectFolder + native;
}

std::time_t TimeOf(const WString& text) {
  std::unique_ptr<CTime> time(CTimeFromString(text.c_str()));
  return time ? time->GetTime() : 0;
}

enum class Reinstall { kNo, kChanged, kOlder };

// Whether an installed record's DLL changed since: its last-write time is
// not the recorded one (an older file put back counts as a change);
// without a recorded time, a DLL written after the install.
Reinstall ReinstallOf(const CKV7AssemblyInfo& record, const WString& dllTime) {
  std::time_t modified = TimeOf(dllTime);
  std::time_t recorded = TimeOf(record.GetTimestampOfInstalledDll());
  if (recorded != 0) {
    if (modified == recorded) return Reinstall::kNo;
    return modified < recorded ? Reinstall::kOlder : Reinstall::kChanged;
  }
  std::time_t installed = TimeOf(record.GetLastSuccessfulInstallTime());
  return installed == 0 || modified > installed ? Reinstall::kChanged : Reinstall::kNo;
}

// Why an install failed: the error information of a failure status, else
// the installer's own words.
WString FailureReason(HRESULT hr, const CComBSTR& message, const CComBSTR& result) {
  WString reason;
  if (FAILED(hr)) {
    if (!kv7::GetErrorInfo(nullptr, &reason) || reason.empty()) reason = kv7::SystemMessageText(hr);
    return reason;
  }
  reason = message.ToString();
  if (reason.empty()) reason = result.ToString();
  return reason.empty() ? kv7::SystemMessageText(E_FAIL) : reason;
}

HRESULT HelperLibraryInstall(const char16_t* connectionXml, const char16_t* assemblyPath,
                             const char16_t* assemblyName, const char16_t* options, BSTR* message,
                             BSTR* details, LONG* status, BSTR* result) {
  CTaskHelperHook helper;
  return helper.InstallCLRAssembly(connectionXml, assemblyPath, assemblyName, options, message,
                                   details, status, result);
}

// Installs a record's DLL and brings the record up to date.
HRESULT Install(CKV7AssemblyInfo& record, const WString& dll, const WString& dllTime,
                const char16_t* connectionXml, const KV7OutputSink& output,
                const KV7AssemblyInstaller& installer) {
  WString name = record.GetExternalName().empty() ? WString(record.GetSourceFileName(false))
                                                  : record.GetExternalName();
  CComBSTR message, details, result;
  LONG status = -1;
  kv7::ClearErrorInfo();
  HRESULT hr = installer(connectionXml, dll.c_str(), name.c_str(), record.GetTargetDir().c_str(),
                         message.Put(), details.Put(), &status, result.Put());
  if (FAILED(hr) || status != 0) {
    record.SetLastInstallSucceeded(FALSE);
    WriteLine(output, FormatUIStringInserts(1304, nullptr, {dll, FailureReason(hr, message, result)}));
    return FAILED(hr) ? hr : E_FAIL;
  }
  WString now;
  GetCurrentTimeAsString(now);
  record.SetLastInstallSucceeded(TRUE);
  record.SetLastSuccessfulInstallTime(now);
  record.SetTimestampOfInstalledDll(dllTime);
  if (!result.ToString().empty()) record.SetExternalName(result.ToString());
  if (!details.ToString().empty()) record.SetGuid(details.ToString());
  if (!message.ToString().empty()) WriteLine(output, message.ToString());
  return S_OK;
}

}  // namespace

HRESULT CMyProjectHierarchy::ProcessAssembliesForBuild(const char16_t* connectionXml,
                                                      const KV7OutputSink& output,
                                                      CKV7AssemblyInfoList& installed,
                                                      const KV7AssemblyInstaller& installer) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ProcessAssembliesForBuild", 2, "PrjHier");
  HRESULT hr = CheckOpen();
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  const KV7AssemblyInstaller& install = installer ? installer : KV7AssemblyInstaller(HelperLibraryInstall);
  for (int i = 0; i < assembly_infos_.GetCount(); ++i) {
    CKV7AssemblyInfo& record = *assembly_infos_.GetAt(i);
    if (record.GetDoNotInstallOnBuild()) continue;
    if (!record.GetLastInstallSucceeded() && record.GetFullSourcePath().empty()) {
      WriteLine(output, FormatUIString(1266, kv7::FormatW(u"%d", i + 1)));
      continue;
    }
    WString dll = DllPath(record, project_folder_);
    WString dll_time;
    if (!kv7::FileExists(dll) || FAILED(GetFileModifiedDate(dll.c_str(), dll_time))) continue;
    if (record.GetLastInstallSucceeded()) {
      Reinstall reinstall = ReinstallOf(record, dll_time);
      if (reinstall == Reinstall::kNo) continue;
      if (reinstall == Reinstall::kOlder) WriteLine(output, FormatUIString(1265, dll));
    }
    hr = Install(record, dll, dll_time, connectionXml, output, install);
    SetDirty();
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
    installed.Add(record.Clone());
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::DoExtNameReplacements(WStringView path, WString& text, WString& note,
                                                   const KV7OutputSink& output) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::DoExtNameReplacements", 2, "PrjHier");
  WString failed;
  if (FAILED(assembly_infos_.ReplacePlaceholders(text, note, failed))) {
    WriteLine(output, FormatUIStringInserts(1272, nullptr, {path, failed}));
    WriteLine(output, LoadUIString(1043));
    return KV7_TRACE_RETURN(E_FAIL);
  }
  if (!note.empty()) WriteLine(output, FormatUIString(1271, note));
  return KV7_TRACE_RETURN(S_OK);
}
