// The run order of a configuration: the item file names that a build
// deploys, in the order it deploys them. When at least one of them names an
// item of the project, a build deploys exactly those items in that order;
// otherwise it deploys every item in tree order.
//
// CRunOrder holds one CRunOrderItemList, which owns its CRunOrderItems. A
// configuration owns its run order by value; the item build order dialog
// works on copies (CopyFrom). UI thread only.
//
// Names: a name that contains ":" (a drive) or starts with "/" is a full
// path; any other is relative to the project folder and may be written with
// "\" (as projects made on Windows have it) or "/". A name is matched to the
// project's items ignoring case: a full path against their full paths, a
// relative name against their paths relative to the project folder, either
// separator matching either.
//
// Project file form, each line at the caller's indent plus one tab per
// level, ending in CR LF, names written as held:
//   <RunOrder>
//     <RunOrderItemList>
//       <RunOrderItem>
//         <FileName>Tables\orders.kv7tbl</FileName>
//       </RunOrderItem>
//     </RunOrderItemList>
//   </RunOrder>
#pragma once

#include <memory>
#include <vector>

#include "kv7/platform/hresult.h"
#include "kv7/platform/wstring.h"
#include "kv7/platform/xmldom.h"

class CFileVwFileNode;
class CMyProjectHierarchy;

class CRunOrderItem {
 public:
  explicit CRunOrderItem(WStringView fileName);
  ~CRunOrderItem();
  CRunOrderItem(const CRunOrderItem&) = delete;
  CRunOrderItem& operator=(const CRunOrderItem&) = delete;

  const WString& GetFileName() const { return file_name_; }
  void SetFileName(WStringView fileName) { file_name_ = fileName; }
  // Whether the name is a full path (see the names above).
  bool IsFullPath() const;
  // A copy for the caller to own.
  [[nodiscard]] std::unique_ptr<CRunOrderItem> Clone() const;
  // When the name begins with `oldFolder` (compared exactly, letter case
  // included), replaces that beginning with `newFolder`; S_FALSE when it
  // does not. The comparison is plain: "Tables" also begins "Tables2\x",
  // so callers pass folder paths that end in their separator.
  HRESULT FolderRenamed(WStringView oldFolder, WStringView newFolder);

 private:
  WString file_name_;
};

class CRunOrderItemList {
 public:
  using Items = std::vector<std::unique_ptr<CRunOrderItem>>;

  CRunOrderItemList();
  ~CRunOrderItemList();
  CRunOrderItemList(const CRunOrderItemList&) = delete;
  CRunOrderItemList& operator=(const CRunOrderItemList&) = delete;

  // The items in order, for reading.
  const Items& GetItems() const { return items_; }
  int GetCount() const { return static_cast<int>(items_.size()); }
  bool IsEmpty() const { return items_.empty(); }
  // Appends an item; the list owns it, and the pointer stays valid while it
  // is in the list.
  CRunOrderItem* Add(WStringView fileName);
  // Makes this list a deep copy of another.
  void CopyFrom(const CRunOrderItemList& other);
  // Deletes every item.
  void DeleteAll();
  // The first item whose name equals `fileName` exactly, or null.
  CRunOrderItem* FindByFileName(WStringView fileName) const;
  // Deletes an item of the list; E_INVALIDARG when it is not one.
  HRESULT DeleteItem(CRunOrderItem* item);
  // Unlinks an item and hands it to the caller; null when it is not in the list.
  [[nodiscard]] std::unique_ptr<CRunOrderItem> RemoveItem(CRunOrderItem* item);

  // Deletes the items that name no item of the project. S_OK when some
  // were deleted, S_FALSE when none; E_POINTER without a hierarchy.
  HRESULT DeleteObsoleteItems(CMyProjectHierarchy* hierarchy);
  // The project's node of each item, one per item in the list's order,
  // null for an item that names none. The project's file nodes are indexed
  // in one walk, so the cost grows with the project plus the list, not
  // their product. Every entry null without a hierarchy or a tree.
  std::vector<CFileVwFileNode*> FindEntryNodes(CMyProjectHierarchy* hierarchy) const;
  // The nodes of the items that name one, in the list's order (an item
  // listed twice gives its node twice): what a build deploys.
  std::vector<CFileVwFileNode*> FindNodes(CMyProjectHierarchy* hierarchy) const;

 private:
  Items items_;
};

class CRunOrder {
 public:
  CRunOrder();
  ~CRunOrder();
  CRunOrder(const CRunOrder&) = delete;
  CRunOrder& operator=(const CRunOrder&) = delete;

  CRunOrderItemList& GetItemList() { return list_; }
  const CRunOrderItemList& GetItemList() const { return list_; }
  const CRunOrderItemList::Items& GetItems() const { return list_.GetItems(); }
  int GetCount() const { return list_.GetCount(); }
  bool IsEmpty() const { return list_.IsEmpty(); }
  CRunOrderItem* Add(WStringView fileName) { return list_.Add(fileName); }

  // Replaces the list by the names of a RunOrder element: of each
  // RunOrderItem of its RunOrderItemList, in document order, the text of
  // its FileName. An item without a name is skipped. S_OK, also when the
  // element has no list (the run order is then empty); E_POINTER for null.
  HRESULT LoadFromXML(IXMLDOMNode* runOrderElement);
  // Appends the RunOrder element at `indent` to `out`; an empty list is
  // written as the two list tags with nothing between them. S_OK.
  HRESULT SaveAsXML(WStringView indent, WString& out) const;
  void CopyFrom(const CRunOrder& other);
  // Empties the list.
  void Reset();

  // Every item named `oldName` exactly takes the name `newName`. S_OK when
  // one did, S_FALSE when none (which is not an error).
  HRESULT FileRenamed(WStringView oldName, WStringView newName);
  // CRunOrderItem::FolderRenamed on every item: S_OK when a name changed,
  // S_FALSE when none.
  HRESULT FolderRenamed(WStringView oldFolder, WStringView newFolder);

  // The list's DeleteObsoleteItems and FindNodes.
  HRESULT DeleteObsoleteItems(CMyProjectHierarchy* hierarchy);
  std::vector<CFileVwFileNode*> FindNodes(CMyProjectHierarchy* hierarchy) const;

 private:
  CRunOrderItemList list_;
};
