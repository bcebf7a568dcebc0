#include <algorithm>

#include "services.h"

namespace kv7::host {
namespace {

using Kind = HierarchyEvent::Kind;

// Hands one project's events to the explorer, naming the project.
class EventSink final : public ComObject<IVsHierarchyEvents> {
 public:
  EventSink(ComPtr<ExplorerService> explorer, IVsHierarchy* hierarchy)
      : explorer_(std::move(explorer)), hierarchy_(hierarchy) {}

  HRESULT OnItemAdded(VSITEMID parent, VSITEMID previousSibling, VSITEMID added) override {
    return Record({.kind = Kind::ItemAdded,
                   .item = added,
                   .parent = parent,
                   .previousSibling = previousSibling});
  }
  HRESULT OnItemsAppended(VSITEMID parent) override {
    return Record({.kind = Kind::ItemsAppended, .item = parent});
  }
  HRESULT OnItemDeleted(VSITEMID item) override {
    return Record({.kind = Kind::ItemDeleted, .item = item});
  }
  HRESULT OnPropertyChanged(VSITEMID item, VSHPROPID property, DWORD) override {
    return Record({.kind = Kind::PropertyChanged, .item = item, .property = property});
  }
  HRESULT OnInvalidateItems(VSITEMID parent) override {
    return Record({.kind = Kind::ItemsInvalidated, .item = parent});
  }

 private:
  HRESULT Record(HierarchyEvent event) {
    event.hierarchy = hierarchy_;
    explorer_->Record(event);
    return S_OK;
  }

  ComPtr<ExplorerService> explorer_;
  IVsHierarchy* hierarchy_;
};

}  // namespace

template <class Predicate>
void ExplorerService::Forget(Predicate matches) {
  std::erase_if(selection_, matches);
  std::erase_if(expanded_, matches);
}

HRESULT ExplorerService::Watch(IVsHierarchy* hierarchy) {
  if (hierarchy == nullptr) return E_INVALIDARG;
  auto sink = MakeCom<EventSink>(ComPtr<ExplorerService>(this), hierarchy);
  DWORD cookie = 0;
  HRESULT hr = hierarchy->AdviseHierarchyEvents(sink.Get(), &cookie);
  if (FAILED(hr)) return hr;
  cookies_[hierarchy] = cookie;
  return S_OK;
}

void ExplorerService::Unwatch(IVsHierarchy* hierarchy) {
  auto found = cookies_.find(hierarchy);
  if (found == cookies_.end()) return;
  // A project that dropped its sinks when it closed may refuse; either way
  // the explorer no longer listens.
  hierarchy->UnadviseHierarchyEvents(found->second);
  cookies_.erase(found);
  Forget([hierarchy](const Item& item) { return item.first == hierarchy; });
}

void ExplorerService::Record(const HierarchyEvent& event) {
  events_.push_back(event);
  // A deleted item can no longer be selected or expanded.
  if (event.kind == Kind::ItemDeleted)
    Forget([&event](const Item& item) { return item == Item(event.hierarchy, event.item); });
}

bool ExplorerService::IsExpanded(IVsHierarchy* hierarchy, VSITEMID item) const {
  return expanded_.contains({hierarchy, item});
}

HRESULT ExplorerService::ExpandItem(IVsHierarchy* hierarchy, VSITEMID item, DWORD flags) {
  // The window shows only the projects of the solution.
  if (!cookies_.contains(hierarchy)) return E_INVALIDARG;
  if ((flags & EXPF_SelectItem) == EXPF_SelectItem) selection_.assign(1, {hierarchy, item});
  if (flags & EXPF_ExpandFolder) expanded_.insert({hierarchy, item});
  return S_OK;
}

HRESULT ExplorerService::GetSelectedItems(IVsHierarchy* hierarchy, ULONG capacity,
                                          VSITEMID* items, ULONG* count) {
  if (count == nullptr || (items == nullptr && capacity > 0)) return E_POINTER;
  ULONG filled = 0;
  for (const auto& [selected, item] : selection_)
    if (selected == hierarchy && filled < capacity) items[filled++] = item;
  *count = filled;
  return S_OK;
}

}  // namespace kv7::host
