// The project factory: creates the hierarchy of a database project when the
// IDE opens or creates a .kv7p file.
#pragma once

#include "kv7/hierarchy/project_hierarchy.h"

// The project template below the template root.
inline constexpr char16_t kKV7ProjectTemplate[] = u"KV7PrjProjects/KV7Project.kv7p";

class CMyProjectFactory {
 public:
  HRESULT CanCreateProject(const char16_t* fileName, DWORD flags, BOOL* canCreate);
  // Opens (CPF_OPENFILE: `fileName` is the project file) or creates
  // (CPF_CLONEFILE: `fileName` is the template, copied as `name`.kv7p into
  // `location`) a project. A failed copy returns the system's status (the
  // target is refused when it exists); a failed Init returns its status
  // with the error information it left. *project holds a reference.
  HRESULT CreateProject(const char16_t* fileName, const char16_t* location, const char16_t* name,
                        DWORD flags, CMyProjectHierarchy** project, BOOL* canceled);
};
