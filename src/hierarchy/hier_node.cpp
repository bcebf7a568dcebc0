#include "kv7/hierarchy/hier_node.h"

#include <cassert>
#include <unordered_map>
#include <utility>

#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/trace/trace.h"

namespace {

// The process-wide registry of live node identifiers. Identifiers are
// handed out in turn, skipping the IDE's reserved values (-1, -2, -3), zero
// and any still in use after the counter wraps.
class NodeRegistry {
 public:
  VSITEMID Register(CHierNode* node) {
    VSITEMID id;
    do {
      id = next_++;
    } while (id == 0 || id >= VSITEMID_SELECTION || nodes_.count(id) != 0);
    nodes_.emplace(id, node);
    return id;
  }
  void Unregister(VSITEMID id) { nodes_.erase(id); }
  CHierNode* Find(VSITEMID id) const {
    auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : it->second;
  }

 private:
  std::unordered_map<VSITEMID, CHierNode*> nodes_;
  VSITEMID next_ = 1;
};

NodeRegistry& Registry() {
  static NodeRegistry* registry = new NodeRegistry;  // outlives every node
  return *registry;
}

}  // namespace

CHierNode::CHierNode() : id_(Registry().Register(this)) {
  KV7_TRACE_ENTRY("CHierNode::CHierNode", 6, "HierNode");
}

CHierNode::~CHierNode() {
  KV7_TRACE_ENTRY("CHierNode::~CHierNode", 6, "HierNode");
  Registry().Unregister(id_);
}

CHierNode* CHierNode::FromRegisteredID(VSITEMID id) {
  KV7_TRACE_ENTRY("CHierNode::FromRegisteredID", 2, "HierNode");
  return Registry().Find(id);
}

