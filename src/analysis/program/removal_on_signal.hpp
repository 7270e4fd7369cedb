#pragma once

#include <filesystem>

namespace oskev::analysis {

// While an object of this class lives, an interrupt (SIGINT), a termination request
// (SIGTERM), a hang-up (SIGHUP, the terminal closed) or a quit (SIGQUIT) first removes the
// file it names and then takes the course it would have taken anyway: the program still ends
// by that signal, a signal that was ignored stays ignored. Outside such a lifetime nothing
// about these signals is changed. (On Windows the console's events: see
// removal_on_signal_windows.cpp.) Used for the temporary
// file of a results file, from just before it is created until it is renamed or removed, so
// that stopping a run never leaves it behind. Objects may live in several threads at once.
class RemovedOnSignal {
 public:
  explicit RemovedOnSignal(const std::filesystem::path& path);
  ~RemovedOnSignal();
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

 private:
  int slot_ = -1;
};

}  // namespace oskev::analysis
