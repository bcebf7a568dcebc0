// The database object file nodes: one node class per kind of object an
// item's file creates (table, view, procedure, function, trigger, index,
// script, statement, command set), chosen by the file's extension exactly,
// case included; any other file is a plain file node. A kind decides the
// node's kind code, type GUID, project-file element, help keyword, extra
// properties, its per-configuration settings list and the commands it
// handles itself. Everything else comes from the file node base.
#pragma once

#include <memory>
#include <span>

#include "kv7/build/item_settings.h"
#include "kv7/hierarchy/file_nodes.h"

// Which per-configuration settings list a kind keeps (item_settings.h).
enum class CeKV7SettingsList { kNone, kGeneric, kStoredProc, kUDF };

// A read-only property beyond the common ones, with the string resources
// of its localised name and description.
struct KV7ExtraProperty {
  DISPID id;
  const char16_t* name;
  UINT nameId;  // 0: no localised information
  UINT descriptionId;
};

// What tells one kind of database object item from another.
struct KV7ObjectKind {
  const char16_t* extension;  // with the dot; null: never chosen by extension
  DWORD kindCode;
  GUID typeGuid;
  const char16_t* projectFileElement;
  const char16_t* displayName;  // "table", "procedure", ...
  const char16_t* helpKeyword;  // null: the item help context
  const char16_t* dispinterface;
  CeKV7SettingsList settingsList;
  LONG metadataVersion;         // 0: the kind keeps no metadata version
  bool browsesProperties;       // per-property browsing interfaces
  const char16_t* trackingPath;     // the tracking document's parent of its entries
  const char16_t* entryName;        // the entry element of the tracking document
  const char16_t* metadataSource;   // the metadata document's element holding the entry
  std::span<const KV7ExtraProperty> extraProperties;
  DISPID builderProperty;       // the property with a builder; -1: none
};

extern const KV7ObjectKind kKV7TableKind, kKV7ViewKind, kKV7StoredProcKind, kKV7UDFKind,
    kKV7TriggerKind, kKV7IndexKind, kKV7ScriptKind, kKV7StatementKind, kKV7CommandSetKind,
    kKV7XMLKind;

// The product commands that items report and the hierarchy carries out.
inline constexpr ULONG kCmdItemFirst = 0x2010;
inline constexpr ULONG kCmdItemLast = 0x2012;
// The command set item's own commands: parse, run, run with debugging.
inline constexpr ULONG kCmdCommandSetParse = 0x2040;
inline constexpr ULONG kCmdCommandSetRun = 0x2041;
inline constexpr ULONG kCmdCommandSetRunWithDebug = 0x2042;

class CKV7XMLFileNode;

// The companion base of every database object kind: the item's metadata
// document (beside its source, the source path followed by "x") and its
// entry in the project's tracking document.
class CKV7Object {
 public:
  virtual ~CKV7Object();

  // Whether this kind keeps a metadata document: no kind does.
  virtual bool UsesXMLMetadata() const { return false; }
  // The metadata document's text: every kind produces nothing.
  virtual HRESULT GenerateXMLMetadata(WString& text);
  // Writes the generated metadata beside the source; false when the kind
  // keeps none or the save fails.
  bool GenXMLMetadataAndSave(WStringView sourcePath);
  // Loads the metadata document beside the source; false when the kind
  // keeps none or it cannot be loaded.
  bool LoadXMLMetadata(WStringView sourcePath);
  // Enters the item into the tracking document afresh; E_FAIL without a
  // tracking document or a metadata document.
  HRESULT SyncTrackingDOM();
  // A deep copy of the item's entry in a metadata document, with a
  // KV7UNIQUEVALUE child holding the item's identity.
  HRESULT GenerateMainDOMInfo(IXMLDOMDocument* metadata, IXMLDOMNode** entry);
  // Removes the item's entry from the tracking document; E_FAIL without one.
  HRESULT RemoveInfoFromMainDOM(bool notify);

  // The item's identity in the tracking document: "0x%x" of its identifier.
  WString TrackingIdentity();
  // The holder of the metadata document, when it has been needed.
  CKV7XMLFileNode* MetadataHolder() const { return metadata_.Get(); }

 protected:
  virtual CFileVwFileNode* ObjectNode() = 0;
  virtual const KV7ObjectKind& ObjectKind() const = 0;

 private:
  ComPtr<CKV7XMLFileNode> metadata_;
};

