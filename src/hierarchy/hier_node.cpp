#include "kv7/hierarchy/hier_node.h"

#include <cassert>
#include <unordered_map>

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

CHierNode::CHierNode() : id_(Registry().Register(this)) {}

CHierNode::~CHierNode() { Registry().Unregister(id_); }

CHierNode* CHierNode::FromRegisteredID(VSITEMID id) { return Registry().Find(id); }

HRESULT CHierNode::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid != IUnknown::iid()) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<IUnknown*>(this);
  AddRef();
  return S_OK;
}

ULONG CHierNode::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

CMyProjectHierarchy* CHierNode::GetCVsHierarchy() const {
  const CHierNode* node = this;
  while (node->parent_ != nullptr) node = node->parent_;
  return node == this ? nullptr : node->GetCVsHierarchy();
}

HRESULT CHierNode::SetEditLabel(WStringView) { return E_NOTIMPL; }

HRESULT CHierNode::SetProperty(VSHPROPID, const VARIANT&) { return E_NOTIMPL; }

HRESULT CHierNode::GetGuidProperty(VSHPROPID property, GUID* value) {
  if (property != VSHPROPID_TypeGuid) return DISP_E_MEMBERNOTFOUND;
  *value = PGuidGetType();
  return S_OK;
}

LONG CHierNode::GetIconIndex(int) const { return -1; }

HRESULT CHierNode::QueryStatus(const GUID*, ULONG, OLECMD*) { return OLECMDERR_E_NOTSUPPORTED; }

HRESULT CHierNode::Exec(const GUID*, DWORD, DWORD, const VARIANT*, VARIANT*) {
  return OLECMDERR_E_NOTSUPPORTED;
}

HRESULT CHierNode::GetUserContext(IVsUserContext**) { return E_NOTIMPL; }

HRESULT CHierNode::GetProperty(VSHPROPID property, VARIANT* value) {
  switch (property) {
    case VSHPROPID_Caption:
    case VSHPROPID_Name:
      *value = VARIANT::FromString(GetDisplayCaption());
      return S_OK;
    case VSHPROPID_SaveName:
      *value = VARIANT::FromString(name_);
      return S_OK;
    case VSHPROPID_EditLabel:
      *value = VARIANT::FromString(GetEditLabel());
      return S_OK;
    case VSHPROPID_Expandable:
      *value = VARIANT::FromBool(Expandable());
      return S_OK;
    case VSHPROPID_ExpandByDefault:
      *value = VARIANT::FromBool(ExpandByDefault());
      return S_OK;
    case VSHPROPID_IconIndex:
      *value = VARIANT::FromInt(GetIconIndex(1));
      return S_OK;
    case VSHPROPID_OpenFolderIconIndex:
      *value = VARIANT::FromInt(GetIconIndex(0));
      return S_OK;
    case VSHPROPID_StateIconIndex:
      *value = VARIANT::FromInt(GetIconIndex(2));
      return S_OK;
    case VSHPROPID_IsHiddenItem:
      *value = VARIANT::FromBool(!IsVisible());
      return S_OK;
    case VSHPROPID_UserContext: {
      ComPtr<IVsUserContext> context;
      HRESULT hr = GetUserContext(context.Put());
      if (FAILED(hr)) return hr;
      *value = VARIANT::FromUnknown(context.Get());
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

// ---- CHierContainer -------------------------------------------------------

CHierContainer::~CHierContainer() {
  // The project closes its tree before letting go of it; a container that
  // is released with children still linked drops them here.
  while (first_ != nullptr) (void)RemoveChild(first_);
}

CHierNode* CHierContainer::GetFirstChild() {
  if ((GetFlags() & kNodePopulated) == 0) {
    if (FAILED(PopulateChildren())) return nullptr;
    SetFlags(kNodePopulated);
  }
  return first_;
}

VSITEMID CHierContainer::GetFirstChildID() {
  CHierNode* first = GetFirstChild();
  return first ? first->GetVsItemID() : VSITEMID_NIL;
}

VSITEMID CHierContainer::GetFirstListedChildID() {
  for (CHierNode* child = GetFirstChild(); child; child = child->next_)
    if ((child->GetFlags() & kNodeListed) != 0) return child->GetVsItemID();
  return VSITEMID_NIL;
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
  if ((GetFlags() & kNodeSorted) != 0) SortedInsert(child);
  else Append(child);
}

void CHierContainer::InsertAfter(CHierNode* child, CHierNode* after) {
  if ((GetFlags() & kNodeSorted) != 0) SortedInsert(child);
  else Link(child, after);
}

void CHierContainer::AddHead(CHierNode* child) { Link(child, nullptr); }

void CHierContainer::Append(CHierNode* child) { Link(child, last_); }

void CHierContainer::SortedInsert(CHierNode* child) {
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
  if (child == nullptr || child->parent_ != this) return E_FAIL;
  ChildUnlinking(child);
  CHierNode* previous = nullptr;
  for (CHierNode* node = first_; node != child; node = node->next_) previous = node;
  (previous ? previous->next_ : first_) = child->next_;
  if (last_ == child) last_ = previous;
  child->parent_ = nullptr;
  child->next_ = nullptr;
  child->Release();
  return S_OK;
}

HRESULT CHierContainer::DeleteChild(CHierNode* child) {
  ComPtr<CHierNode> keep(child);  // closed after leaving the tree
  HRESULT hr = RemoveChild(child);
  if (SUCCEEDED(hr)) child->Close();
  return hr;
}
