#include "verbs.h"

#include <array>

namespace kv7::cli {
namespace {

constexpr std::array<Verb, 0> kVerbs{};

}  // namespace

std::span<const Verb> Verbs() { return kVerbs; }

}  // namespace kv7::cli
