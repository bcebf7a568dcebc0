// The project's assembly records: one CKV7AssemblyInfo per .NET assembly (a
// DLL built elsewhere) that procedures of the project are implemented in,
// saying where the DLL is, under which name and into which directory it is
// installed on the server, whether and when its last installation
// succeeded, and whether builds install it at all. CKV7AssemblyInfoList
// holds them in the project file's order; the project hierarchy owns one
// list (CMyProjectHierarchy::GetAssemblyInfoList), the assemblies dialog
// works on a copy. UI thread only.
//
// Project file form, at the caller's indent, children one tab deeper, each
// line ending in CR LF; values written as held (no escaping), booleans
// "TRUE" or "FALSE":
//
//   <AssemblyInfos>
//   	<AssemblyInfo>
//   		<FullSourcePath>/lib/Tools.dll</FullSourcePath>
//   		<LastInstallSucceeded>TRUE</LastInstallSucceeded>
//   		<LastSuccessfullInstallTime>03/07/2026 14:05:09</LastSuccessfullInstallTime>
//   		<TimestampOfInstalledDll>03/07/2026 13:58:40</TimestampOfInstalledDll>
//   		<ExternalName>Tools</ExternalName>
//   		<TargetDir>clr</TargetDir>
//   		<Guid>{...}</Guid>
//   		<DoNotInstallOnBuild>FALSE</DoNotInstallOnBuild>
//   	</AssemblyInfo>
//   </AssemblyInfos>
//
// Times are local time as text, "%m/%d/%Y %H:%M:%S" (kKV7TimeFormat).
//
// Assembly placeholders. An item's text names an assembly of the project
// as
//
//   [!KV7CLRAssembly:NAME]
//
// where NAME is the assembly file's name without its extension ("Tools"
// for /lib/Tools.dll), in any letter case; a NAME with the extension is
// accepted too. Before an item deploys, each placeholder is replaced by the
// record's external name, or, for an assembly the server does not know by
// a name yet (no external name), by its target directory, "/" and the DLL's
// file name ("clr/Tools.dll"). A placeholder without ":" or without its
// closing "]" on the same line, with an empty NAME, or naming no record of
// the list, is an error.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"
#include "kv7/platform/xmldom.h"

// The text every assembly placeholder starts with, exactly.
inline constexpr char16_t kKV7CLRAssemblyPlaceholder[] = u"[!KV7CLRAssembly";

class CKV7AssemblyInfo {
 public:
  // The target directory of a new record.
  static constexpr char16_t kDefaultTargetDir[] = u"clr";

  // A new record: every text empty but the target directory ("clr"), not
  // installed, installed on build.
  CKV7AssemblyInfo();
  virtual ~CKV7AssemblyInfo();
  CKV7AssemblyInfo(const CKV7AssemblyInfo&) = delete;
  CKV7AssemblyInfo& operator=(const CKV7AssemblyInfo&) = delete;

  // Appends the AssemblyInfo element (form above) at `indent`. S_OK.
  virtual HRESULT SaveAsXML(WStringView indent, WString& out) const;
  // Reads the children of an AssemblyInfo element: each of the eight
  // elements that is present sets its field, an empty one included
  // (booleans are true exactly for "TRUE", ignoring case); a missing one
  // leaves its field as it was; other children are ignored. The extra text
  // is never read. S_OK (also for a null element).
  virtual HRESULT LoadFromXML(IXMLDOMNode* element);

  // Copies every field, the extra text included.
  void CopyFrom(const CKV7AssemblyInfo& other);
  // A new record with this record's fields.
  std::unique_ptr<CKV7AssemblyInfo> Clone() const;
  // Makes the next build install the assembly afresh: not installed; the
  // install time, external name, timestamp and GUID emptied.
  void SetAsNew();
  // Forgets the last installation: not installed, install time and
  // timestamp emptied (external name and GUID stay). With
  // `respectDoNotInstall` a do-not-install record is left as it is.
  // Whether a field changed.
  bool ClearInstallInfo(bool respectDoNotInstall);

  // The file name of the full source path (after its last "/" or "\", so
  // that paths written on Windows work too); without its extension unless
  // `keepExtension`.
  WStringView GetSourceFileName(bool keepExtension) const;
  // What a placeholder naming this record becomes: the external name, or
  // the target directory, "/" and the source file name when there is none.
  WString GetPlaceholderReplacement() const;

