// The string table. Texts with "%s" are formats that the caller fills with
// the name of what the message is about.
#include "kv7/resources/strings.h"

#include <algorithm>
#include <iterator>

namespace {

struct StringResource {
  UINT id;
  const char16_t* text;
};

// Sorted by id.
constexpr StringResource kStrings[] = {
    {10, u"The file '%s' could not be found."},
    {36, u"kv7"},
    {768, u"The folder '%s' could not be found."},
    {1158, u"The folder '%s' of this project does not exist on disk. It is left out of the project."},
    {1159, u"Missing project folder"},
    {1160, u"The item '%s' of this project does not exist on disk. It is left out of the project."},
    {1161, u"Missing project item"},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const StringResource& a, const StringResource& b) {
                               return a.id < b.id;
                             }),
              "the string table must stay sorted by id");

}  // namespace

extern "C" const char16_t* KV7UIGetString(UINT id) {
  const auto* end = std::end(kStrings);
  const auto* found = std::lower_bound(
      std::begin(kStrings), end, id,
      [](const StringResource& entry, UINT wanted) { return entry.id < wanted; });
  return found != end && found->id == id ? found->text : nullptr;
}
