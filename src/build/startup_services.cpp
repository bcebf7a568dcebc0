#include "kv7/build/startup_services.h"

#include <algorithm>

#include "kv7/platform/guid.h"
#include "kv7/trace/trace.h"

namespace {

// Enumerates a copy of the identifiers.
class CServiceEnum final : public kv7::ComObject<IEnumProjectStartupServices> {
 public:
  CServiceEnum(std::vector<GUID> ids, size_t next) : ids_(std::move(ids)), next_(next) {}

  HRESULT Next(ULONG count, GUID* services, ULONG* fetched) override {
    if (services == nullptr && count > 0) return E_POINTER;
    ULONG given = 0;
    for (; given < count && next_ < ids_.size(); ++given) services[given] = ids_[next_++];
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    const size_t left = ids_.size() - next_;
    next_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumProjectStartupServices** copy) override {
    if (copy == nullptr) return E_POINTER;
    return ComPtr<IEnumProjectStartupServices>(kv7::MakeCom<CServiceEnum>(ids_, next_))
        .CopyTo(copy);
  }

 private:
  std::vector<GUID> ids_;
  size_t next_;
};

WString ServiceValueName(size_t index) { return u"Service" + kv7::FromUtf8(std::to_string(index)); }

}  // namespace

ComPtr<CVsProjectStartupServices> CVsProjectStartupServices::CreateInstance() {
  KV7_TRACE_ENTRY("CVsProjectStartupServices::CreateInstance", 2, "VsProjectStartupServices");
  return kv7::AdoptNew(new CVsProjectStartupServices());
}

HRESULT CVsProjectStartupServices::AddStartupService(REFGUID service) {
  KV7_TRACE_ENTRY("CVsProjectStartupServices::AddStartupService", 2, "VsProjectStartupServices");
  if (std::ranges::find(services_, service, &CProjectStartupService::id) == services_.end())
    services_.push_back({service, nullptr});
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CVsProjectStartupServices::RemoveStartupService(REFGUID service) {
  KV7_TRACE_ENTRY("CVsProjectStartupServices::RemoveStartupService", 2,
                  "VsProjectStartupServices");
  return KV7_TRACE_RETURN(std::erase_if(services_, [&service](const auto& entry) {
                            return entry.id == service;
                          }) > 0
                              ? S_OK
                              : S_FALSE);
}

HRESULT CVsProjectStartupServices::GetStartupServiceEnum(IEnumProjectStartupServices** services) {
  KV7_TRACE_ENTRY("CVsProjectStartupServices::GetStartupServiceEnum", 2,
                  "VsProjectStartupServices");
  if (services == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  std::vector<GUID> ids;
  for (const CProjectStartupService& entry : services_) ids.push_back(entry.id);
  return KV7_TRACE_RETURN(ComPtr<IEnumProjectStartupServices>(
                              kv7::MakeCom<CServiceEnum>(std::move(ids), 0))
                              .CopyTo(services));
}

HRESULT CVsProjectStartupServices::StartServices(IServiceProvider* provider) {
  KV7_TRACE_ENTRY("CVsProjectStartupServices::StartServices", 2, "VsProjectStartupServices");
  if (provider == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  for (CProjectStartupService& entry : services_) {
    if (entry.service) continue;
    HRESULT hr = provider->QueryService(entry.id, IUnknown::iid(),
                                        reinterpret_cast<void**>(entry.service.Put()));
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CVsProjectStartupServices::StopServices() {
  KV7_TRACE_ENTRY("CVsProjectStartupServices::StopServices", 2, "VsProjectStartupServices");
  for (CProjectStartupService& entry : services_) entry.service.Reset();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CVsProjectStartupServices::Load(IPropertyBag* bag) {
  KV7_TRACE_ENTRY("CVsProjectStartupServices::Load", 2, "VsProjectStartupServices");
  if (bag == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  VARIANT count;
  HRESULT hr = bag->Read(u"Count", &count);
  if (FAILED(hr) || count.vt() != VT_I4 || count.lVal() < 0) return KV7_TRACE_RETURN(E_INVALIDARG);
  std::vector<CProjectStartupService> loaded;
  for (LONG i = 0; i < count.lVal(); ++i) {
    VARIANT text;
    GUID id{};
    if (FAILED(bag->Read(ServiceValueName(i).c_str(), &text)) || text.vt() != VT_BSTR ||
        FAILED(kv7::GuidFromString(text.bstrVal(), &id)))
      return KV7_TRACE_RETURN(E_INVALIDARG);
    if (std::ranges::find(loaded, id, &CProjectStartupService::id) == loaded.end())
      loaded.push_back({id, nullptr});
  }
  services_ = std::move(loaded);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CVsProjectStartupServices::Save(IPropertyBag* bag) const {
  KV7_TRACE_ENTRY("CVsProjectStartupServices::Save", 2, "VsProjectStartupServices");
  if (bag == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  HRESULT hr = bag->Write(u"Count", VARIANT::FromInt(static_cast<LONG>(services_.size())));
  for (size_t i = 0; SUCCEEDED(hr) && i < services_.size(); ++i)
    hr = bag->Write(ServiceValueName(i).c_str(),
                    VARIANT::FromString(kv7::GuidToString(services_[i].id)));
  return KV7_TRACE_RETURN(hr);
}
