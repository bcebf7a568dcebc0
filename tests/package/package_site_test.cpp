// The package's site: the one service provider through which every part of
// the system reaches the IDE's services.
#include "kv7/package/package_site.h"

#include <gtest/gtest.h>

namespace kv7::test {
namespace {

// Offers the IDE's local registry and nothing else.
struct RegistryOnly : ComObject<ILocalRegistry2> {
  HRESULT GetLocalRegistryRoot(BSTR* root) override {
    *root = SysAllocString(u"Software\\Site\\Test");
    return S_OK;
  }
};

struct Site : ComObject<IServiceProvider> {
  HRESULT QueryService(REFGUID service, REFIID riid, void** object) override {
    if (service != SID_SLocalRegistry) return E_NOINTERFACE;
    return registry->QueryInterface(riid, object);
  }
  ComPtr<RegistryOnly> registry = MakeCom<RegistryOnly>();
};

// The references an object holds besides the caller's one.
ULONG OtherReferences(IUnknown* object) {
  object->AddRef();
  return object->Release() - 1;
}

TEST(PackageSite, HoldsTheProviderWhileSitedAndAsksItForServices) {
  SetPackageServiceProvider(nullptr);
  ComPtr<ILocalRegistry2> registry;
  EXPECT_EQ(GetPackageServiceProvider(), nullptr);
  EXPECT_EQ(QueryPackageService(SID_SLocalRegistry, &registry), E_UNEXPECTED);
  EXPECT_FALSE(registry);

  ComPtr<Site> site = MakeCom<Site>();
  SetPackageServiceProvider(site.Get());
  EXPECT_EQ(GetPackageServiceProvider(), site.Get());
  EXPECT_EQ(OtherReferences(site.Get()), 1u);
  ASSERT_EQ(QueryPackageService(SID_SLocalRegistry, &registry), S_OK);
  CComBSTR root;
  ASSERT_EQ(registry->GetLocalRegistryRoot(root.Put()), S_OK);
  EXPECT_EQ(root.ToString(), u"Software\\Site\\Test");
  ComPtr<IVsSolution> solution;
  EXPECT_EQ(QueryPackageService(SID_SVsSolution, &solution), E_NOINTERFACE);

  // Siting again replaces the provider; null lets it go.
  ComPtr<Site> other = MakeCom<Site>();
  SetPackageServiceProvider(other.Get());
  EXPECT_EQ(OtherReferences(site.Get()), 0u);
  EXPECT_EQ(GetPackageServiceProvider(), other.Get());
  SetPackageServiceProvider(nullptr);
  EXPECT_EQ(OtherReferences(other.Get()), 0u);
  EXPECT_EQ(QueryPackageService(SID_SLocalRegistry, &registry), E_UNEXPECTED);
}

}  // namespace
}  // namespace kv7::test