// The file node of a database object item.
class CKV7ObjectFileNode : public CFileVwFileNode,
                           public CKV7Object,
                           public ICategorizeProperties,
                           public IPerPropertyBrowsing,
                           public IVsPerPropertyBrowsing,
                           public IProvidePropertyBuilder,
                           public IVsGetCfgProvider {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return CFileVwFileNode::AddRef(); }
  ULONG Release() override { return CFileVwFileNode::Release(); }

  DWORD GetKindOf() const override { return kind_.kindCode; }
  const GUID& PGuidGetType() const override { return kind_.typeGuid; }
  const char16_t* ProjectFileElement() const override { return kind_.projectFileElement; }
  const KV7ObjectKind& Kind() const { return kind_; }

  HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands) override;
  HRESULT Exec(const GUID* group, DWORD command, DWORD options, const VARIANT* in,
               VARIANT* out) override;
  HRESULT GetUserContext(IVsUserContext** context) override;
  HRESULT LoadFromXMLForProject(IXMLDOMNode* element) override;
  // Loads the item's settings from its metadata document; E_FAIL when the
  // document cannot be loaded (for every kind, which keep none).
  virtual HRESULT LoadFromXMLSourceFile();
  // A property of the node changed: the item needs saving.
  void OnPropertyChanged(DISPID id, DWORD flags);
  bool IsLocallyDirty() const { return local_dirty_ != 0; }
  // The node's settings changed without a property change.
  void SetLocallyDirty() { local_dirty_ = 1; }
  LONG GetMetadataVersion() const { return metadata_version_; }

  // ---- Build settings, per configuration full name (item_settings.h) -----
  // The kind's settings list; null for kinds without settings (statements,
  // command sets).
  CKV7CfgListBase* GetSettingsList() const { return settings_.get(); }
  // The record of a configuration (ignoring case), or null.
  CKV7BaseCfg* FindSettings(WStringView configuration) const;
  // The record of a configuration, created with the defaults when the item
  // has none (which changes nothing the build sees). E_NOTIMPL, *record
  // null, for kinds without settings.
  HRESULT GetOrCreateSettings(WStringView configuration, CKV7BaseCfg** record);
  // Every edit of a record ends here, whoever made it: the item counts as
  // not built in that configuration (the project's built-files record) and
  // its settings as changed locally. S_OK.
  HRESULT SettingsChanged(WStringView configuration);
  // Sets one setting of a configuration's record (created when missing),
  // given as CKV7BaseCfg::SetSettingText takes it, then SettingsChanged.
  // E_NOTIMPL for kinds without settings; E_INVALIDARG, nothing changed,
  // for a setting the kind lacks or a value that is not one for it.
  HRESULT EditSetting(WStringView configuration, CeKV7Setting setting, WStringView value);

  // Automation: the common properties and the kind's own.
  HRESULT GetIDsOfNames(const char16_t* name, DISPID* id) override;
  HRESULT Invoke(DISPID id, WORD flags, const VARIANT* args, UINT argCount,
                 VARIANT* result) override;

  // ICategorizeProperties
  HRESULT MapPropertyToCategory(DISPID id, PROPCAT* category) override;
  HRESULT GetCategoryName(PROPCAT category, LCID locale, BSTR* name) override;
  // IPerPropertyBrowsing
  HRESULT GetDisplayString(DISPID id, BSTR* text) override;
  HRESULT MapPropertyToPage(DISPID id, CLSID* page) override;
  HRESULT GetPredefinedStrings(DISPID id, VARIANT* strings, VARIANT* cookies) override;
  HRESULT GetPredefinedValue(DISPID id, DWORD cookie, VARIANT* value) override;
  // IVsPerPropertyBrowsing
  HRESULT HideProperty(DISPID id, BOOL* hide) override;
  HRESULT DisplayChildProperties(DISPID id, BOOL* display) override;
  HRESULT GetLocalizedPropertyInfo(DISPID id, LCID locale, BSTR* name,
                                   BSTR* description) override;
  HRESULT HasDefaultValue(DISPID id, BOOL* isDefault) override;
  HRESULT IsPropertyReadOnly(DISPID id, BOOL* readOnly) override;
  HRESULT GetClassName(BSTR* name) override;
  HRESULT CanResetPropertyValue(DISPID id, BOOL* canReset) override;
  HRESULT ResetPropertyValue(DISPID id) override;
  // IProvidePropertyBuilder
  HRESULT MapPropertyToBuilder(LONG id, LONG* builderType, BSTR* builderGuid,
                               VARIANT_BOOL* canBuild) override;
  HRESULT ExecuteBuilder(LONG id, const char16_t* builderGuid, IDispatch* object, HWND owner,
                         VARIANT* value, VARIANT_BOOL* changed) override;
  // IVsGetCfgProvider: the owning project's configuration provider.
  HRESULT GetCfgProvider(IVsCfgProvider** provider) override;

 protected:
  explicit CKV7ObjectFileNode(const KV7ObjectKind& kind);
  ~CKV7ObjectFileNode() override;

  CFileVwFileNode* ObjectNode() override { return this; }
  const KV7ObjectKind& ObjectKind() const override { return kind_; }
  // The text of an extra property of the kind; empty by default.
  virtual WString ExtraPropertyText(DISPID id) const;

 private:
  const KV7ExtraProperty* FindExtraProperty(DISPID id) const;

  const KV7ObjectKind& kind_;
  DWORD local_dirty_ = 0;
  LONG metadata_version_;
  std::unique_ptr<CKV7CfgListBase> settings_;
  ComPtr<IVsUserContext> user_context_;
};

