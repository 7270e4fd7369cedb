#pragma once

#include <filesystem>
#include <string>

namespace oskev::analysis {

// Replaces `path` with `text` as a whole: the text goes to a temporary file in the same
// folder, which is then renamed over `path`, so a reader never sees a half-written file and a
// failed write leaves an earlier file untouched. A device or pipe such as /dev/null is written
// to instead, never replaced. A failure stops the run (exit status 4).
void replace_file(const std::filesystem::path& path, const std::string& text);

}  // namespace oskev::analysis
