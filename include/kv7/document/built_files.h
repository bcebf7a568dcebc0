// CKV7BuiltFiles: the built-files record of a project. Per configuration it
// remembers which item files were deployed successfully and when, so that
// an incremental build skips the items that have not changed since.
//
// The record is an XML document held in memory and stored beside the
// project file (GenerateDefaultName):
//
//   <KV7ProjectBuiltFiles version="1">
//     <Configurations>
//       <Configuration val="Debug|Win32">      configuration full name
//         <Files>
//           <File val="/p/Tables/a.kv7tbl" builttime="03/07/2026 14:05:09"/>
//
// Element and attribute names are exact; configuration names and file paths
// compare ignoring case, so "debug|win32" addresses "Debug|Win32" and a path
// in another letter case addresses the same File. The record holds at most
// one Configuration per name and one File per path in a configuration
// (loading keeps the first of several, as lookups would find it); every
// lookup goes through an index kept in step with the document, so it costs
// the same for a record of fifty thousand files as for one.
//
// Build times are local time, "%m/%d/%Y %H:%M:%S", to the second.
//
// Dirty flag: set by every operation that changes the document, cleared by
// LoadFromFile and by a successful SaveToFile. An operation that finds
// nothing to change returns S_FALSE and leaves the flag alone.
//
// Owned by the project hierarchy; UI thread only. Nodes handed out by
// GetConfigNode and GetFileNode belong to the record's document: they stay
// valid while the caller holds them, yet a later change to the record may
// take them out of the document.
#pragma once

#include <optional>
#include <unordered_map>

#include "kv7/platform/files.h"
#include "kv7/platform/hresult.h"
#include "kv7/platform/localtime.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"
#include "kv7/platform/xmldom.h"

// The suffix that replaces a project file's extension to name its record.
inline constexpr char16_t kBuiltFilesSuffix[] = u".kv7builtfiles.xml";

class CKV7BuiltFiles {
 public:
  // The format version written in the root's version attribute.
  static constexpr LONG kVersion = 1;

  // An empty, clean record with no file path.
  CKV7BuiltFiles();
  ~CKV7BuiltFiles();
  CKV7BuiltFiles(const CKV7BuiltFiles&) = delete;
  CKV7BuiltFiles& operator=(const CKV7BuiltFiles&) = delete;

  // ---- File ----------------------------------------------------------------
  // Remembers the path and reads the record from it; the record is clean
  // afterwards whatever happens. E_INVALIDARG for a null or empty path,
  // changing nothing.
  //  - S_OK: the file was read; or it does not exist, and the record is
  //    empty (every item then counts as changed).
  //  - A failure status when the file cannot be read or is not a record
  //    (does not parse, or its root is not KV7ProjectBuiltFiles with a
  //    Configurations element): the record is empty, and this thread's
  //    error information names the file ("<path>: line N, position M:
  //    <reason>", "cannot read <path>: <reason>", "<path>: not a built
  //    files record: its root is X"). The file is left as it is, and is
  //    replaced only when the record is next saved.
  [[nodiscard]] HRESULT LoadFromFile(const char16_t* path);
  // Writes the record to `path`, which becomes the record's path, or to the
  // remembered path when `path` is null or empty. The file is replaced
  // whole, in UTF-8, in the system's layout (one element per line, tab
  // indents, CR LF); attribute values are escaped as XML requires. A record
  // file takes no hidden attribute: on Linux only a name starting with "."
  // is hidden, and the record's name does not.
  // S_OK and clean on success; E_FAIL with no path at all; otherwise the
  // write's failure, with error information "cannot write <path>:
  // <reason>", and the dirty flag kept.
  [[nodiscard]] HRESULT SaveToFile(const char16_t* path);
  // The record's file name for a project file: its directory and base name
  // followed by kBuiltFilesSuffix ("/p/Sales.kv7p" gives
  // "/p/Sales.kv7builtfiles.xml"). With `remember` it also becomes the
  // record's path.
  WString GenerateDefaultName(WStringView projectPath, bool remember);
  const WString& GetFilePath() const { return path_; }
  bool IsDirty() const { return dirty_; }
  // Takes the record as saved, for changes that need not be written: the
  // configurations that opening a project enters again on every open.
  void ClearDirty() { dirty_ = false; }

  // Replaces the document by an empty record (no configurations). The
  // path and the dirty flag stay as they are.
  void Clear();

  // ---- Files -----------------------------------------------------------------
  // Records the path as deployed now in the configuration: its File entry
  // is replaced by a new one at the end of the configuration's Files, with
  // the current local time. S_FALSE (nothing changed) when the record has
  // no such configuration.
  HRESULT SetFileAsBuilt(WStringView path, WStringView configuration);
  // The same in every configuration of the record; S_FALSE when it has none.
  HRESULT SetFileAsBuilt(WStringView path);
  // Removes the path's entry from the configuration; S_FALSE when there
  // was none.
  HRESULT SetFileAsNotBuilt(WStringView path, WStringView configuration);
  // Removes the path's entry from every configuration; S_FALSE when none
  // had one.
  HRESULT SetFileAsNotBuilt(WStringView path);
  // Removes every entry of the configuration; S_FALSE when it had none or
  // does not exist.
  HRESULT SetConfigAsNotBuilt(WStringView configuration);
  // Removes every entry of every configuration; S_FALSE when there were none.
  HRESULT SetAllConfigsAsNotBuilt();
  // Gives the entries of oldPath the path newPath, in every configuration.
  // An entry that newPath already had is dropped: what now lies at newPath
  // was built when oldPath was. S_FALSE when no configuration had oldPath.
  HRESULT FileRenamed(WStringView oldPath, WStringView newPath);

