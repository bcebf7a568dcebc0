#include "kv7/hierarchy/object_nodes.h"

#include <iterator>

const KV7ObjectKind kKV7TableKind = {
    u".kv7tbl", 0x8a00, kv7::MakeGuid("5D25BF9A-8953-42C3-8A3C-C598ACA5224B"), u"TableFile",
    u"table"};
const KV7ObjectKind kKV7ViewKind = {
    u".kv7vw", 0x20a00, kv7::MakeGuid("FB66DB57-9A61-4E0E-A9FB-84F19135483E"), u"ViewFile",
    u"view"};
const KV7ObjectKind kKV7StoredProcKind = {
    u".kv7sp", 0x10a00, kv7::MakeGuid("13F8F134-B8C0-43F1-A388-9F2B11BCDF14"),
    u"ProcedureFile", u"procedure"};
const KV7ObjectKind kKV7UDFKind = {
    u".kv7udf", 0x40a00, kv7::MakeGuid("57F457B2-0A45-4B00-89BF-F58F2433B580"),
    u"FunctionFile", u"function"};
const KV7ObjectKind kKV7TriggerKind = {
    u".kv7tr", 0x80a00, kv7::MakeGuid("D9689D44-754B-42FC-82DC-48AC13628CF0"), u"TriggerFile",
    u"trigger"};
const KV7ObjectKind kKV7IndexKind = {
    u".kv7ind", 0x10000a00, kv7::MakeGuid("0BC6CCE5-5A19-4BBD-8045-5424F6FCE153"),
    u"IndexFile", u"index"};
const KV7ObjectKind kKV7ScriptKind = {
    u".kv7", 0x200a00, kv7::MakeGuid("3F0A3000-982B-11D6-A97A-00B0D0E90F40"), u"ScriptFile",
    u"script"};
const KV7ObjectKind kKV7StatementKind = {
    u".kv7st", 0x100a00, kv7::MakeGuid("0B069678-B09B-4A4F-8B0B-576D120A0BD8"),
    u"StatementFile", u"statement"};
const KV7ObjectKind kKV7CommandSetKind = {
    u".kv7cset", 0x2000a00, kv7::MakeGuid("A00E9323-CB45-11D6-A98B-00B0D0E90F40"),
    u"CommandSetFile", u"command set"};

namespace {

template <class Node>
ComPtr<CFileVwFileNode> Make() {
  return kv7::MakeCom<Node>();
}

struct ExtensionClass {
  const KV7ObjectKind& kind;
  ComPtr<CFileVwFileNode> (*create)();
};

const ExtensionClass kClasses[] = {
    {kKV7TableKind, Make<CKV7TabFileNode>},         {kKV7StoredProcKind, Make<CKV7StoredProcFileNode>},
    {kKV7ViewKind, Make<CKV7ViewFileNode>},         {kKV7TriggerKind, Make<CKV7TriggerFileNode>},
    {kKV7UDFKind, Make<CKV7UDFFileNode>},           {kKV7StatementKind, Make<CKV7StatementFileNode>},
    {kKV7ScriptKind, Make<CKV7ScriptFileNode>},     {kKV7CommandSetKind, Make<CKV7CommandSetFileNode>},
    {kKV7IndexKind, Make<CKV7IndexFileNode>},
};

// The extension of a path: from the last dot of its last component.
WStringView ExtensionOf(WStringView path) {
  size_t slash = path.find_last_of(u'/');
  size_t dot = path.find_last_of(u'.');
  if (dot == WStringView::npos || (slash != WStringView::npos && dot < slash)) return {};
  return path.substr(dot);
}

}  // namespace

ComPtr<CFileVwFileNode> CreateFileNodeForPath(WStringView path) {
  WStringView extension = ExtensionOf(path);
  ComPtr<CFileVwFileNode> node;
  for (const ExtensionClass& entry : kClasses) {
    if (extension == entry.kind.extension) {
      node = entry.create();
      break;
    }
  }
  if (!node) node = CFileVwFileNode::CreateInstance(path);
  node->SetFullPath(path);
  return node;
}

const char16_t* ItemKindName(const CFileVwFileNode* node) {
  if (const auto* object = dynamic_cast<const CKV7ObjectFileNode*>(node))
    return object->Kind().displayName;
  return u"file";
}
