// Item build settings: per project configuration, a small record that an
// item's node keeps for the build. Every record says whether the item is
// excluded from the build; a stored procedure's or user-defined function's
// record also carries the options a mainframe database server needs to
// build a routine (COSM77Settings), and a procedure's whether it takes those
// options from the project's connection instead.
//
//   item kinds                              record              list
//   table, view, trigger, index, script     CKV7GenericCfg      CKV7GenericCfgList
//   stored procedure                        CKV7StoredProcCfg   CKV7StoredProcCfgList
//   user-defined function                   CKV7UDFCfg          CKV7UDFCfgList
//
// A record is keyed by the configuration's full name ("Debug|Win32"),
// matched ignoring case. Records are created on demand, with the defaults,
// when a lookup by name finds none; they live with their node while the
// project is open (the project file keeps none of them) and leave the
// process only inside the configuration documents that deploy the item.
//
// XML forms, one element per line at the caller's indent, children one tab
// deeper, each line ending in CR LF, values inserted as held (no escaping),
// booleans "TRUE"/"FALSE":
//
//   <Configuration>
//   	<Name>Debug|Win32</Name>
//   	<ExcludeFromBuild>FALSE</ExcludeFromBuild>
//   	<UseConnectionSettings>TRUE</UseConnectionSettings>   procedures only
//   	<OSM77OPTIONS>                                        procedures and functions
//   		<EXTERNAL_SECURITY>..</EXTERNAL_SECURITY>
//   		<BUILD_OWNER>, <PRECOMPILE_OPTIONS>, <LINK_OPTIONS>, <BIND_OPTIONS>,
//   		<PRELINK_OPTIONS>, <COMPILE_OPTIONS>, <SELECTED_BUILT_UTILITY>
//   		<OSM77BUILD_UTILITYLIST>
//   			<BUILD_UTILITY_NAME>..</BUILD_UTILITY_NAME>   one per utility, in order
//   		</OSM77BUILD_UTILITYLIST>
//   	</OSM77OPTIONS>
//   </Configuration>
//
// The options block is read with four more values (RUNTIMEOPTIONS,
// WLM_ENVIRONMENT, STAY_RESIDENT, COLLECTION_ID) that it never writes: an
// options block saved and read again has lost them.
//
// Every setting of a record is also named by one table (ItemSettings): its
// command-line name, its XML element and its property-page dispatch id.
// Records and lists are owned by their node; UI thread only.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"
#include "kv7/platform/xmldom.h"
#include "kv7/util/string_array.h"

// The settings of an item's record. The text fields of the options come
// first, so that they number the options' texts.
enum class CeKV7Setting {
  kRuntimeOptions,
  kWLMEnvironment,
  kExternalSecurity,
  kBuildOwner,
  kPrecompileOptions,
  kLinkOptions,
  kBindOptions,
  kCollectionId,
  kCompileOptions,
  kPrelinkOptions,
  kSelectedBuildUtility,  // the last text of the options
  kStayResident,
  kBuildUtilities,
  kExcludeFromBuild,
  kUseConnectionSettings,
};
inline constexpr int kOSM77TextCount = static_cast<int>(CeKV7Setting::kSelectedBuildUtility) + 1;

enum class CeKV7SettingType { kText, kFlag, kList };

// One setting as the command line, the XML forms and the property pages
// name it.
struct KV7ItemSetting {
  CeKV7Setting id;
  const char16_t* option;   // command-line name, without "--" ("bind-options")
  const char16_t* element;  // element of the record or of the options block
  DISPID dispid;            // property-page dispatch id; kNoSettingDispid: none
  CeKV7SettingType type;
  bool inOptions;           // an element of the options block (else of the record)
  bool written;             // options: written into the block
  bool merged;              // compared by AreAllValuesTheSame, merged by GenMergedCfg
};
inline constexpr DISPID kNoSettingDispid = -1;

// Every setting, record flags first, then the options block's written
// elements in the order they are written, then the four read only.
std::span<const KV7ItemSetting> ItemSettings();
// The setting of a command-line name (without "--", ignoring case). Null
// when there is none; `validNames`, when given, then lists every name,
// ", "-separated, in table order.
const KV7ItemSetting* FindItemSetting(WStringView option, WString* validNames = nullptr);
// The setting of a property-page dispatch id, or null.
const KV7ItemSetting* FindItemSettingByDispid(DISPID dispid);

// The options a mainframe server needs to build a routine. Strings start
// empty, stay-resident false, the utility list empty.
class COSM77Settings {
 public:
  COSM77Settings();
  ~COSM77Settings();

  // A text field (kRuntimeOptions .. kSelectedBuildUtility; an id outside
  // them is a caller's error, checked by assertion).
  const WString& GetText(CeKV7Setting id) const;
  void SetText(CeKV7Setting id, WStringView value);
  BOOL GetStayResident() const { return stay_resident_; }
  void SetStayResident(BOOL value);
  const CVxStringArray& GetBuildUtilityNames() const { return build_utilities_; }
  // Replaces the utility list by a copy of `names`.
  void SetBuildUtilityNames(const CVxStringArray& names);

