#include "analysis/program/platform.hpp"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace oskev::analysis {

namespace {

// The name with the links, "." and ".." of its folders resolved, as far as they exist.
std::filesystem::path resolved_name(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path name = std::filesystem::weakly_canonical(path, error);
  if (error) name = std::filesystem::absolute(path, error).lexically_normal();
  return name;
}

}  // namespace

std::string with_line_ends(std::string_view text, std::string_view line_end) {
  if (line_end == "\n") return std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') {
      out += line_end;
    } else {
      out += c;
    }
  }
  return out;
}

std::filesystem::path path_from_utf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string utf8_name(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

#ifdef _WIN32

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string utf8_from_wide(const wchar_t* wide) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(size - 1));  // without the terminating NUL
  return text;
}

}  // namespace

std::string file_identity(const std::filesystem::path& path) {
  std::string name = utf8_name(path);
  for (char& c : name) c = c == '\\' ? '/' : lower(c);
  return name;
}

std::string resolved_identity(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path name = resolved_name(path);
  const std::filesystem::file_status status = std::filesystem::status(name, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return {};
  if (names_a_device(utf8_name(name.filename()))) return {};
  return file_identity(name);
}

std::string standard_input_identity() { return {}; }

bool names_a_device(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  for (char& c : stem) c = lower(c);
  for (const char* device : {"con", "prn", "aux", "nul"}) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' &&
         stem[3] <= '9';
}

std::vector<std::string> command_line_arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(utf8_from_wide(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

bool standard_error_is_terminal() {
  // A console, not merely a character device: NUL is one of those too.
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void report_closed_pipes_as_write_failures() {}

Utf8Console::Utf8Console() : previous_(::GetConsoleOutputCP()) {
  if (previous_ != 0) ::SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console() {
  if (previous_ != 0) ::SetConsoleOutputCP(previous_);
}

#else

std::string file_identity(const std::filesystem::path& path) { return path.string(); }

bool names_a_device(std::string_view) { return false; }

namespace {

std::string identity_of(const struct stat& file) {
  return "#" + std::to_string(file.st_dev) + ":" + std::to_string(file.st_ino);
}

}  // namespace

std::string resolved_identity(const std::filesystem::path& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0 && ::stat(resolved_name(path).c_str(), &file) != 0) {
    return resolved_name(path).string();  // still to be made
  }
  return S_ISREG(file.st_mode) ? identity_of(file) : std::string();
}

std::string standard_input_identity() {
  struct stat file {};
  return ::fstat(STDIN_FILENO, &file) == 0 && S_ISREG(file.st_mode) ? identity_of(file) : std::string();
}

std::vector<std::string> command_line_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool standard_error_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

void report_closed_pipes_as_write_failures() { ::signal(SIGPIPE, SIG_IGN); }

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

#endif

}  // namespace oskev::analysis