  const WString& GetFullSourcePath() const { return full_source_path_; }
  void SetFullSourcePath(WStringView path);
  BOOL GetLastInstallSucceeded() const { return last_install_succeeded_; }
  void SetLastInstallSucceeded(BOOL succeeded);
  const WString& GetLastSuccessfulInstallTime() const { return last_successful_install_time_; }
  void SetLastSuccessfulInstallTime(WStringView time);
  // The name under which the server knows the installed assembly.
  const WString& GetExternalName() const { return external_name_; }
  void SetExternalName(WStringView name);
  // Text that travels with copies of the record and is never saved.
  const WString& GetExtraText() const { return extra_text_; }
  void SetExtraText(WStringView text);
  // The DLL's last-write time when it was last installed.
  const WString& GetTimestampOfInstalledDll() const { return timestamp_of_installed_dll_; }
  void SetTimestampOfInstalledDll(WStringView time);
  // The directory on the server that the assembly is installed into.
  const WString& GetTargetDir() const { return target_dir_; }
  void SetTargetDir(WStringView directory);
  const WString& GetGuid() const { return guid_; }
  void SetGuid(WStringView guid);
  BOOL GetDoNotInstallOnBuild() const { return do_not_install_on_build_; }
  void SetDoNotInstallOnBuild(BOOL doNotInstall);

 private:
  // One element of the project file form: a text field or a boolean one.
  struct XmlField {
    const char16_t* element;
    WString CKV7AssemblyInfo::*text;
    BOOL CKV7AssemblyInfo::*flag;
  };
  // The eight elements in the order they are written.
  static std::span<const XmlField> XmlFields();

  WString full_source_path_;
  BOOL last_install_succeeded_ = FALSE;
  WString last_successful_install_time_;
  WString external_name_;
  WString extra_text_;
  WString timestamp_of_installed_dll_;
  WString target_dir_{kDefaultTargetDir};
  WString guid_;
  BOOL do_not_install_on_build_ = FALSE;
};

// The owning, ordered list of a project's assembly records.
class CKV7AssemblyInfoList {
 public:
  CKV7AssemblyInfoList();
  virtual ~CKV7AssemblyInfoList();
  CKV7AssemblyInfoList(const CKV7AssemblyInfoList&) = delete;
  CKV7AssemblyInfoList& operator=(const CKV7AssemblyInfoList&) = delete;

  // Appends the AssemblyInfos element with every record at indent + tab.
  // Stops at the first record that fails and returns its status; S_OK.
  // The project file writes it only for a list that is not empty.
  virtual HRESULT SaveAsXML(WStringView indent, WString& out) const;
  // Appends a new record for every child named exactly "AssemblyInfo", in
  // document order; the records already held stay. The first failing
  // child read is returned; S_OK otherwise (also for a null element).
  virtual HRESULT LoadFromXML(IXMLDOMNode* element);

  // Destroys every record, then appends a clone of each of `other`'s.
  void CopyFrom(const CKV7AssemblyInfoList& other);
  // Empties the list without destroying the records: they pass, in order,
  // to the caller.
  [[nodiscard]] std::vector<std::unique_ptr<CKV7AssemblyInfo>> RemoveAll();
  // Destroys every record and empties the list.
  void DeleteAll();
  // ClearInstallInfo on every record (a clean or a rebuild: every assembly
  // is installed again by the next build). Whether any record changed, so
  // that the caller knows the project needs saving.
  bool ClearAllTimestamps(bool respectDoNotInstall);
  // The first record whose source file name (with its extension when
  // `keepExtension`) equals `name` ignoring case; null when none. The list
  // keeps the record.
  CKV7AssemblyInfo* FindByBaseFileName(WStringView name, bool keepExtension) const;

  // Replaces every assembly placeholder of `text` (form in the file
  // comment). On S_OK `note` holds the names (comma separated, each once)
  // of the assemblies that stand by their target path because they have no
  // external name, empty when none did. E_FAIL at the first placeholder
  // that does not resolve: `text` and `note` unchanged, `failed` holding
  // the placeholder as written (up to its "]", else to the end of its line).
  HRESULT ReplacePlaceholders(WString& text, WString& note, WString& failed) const;
  // Whether the text refers to a record of the list: a placeholder that
  // resolves to one, or the DLL's file name with its extension or the
  // external name as a whole word (not within a longer name of letters,
  // digits and "_"), ignoring case.
  bool IsAnyReferencedIn(WStringView text) const;

  // Appends a record; the list owns it.
  void Add(std::unique_ptr<CKV7AssemblyInfo> record);
  int GetCount() const { return static_cast<int>(records_.size()); }
  bool IsEmpty() const { return records_.empty(); }
  // The record at 0 .. GetCount() - 1 (another index is a caller's error,
  // checked by assertion); the list keeps it.
  CKV7AssemblyInfo* GetAt(int index) const;

 private:
  // The record a placeholder's NAME resolves to: by the file name without
  // its extension, else with it; null when none.
  CKV7AssemblyInfo* FindForPlaceholder(WStringView name) const;

  std::vector<std::unique_ptr<CKV7AssemblyInfo>> records_;
};