  // Strings emptied, stay-resident false, the list emptied.
  void Reset();
  // Copies every field; the list is emptied first, then copied in order.
  void CopyFrom(const COSM77Settings& other);
  // Reads an OSM77OPTIONS element: each value element that is present and
  // not empty replaces its field (STAY_RESIDENT: true exactly for "TRUE",
  // ignoring case), so absent values keep what the record had; every
  // BUILD_UTILITY_NAME under OSM77BUILD_UTILITYLIST with a text is appended
  // to the list, which is not emptied first (reading a block twice doubles
  // it). The status of the last lookup.
  HRESULT LoadFromXML(IXMLDOMNode* optionsElement);
  // Appends the OSM77OPTIONS block at `indent` (see the file comment). S_OK.
  HRESULT SaveAsXML(WStringView indent, WString& out) const;

 private:
  WString texts_[kOSM77TextCount];
  BOOL stay_resident_ = FALSE;
  CVxStringArray build_utilities_;
};

// A record: the configuration's full name and the exclude flag, and the
// parts its kind adds (options, use-connection-settings), which the one
// implementation here reads, writes, copies and compares for all three.
class CKV7BaseCfg {
 public:
  virtual ~CKV7BaseCfg();
  CKV7BaseCfg(const CKV7BaseCfg&) = delete;
  CKV7BaseCfg& operator=(const CKV7BaseCfg&) = delete;

  // ---- Canonical configuration names ("Debug|Win32"; "Release" has no
  // platform) ------------------------------------------------------------
  // The part before the first "|", the whole name without one: S_OK. An
  // empty name or one starting with "|" has none: S_FALSE, `config`
  // unchanged.
  static HRESULT GetConfigName(WStringView name, WString& config);
  // The part after the first "|": S_OK. A name without "|" has none:
  // S_FALSE, `platform` unchanged, and an error in the trace.
  static HRESULT GetPlatformName(WStringView name, WString& platform);
  // `newConfig`, then "|" and the old platform when there is one.
  static WString SetConfigName(WStringView name, WStringView newConfig);
  // The old configuration part, then "|" and `newPlatform` when it is not
  // empty: an empty platform leaves the bare configuration name.
  static WString SetPlatformName(WStringView name, WStringView newPlatform);

  // ---- Fields --------------------------------------------------------------
  const WString& GetName() const { return name_; }
  void SetName(WStringView name);
  BOOL GetExcludeFromBuild() const { return exclude_; }
  void SetExcludeFromBuild(BOOL value);
  // The options of a procedure or function record; null for a generic one.
  COSM77Settings* GetOptions() { return options_; }
  const COSM77Settings* GetOptions() const { return options_; }

  // ---- Whole record ----------------------------------------------------------
  // Name emptied, exclude false, use-connection-settings true, options reset.
  void Reset();
  // Copies the name, the exclude flag and the parts both records have.
  void CopyFrom(const CKV7BaseCfg& other);
  // Reads a Configuration element: Name replaces the name only when not
  // empty; ExcludeFromBuild and UseConnectionSettings are true exactly for
  // "TRUE" (ignoring case), so an absent one reads false; OSM77OPTIONS goes
  // to the options (COSM77Settings::LoadFromXML). The status of the last
  // lookup.
  HRESULT LoadFromXML(IXMLDOMNode* element);
  // Appends the whole Configuration element at `indent`; with
  // `optionsOnly`, the options block alone (procedure and function
  // records, whatever use-connection-settings says) or nothing (generic).
  // S_OK.
  HRESULT SaveAsXML(WStringView indent, WString& out, bool optionsOnly) const;
  // What a configuration document that deploys the item carries of this
  // record, at `indent`: the options block, or nothing for a procedure
  // that uses its connection's settings and for a generic record. S_OK.
  HRESULT ConfigurationDocumentOptions(WStringView indent, WString& out) const;

  // ---- Settings by id ----------------------------------------------------------
  // Whether the record has the setting: the exclude flag always,
  // use-connection-settings procedures only, the options procedures and
  // functions.
  bool HasSetting(CeKV7Setting id) const;
  // The value as the command line shows it: "true"/"false", a list joined
  // by ",", a text as held; empty for a setting the record lacks.
  WString GetSettingText(CeKV7Setting id) const;
  // Sets a value given as GetSettingText shows it; a list is split at ","
  // (an empty text gives an empty list). E_INVALIDARG, nothing changed,
  // for a setting the record lacks or a flag that is not "true"/"false".
  HRESULT SetSettingText(CeKV7Setting id, WStringView value);
  // Appends "option = value" and a line feed for every setting the record
  // has, in table order.
  void PrintSettings(WString& out) const;

 protected:
  // `options` and `useConnectionSettings` are the derived record's own
  // members, null when its kind has no such part.
  CKV7BaseCfg(WStringView name, COSM77Settings* options, BOOL* useConnectionSettings);

 private:
  friend class CKV7CfgListBase;
  // Whether both records hold the same value of a merged setting; merged
  // settings are texts and flags, so their text forms compare them.
  bool SameSetting(const CKV7BaseCfg& other, CeKV7Setting id) const;
  BOOL GetFlag(CeKV7Setting id) const;
  void SetFlag(CeKV7Setting id, BOOL value);

