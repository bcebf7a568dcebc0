#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "kv7/platform/dispatcher.h"

namespace {

using namespace std::chrono_literals;

// Two threads hand a counter back and forth, each waiting for its turn: a
// Notify that lands while the other side watches, or after it fell asleep
// (the pauses outlast the watch), or before it began to wait, must never be
// lost.
TEST(Handoff, NoTurnIsLostWhetherTheWaiterWatchesOrSleeps) {
  std::mutex mutex;
  kv7::Handoff toWorker, toUi;
  int turn = 0;  // even: the worker's turn; odd: the UI thread's
  constexpr int kTurns = 40;
  const std::vector<std::chrono::microseconds> pauses = {0us, 50us, 5000us};

  std::thread worker([&] {
    for (int i = 0; i < kTurns; i += 2) {
      std::unique_lock lock(mutex);
      toWorker.Wait(lock, [&] { return turn == i; });
      lock.unlock();
      std::this_thread::sleep_for(pauses[(i / 2) % pauses.size()]);
      lock.lock();
      turn = i + 1;
      toUi.Notify();
    }
  });
  for (int i = 1; i < kTurns; i += 2) {
    std::unique_lock lock(mutex);
    toUi.Wait(lock, [&] { return turn == i; });
    lock.unlock();
    std::this_thread::sleep_for(pauses[(i / 2 + 1) % pauses.size()]);
    lock.lock();
    turn = i + 1;
    toWorker.Notify();
  }
  worker.join();
  EXPECT_EQ(turn, kTurns);
}

}  // namespace
