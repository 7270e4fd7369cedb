// The built programs run as the user runs them, for what only a real process shows: standard
// output on a full device or a closed pipe, a link planted at a name that depends on the
// process number, signals while the results file is being written, links to standard output
// as results files, the permissions of a replaced file, and the folder flushed after a rename. Skipped where the programs
// were not built beside the tests. POSIX processes and devices; on Windows the built programs
// are run by tests/programs/run_example.cmake.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/run_harness.hpp"

namespace oskev::testing {
namespace {

namespace fs = std::filesystem;

const char* const kStudy = "15 120 25 118\n0 54 3 60\n";
const char* const kAnswers = "2\n200\n0.5\n0.5\n1\n";
const char* const kEarlier = "an earlier result\n";

fs::path built(const char* name) {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path() / name;
}

struct Launch {
  fs::path program;
  std::vector<std::string> arguments = {};
  fs::path folder = {};
  fs::path out = "/dev/null";            // standard output
  std::string plant_link_at_pid_suffix = {};  // if set, a link to "victim" named this plus the process number
  int out_descriptor = -1;               // if set, standard output instead of `out`
  std::vector<std::string> wrapper = {};  // a program that runs the program (strace ...)
};

// Starts the program in its folder, answers from answers.txt there, standard error to
// stderr.txt there. Between fork and exec only async-signal-safe calls are made.
pid_t start(const Launch& launch) {
  std::vector<std::string> strings = launch.wrapper;
  strings.push_back(launch.program.string());
  strings.insert(strings.end(), launch.arguments.begin(), launch.arguments.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  const std::string folder = launch.folder.string(), out = launch.out.string();
  const std::string link_stem = launch.plant_link_at_pid_suffix;
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  // The program meets the signals as a shell starts it, whatever this process does with them,
  // and a quit leaves no core file.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) ::signal(signal, SIG_DFL);
  const rlimit no_core{0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  if (::chdir(folder.c_str()) != 0) ::_exit(120);
  if (!link_stem.empty()) {
    // The process number is known only here: the name the old temporary file took.
    char name[256];
    std::size_t n = 0;
    for (char c : link_stem) name[n++] = c;
    char digits[16];
    int d = 0;
    for (pid_t p = ::getpid(); p > 0; p /= 10) digits[d++] = static_cast<char>('0' + p % 10);
    while (d > 0) name[n++] = digits[--d];
    name[n] = '\0';
    if (::symlink("victim", name) != 0) ::_exit(121);
  }
  const int in = ::open("answers.txt", O_RDONLY);
  const int output = launch.out_descriptor >= 0 ? launch.out_descriptor : ::open(out.c_str(), O_WRONLY);
  const int errors = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || output < 0 || errors < 0) ::_exit(122);
  ::dup2(in, 0);
  ::dup2(output, 1);
  ::dup2(errors, 2);
  if (launch.wrapper.empty()) {
    ::execv(argv[0], argv.data());
  } else {
    ::execvp(argv[0], argv.data());
  }
  ::_exit(123);
}

int wait_for(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

class BuiltProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    oskev_ = built("oskev");
    if (oskev_.empty() || !fs::exists(oskev_)) GTEST_SKIP() << "the programs are not built beside the tests";
    write_file(folder_.path() / "study.txt", kStudy);
    write_file(folder_.path() / "answers.txt", kAnswers);
    write_file(folder_.path() / "output.txt", kEarlier);
  }
  std::string errors() const { return read_file(folder_.path() / "stderr.txt"); }
  std::vector<std::string> names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchFolder folder_;
  fs::path oskev_;
};

TEST_F(BuiltProgram, StandardOutputOnAFullDeviceIsAFailedRun) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const struct {
    const char* program;
    std::vector<std::string> arguments;
    const char* report;
  } cases[] = {
      {"oskev", {"--seed", "5"}, "oskev: cannot write to standard output\n"},
      {"oskev-v1.0", {"--seed", "5"}, "oskev-v1.0: cannot write to standard output\n"},
      {"oskev", {"--help"}, "oskev: cannot write to standard output\n"},
      {"oskev-v1.0", {"--version"}, "oskev-v1.0: cannot write to standard output\n"},
      {"oskev",
       {"analyse", "-r", "20", "--seed", "5", "study.txt"},
       "oskev analyse: cannot write to standard output\n"},
      {"oskev", {"analyse", "--help"}, "oskev analyse: cannot write to standard output\n"},
  };
  for (const auto& c : cases) {
    if (!fs::exists(built(c.program))) continue;
    const int status = wait_for(start({built(c.program), c.arguments, folder_.path(), "/dev/full", ""}));
    ASSERT_TRUE(WIFEXITED(status)) << c.program;
    EXPECT_EQ(WEXITSTATUS(status), 4) << c.program << " " << c.arguments.front();
    EXPECT_EQ(errors(), c.report);
    EXPECT_EQ(read_file(folder_.path() / "output.txt"), kEarlier);
  }
}

TEST_F(BuiltProgram, ALinkPlantedAtTheOldTemporaryNameIsNeverFollowed) {
  write_file(folder_.path() / "victim", "the victim's own text\n");
  const int status = wait_for(start({oskev_, {"--seed", "5"}, folder_.path(), "/dev/null", "output.txt.tmp."}));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << errors();
  EXPECT_EQ(read_file(folder_.path() / "victim"), "the victim's own text\n");
  EXPECT_FALSE(fs::is_symlink(folder_.path() / "output.txt"));
  EXPECT_EQ(read_file(folder_.path() / "output.txt").rfind(" Type of extreme homogeneity estimation: \n", 0), 0u);
  EXPECT_EQ(names().size(), 6u) << "answers, output, the link, stderr, study, victim";
}

// The picture is a named pipe with a reader that takes nothing: the program, writing it at the
// very end, waits there with output.txt's temporary file complete beside it. Ended then by a
// termination request, a hang-up (the terminal closed) or a quit, it ends by that signal and
// leaves no temporary file; output.txt is the earlier one.
TEST_F(BuiltProgram, EndedWhileWritingLeavesNoTemporaryFile) {
  const fs::path pipe = folder_.path() / "q.svg";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  for (const int signal : {SIGTERM, SIGHUP, SIGQUIT}) {
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
#ifdef F_SETPIPE_SZ
    // One page holds less than any picture, so the writer cannot finish.
    if (::fcntl(reader, F_SETPIPE_SZ, 4096) < 0) {
      ::close(reader);
      GTEST_SKIP() << "the pipe's size cannot be set";
    }
#else
    ::close(reader);
    GTEST_SKIP() << "the pipe's size cannot be set";
#endif
    const pid_t pid = start({oskev_, {"--seed", "5", "--plot", "q.svg"}, folder_.path(), "/dev/null", ""});
    // Waits for the picture's first bytes: then output.txt's temporary file is written.
    bool started = false, ended = false;
    while (!started && !ended) {
      pollfd ready{reader, POLLIN, 0};
      started = ::poll(&ready, 1, 100) > 0 && (ready.revents & POLLIN);
      int status = 0;
      ended = !started && ::waitpid(pid, &status, WNOHANG) == pid;
    }
    ASSERT_TRUE(started) << "the program ended before it wrote the picture: " << errors();
    bool temporary = false;
    for (const std::string& name : names()) temporary = temporary || name.rfind("output.txt.", 0) == 0;
    EXPECT_TRUE(temporary) << "output.txt's temporary file is there while the picture is written";
    ASSERT_EQ(::kill(pid, signal), 0);
    const int status = wait_for(pid);
    ::close(reader);
    ASSERT_TRUE(WIFSIGNALED(status)) << signal;
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(names(), (std::vector<std::string>{"answers.txt", "output.txt", "q.svg", "stderr.txt", "study.txt"}))
        << signal;
    EXPECT_EQ(read_file(folder_.path() / "output.txt"), kEarlier);
  }
}

// Standard output a pipe whose reader has gone (`oskev | head -c 10`): a failed write like any
// other, reported, status 4; not a silent death by SIGPIPE (status 141 in a shell).
TEST_F(BuiltProgram, AClosedPipeAsStandardOutputIsAFailedRun) {
  const struct {
    std::vector<std::string> arguments;
    const char* report;
  } cases[] = {
      {{"--seed", "5"}, "oskev: cannot write to standard output\n"},
      {{"--help"}, "oskev: cannot write to standard output\n"},
      {{"analyse", "-r", "20", "--seed", "5", "study.txt"}, "oskev analyse: cannot write to standard output\n"},
  };
  for (const auto& c : cases) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);  // no reader
    Launch launch{oskev_, c.arguments, folder_.path()};
    launch.out_descriptor = ends[1];
    const int status = wait_for(start(launch));
    ::close(ends[1]);
    ASSERT_TRUE(WIFEXITED(status)) << c.arguments.front() << " ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 4) << c.arguments.front();
    EXPECT_EQ(errors(), c.report);
    EXPECT_EQ(read_file(folder_.path() / "output.txt"), kEarlier);
  }
}

