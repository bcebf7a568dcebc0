#include "deploy_driver.h"

#include "sqlite_driver.h"

namespace kv7::helper {

HRESULT OpenDeployDriver(const Connection& connection, WStringView projectFolder,
                         std::unique_ptr<DeployDriver>* driver, std::string* message) {
  // Connections from before database types were recorded are SQLite ones.
  WString type = connection.Get(u"DBTYPE");
  if (type.empty() || EqualsNoCase(type, u"SQLITE"))
    return OpenSqliteDriver(connection, projectFolder, driver, message);
  *message = "connection " + ToUtf8(connection.Name()) + ": this build cannot deploy to " +
             ToUtf8(type) + " databases";
  return E_NOTIMPL;
}

}  // namespace kv7::helper
