// The safe replacement of a results file: the temporary file beside it is created new under a
// name no one can guess, never through a link, flushed before it takes the file's place, and
// removed on every failure and on an interrupt or termination request.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>

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
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The report of the stop that `action` ends with, or "no stop".
template <typename Action>
std::string stop_report(Action action) {
  try {
    action();
  } catch (const errors::RunStopped& stop) {
    EXPECT_EQ(stop.exit_status(), errors::kExitOutputError);
    return stop.report();
  }
  return "no stop";
}

TEST(StagedFile, TheTemporaryFileHasAnUnguessableNameBesideTheFile) {
  ScratchFolder folder;
  const fs::path path = folder.path() / "output.txt";
  StagedFile first(path, "one\n", "output.txt");
  StagedFile second(path, "two\n", "output.txt");
  ASSERT_TRUE(first.temporary() && second.temporary());
  const std::string name = first.temporary()->filename().string();
  EXPECT_EQ(first.temporary()->parent_path(), folder.path());
  ASSERT_EQ(name.size(), std::string("output.txt.").size() + 16 + std::string(".tmp").size()) << name;
  EXPECT_EQ(name.rfind("output.txt.", 0), 0u);
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  for (char c : name.substr(11, 16)) EXPECT_TRUE(std::isdigit(c) || std::islower(c)) << name;
  EXPECT_NE(*first.temporary(), *second.temporary());
  EXPECT_EQ(read_file(*first.temporary()), "one\n");
  EXPECT_FALSE(fs::exists(path)) << "nothing takes the file's place before the commit";
}

// A name so long that the usual temporary name would pass the file system's 255 bytes gets a
// short one beside it, so every name the file system takes can be written.
TEST(StagedFile, NamesUpToTheLongestTheFileSystemTakesCanBeWritten) {
#ifdef _WIN32
  GTEST_SKIP() << "a path beyond 260 characters needs the long-path setting on Windows";
#endif
  ScratchFolder folder;
  for (const std::size_t length : {234u, 235u, 250u, 255u}) {
    const std::string name = std::string(length - 4, 'p') + ".svg";
    const fs::path path = folder.path() / name;
    {
      StagedFile staged(path, "picture\n", name);
      ASSERT_TRUE(staged.temporary());
      EXPECT_LE(staged.temporary()->filename().string().size(), 255u);
      EXPECT_EQ(staged.temporary()->parent_path(), folder.path());
      staged.commit();
    }
    EXPECT_EQ(read_file(path), "picture\n") << length;
    EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{name});
    fs::remove(path);
  }
}

TEST(StagedFile, WithoutACommitNothingIsLeftAndTheOldFileStays) {
  ScratchFolder folder;
  const fs::path path = folder.path() / "output.txt";
  write_file(path, "earlier\n");
  { StagedFile staged(path, "new\n", "output.txt"); }
  EXPECT_EQ(read_file(path), "earlier\n");
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"output.txt"});
}

#ifndef _WIN32  // POSIX permissions; Windows files have none of these bits
TEST(StagedFile, TheNewFileHasTheUsualPermissionsOfANewFile) {
  ScratchFolder folder;
  const fs::path path = folder.path() / "output.txt";
  const mode_t mask = ::umask(022);
  replace_file(path, "new\n");
  ::umask(mask);
  struct stat kind {};
  ASSERT_EQ(::lstat(path.c_str(), &kind), 0);
  EXPECT_TRUE(S_ISREG(kind.st_mode));
  EXPECT_EQ(kind.st_mode & 0777, 0644u);
}

#endif

#ifndef _WIN32  // POSIX messages and /dev/full; Windows has tests of its own below
TEST(StagedFile, FailuresNameTheFileAsTheUserNamedItAndLeaveNothing) {
  ScratchFolder folder;
  const fs::path base = folder.path();
  fs::create_directory(base / "plots");
  write_file(base / "study.txt", "1 2 3 4\n");
  EXPECT_EQ(stop_report([&] { replace_file(base / "plots", "x", "plots"); }), "cannot write plots: Is a directory");
  EXPECT_EQ(stop_report([&] { replace_file(base / "study.txt/", "x", "study.txt/"); }),
            "cannot write study.txt/: it names a folder, not a file");
  EXPECT_EQ(stop_report([&] { replace_file(base / "none" / "q.svg", "x", "none/q.svg"); }),
            "cannot write none/q.svg: No such file or directory");
  EXPECT_EQ(stop_report([&] { replace_file(base / "study.txt" / "q.svg", "x", "study.txt/q.svg"); }),
            "cannot write study.txt/q.svg: Not a directory");
  // Without a name of its own to show, the file's name, or the whole path when it has none.
  EXPECT_EQ(stop_report([&] { replace_file(base / "plots", "x"); }), "cannot write plots: Is a directory");
  EXPECT_EQ(stop_report([&] { replace_file(base / "study.txt/", "x"); }),
            "cannot write " + (base / "study.txt/").string() + ": it names a folder, not a file");
  EXPECT_EQ(names_in(base), (std::vector<std::string>{"plots", "study.txt"}));
  EXPECT_TRUE(fs::is_empty(base / "plots"));
  EXPECT_EQ(read_file(base / "study.txt"), "1 2 3 4\n");
}

