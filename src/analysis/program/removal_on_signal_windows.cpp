// Windows: an interrupt is a console event (Ctrl+C, Ctrl+Break, the window closed, logoff,
// shutdown), delivered to handlers in a thread of its own. While files are registered, a
// handler of ours removes them and then hands the event on (returns FALSE), so the program
// ends as it would have, by the system's default handler or an earlier one.
#ifdef _WIN32

#include "analysis/program/removal_on_signal.hpp"

#include <atomic>
#include <condition_variable>
#include <cwchar>
#include <mutex>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace oskev::analysis {

namespace {

// More temporary files than this at once (pictures written side by side) wait for a slot.
constexpr int kSlots = 64;
// Longer names, possible only with the \\?\ prefix, are not registered.
constexpr std::size_t kPathCharacters = 4096;

struct Slot {
  std::atomic<bool> armed{false};  // the handler removes `path` while this is set
  wchar_t path[kPathCharacters] = {};
};

// The handler gets no argument but the event, so the names of the files to remove must be
// reachable without one: this is the only process-wide state of the program. The mutex and
// the counts serve the threads that register files, never the handler.
struct PendingRemovals {
  Slot slots[kSlots];
  std::mutex mutex;
  std::condition_variable freed;
  bool taken[kSlots] = {};
  int active = 0;
  bool handled = false;
};

PendingRemovals pending;

BOOL WINAPI remove_pending_files(DWORD) {
  for (Slot& slot : pending.slots) {
    if (slot.armed.load()) ::DeleteFileW(slot.path);
  }
  return FALSE;
}

}  // namespace

RemovedOnSignal::RemovedOnSignal(const std::filesystem::path& path) {
  const std::wstring& name = path.native();
  if (name.size() >= kPathCharacters) return;
  std::unique_lock<std::mutex> lock(pending.mutex);
  pending.freed.wait(lock, [] { return pending.active < kSlots; });
  int slot = 0;
  while (pending.taken[slot]) ++slot;
  pending.taken[slot] = true;
  if (pending.active++ == 0) pending.handled = ::SetConsoleCtrlHandler(remove_pending_files, TRUE) != 0;
  Slot& s = pending.slots[slot];
  std::wmemcpy(s.path, name.c_str(), name.size() + 1);
  s.armed.store(true);
  slot_ = slot;
}

RemovedOnSignal::~RemovedOnSignal() {
  if (slot_ < 0) return;
  pending.slots[slot_].armed.store(false);
  std::lock_guard<std::mutex> lock(pending.mutex);
  pending.taken[slot_] = false;
  if (--pending.active == 0 && pending.handled) {
    ::SetConsoleCtrlHandler(remove_pending_files, FALSE);
    pending.handled = false;
  }
  pending.freed.notify_one();
}

}  // namespace oskev::analysis

#endif  // _WIN32