// A results file named by a link to standard output (/proc/self/fd/1, /dev/stdout, /dev/fd/1)
// is written through to whatever standard output is, here a plain file; the link is never
// replaced.
TEST_F(BuiltProgram, ResultsToALinkToStandardOutputReachIt) {
  std::error_code error;
  fs::create_symlink("/dev/stdout", folder_.path() / "to-stdout", error);
  fs::create_symlink("/dev/fd/1", folder_.path() / "to-fd-1", error);
  if (error || !fs::exists("/proc/self/fd/1")) GTEST_SKIP() << "no links to descriptors here";
  const fs::path out = folder_.path() / "stdout.txt";
  const std::vector<std::string> analyse = {"analyse", "-r", "20", "--seed", "5", "-f", "csv", "study.txt"};
  std::string expected;
  {
    write_file(out, "");
    const int status = wait_for(start({oskev_, analyse, folder_.path(), out, ""}));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << errors();
    expected = read_file(out);
    ASSERT_EQ(expected.rfind("source,name,", 0), 0u);
  }
  for (const char* name : {"/proc/self/fd/1", "to-stdout", "to-fd-1"}) {
    write_file(out, "");
    std::vector<std::string> arguments = analyse;
    arguments.insert(arguments.end() - 1, {"-o", name});
    const int status = wait_for(start({oskev_, arguments, folder_.path(), out, ""}));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << name << ": " << errors();
    EXPECT_EQ(read_file(out), expected) << name;
  }
  EXPECT_TRUE(fs::is_symlink(folder_.path() / "to-stdout"));
  EXPECT_TRUE(fs::is_symlink(folder_.path() / "to-fd-1"));
  // The dialogue's picture too: after the console's output, on the same standard output.
  write_file(out, "");
  const int status = wait_for(start({oskev_, {"--seed", "5", "--plot", "to-stdout"}, folder_.path(), out, ""}));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << errors();
  const std::string both = read_file(out);
  EXPECT_NE(both.find("Extreme homegenity"), std::string::npos);
  EXPECT_NE(both.find("<svg "), std::string::npos);
  EXPECT_LT(both.find("Extreme homegenity"), both.find("<svg "));
  EXPECT_TRUE(fs::is_symlink(folder_.path() / "to-stdout"));
}

