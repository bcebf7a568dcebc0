#include "kv7/package/package_site.h"

#include <utility>

#include "kv7/trace/trace.h"

namespace {

ComPtr<IServiceProvider>& Site() {
  static ComPtr<IServiceProvider> site;
  return site;
}

struct PendingConnection {
  bool pending = false;
  WString text;
};

PendingConnection& Pending() {
  static PendingConnection pending;
  return pending;
}

}  // namespace

void SetPackageServiceProvider(IServiceProvider* provider) {
  KV7_TRACE_ENTRY("SetPackageServiceProvider", 2, "PackageSite");
  Site() = provider;
}

IServiceProvider* GetPackageServiceProvider() {
  KV7_TRACE_ENTRY("GetPackageServiceProvider", 5, "PackageSite");
  return Site().Get();
}

void SetPendingProjectConnection(WStringView connectionXml) {
  KV7_TRACE_ENTRY("SetPendingProjectConnection", 2, "PackageSite");
  Pending() = {true, WString(connectionXml)};
}

bool TakePendingProjectConnection(WString* connectionXml) {
  KV7_TRACE_ENTRY("TakePendingProjectConnection", 2, "PackageSite");
  PendingConnection taken = std::exchange(Pending(), PendingConnection());
  if (taken.pending) *connectionXml = std::move(taken.text);
  return KV7_TRACE_RETURN(taken.pending);
}