  // ---- Configurations --------------------------------------------------------
  // Appends a configuration with no entries. A configuration of that name
  // already in the record is emptied instead: a new configuration has built
  // nothing. S_FALSE when it was there and already empty.
  HRESULT ConfigAdded(WStringView name);
  // Removes the configuration and its entries; S_FALSE when absent.
  HRESULT ConfigDeleted(WStringView name);
  // Gives the configuration the new name, keeping its entries. Another
  // configuration that already had the new name is stale (no live
  // configuration has it) and is removed. S_FALSE when oldName is absent.
  HRESULT ConfigRenamed(WStringView oldName, WStringView newName);

  // ---- Queries -----------------------------------------------------------------
  // Whether the file changed since it was last deployed in the
  // configuration. *updated is TRUE unless the record holds a readable build
  // time and the file's last-write time, in local time to the second, is
  // not later than it: a file saved in the same second as its build counts
  // as unchanged. S_OK, also when the record has no entry or no readable
  // time; E_POINTER for a null out-argument; the failure of reading the
  // file's time (a missing file, for one), *updated then TRUE.
  HRESULT HasFileBeenUpdatedSinceLastBuildTime(WStringView configuration, WStringView path,
                                               BOOL* updated);
  // The same from a status of the file that the caller took.
  HRESULT HasFileBeenUpdatedSinceLastBuildTime(WStringView configuration, WStringView path,
                                               const kv7::FileStatus& file, BOOL* updated);
  // The Configuration element of a name, or the File element of a path in a
  // configuration, with a reference for the caller: S_OK; S_FALSE with
  // *node null when absent; E_POINTER for a null out-argument.
  HRESULT GetConfigNode(WStringView configuration, IXMLDOMNode** node);
  HRESULT GetFileNode(WStringView configuration, WStringView path, IXMLDOMNode** node);
  // The build time text of the path's entry: S_OK with *time set (empty
  // when the entry has none); S_FALSE, *time unchanged, when not built;
  // E_POINTER for a null out-argument.
  HRESULT GetBuiltTime(WStringView configuration, WStringView path, WString* time);
  // How many files the configuration holds as built; 0 when it is absent.
  int BuiltFileCount(WStringView configuration) const;

 private:
  // A File element with its build time, read from the element when the
  // record is indexed or, for an element added since, when first asked for.
  struct FileEntry {
    explicit FileEntry(ComPtr<IXMLDOMNode> file) : element(std::move(file)) {}
    ComPtr<IXMLDOMNode> element;
    enum class Time : char { kUnread, kRead, kNone } time_state = Time::kUnread;
    kv7::TimePoint built{};
  };
  // A Configuration element with its Files element and its File elements
  // by case-folded path.
  struct Configuration {
    ComPtr<IXMLDOMNode> element;
    ComPtr<IXMLDOMNode> files;
    std::unordered_map<WString, FileEntry> files_by_path;
  };
  // By case-folded name; a node-based map, so entries stay where they are.
  using ConfigurationIndex = std::unordered_map<WString, Configuration>;

  // Makes the document an empty record and drops the index.
  void Reset();
  // Loads the file into a new document and indexes it.
  HRESULT ReadDocument(const char16_t* path);
  HRESULT IndexDocument(const char16_t* path);
  HRESULT IndexConfiguration(IXMLDOMNode* element);
  // The record in the system's layout, without a final line end.
  WString DocumentText() const;

  Configuration* Find(WStringView configuration);
  // Replaces the path's File by a new one built at `time`.
  HRESULT MarkBuilt(Configuration& configuration, WStringView path, WStringView time);
  // Removes the File of a folded path from a configuration; false when none.
  bool RemoveFile(Configuration& configuration, const WString& key);
  // Removes every File of a configuration; false when it had none.
  bool RemoveFiles(Configuration& configuration);
  void RemoveConfiguration(ConfigurationIndex::iterator at);
  // The entry of a path in a configuration, or null.
  FileEntry* FindFile(WStringView configuration, WStringView path);
  // The build time of an entry; false when it has none that reads.
  bool BuiltTime(FileEntry& entry, kv7::TimePoint* built);
  // Appends a new element, given as text, to a parent of the document: the
  // text is parsed on its own and the document imports the element.
  HRESULT AppendElement(IXMLDOMNode* parent, const WString& text, IXMLDOMNode** appended);
  // Sets the dirty flag when `changed`; S_OK then, else S_FALSE.
  HRESULT Changed(bool changed);

  ComPtr<IXMLDOMDocument> document_;
  // A File element whose copies become new entries (made on first use): a
  // copy costs less than parsing each new element.
  ComPtr<IXMLDOMNode> file_template_;
  // Build time texts read so far: a build records many items in the same
  // second, and reading local time costs a time zone conversion.
  std::unordered_map<WString, std::optional<kv7::TimePoint>> read_times_;
  // The Configurations element that holds every Configuration.
  ComPtr<IXMLDOMNode> configurations_;
  // Configurations by case-folded name.
  ConfigurationIndex index_;
  // The configuration Find answered last, under the name it was asked by;
  // forgotten whenever the index loses or renames an entry.
  WString last_name_;
  Configuration* last_found_ = nullptr;
  WString path_;
  bool dirty_ = false;
};
