// The string table. Texts with "%s" are formats that the caller fills with
// the name of what the message is about; the copy names (1146, 1147) are
// message formats with numbered inserts ("%1").
#include "kv7/resources/strings.h"

#include <algorithm>
#include <iterator>

namespace {

struct StringResource {
  UINT id;
  const char16_t* text;
};

// Sorted by id, each id once.
constexpr StringResource kStrings[] = {
    {10, u"'%s': the name is not valid or the file cannot be found."},
    {13, u"'%s' is already in this folder of the project."},
    {34, u"The project cannot be saved as '%s': a project is saved in its own directory."},
    {35, u"The project file '%s' could not be loaded."},
    {36, u"kv7"},
    {40, u"Routine"},
    {212, u"The configuration is up to date."},
    {302, u"Table"},
    {305, u"View"},
    {308, u"Procedure"},
    {311, u"Function"},
    {314, u"Trigger"},
    {320, u"Script"},
    {501, u"Tables"},
    {502, u"Tables"},
    {503, u"Views"},
    {504, u"Views"},
    {505, u"Procedures"},
    {506, u"Procedures"},
    {507, u"Functions"},
    {508, u"Functions"},
    {509, u"Triggers"},
    {510, u"Triggers"},
    {513, u"Scripts"},
    {514, u"Scripts"},
    {768, u"The folder '%s' could not be found."},
    {770, u"Database Projects"},
    {771, u"Build"},
    {772, u"Source Control"},
    {773, u"Debug"},
    {774, u"General"},
    {780, u"'%s' already exists."},
    {781, u"File exists"},
    {1043, u"The item was not deployed."},
    {1045, u"Done."},
    {1046, u"Deploying the items of the configuration's run order."},
    {1052, u"------ Deploying %1 in %2 ------"},
    {1053, u"The configuration has no connection. Give it one (kv7 config connection) and "
           u"build again."},
    {1054, u"No connection"},
    {1110, u"Schema"},
    {1111, u"The schema the procedure belongs to."},
    {1112, u"Procedure name"},
    {1113, u"The name of the stored procedure."},
    {1114, u"Schema"},
    {1115, u"The schema the function belongs to."},
    {1116, u"Function name"},
    {1117, u"The name of the user-defined function."},
    {1128, u"File name"},
    {1129, u"The name of the item's file."},
    {1130, u"Full path"},
    {1131, u"Where the item's file is on disk."},
    {1132, u"Date modified"},
    {1133, u"When the item's file was last written."},
    {1134, u"Size"},
    {1135, u"The size of the item's file in bytes."},
    {1136, u"File type"},
    {1137, u"The kind of object the item creates."},
    {1143, u"An item failed."},
    {1145, u"The build stops here; the database's message is above."},
    {1146, u"Copy of %1"},
    {1147, u"Copy (%1) of %2"},
    {1156, u"%s failed."},
    {1158, u"The folder '%s' of this project does not exist on disk. It is left out of the project."},
    {1159, u"Missing project folder"},
    {1160, u"The item '%s' of this project does not exist on disk. It is left out of the project."},
    {1161, u"Missing project item"},
    {1162, u"%s is unchanged since its last build."},
    {1188, u"Other"},
    {1189, u"Other"},
    {1208, u"Indexes"},
    {1209, u"Indexes"},
    {1213, u"Index"},
    {1217, u"%s could not be saved, so it was not deployed."},
    {1221, u"Warning: the procedure %1 does not match its CLR method %2; the build goes on."},
    {1240, u"------ Running %2 in %1 ------"},
    {1241, u"The run of %s failed."},
    {1242, u"%s ran."},
    {1244, u"The procedure ran."},
    {1245, u"The procedure run failed."},
    {1251, u"The configuration names no startup procedure. Name one (kv7 startup PROJECT CONFIG "
           u"PROCEDURE) and start again."},
    {1255, u"The startup procedure has input parameters without values. Give each a value "
           u"(kv7 startup PROJECT CONFIG --param NAME=VALUE) and start again."},
    {1257, u"The configuration's connection is no longer in the connection list. Give the "
           u"configuration another connection and build again."},
    {1258, u"Connection not found"},
    {1265, u"The assembly '%s' is older than the copy installed last time; it is installed "
           u"again."},
    {1266, u"Assembly %s of this project names no DLL and is not installed: give it the path "
           u"of its DLL in the project's assemblies."},
    {1271, u"These assemblies are not installed on the server yet; the item names them by their "
           u"target paths: %s"},
    {1272, u"%1: the assembly reference '%2' is not one of this project's assemblies, or is "
           u"not written as [!KV7CLRAssembly:Name]."},
    {1304, u"The assembly '%1' could not be installed: %2"},
    {1309, u"Succeeded."},
    // Texts of this product's own, above the inherited range.
    {2001, u"The record of what this project built could not be read (%s). Every item counts as "
           u"changed until the record is saved again."},
    {2002, u"Compile in which configuration?"},
    {2003, u"%s has changes that are not saved. Save them before it is deployed?"},
};

static_assert(std::adjacent_find(std::begin(kStrings), std::end(kStrings),
                                 [](const StringResource& a, const StringResource& b) {
                                   return a.id >= b.id;
                                 }) == std::end(kStrings),
              "the string table must stay sorted by id, each id once");

}  // namespace

extern "C" const char16_t* KV7UIGetString(UINT id) {
  const auto* end = std::end(kStrings);
  const auto* found = std::lower_bound(
      std::begin(kStrings), end, id,
      [](const StringResource& entry, UINT wanted) { return entry.id < wanted; });
  return found != end && found->id == id ? found->text : nullptr;
}
