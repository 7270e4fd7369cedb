#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace oskev::analysis {

// What a console program meets of its operating system, apart from the files themselves.
//
// Line ends: the text written for people, on the console and in output.txt and the results
// files of `analyse`, ends its lines as the system's own tools expect: CR LF on Windows (the
// C library's text mode does so on the console), LF elsewhere. The SVG pictures keep LF on
// every system: they are read by browsers, and are then the same bytes everywhere.
#ifdef _WIN32
inline constexpr std::string_view kNativeLineEnd = "\r\n";
#else
inline constexpr std::string_view kNativeLineEnd = "\n";
#endif

// `text`, whose lines end in LF, with every LF written as `line_end`.
std::string with_line_ends(std::string_view text, std::string_view line_end);

// File names are UTF-8 inside the programs, whatever the system's own code page: arguments
// arrive so, names are made from UTF-8 tables (an analysis's name in a picture's name), and
// messages show them so. These convert to and from the file system's own names (UTF-16 on
// Windows; the same bytes elsewhere).
std::filesystem::path path_from_utf8(std::string_view name);
std::string utf8_name(const std::filesystem::path& path);

// The name under which the file system tells one file from another: on Windows, where
// names differ not by the case of their letters, folded to lower case (ASCII letters, the
// only ones the programs put into names of their own making); elsewhere the name itself.
std::string file_identity(const std::filesystem::path& path);

// The file a name reaches, for telling whether two names are one file: for a plain file that
// exists, its device and number (every link followed: "in.csv", "./in.csv" and a link to it
// are one file; on Windows, without such numbers, its full name as the file system compares
// names); for one still to be made, the same of the name with its folders' links, "." and
// ".." resolved ("c/1/../x.svg" is "c/x.svg"). Empty for a device, a pipe or a folder: writing
// to one twice overwrites no file.
std::string resolved_identity(const std::filesystem::path& path);

// Standard input's file in the same terms when it is a plain file (`- < in.csv`); else empty.
std::string standard_input_identity();

// Whether a file name, up to its first dot, names a device of the system instead of a file:
// on Windows CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, in any case ("nul.svg"
// is the null device there); elsewhere no name does.
bool names_a_device(std::string_view name);

// The arguments after the program's name, in UTF-8. On Windows they are read again from the
// wide command line, since argv holds them in the ANSI code page, where characters outside
// it are lost.
std::vector<std::string> command_line_arguments(int argc, char** argv);

// Whether a person watches standard error (a terminal, or a console window).
bool standard_error_is_terminal();

// A write to a pipe whose reader has gone (`oskev ... | head -c 10`) fails as any other write
// does (EPIPE), so the run reports "cannot write to standard output" and ends with status 4,
// instead of being killed by SIGPIPE without a word. For the process's own entry only: it
// sets the process's disposition of SIGPIPE to ignore. Windows has no such signal (a write to
// a closed pipe fails there anyway).
void report_closed_pipes_as_write_failures();

// While it lives, a Windows console shows the programs' UTF-8 output as such, and gets its
// own code page back afterwards; elsewhere it does nothing.
class Utf8Console {
 public:
  Utf8Console();
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  [[maybe_unused]] unsigned int previous_ = 0;  // the console's code page before
};

}  // namespace oskev::analysis
