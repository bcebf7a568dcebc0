// The database object file nodes: one node class per kind of object an
// item's file creates, chosen by the file's extension (exactly, case
// included). Each kind has its kind code, type GUID and project-file element.
#pragma once

#include "kv7/hierarchy/file_nodes.h"

// What tells one kind of database object item from another.
struct KV7ObjectKind {
  const char16_t* extension;  // with the dot
  DWORD kindCode;
  GUID typeGuid;
  const char16_t* projectFileElement;
  const char16_t* displayName;  // "table", "procedure", ...
};

// The file node of a database object item.
class CKV7ObjectFileNode : public CFileVwFileNode {
 public:
  DWORD GetKindOf() const override { return kind_.kindCode; }
  const GUID& PGuidGetType() const override { return kind_.typeGuid; }
  const char16_t* ProjectFileElement() const override { return kind_.projectFileElement; }
  const KV7ObjectKind& Kind() const { return kind_; }

 protected:
  explicit CKV7ObjectFileNode(const KV7ObjectKind& kind) : kind_(kind) {}

 private:
  const KV7ObjectKind& kind_;
};

extern const KV7ObjectKind kKV7TableKind, kKV7ViewKind, kKV7StoredProcKind, kKV7UDFKind,
    kKV7TriggerKind, kKV7IndexKind, kKV7ScriptKind, kKV7StatementKind, kKV7CommandSetKind;

class CKV7TabFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7TabFileNode() : CKV7ObjectFileNode(kKV7TableKind) {}
};
class CKV7ViewFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7ViewFileNode() : CKV7ObjectFileNode(kKV7ViewKind) {}
};
class CKV7StoredProcFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7StoredProcFileNode() : CKV7ObjectFileNode(kKV7StoredProcKind) {}
};
class CKV7UDFFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7UDFFileNode() : CKV7ObjectFileNode(kKV7UDFKind) {}
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
class CKV7CommandSetFileNode final : public CKV7ObjectFileNode {
 public:
  CKV7CommandSetFileNode() : CKV7ObjectFileNode(kKV7CommandSetKind) {}
};

// A new node for an item file: the class of its extension, or the plain
// file node. The node's full path is set.
ComPtr<CFileVwFileNode> CreateFileNodeForPath(WStringView path);

// The kind of an item in words: "table", "view", ..., "file" for the plain
// file node.
const char16_t* ItemKindName(const CFileVwFileNode* node);