HRESULT CHierNode::QueryInterface(REFIID riid, void** object) {
  KV7_TRACE_ENTRY("CHierNode::QueryInterface", 5, "HierNode");
  if (object == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  if (riid != IUnknown::iid()) {
    *object = nullptr;
    return KV7_TRACE_RETURN(E_NOINTERFACE);
  }
  *object = static_cast<IUnknown*>(this);
  AddRef();
  return KV7_TRACE_RETURN(S_OK);
}

ULONG CHierNode::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

CMyProjectHierarchy* CHierNode::GetCVsHierarchy() const {
  KV7_TRACE_ENTRY("CHierNode::GetCVsHierarchy", 2, "HierNode");
  const CHierNode* node = this;
  while (node->parent_ != nullptr) node = node->parent_;
  return node == this ? nullptr : node->GetCVsHierarchy();
}

HRESULT CHierNode::SetEditLabel(WStringView) {
  KV7_TRACE_ENTRY("CHierNode::SetEditLabel", 2, "HierNode");
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CHierNode::SetProperty(VSHPROPID, const VARIANT&) {
  KV7_TRACE_ENTRY("CHierNode::SetProperty", 2, "HierNode");
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CHierNode::GetGuidProperty(VSHPROPID property, GUID* value) {
  KV7_TRACE_ENTRY("CHierNode::GetGuidProperty", 2, "HierNode");
  if (property != VSHPROPID_TypeGuid) return KV7_TRACE_RETURN(DISP_E_MEMBERNOTFOUND);
  *value = PGuidGetType();
  return KV7_TRACE_RETURN(S_OK);
}

LONG CHierNode::GetIconIndex(int) const {
  KV7_TRACE_ENTRY("CHierNode::GetIconIndex", 2, "HierNode");
  return KV7_TRACE_RETURN(-1);
}

HRESULT CHierNode::QueryStatus(const GUID*, ULONG, OLECMD*) {
  KV7_TRACE_ENTRY("CHierNode::QueryStatus", 2, "HierNode");
  return KV7_TRACE_RETURN(OLECMDERR_E_NOTSUPPORTED);
}

HRESULT CHierNode::Exec(const GUID*, DWORD, DWORD, const VARIANT*, VARIANT*) {
  KV7_TRACE_ENTRY("CHierNode::Exec", 2, "HierNode");
  return KV7_TRACE_RETURN(OLECMDERR_E_NOTSUPPORTED);
}

HRESULT CHierNode::GetUserContext(IVsUserContext**) {
  KV7_TRACE_ENTRY("CHierNode::GetUserContext", 2, "HierNode");
  return KV7_TRACE_RETURN(E_NOTIMPL);
}

HRESULT CHierNode::GetProperty(VSHPROPID property, VARIANT* value) {
  KV7_TRACE_ENTRY("CHierNode::GetProperty", 2, "HierNode");
  switch (property) {
    case VSHPROPID_Caption:
    case VSHPROPID_Name:
      *value = VARIANT::FromString(GetDisplayCaption());
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_SaveName:
      *value = VARIANT::FromString(name_);
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_EditLabel:
      *value = VARIANT::FromString(GetEditLabel());
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_Expandable:
      *value = VARIANT::FromBool(Expandable());
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_ExpandByDefault:
      *value = VARIANT::FromBool(ExpandByDefault());
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_IconIndex:
      *value = VARIANT::FromInt(GetIconIndex(1));
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_OpenFolderIconIndex:
      *value = VARIANT::FromInt(GetIconIndex(0));
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_StateIconIndex:
      *value = VARIANT::FromInt(GetIconIndex(2));
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_IsHiddenItem:
      *value = VARIANT::FromBool(!IsVisible());
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_UserContext: {
      ComPtr<IVsUserContext> context;
      HRESULT hr = GetUserContext(context.Put());
      if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
      *value = VARIANT::FromUnknown(context.Get());
      return KV7_TRACE_RETURN(S_OK);
    }
    default:
      return KV7_TRACE_RETURN(DISP_E_MEMBERNOTFOUND);
  }
}

// ---- CHierContainer -------------------------------------------------------

CHierContainer::~CHierContainer() {
  KV7_TRACE_ENTRY("CHierContainer::~CHierContainer", 6, "HierContainer");
  // The project closes its tree before letting go of it; a container that
  // is released with children still linked drops them here.
  while (first_ != nullptr) (void)RemoveChild(first_);
}

CHierNode* CHierContainer::GetFirstChild() {
  KV7_TRACE_ENTRY("CHierContainer::GetFirstChild", 2, "HierContainer");
  if ((GetFlags() & kNodePopulated) == 0) {
    if (FAILED(PopulateChildren())) return nullptr;
    SetFlags(kNodePopulated);
  }
  return first_;
}

VSITEMID CHierContainer::GetFirstChildID() {
  KV7_TRACE_ENTRY("CHierContainer::GetFirstChildID", 2, "HierContainer");
  CHierNode* first = GetFirstChild();
  return KV7_TRACE_RETURN(first ? first->GetVsItemID() : VSITEMID_NIL);
}

VSITEMID CHierContainer::GetFirstListedChildID() {
  KV7_TRACE_ENTRY("CHierContainer::GetFirstListedChildID", 2, "HierContainer");
  for (CHierNode* child = GetFirstChild(); child; child = child->next_)
    if ((child->GetFlags() & kNodeListed) != 0) return KV7_TRACE_RETURN(child->GetVsItemID());
  return KV7_TRACE_RETURN(VSITEMID_NIL);
}

void CHierContainer::Link(CHierNode* child, CHierNode* previous) {
  assert(child->parent_ == nullptr && "a node can stand in one container only");
  child->AddRef();
  child->parent_ = this;
  if (previous == nullptr) {
    child->next_ = first_;
    first_ = child;
  } else {
    child->next_ = previous->next_;
    previous->next_ = child;
  }
  if (child->next_ == nullptr) last_ = child;
  ChildLinked(child);
  NotifyAdded(child, previous);
}

void CHierContainer::NotifyAdded(CHierNode* child, CHierNode* previous) {
  if ((GetFlags() & kNodePopulated) == 0 || !child->IsVisible()) return;
  if (CMyProjectHierarchy* hierarchy = GetCVsHierarchy())
    hierarchy->NotifyItemAdded(this, previous, child);
}

void CHierContainer::AddChild(CHierNode* child) {
  KV7_TRACE_ENTRY("CHierContainer::AddChild", 2, "HierContainer");
  if ((GetFlags() & kNodeSorted) != 0) SortedInsert(child);
  else Append(child);
}

void CHierContainer::InsertAfter(CHierNode* child, CHierNode* after) {
  KV7_TRACE_ENTRY("CHierContainer::InsertAfter", 2, "HierContainer");
  if ((GetFlags() & kNodeSorted) != 0) SortedInsert(child);
  else Link(child, after);
}

void CHierContainer::AddHead(CHierNode* child) {
  KV7_TRACE_ENTRY("CHierContainer::AddHead", 2, "HierContainer");
  Link(child, nullptr);
}

void CHierContainer::Append(CHierNode* child) {
  KV7_TRACE_ENTRY("CHierContainer::Append", 2, "HierContainer");
  Link(child, last_);
}

void CHierContainer::SortedInsert(CHierNode* child) {
  KV7_TRACE_ENTRY("CHierContainer::SortedInsert", 2, "HierContainer");
  // Equal names go after the existing ones; a name above the last child's
  // is appended at once, so adding in order stays linear.
  if (last_ == nullptr || kv7::CompareLocale(last_->name_, child->name_) <= 0) {
    Link(child, last_);
    return;
  }
  CHierNode* previous = nullptr;
  for (CHierNode* node = first_; node; previous = node, node = node->next_) {
    if (kv7::CompareLocale(node->name_, child->name_) > 0) break;
  }
  Link(child, previous);
}

HRESULT CHierContainer::RemoveChild(CHierNode* child) {
  KV7_TRACE_ENTRY("CHierContainer::RemoveChild", 2, "HierContainer");
  if (child == nullptr || child->parent_ != this) return KV7_TRACE_RETURN(E_FAIL);
  ChildUnlinking(child);
  CHierNode* previous = nullptr;
  for (CHierNode* node = first_; node != child; node = node->next_) previous = node;
  (previous ? previous->next_ : first_) = child->next_;
  if (last_ == child) last_ = previous;
  child->parent_ = nullptr;
  child->next_ = nullptr;
  child->Release();
  return KV7_TRACE_RETURN(S_OK);
}

void CHierContainer::DeleteAllChildren() {
  KV7_TRACE_ENTRY("CHierContainer::DeleteAllChildren", 2, "HierContainer");
  AllChildrenUnlinking();
  CHierNode* child = std::exchange(first_, nullptr);
  last_ = nullptr;
  while (child != nullptr) {
    CHierNode* next = std::exchange(child->next_, nullptr);
    child->parent_ = nullptr;
    child->Close();
    child->Release();  // the container's reference
    child = next;
  }
}

HRESULT CHierContainer::DeleteChild(CHierNode* child) {
  KV7_TRACE_ENTRY("CHierContainer::DeleteChild", 2, "HierContainer");
  ComPtr<CHierNode> keep(child);  // closed after leaving the tree
  HRESULT hr = RemoveChild(child);
  if (SUCCEEDED(hr)) child->Close();
  return KV7_TRACE_RETURN(hr);
}