class CKV7TabFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7TabFileNode() : CKV7ObjectFileNode(kKV7TableKind) {}
};
class CKV7ViewFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7ViewFileNode() : CKV7ObjectFileNode(kKV7ViewKind) {}
};
class CKV7TriggerFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7TriggerFileNode() : CKV7ObjectFileNode(kKV7TriggerKind) {}
};
class CKV7IndexFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7IndexFileNode() : CKV7ObjectFileNode(kKV7IndexKind) {}
};
class CKV7ScriptFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7ScriptFileNode() : CKV7ObjectFileNode(kKV7ScriptKind) {}
};
class CKV7StatementFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7StatementFileNode() : CKV7ObjectFileNode(kKV7StatementKind) {}
};

// A stored procedure or user-defined function: its schema, name and
// parameter text, shown as read-only properties (never null).
class CKV7RoutineFileNode : public CKV7ObjectFileNode {
 public:
  const WString& GetSchemaName() const { return schema_name_; }
  const WString& GetRoutineName() const { return routine_name_; }
  const WString& GetParameters() const { return parameters_; }
  void SetRoutine(WStringView schema, WStringView name, WStringView parameters);

 protected:
  using CKV7ObjectFileNode::CKV7ObjectFileNode;
  WString ExtraPropertyText(DISPID id) const override;

 private:
  WString schema_name_;
  WString routine_name_;
  WString parameters_;
};

class CKV7StoredProcFileNode final : public CKV7RoutineFileNode {
 public:
  CKV7StoredProcFileNode() : CKV7RoutineFileNode(kKV7StoredProcKind) {}
  // The text of the procedure's CLR description.
  const WString& GetCLRDescription() const { return clr_description_; }
  // Applies the wizard's settings of a new procedure: the options under
  // SP/SP_SPECIFIC_DESCRIPTION/OSM77OPTIONS are read into the item's record
  // of every configuration of the project, in the provider's order,
  // creating the records it lacks. S_FALSE, nothing changed, when the text
  // does not parse or has no such options.
  HRESULT CreateXMLSettings(WStringView settingsXml);

 private:
  WString clr_description_;
};

class CKV7UDFFileNode final : public CKV7RoutineFileNode {
 public:
  CKV7UDFFileNode() : CKV7RoutineFileNode(kKV7UDFKind) {}
};

// A command set: its open commands and its own three commands show what
// they will do.
class CKV7CommandSetFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7CommandSetFileNode() : CKV7ObjectFileNode(kKV7CommandSetKind) {}
  HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands) override;
  HRESULT Exec(const GUID* group, DWORD command, DWORD options, const VARIANT* in,
               VARIANT* out) override;
};

// An XML file: a project item, and the holder of an item's metadata
// document (its path, its text and its DOM).
class CKV7XMLFileNode final : public CFileVwFileNode {
 public:
  DWORD GetKindOf() const override { return kKV7XMLKind.kindCode; }
  const GUID& PGuidGetType() const override { return kKV7XMLKind.typeGuid; }
  HRESULT GetUserContext(IVsUserContext** context) override;

  // Loads the document from a file; false when it does not load.
  bool LoadDocument(WStringView path);
  // Takes a text and saves it as the document of `path`; false on failure.
  bool SaveDocument(WStringView path, WStringView text);
  IXMLDOMDocument* GetDocument() const { return document_.Get(); }
  const WString& GetDocumentText() const { return text_; }

 private:
  WString text_;
  ComPtr<IXMLDOMDocument> document_;
  ComPtr<IVsUserContext> user_context_;
};

// A new node for an item file: the class of its extension, or the plain
// file node. The node's full path is set.
ComPtr<CFileVwFileNode> CreateFileNodeForPath(WStringView path);

// The kind of an item in words: "table", "view", ..., "file" for the plain
// file node.
const char16_t* ItemKindName(const CFileVwFileNode* node);
// The kind that an item file of this path gets when it is added or loaded:
// its extension decides ("table", ..., "file").
const char16_t* ItemKindNameForPath(WStringView path);
// The file name a new item of a kind ("view", "command set") starts from:
// the base name of its folder type and the kind's extension ("View.kv7vw");
// empty for a name that is no kind's.
WString ItemFileNameForKind(WStringView kindName);
// The kinds' names, ", "-separated, for messages.
WString ItemKindNames();
