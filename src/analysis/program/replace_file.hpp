#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "analysis/program/removal_on_signal.hpp"

namespace oskev::analysis {

// A results file written in full beside the file it is to replace, and put in its place only
// when asked, so that a reader never sees a half-written file and a failed run leaves an
// earlier file untouched.
//
// The text goes to a new file in the same folder, created under a name no one can guess and
// only if nothing (no file, no link) has that name yet, so a link planted there is never
// followed; the file is flushed to disk before it is renamed over the target, and the folder
// after it. Until then it is removed when the object dies, on every failure, and on an
// interrupt, hang-up, quit or termination request. The new file keeps the permissions of the
// file it replaces (and its owner, where the system lets the run give it away). A device or
// pipe such as /dev/null, or a link to a descriptor such as /dev/stdout, is not replaced but
// written to, at commit.
//
// Every failure stops the run (exit status 4) with "cannot write NAME: why", NAME being the
// file as the user named it (made safe to show, and cut short when long).
class StagedFile {
 public:
  StagedFile(const std::filesystem::path& path, const std::string& text, const std::string& shown_name);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Puts the text in place of the file. Called at most once.
  void commit();

  // The temporary file while it exists (for tests).
  const std::optional<std::filesystem::path>& temporary() const noexcept { return temporary_; }

 private:
  [[noreturn]] void fail(const std::string& why);
  void remove_temporary() noexcept;

  std::filesystem::path path_;
  std::string shown_;
  std::optional<std::string> device_text_;  // text for a device, written at commit
  std::optional<std::filesystem::path> temporary_;
  std::optional<RemovedOnSignal> removal_;
};

// Replaces `path` with `text` at once (a StagedFile committed). The name shown in a failure
// is `shown_name`, by default the file's name (the whole path when it has none).
void replace_file(const std::filesystem::path& path, const std::string& text);
void replace_file(const std::filesystem::path& path, const std::string& text, const std::string& shown_name);

// Creates `path` as a new, empty plain file, only if nothing at all (no file, no link, not even
// one that leads nowhere) has that name, so never through a link. Returns 0, or the errno of
// the failure (EEXIST when the name is taken).
int create_empty_file(const std::filesystem::path& path);

// Stops the run as a failed write would if `path` cannot be replaced: a name that is a folder
// or ends in one, a folder that does not exist, or one that takes no new file (tried by
// creating one and removing it again). Lets a run refuse a file before it does its work.
void check_replaceable(const std::filesystem::path& path, const std::string& shown_name);

}  // namespace oskev::analysis
