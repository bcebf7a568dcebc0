#include "kv7/platform/dispatcher.h"

#include <atomic>

namespace kv7 {
namespace {

std::atomic<IDispatcher*> g_dispatcher{nullptr};

}  // namespace

IDispatcher* SetUIDispatcher(IDispatcher* dispatcher) { return g_dispatcher.exchange(dispatcher); }

IDispatcher* GetUIDispatcher() { return g_dispatcher.load(); }

}  // namespace kv7
