// Starting a configuration: the refusals, the debug launch handed to the
// IDE debugger, and the project's startup services.
#include <gtest/gtest.h>

#include <map>

#include "kv7/build/configurations.h"
#include "kv7/build/startup_services.h"
#include "kv7/helper/helper.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/platform/guid.h"
#include "kv7/util/ui_strings.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

constexpr char16_t kParameters[] =
    u"<SP><COLUMNS>"
    u"<COLUMN><TYPENAME>INTEGER</TYPENAME><LENGTH>4</LENGTH><SCALE>0</SCALE>"
    u"<PARM_MODE>Input</PARM_MODE><PARMNAME>customer</PARMNAME><PARAM_VALUE></PARAM_VALUE>"
    u"</COLUMN></COLUMNS></SP>";

class DebugLaunchTest : public ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    project_ = Create(Path("p"), u"Shop.kv7p");
    ASSERT_NE(project_, nullptr);
    cfg_ = project_->GetActiveProjectConfig();
  }
  // The status of a start, with the error report it must have shown.
  HRESULT Start(ULONG flags, UINT expectedText) {
    const size_t reports = host_.ErrorReports().size();
    HRESULT hr = cfg_->DebugLaunch(flags);
    EXPECT_EQ(host_.ErrorReports().size(), reports + 1);
    if (host_.ErrorReports().size() > reports) {
      EXPECT_EQ(host_.ErrorReports().back(), LoadUIString(expectedText));
    }
    return hr;
  }
  void Connect() { ConnectSqlite(cfg_, "t.db"); }

  CMyProjectHierarchy* project_ = nullptr;
  CMyProjectCfg* cfg_ = nullptr;
};

TEST_F(DebugLaunchTest, AStartIsRefusedUntilConnectionProcedureAndValuesAreThere) {
  EXPECT_EQ(Start(DBGLAUNCH_NoDebug, 1053), KV7_E_NO_CONNECTION);
  Connect();
  EXPECT_EQ(Start(DBGLAUNCH_NoDebug, 1251), KV7_E_NO_STARTUP_PROCEDURE);
  CKV7DebuggingInfo* debugging = cfg_->get_DebuggingInfo();
  debugging->SetProcSchema(u"app");
  debugging->SetProcName(u"place_order");
  ASSERT_EQ(debugging->SetParametersXML(kParameters), S_OK);
  EXPECT_EQ(Start(0, 1255), KV7_E_STARTUP_VALUES_MISSING);
  ASSERT_EQ(CCommandHelperHook().RemoveConnection(u"t"), S_OK);
  EXPECT_EQ(Start(DBGLAUNCH_NoDebug, 1257), KV7_E_CONNECTION_NOT_FOUND);
  EXPECT_FALSE(project_->IsCompileInProgress()) << "nothing was launched";
  EXPECT_TRUE(host_.DebugLaunches().empty());
}

TEST_F(DebugLaunchTest, DebuggingHandsTheProcedureAndItsSettingsToTheDebugger) {
  Connect();
  CKV7DebuggingInfo* debugging = cfg_->get_DebuggingInfo();
  debugging->SetProcSchema(u"app");
  debugging->SetProcName(u"place_order");
  ASSERT_EQ(debugging->SetParameterValue(u"customer", u"42"), S_OK);

  VsDebugTargetInfo target;
  ASSERT_EQ(cfg_->GetDebugLaunchTargets(&target), S_OK);
  EXPECT_EQ(target.launchOperation, DLO_Custom);
  EXPECT_EQ(target.launchFlags, 1u);
  EXPECT_EQ(target.debugEngine, GUID_KV7ProcedureDebugEngine);

  // The headless IDE has no procedure debug engine and says so.
  EXPECT_EQ(cfg_->DebugLaunch(0), HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
  ASSERT_EQ(host_.DebugLaunches().size(), 1u);
  const VsDebugTargetInfo& launched = host_.DebugLaunches()[0];
  WString procedure;
  debugging->GetStartupProcedure(procedure);
  EXPECT_EQ(launched.executable, procedure);
  WString document;
  ASSERT_EQ(debugging->AsXmlDocument(document), S_OK);
  EXPECT_EQ(launched.arguments, document);
  EXPECT_NE(ToUtf8(launched.arguments).find("customer"), std::string::npos);
}

// A property bag in memory.
class Bag final : public ComObject<IPropertyBag> {
 public:
  std::map<WString, VARIANT> values;
  HRESULT Read(const char16_t* name, VARIANT* value) override {
    auto found = values.find(name);
    if (found == values.end()) return E_INVALIDARG;
    *value = found->second;
    return S_OK;
  }
  HRESULT Write(const char16_t* name, const VARIANT& value) override {
    values[name] = value;
    return S_OK;
  }
};

TEST_F(DebugLaunchTest, StartupServicesKeepTheirOrderStartStopAndPersist) {
  CVsProjectStartupServices* services = project_->GetStartupServices();
  ASSERT_NE(services, nullptr);
  const GUID solution = SID_SVsSolution, output = SID_SVsOutputWindow, none = NewGuid();
  EXPECT_EQ(services->AddStartupService(solution), S_OK);
  EXPECT_EQ(services->AddStartupService(output), S_OK);
  EXPECT_EQ(services->AddStartupService(solution), S_OK);  // listed once
  ComPtr<IEnumProjectStartupServices> listed;
  ASSERT_EQ(services->GetStartupServiceEnum(listed.Put()), S_OK);
  GUID ids[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(listed->Next(3, ids, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(ids[0], solution);
  EXPECT_EQ(ids[1], output);
  ComPtr<IEnumProjectStartupServices> copy;
  ASSERT_EQ(listed->Reset(), S_OK);
  ASSERT_EQ(listed->Skip(1), S_OK);
  ASSERT_EQ(listed->Clone(copy.Put()), S_OK);
  EXPECT_EQ(copy->Next(1, ids, &fetched), S_OK);
  EXPECT_EQ(ids[0], output);

  ASSERT_EQ(services->StartServices(host_.ServiceProvider()), S_OK);
  EXPECT_TRUE(services->GetServices()[0].service);
  ASSERT_EQ(services->StopServices(), S_OK);
  EXPECT_FALSE(services->GetServices()[0].service);

  auto bag = MakeCom<Bag>();
  ASSERT_EQ(services->Save(bag.Get()), S_OK);
  EXPECT_EQ(services->RemoveStartupService(solution), S_OK);
  EXPECT_EQ(services->RemoveStartupService(solution), S_FALSE);
  ASSERT_EQ(services->Load(bag.Get()), S_OK);
  EXPECT_EQ(services->GetServices().size(), 2u);

  // A service the IDE does not offer stops the start; a damaged bag loads
  // nothing.
  EXPECT_EQ(services->AddStartupService(none), S_OK);
  EXPECT_TRUE(FAILED(services->StartServices(host_.ServiceProvider())));
  bag->values[u"Service1"] = VARIANT::FromString(u"not a guid");
  EXPECT_EQ(services->Load(bag.Get()), E_INVALIDARG);
  EXPECT_EQ(services->GetServices().size(), 3u);
}

}  // namespace
}  // namespace kv7::test
