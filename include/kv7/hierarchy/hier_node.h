// The node tree: every folder and item of an open project is a node, the
// project node at the root. Nodes are reference-counted COM objects on the
// UI thread; a container holds one reference to each of its children, so a
// node lives while it is in the tree or someone else holds it.
//
// Each node takes a 32-bit item identifier of its own when it is
// constructed, registered in the process-wide registry of live identifiers,
// which answers identifier -> node in constant time. The identifier names
// the node to the IDE while the node is registered and has a parent.
#pragma once

#include "kv7/host/ide.h"
#include "kv7/platform/com.h"
#include "kv7/platform/wstring.h"

class CHierContainer;
class CMyProjectHierarchy;

// Node kind codes: bit sets that callers test bit-wise, never as wholes.
inline constexpr DWORD kKindFile = 0xa00;
inline constexpr DWORD kKindFolder = 0x400200;
inline constexpr DWORD kKindKV7Folder = 0xc00200;
inline constexpr DWORD kKindProject = 0x600;
inline constexpr DWORD kKindFileView = 0x200;

inline bool HasKind(DWORD code, DWORD kind) { return (code & kind) == kind; }
inline bool IsFileKind(DWORD code) { return HasKind(code, kKindFile); }
inline bool IsFolderKind(DWORD code) { return HasKind(code, kKindFolder); }
inline bool IsKV7FolderKind(DWORD code) { return HasKind(code, kKindKV7Folder); }

// Node flags.
inline constexpr DWORD kNodePopulated = 0x1;  // a container whose children were populated
inline constexpr DWORD kNodeVisible = 0x4;    // shown; hidden items raise no added event
inline constexpr DWORD kNodeListed = 0x10;    // reported to the IDE as a child or sibling
inline constexpr DWORD kNodeSorted = 0x800;   // new children go in name order
inline constexpr DWORD kNodeNewFlags = kNodeVisible | kNodeListed;

// The type GUID of plain files and folders, and the open-folder image key.
inline constexpr GUID GUID_FileViewNode = kv7::MakeGuid("DE64B6B4-0658-11D7-A99C-00B0D0E90F40");
inline constexpr GUID GUID_OpenFolderImage = kv7::MakeGuid("931C02BD-9821-11D6-A97A-00B0D0E90F40");

class CHierNode : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;

  // The node's kind code.
  virtual DWORD GetKindOf() const = 0;
  virtual VSITEMID GetVsItemID() const { return id_; }
  // The hierarchy the node belongs to: found by walking to the root; null
  // for a node that is not in a tree.
  virtual CMyProjectHierarchy* GetCVsHierarchy() const;
  virtual bool Expandable() const { return false; }
  virtual bool ExpandByDefault() const { return false; }
  virtual WString GetEditLabel() const { return name_; }
  // Renames the node; E_NOTIMPL for nodes that cannot be renamed.
  virtual HRESULT SetEditLabel(WStringView label);
  // A hierarchy property of the node; DISP_E_MEMBERNOTFOUND when it has none.
  virtual HRESULT GetProperty(VSHPROPID property, VARIANT* value);
  virtual HRESULT SetProperty(VSHPROPID property, const VARIANT& value);
  // The type GUID for VSHPROPID_TypeGuid; DISP_E_MEMBERNOTFOUND otherwise.
  virtual HRESULT GetGuidProperty(VSHPROPID property, GUID* value);
  virtual const GUID& PGuidGetType() const = 0;
  // Image index for a state (0 open, 1 closed, 2 source-control glyph).
  virtual LONG GetIconIndex(int state) const;
  virtual WString GetDisplayCaption() const { return name_; }
  // Lets go of what the node holds when its project closes.
  virtual void Close() {}
  // The state of commands of a group for this node (OLECMD cmdf filled);
  // OLECMDERR_E_NOTSUPPORTED for commands the node does not know.
  virtual HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands);
  // Carries out a command; OLECMDERR_E_NOTSUPPORTED when the node has none.
  virtual HRESULT Exec(const GUID* group, DWORD command, DWORD options, const VARIANT* in,
                       VARIANT* out);
  // The node's help context, with a reference for the caller; E_NOTIMPL
  // for nodes without one.
  virtual HRESULT GetUserContext(IVsUserContext** context);

  CHierContainer* GetParent() const { return parent_; }
  CHierNode* GetNext() const { return next_; }
  const WString& GetName() const { return name_; }
  void SetName(WStringView name) { name_ = name; }
  DWORD GetFlags() const { return flags_; }
  void SetFlags(DWORD bits) { flags_ |= bits; }
  void ClearFlags(DWORD bits) { flags_ &= ~bits; }
  bool IsVisible() const { return (flags_ & kNodeVisible) != 0; }
  // The identifier this node registered, whatever GetVsItemID answers.
  VSITEMID RegisteredID() const { return id_; }

  // The live node registered under an identifier, or null.
  static CHierNode* FromRegisteredID(VSITEMID id);

 protected:
  CHierNode();
  virtual ~CHierNode();
  CHierNode(const CHierNode&) = delete;
  CHierNode& operator=(const CHierNode&) = delete;

 private:
  friend class CHierContainer;

  CHierContainer* parent_ = nullptr;
  CHierNode* next_ = nullptr;  // the parent's reference to the next child
  WString name_;
  DWORD flags_ = kNodeNewFlags;
  VSITEMID id_;
  ULONG refs_ = 0;
};

// A node with children, in a singly linked list from first to last.
class CHierContainer : public CHierNode {
 public:
  // The first child, populating the children first when that has not been
  // done; null when there is none or populating failed.
  CHierNode* GetFirstChild();
  // The first child as the list stands, without populating.
  CHierNode* FirstChildNoPopulate() const { return first_; }
  CHierNode* GetLastChild() const { return last_; }
  // The identifier of the first child, or of the first listed child;
  // VSITEMID_NIL when there is none.
  VSITEMID GetFirstChildID();
  VSITEMID GetFirstListedChildID();

  // Adds a child: in name order when the container is sorted, else last.
  void AddChild(CHierNode* child);
  // Inserts after `after` (at the head when null), or in name order when sorted.
  void InsertAfter(CHierNode* child, CHierNode* after);
  void AddHead(CHierNode* child);
  void Append(CHierNode* child);
  void SortedInsert(CHierNode* child);
  // Unlinks a child, clearing its parent and sibling links, and drops the
  // container's reference to it; E_FAIL when it is not a child.
  HRESULT RemoveChild(CHierNode* child);
  // Removes the child and closes it.
  HRESULT DeleteChild(CHierNode* child);
  // Removes and closes every child, in order, at once: a tree being closed
  // need not keep its lookups in step child by child.
  void DeleteAllChildren();

 protected:
  CHierContainer() = default;
  ~CHierContainer() override;
  // Fills the children on first use; the base has nothing to add.
  virtual HRESULT PopulateChildren() { return S_OK; }
  // Called after a child joins the list and before it leaves it (not while
  // the container is being destroyed).
  virtual void ChildLinked(CHierNode*) {}
  virtual void ChildUnlinking(CHierNode*) {}
  // Called before every child leaves the list at once.
  virtual void AllChildrenUnlinking() {}

 private:
  void Link(CHierNode* child, CHierNode* previous);
  void NotifyAdded(CHierNode* child, CHierNode* previous);

  CHierNode* first_ = nullptr;  // the container's reference
  CHierNode* last_ = nullptr;
};
