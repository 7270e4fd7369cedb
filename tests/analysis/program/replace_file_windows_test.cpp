// The replacement of a results file as Windows does it: a new file created exclusively
// beside the target, and MoveFileExW putting it in the target's place, an existing file
// replaced whole; a failure leaves the earlier file as it was and nothing beside it. NUL,
// the null device, is written to and never replaced.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "analysis/program/platform.hpp"
#include "analysis/program/program.hpp"
#include "analysis/program/replace_file.hpp"
#include "errors/run_stopped.hpp"
#include "support/run_harness.hpp"

namespace oskev::analysis {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(utf8_name(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

std::string stop_report(const std::function<void()>& action) {
  try {
    action();
  } catch (const errors::RunStopped& stop) {
    EXPECT_EQ(stop.exit_status(), errors::kExitOutputError);
    return stop.report();
  }
  return "no stop";
}

TEST(ReplaceFileOnWindows, AnExistingFileIsReplacedWhole) {
  ScratchFolder folder;
  const fs::path path = folder.path() / "output.txt";
  write_file(path, std::string(10000, 'x'));
  replace_file(path, "new\r\n");
  EXPECT_EQ(read_file(path), "new\r\n");
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"output.txt"});
}

TEST(ReplaceFileOnWindows, ANameOutsideTheAnsiCodePage) {
  ScratchFolder folder;
  const std::string name = "r\xC3\xA9sultat-\xCE\xA9.txt";  // résultat-Ω.txt
  write_file(folder.path() / path_from_utf8(name), "earlier");
  StagedFile staged(folder.path() / path_from_utf8(name), "new", name);
  ASSERT_TRUE(staged.temporary());
  EXPECT_EQ(utf8_name(staged.temporary()->filename()).rfind(name + ".", 0), 0u);
  staged.commit();
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{name});
  EXPECT_EQ(read_file(folder.path() / path_from_utf8(name)), "new");
}

TEST(ReplaceFileOnWindows, FailuresNameTheFileAndLeaveNothing) {
  ScratchFolder folder;
  const fs::path base = folder.path();
  fs::create_directory(base / "plots");
  EXPECT_EQ(stop_report([&] { replace_file(base / "plots", "x", "plots"); }).rfind("cannot write plots: ", 0), 0u);
  EXPECT_EQ(stop_report([&] { replace_file(base / "none" / "q.svg", "x", "none\\q.svg"); })
                .rfind("cannot write none\\q.svg: ", 0),
            0u);
  EXPECT_EQ(names_in(base), std::vector<std::string>{"plots"});
  EXPECT_TRUE(fs::is_empty(base / "plots"));
}

TEST(ReplaceFileOnWindows, TheNullDeviceIsWrittenToNeverReplaced) {
  for (const char* name : {"NUL", "nul", "nul.svg"}) {
    StagedFile staged(name, "text\r\n", name);
    EXPECT_FALSE(staged.temporary()) << "a device needs no temporary file";
    EXPECT_EQ(stop_report([&] { staged.commit(); }), "no stop") << name;
    EXPECT_EQ(stop_report([&] { check_replaceable(name, name); }), "no stop") << name;
  }
  // The results of `analyse` sent to NUL, as /dev/null elsewhere.
  ScratchFolder folder;
  write_file(folder.path() / "s.txt", "15 120 25 118\n0 54 3 60\n");
  std::istringstream in;
  std::ostringstream out, err;
  random::FixedClock clock;
  const RunEnvironment environment{in, out, err, folder.path(), clock};
  EXPECT_EQ(program_main(Variant::kOskev, {"analyse", "-r", "20", "--seed", "3", "-o", "NUL", "s.txt"}, environment), 0)
      << err.str();
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"s.txt"});
}

}  // namespace
}  // namespace oskev::analysis

#endif  // _WIN32
