#include "kv7/platform/bstr.h"

#include <cstdlib>
#include <cstring>
#include <new>

// Layout as the platform's: a 32-bit byte length, then the units, then a
// terminating zero unit. The BSTR points at the first unit.
BSTR SysAllocStringLen(const char16_t* text, UINT length) {
  void* block = std::malloc(sizeof(uint32_t) + (size_t{length} + 1) * sizeof(char16_t));
  if (block == nullptr) throw std::bad_alloc();
  auto* header = static_cast<uint32_t*>(block);
  *header = length * static_cast<uint32_t>(sizeof(char16_t));
  auto* units = reinterpret_cast<char16_t*>(header + 1);
  if (text) std::memcpy(units, text, length * sizeof(char16_t));
  else std::memset(units, 0, length * sizeof(char16_t));
  units[length] = 0;
  return units;
}

BSTR SysAllocString(const char16_t* text) {
  if (text == nullptr) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(kv7::WLen(text)));
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<uint32_t*>(text) - 1);
}

UINT SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  return *(reinterpret_cast<uint32_t*>(text) - 1) / static_cast<UINT>(sizeof(char16_t));
}
