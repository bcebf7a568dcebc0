// The IDE the command line stands in for: a headless host whose services
// the system reaches through the package's site, with the database project
// type registered, so that projects are created and opened through the
// IDE's solution as they are in the IDE. One per process run (or per
// shell), on the main thread.
#pragma once

#include <memory>

#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/host/host.h"

namespace kv7::cli {

class CliHost {
 public:
  CliHost();
  // Closes every project still open, then leaves the package unsited.
  ~CliHost();
  CliHost(const CliHost&) = delete;
  CliHost& operator=(const CliHost&) = delete;

  host::CHost& Host() { return host_; }
  // Opens an existing project file through the solution.
  HRESULT OpenProject(const WString& path, ComPtr<CMyProjectHierarchy>* project);
  // Creates a new project (saved at once) from the project template as
  // `path`; the directory must exist.
  HRESULT CreateProject(const WString& path, ComPtr<CMyProjectHierarchy>* project);
  // The open projects of the solution that are database projects.
  std::vector<CMyProjectHierarchy*> Projects() const;

 private:
  host::CHost host_;
  DWORD factory_cookie_ = 0;
};

}  // namespace kv7::cli
