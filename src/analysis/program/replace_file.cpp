#include "analysis/program/replace_file.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <unistd.h>

#include "errors/run_stopped.hpp"

namespace oskev::analysis {

void replace_file(const std::filesystem::path& path, const std::string& text) {
  namespace fs = std::filesystem;
  std::error_code kind_error;
  const fs::file_status status = fs::status(path, kind_error);
  if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status)) {
    // A device or a pipe (/dev/null, /dev/stdout, a named pipe) is written to, never replaced:
    // renaming over it would put a plain file in its place.
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.flush();
    if (!out) {
      throw errors::RunStopped(errors::kExitOutputError,
                               "cannot write " + path.filename().string() + ": " + std::strerror(errno));
    }
    return;
  }
  const fs::path temporary = path.parent_path() / (path.filename().string() + ".tmp." + std::to_string(::getpid()));
  auto fail = [&](const std::string& why) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw errors::RunStopped(errors::kExitOutputError, "cannot write " + path.filename().string() + ": " + why);
  };
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) fail(std::strerror(errno));
    out << text;
    out.close();  // a full disk may show only when the file is closed
    if (out.fail()) fail(std::strerror(errno));
  }
  std::error_code error;
  fs::rename(temporary, path, error);
  if (error) fail(error.message());
}

}  // namespace oskev::analysis
