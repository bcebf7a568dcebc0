#include "kv7/package/package_site.h"

#include "kv7/trace/trace.h"

namespace {

ComPtr<IServiceProvider>& Site() {
  static ComPtr<IServiceProvider> site;
  return site;
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
