// POSIX signals. A port to another system replaces this file; its header says what it promises
// (Windows: removal_on_signal_windows.cpp).
#ifndef _WIN32

#include "analysis/program/removal_on_signal.hpp"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <signal.h>
#include <unistd.h>

namespace oskev::analysis {

namespace {

// An interrupt, a termination request, a closed terminal (hang-up) and a quit: every signal
// by which a user, a terminal or a supervisor ends a run and whose default ends the program.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSignalCount = 4;
// More temporary files than this at once (pictures written side by side) wait for a slot.
constexpr int kSlots = 64;
// No file name longer than this can be opened, so a longer one never needs removing.
constexpr std::size_t kPathBytes = 4096;

static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads the flags");

struct Slot {
  std::atomic<bool> armed{false};  // the handler removes `path` while this is set
  char path[kPathBytes] = {};
};

// A signal handler gets no argument but the signal's number, so what it needs, the names of
// the files to remove and the actions to hand the signal on to, must be reachable without
// one: this is the only process-wide state of the program, and it holds no more than that.
// The mutex and the counts serve the threads that register files, never the handler.
struct PendingRemovals {
  Slot slots[kSlots];
  struct sigaction earlier[kSignalCount] = {};
  bool handled[kSignalCount] = {};  // whether our handler is in place for this signal

  std::mutex mutex;
  std::condition_variable freed;
  bool taken[kSlots] = {};
  int active = 0;
};

PendingRemovals pending;

int signal_index(int signal) {
  int i = 0;
  while (i + 1 < kSignalCount && kSignals[i] != signal) ++i;
  return i;
}

extern "C" void remove_pending_files(int signal) {
  const int saved_errno = errno;
  for (Slot& slot : pending.slots) {
    if (slot.armed.load()) ::unlink(slot.path);
  }
  // The signal stays blocked until this handler returns; raised again, it then takes the
  // course it had before: the end of the program, or whatever the earlier handler does.
  ::sigaction(signal, &pending.earlier[signal_index(signal)], nullptr);
  ::raise(signal);
  errno = saved_errno;
}

// Called with the mutex held, when the first file is registered.
void install_handlers() {
  for (int i = 0; i < kSignalCount; ++i) {
    pending.handled[i] = false;
    if (::sigaction(kSignals[i], nullptr, &pending.earlier[i]) != 0) continue;
    // A signal the program was started to ignore (a background job's interrupt) stays ignored.
    if (!(pending.earlier[i].sa_flags & SA_SIGINFO) && pending.earlier[i].sa_handler == SIG_IGN) continue;
    struct sigaction ours = {};
    ours.sa_handler = remove_pending_files;
    sigemptyset(&ours.sa_mask);
    for (int other : kSignals) sigaddset(&ours.sa_mask, other);
    pending.handled[i] = ::sigaction(kSignals[i], &ours, nullptr) == 0;
  }
}

// Called with the mutex held, when the last file is released.
void restore_handlers() {
  for (int i = 0; i < kSignalCount; ++i) {
    if (pending.handled[i]) ::sigaction(kSignals[i], &pending.earlier[i], nullptr);
    pending.handled[i] = false;
  }
}

}  // namespace

RemovedOnSignal::RemovedOnSignal(const std::filesystem::path& path) {
  const std::string& name = path.native();
  if (name.size() >= kPathBytes) return;  // the file cannot be created either
  std::unique_lock<std::mutex> lock(pending.mutex);
  pending.freed.wait(lock, [] { return pending.active < kSlots; });
  int slot = 0;
  while (pending.taken[slot]) ++slot;
  pending.taken[slot] = true;
  if (pending.active++ == 0) install_handlers();
  Slot& s = pending.slots[slot];
  std::memcpy(s.path, name.c_str(), name.size() + 1);
  s.armed.store(true);
  slot_ = slot;
}

RemovedOnSignal::~RemovedOnSignal() {
  if (slot_ < 0) return;
  pending.slots[slot_].armed.store(false);
  std::lock_guard<std::mutex> lock(pending.mutex);
  pending.taken[slot_] = false;
  if (--pending.active == 0) restore_handlers();
  pending.freed.notify_one();
}

}  // namespace oskev::analysis

#endif  // _WIN32
