// The project factory: creates the hierarchy of a database project when the
// IDE opens or creates a .kv7p file.
#pragma once

#include "kv7/hierarchy/project_hierarchy.h"

// The project template below the template root.
inline constexpr char16_t kKV7ProjectTemplate[] = u"KV7PrjProjects/KV7Project.kv7p";

// The factory is a COM object that the host's register of project types
// keeps; a caller may also use one of its own on the stack.
class CMyProjectFactory : public kv7::ComObject<IVsProjectFactory> {
 public:
  CMyProjectFactory() = default;

  HRESULT CanCreateProject(const char16_t* fileName, DWORD flags, BOOL* canCreate) override;
  // Opens (CPF_OPENFILE: `fileName` is the project file) or creates
  // (CPF_CLONEFILE: `fileName` is the template, copied as `name`.kv7p into
  // `location`) a project. A failed copy returns the system's status (the
  // target is refused when it exists); a failed Init returns its status
  // with the error information it left. *project holds a reference.
  HRESULT CreateProject(const char16_t* fileName, const char16_t* location, const char16_t* name,
                        DWORD flags, CMyProjectHierarchy** project, BOOL* canceled);
  // The same for the IDE, which knows projects as hierarchies.
  HRESULT CreateProject(const char16_t* fileName, const char16_t* location, const char16_t* name,
                        DWORD flags, IVsHierarchy** project, BOOL* canceled) override;
};
