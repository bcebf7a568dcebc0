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

// A selection of several items, as it was when it was asked for.
class MultiItemSelect final : public ComObject<IVsMultiItemSelect> {
 public:
  explicit MultiItemSelect(const std::vector<std::pair<IVsHierarchy*, VSITEMID>>& items) {
    for (const auto& [hierarchy, item] : items) items_.emplace_back(hierarchy, item);
  }

  HRESULT GetSelectionInfo(ULONG* count, BOOL* singleHierarchy) override {
    if (count == nullptr || singleHierarchy == nullptr) return E_POINTER;
    *count = static_cast<ULONG>(items_.size());
    *singleHierarchy = std::all_of(items_.begin(), items_.end(), [this](const auto& entry) {
      return entry.first.Get() == items_.front().first.Get();
    });
    return S_OK;
  }
  HRESULT GetSelectedItems(DWORD, ULONG count, VSITEMSELECTION* items) override {
    if (items == nullptr || count > items_.size()) return E_INVALIDARG;
    for (ULONG i = 0; i < count; ++i) {
      items[i].itemid = items_[i].second;
      (void)items_[i].first.CopyTo(&items[i].pHier);
    }
    return S_OK;
  }

 private:
  std::vector<std::pair<ComPtr<IVsHierarchy>, VSITEMID>> items_;
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
  // Re-reading a project's items, the window loses its selection in it.
  if (event.kind == Kind::ItemsInvalidated)
    std::erase_if(selection_, [&event](const Item& item) { return item.first == event.hierarchy; });
}

bool ExplorerService::IsExpanded(IVsHierarchy* hierarchy, VSITEMID item) const {
  return expanded_.contains({hierarchy, item});
}

HRESULT ExplorerService::ExpandItem(IVsHierarchy* hierarchy, VSITEMID item, DWORD flags) {
  // The window shows only the projects of the solution.
  if (!cookies_.contains(hierarchy)) return E_INVALIDARG;
  if ((flags & EXPF_SelectItem) == EXPF_SelectItem) selection_.assign(1, {hierarchy, item});
  if ((flags & EXPF_AddSelectItem) != 0 && std::ranges::find(selection_, Item(hierarchy, item)) ==
                                              selection_.end())
    selection_.emplace_back(hierarchy, item);
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

HRESULT ExplorerService::GetCurrentSelection(IVsHierarchy** hierarchy, VSITEMID* item,
                                             IVsMultiItemSelect** multi) {
  if (hierarchy == nullptr || item == nullptr || multi == nullptr) return E_POINTER;
  *hierarchy = nullptr;
  *multi = nullptr;
  *item = VSITEMID_NIL;
  if (selection_.size() == 1) {
    *item = selection_.front().second;
    return ComPtr<IVsHierarchy>(selection_.front().first).CopyTo(hierarchy);
  }
  if (selection_.size() > 1) {
    *item = VSITEMID_SELECTION;
    *multi = MakeCom<MultiItemSelect>(selection_).Detach();
  }
  return S_OK;
}

}  // namespace kv7::host