// A replaced file keeps the permissions the user gave it.
TEST_F(BuiltProgram, AReplacedFileKeepsItsPermissions) {
  const fs::path output = folder_.path() / "output.txt", results = folder_.path() / "r.csv";
  write_file(results, "earlier\n");
  ASSERT_EQ(::chmod(output.c_str(), 0600), 0);
  ASSERT_EQ(::chmod(results.c_str(), 0640), 0);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--seed", "5"},
        std::vector<std::string>{"analyse", "-r", "20", "--seed", "5", "-o", "r.csv", "study.txt"}}) {
    const int status = wait_for(start({oskev_, arguments, folder_.path(), "/dev/null", ""}));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << errors();
  }
  struct stat kind {};
  ASSERT_EQ(::stat(output.c_str(), &kind), 0);
  EXPECT_EQ(kind.st_mode & 07777, 0600u);
  EXPECT_NE(read_file(output), kEarlier);
  ASSERT_EQ(::stat(results.c_str(), &kind), 0);
  EXPECT_EQ(kind.st_mode & 07777, 0640u);
  EXPECT_NE(read_file(results), "earlier\n");
}

// After the rename the folder itself is flushed to the disk, so that a power cut cannot bring
// the earlier file back. Seen through strace, where it can be run.
TEST_F(BuiltProgram, TheFolderIsFlushedAfterTheRename) {
  if (::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "no strace here";
  Launch launch{oskev_, {"--seed", "5"}, folder_.path()};
  launch.wrapper = {"strace", "-f", "-y", "-qq", "-o", "trace.txt", "-e", "trace=fsync,rename,renameat,renameat2"};
  const int status = wait_for(start(launch));
  const std::string trace = read_file(folder_.path() / "trace.txt");
  if (!WIFEXITED(status) || trace.find("rename") == std::string::npos) {
    GTEST_SKIP() << "strace cannot trace here: " << errors();
  }
  ASSERT_EQ(WEXITSTATUS(status), 0) << errors();
  const std::size_t rename = trace.find("output.txt\"");
  ASSERT_NE(rename, std::string::npos) << trace;
  const std::string folder = fs::canonical(folder_.path()).string();
  EXPECT_NE(trace.find("fsync(", rename), std::string::npos) << trace;
  EXPECT_NE(trace.find("<" + folder + ">", rename), std::string::npos) << trace;
}

}  // namespace
}  // namespace oskev::testing

#endif  // _WIN32