// A name in a message is cut short and shows no control character: one short line that cannot
// steer the terminal.
TEST(StagedFile, TheNameInAFailureIsBoundedAndSafe) {
  ScratchFolder folder;
  const std::string long_name = "none/" + std::string(10000, 'q') + ".svg";
  const std::string report = stop_report([&] { replace_file(folder.path() / "none" / "q.svg", "x", long_name); });
  EXPECT_EQ(report, "cannot write none/" + std::string(34, 'q') + "..." + std::string(34, 'q') +
                        ".svg: No such file or directory");
  EXPECT_EQ(stop_report([&] { check_replaceable(folder.path() / "none" / "q.svg", "\x1b]0;x\x07/q\xE2\x80\xAE.svg"); }),
            "cannot write ?]0;x?/q?.svg: the folder ?]0;x? does not exist");
}

// The earlier file's permissions, less set-user-ID and set-group-ID, go to the new file; it is
// never more open than the earlier one, not even while it is written.
TEST(StagedFile, TheNewFileKeepsTheEarlierFilesPermissions) {
  ScratchFolder folder;
  const fs::path path = folder.path() / "output.txt";
  for (const mode_t mode : {0600u, 0640u, 0664u, 0400u, 06755u}) {
    write_file(path, "earlier\n");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    StagedFile staged(path, "new\n", "output.txt");
    struct stat kind {};
    ASSERT_EQ(::stat(staged.temporary()->c_str(), &kind), 0);
    EXPECT_EQ(kind.st_mode & 07777, mode & 0777) << std::oct << mode;
    staged.commit();
    ASSERT_EQ(::stat(path.c_str(), &kind), 0);
    EXPECT_EQ(kind.st_mode & 07777, mode & 0777) << std::oct << mode;
    EXPECT_EQ(read_file(path), "new\n");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  }
}

TEST(StagedFile, ADeviceIsWrittenAtTheCommitAndItsFailureReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ScratchFolder folder;
  fs::create_symlink("/dev/full", folder.path() / "sink");
  StagedFile staged(folder.path() / "sink", "text\n", "sink");
  EXPECT_FALSE(staged.temporary()) << "a device needs no temporary file";
  EXPECT_EQ(stop_report([&] { staged.commit(); }), "cannot write sink: No space left on device");
  EXPECT_TRUE(fs::is_symlink(folder.path() / "sink"));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"sink"});
}

#endif

TEST(CheckReplaceable, RefusesWhatCannotBeWrittenAndNamesIt) {
  ScratchFolder folder;
  const fs::path base = folder.path();
  fs::create_directory(base / "plots");
  write_file(base / "study.txt", "1 2 3 4\n");
  const struct {
    const char* name;
    const char* report;  // empty: accepted
  } cases[] = {
      {"missing/q.svg", "cannot write missing/q.svg: the folder missing does not exist"},
      {"plots/deeper/q.svg", "cannot write plots/deeper/q.svg: the folder plots/deeper does not exist"},
      {"plots", "cannot write plots: it is a folder"},
      {"plots/", "cannot write plots/: it names a folder, not a file"},
      {"plots/.", "cannot write plots/.: it names a folder, not a file"},
      {"plots/..", "cannot write plots/..: it names a folder, not a file"},
      {"study.txt/", "cannot write study.txt/: it names a folder, not a file"},
      {"study.txt/q.svg", "cannot write study.txt/q.svg: study.txt is not a folder"},
      {"q.svg", ""},
      {"plots/q.svg", ""},
      {"study.txt", ""},  // an existing file can be replaced (the run refuses its own files itself)
  };
  for (const auto& c : cases) {
    const std::string report = stop_report([&] { check_replaceable(base / c.name, c.name); });
    EXPECT_EQ(report, *c.report ? c.report : "no stop") << c.name;
  }
  // A name without a folder of its own shows the folder it is in.
  EXPECT_EQ(stop_report([&] { check_replaceable(base / "missing" / "q.svg", "q.svg"); }),
            "cannot write q.svg: the folder " + (base / "missing").string() + " does not exist");
  if (fs::exists("/dev/null")) {
    EXPECT_EQ(stop_report([] { check_replaceable("/dev/null", "/dev/null"); }), "no stop");
  }
  // The trial file is gone again, and nothing was changed.
  EXPECT_EQ(names_in(base), (std::vector<std::string>{"plots", "study.txt"}));
  EXPECT_TRUE(fs::is_empty(base / "plots"));
  EXPECT_EQ(read_file(base / "study.txt"), "1 2 3 4\n");
}

