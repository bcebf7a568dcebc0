// The XML documents that cross the package's edge.
//
// Project command documents come in from sibling tools (and `kv7
// process-xml`): a KV7PROJECT_XML_TO_PROCESS root whose KV7PROJECT_COMMAND
// and KV7FILE_COMMAND children ask to create or open projects, to write
// lists of projects and their metadata to a file, or to create an item and
// add it to a project. Element names compare ignoring case. The sender
// passes the text without an XML declaration: the parser puts its own in
// front, so a text that carries one does not load.
//
// A configuration document goes out with every deployment of an item: the
// statement separator, the item's build options for the configuration and
// whether the configuration builds for debugging.
//
// UI thread only; the commands act on the open projects of the process and
// on the IDE's solution.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "kv7/document/folders.h"
#include "kv7/platform/xmldom.h"

class CFileVwFileNode;
class CMyProjectCfg;

// One parsed command.
class CKV7PrjXMLParserCmd {
 public:
  virtual ~CKV7PrjXMLParserCmd();
  // Carries the command out; `defaultContents` is the text of an item
  // created without contents of its own.
  virtual HRESULT Execute(const char16_t* defaultContents) = 0;
  // The command's element as it was written, for reports.
  const WString& GetElementXml() const { return element_xml_; }
  // The command in a few words: its element, action and project or file.
  virtual WString Describe() const = 0;

 protected:
  // Reads the element's children named as `fields` (ignoring case) into the
  // matching strings; a missing or empty child leaves its string empty.
  // `DATACONNECTION` is kept as the element's XML text.
  HRESULT ReadFields(IXMLDOMNode* element, const char16_t* const* names, WString* const* fields,
                     size_t count);

 private:
  WString element_xml_;
};

// A project command: create, open, list.
class CKV7PrjXMLCmd final : public CKV7PrjXMLParserCmd {
 public:
  HRESULT Parse(IXMLDOMNode* element);
  // CREATE_NEW, LOAD_EXISTING, GETALLDBPROJECTNAMES, GETKV7PROJECTMETADATA
  // (ignoring case); E_FAIL for any other action.
  HRESULT Execute(const char16_t* defaultContents) override;
  WString Describe() const override;

  WString projectName;    // KV7PROJECT_NAME
  WString projectAction;  // KV7PROJECT_ACTION
  WString commandId;      // KV7COMMAND_ID
  WString connection;     // the DATACONNECTION element, as XML text
  WString outputFile;     // KV7OUTPUTFILE_NAME

 private:
  HRESULT CreateNew();
  HRESULT LoadExisting();
  HRESULT WriteProjectNames();
  HRESULT WriteProjectMetadata();
};

// A file command: create an item and add it to a project.
class CKV7FileXMLCmd final : public CKV7PrjXMLParserCmd {
 public:
  HRESULT Parse(IXMLDOMNode* element);
  // CREATE_AND_ADD_TO_PROJECT; E_NOTIMPL for CREATE_ONLY and
  // GENMETADATAFROMSOURCE; E_FAIL for any other action.
  HRESULT Execute(const char16_t* defaultContents) override;
  WString Describe() const override;

  WString fileAction;         // KV7FILE_ACTION
  WString projectName;        // KV7PROJECT_NAME
  WString fileType;           // KV7FILE_TYPE
  WString fileName;           // KV7FILE_NAME
  WString generateName;       // KV7FILE_GENERATENAME
  WString targetFolderType;   // KV7FILE_TARGETFOLDERTYPE (read, not used)
  WString targetFolderName;   // KV7FILE_TARGETFOLDERNAME
  WString postAction;         // KV7FILE_POSTACTION
  WString contents;           // KV7FILE_CONTENTS
  WString commandId;          // KV7COMMAND_ID (read, not used)
  WString isDirty;            // KV7FILE_ISDIRTY
  WString outputFile;         // KV7OUTPUTFILE_NAME (read, not used)

 private:
  HRESULT CreateAndAddToProject(const char16_t* defaultContents);
};

// The commands of a project command document, in document order.
class CKV7PrjXMLParser {
 public:
  // Loads the text (after the parser's own declaration) and parses every
  // command element; an element that does not parse is dropped. E_FAIL,
  // with no command, when the text does not load or its root is not
  // KV7PROJECT_XML_TO_PROCESS.
  HRESULT Parse(const char16_t* text);
  // Executes the commands in order, stopping at the first failure, whose
  // status is returned. `report`, when given, hears each command's status.
  HRESULT Execute(const char16_t* defaultContents,
                  const std::function<void(const CKV7PrjXMLParserCmd&, HRESULT)>& report = {});
  size_t GetCount() const { return commands_.size(); }

 private:
  std::vector<std::unique_ptr<CKV7PrjXMLParserCmd>> commands_;
};

// Parses a project command document and runs its commands (see above).
HRESULT ProcessKV7ProjectXML(const char16_t* commands, const char16_t* defaultContents);

// The extension (with a leading "." when `withDot`) and the folder type of
// an item of a command's file type ("PROCEDURE"/"SP", "FUNCTION"/"UDF",
// "SCRIPT", "TABLE", "VIEW", "TRIGGER", "INDEX", ignoring case); any other
// type is a script.
void MapKV7FileType(WStringView fileType, bool withDot, WString* extension,
                    CeKV7FolderInfoType* folderType);

// The configuration document of a deployment of `item` in `cfg`: CONFIG
// with STATEMENTSEP (the global option, "@" when empty), the item's build
// options for the configuration when it has any to send (a procedure that
// uses its connection's settings sends none), and BUILDFORDEBUG. Children
// stand one tab deeper than CONFIG; lines end in CR LF, the last one too.
HRESULT BuildConfigurationDocument(CFileVwFileNode* item, CMyProjectCfg* cfg, WString& out);