  WString name_;
  BOOL exclude_ = FALSE;
  COSM77Settings* options_;
  BOOL* use_connection_settings_;
};

// The record of a table, view, trigger, index or script.
class CKV7GenericCfg final : public CKV7BaseCfg {
 public:
  explicit CKV7GenericCfg(WStringView name);
  ~CKV7GenericCfg() override;
};

// The record of a stored procedure. Uses its connection's settings by
// default.
class CKV7StoredProcCfg final : public CKV7BaseCfg {
 public:
  explicit CKV7StoredProcCfg(WStringView name);
  ~CKV7StoredProcCfg() override;
  BOOL GetUseConnectionSettings() const { return use_connection_settings_; }
  void SetUseConnectionSettings(BOOL value);

 private:
  BOOL use_connection_settings_ = TRUE;
  COSM77Settings options_;
};

// The record of a user-defined function: always its own options.
class CKV7UDFCfg final : public CKV7BaseCfg {
 public:
  explicit CKV7UDFCfg(WStringView name);
  ~CKV7UDFCfg() override;

 private:
  COSM77Settings options_;
};

// An ordered list of one node's records, owning them. Names are unique by
// the callers' convention: they create a record only after FindByName
// found none.
class CKV7CfgListBase {
 public:
  virtual ~CKV7CfgListBase();
  CKV7CfgListBase(const CKV7CfgListBase&) = delete;
  CKV7CfgListBase& operator=(const CKV7CfgListBase&) = delete;

  int GetCount() const { return static_cast<int>(records_.size()); }
  CKV7BaseCfg* GetAt(int index) const { return records_[static_cast<size_t>(index)].get(); }
  // The first record whose name equals `name` ignoring case, or null.
  CKV7BaseCfg* FindByName(WStringView name) const;
  // Whether this very record is in the list.
  bool Contains(const CKV7BaseCfg* record) const;
  // Appends a new record of the list's kind with the defaults.
  CKV7BaseCfg* Add(WStringView name);
  // The record of `name`, appended with the defaults when there is none.
  CKV7BaseCfg* FindOrAdd(WStringView name);
  // Takes this very record out of the list and destroys it; false when it
  // is not in the list.
  bool Remove(const CKV7BaseCfg* record);

  // Appends one record per "Configuration" child, in document order (other
  // children are skipped). Stops at the first that fails to load and
  // returns its status; the records before it stay. S_OK otherwise.
  HRESULT LoadFromXML(IXMLDOMNode* element);

  // Whether every record holds the same value of the setting of a
  // property-page id (texts compared exactly). Ids: 6 and 18 to 26 where
  // the record has them, 34 for procedures. An empty list answers true; an
  // id the records do not have, false.
  bool AreAllValuesTheSame(DISPID dispid) const;
  // The record a property page shows for several configurations at once:
  // with one record, a full copy of it; with several, each setting that
  // AreAllValuesTheSame compares is copied from the first record where all
  // agree and left as `out` had it elsewhere (compile and prelink options
  // and the utilities are never merged). An empty list leaves `out` as it
  // was. `out` should be of the list's kind.
  void GenMergedCfg(CKV7BaseCfg& out) const;

  // Configuration changes (the project's configuration provider), names
  // compared ignoring case; each returns how many records changed.
  // Records of configuration `oldName` take `newName`, keeping their platform.
  int CfgNameRenamed(WStringView oldName, WStringView newName);
  // Records of configuration `name` are taken out and destroyed.
  int CfgNameDeleted(WStringView name);
  // Records on `platform` keep only their configuration name.
  int PlatformNameDeleted(WStringView platform);

 protected:
  CKV7CfgListBase();
  virtual std::unique_ptr<CKV7BaseCfg> NewRecord(WStringView name) const = 0;

 private:
  std::vector<std::unique_ptr<CKV7BaseCfg>> records_;
};

// The list of one record class, handing out records of that class.
template <class Record>
class CKV7CfgList final : public CKV7CfgListBase {
 public:
  Record* GetAt(int index) const { return static_cast<Record*>(CKV7CfgListBase::GetAt(index)); }
  Record* FindByName(WStringView name) const {
    return static_cast<Record*>(CKV7CfgListBase::FindByName(name));
  }
  Record* Add(WStringView name) { return static_cast<Record*>(CKV7CfgListBase::Add(name)); }
  Record* FindOrAdd(WStringView name) {
    return static_cast<Record*>(CKV7CfgListBase::FindOrAdd(name));
  }
  void GenMergedCfg(Record& out) const { CKV7CfgListBase::GenMergedCfg(out); }

 private:
  std::unique_ptr<CKV7BaseCfg> NewRecord(WStringView name) const override {
    return std::make_unique<Record>(name);
  }
};

using CKV7GenericCfgList = CKV7CfgList<CKV7GenericCfg>;
using CKV7StoredProcCfgList = CKV7CfgList<CKV7StoredProcCfg>;
using CKV7UDFCfgList = CKV7CfgList<CKV7UDFCfg>;
