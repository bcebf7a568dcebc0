// The project's startup services: the IDE services a project wants running
// while it is open, by identifier, in the order added. The hierarchy holds
// one for its life.
#pragma once

#include <vector>

#include "kv7/host/ide.h"

// One service: its identifier and, while started, the service itself.
struct CProjectStartupService {
  GUID id{};
  ComPtr<IUnknown> service;
};

class CVsProjectStartupServices final : public kv7::ComObject<IVsProjectStartupServices> {
 public:
  static ComPtr<CVsProjectStartupServices> CreateInstance();

  // Appends the service unless it is listed already.
  HRESULT AddStartupService(REFGUID service) override;
  // S_FALSE when it was not listed.
  HRESULT RemoveStartupService(REFGUID service) override;
  // An enumerator over a snapshot of the identifiers.
  HRESULT GetStartupServiceEnum(IEnumProjectStartupServices** services) override;

  // Obtains each listed service from the IDE and holds it; the first
  // service the IDE does not offer ends the walk with its status.
  HRESULT StartServices(IServiceProvider* provider);
  // Lets every held service go.
  HRESULT StopServices();

  // Reads the list ("Count", then "Service0", "Service1", ... each a GUID
  // in registry form) from the bag, replacing it; E_INVALIDARG for a value
  // that is not a GUID, with the list as it was.
  HRESULT Load(IPropertyBag* bag);
  HRESULT Save(IPropertyBag* bag) const;

  const std::vector<CProjectStartupService>& GetServices() const { return services_; }

 private:
  CVsProjectStartupServices() = default;
  ~CVsProjectStartupServices() override = default;

  std::vector<CProjectStartupService> services_;
};
