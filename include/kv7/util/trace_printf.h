// The formatted trace text: formats printf-style into at most 120 wide
// characters (longer texts are cut) and records it as a trace text under the
// helper's own entry (component 8, level 9). Returns the number of
// characters recorded (0 when its entry is not traced). Costs a load and a compare when tracing is off.
#pragma once

#include <cstdint>

std::int32_t tracePrintfW(std::int32_t flags, const char16_t* format, ...);

// The longest text that tracePrintfW records.
inline constexpr int kTracePrintfLimit = 120;