#ifndef _WIN32  // POSIX signals; Windows has console events instead
// The signals' course: the temporary file goes, the program still ends by the signal.
class StagedFileOnSignal : public ::testing::TestWithParam<int> {};

TEST_P(StagedFileOnSignal, RemovesTheTemporaryFileAndEndsByTheSignal) {
  // Forked as it is, so that the child works in this very scratch folder.
  GTEST_FLAG_SET(death_test_style, "fast");
  ScratchFolder folder;
  const fs::path path = folder.path() / "output.txt";
  write_file(path, "earlier\n");
  const int signal = GetParam();
  EXPECT_EXIT(
      {
        StagedFile staged(path, "new\n", "output.txt");
        if (!staged.temporary() || !fs::exists(*staged.temporary())) std::_Exit(3);
        std::raise(signal);
        std::_Exit(4);  // not reached: the signal ends the program
      },
      ::testing::KilledBySignal(signal), "");
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"output.txt"});
  EXPECT_EQ(read_file(path), "earlier\n");
}

INSTANTIATE_TEST_SUITE_P(InterruptAndTerminate, StagedFileOnSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

TEST(StagedFileSignals, AnIgnoredInterruptStaysIgnored) {
  // Forked as it is, so that the child works in this very scratch folder.
  GTEST_FLAG_SET(death_test_style, "fast");
  ScratchFolder folder;
  const fs::path path = folder.path() / "output.txt";
  EXPECT_EXIT(
      {
        std::signal(SIGINT, SIG_IGN);
        StagedFile staged(path, "new\n", "output.txt");
        std::raise(SIGINT);
        staged.commit();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file(path), "new\n");
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"output.txt"});
}

volatile std::sig_atomic_t handled_signal = 0;
extern "C" void note_signal(int signal) { handled_signal = signal; }

// An earlier handler keeps its signal: it is called after the file is removed, and is back in
// place once no temporary file is left.
TEST(StagedFileSignals, AnEarlierHandlerIsCalledAndRestored) {
  ScratchFolder folder;
  const fs::path path = folder.path() / "output.txt";
  struct sigaction own = {}, before = {}, during = {}, after = {};
  own.sa_handler = note_signal;
  sigemptyset(&own.sa_mask);
  ASSERT_EQ(::sigaction(SIGTERM, &own, &before), 0);
  handled_signal = 0;
  {
    StagedFile staged(path, "new\n", "output.txt");
    ::sigaction(SIGTERM, nullptr, &during);
    EXPECT_NE(during.sa_handler, note_signal) << "the removal comes first";
    const fs::path temporary = *staged.temporary();
    std::raise(SIGTERM);
    EXPECT_EQ(handled_signal, SIGTERM);
    EXPECT_FALSE(fs::exists(temporary));
    // The program went on, but its file is gone: the commit fails and says so.
    EXPECT_EQ(stop_report([&] { staged.commit(); }).rfind("cannot write output.txt: ", 0), 0u);
  }
  ::sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, note_signal);
  {
    // The next file takes the signal over again, and hands it back.
    StagedFile staged(path, "new\n", "output.txt");
    ::sigaction(SIGTERM, nullptr, &during);
    EXPECT_NE(during.sa_handler, note_signal);
    staged.commit();
  }
  ::sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, note_signal);
  EXPECT_EQ(read_file(path), "new\n");
  ::sigaction(SIGTERM, &before, nullptr);
  EXPECT_EQ(names_in(folder.path()), std::vector<std::string>{"output.txt"});
}

#endif

}  // namespace
}  // namespace oskev::analysis
