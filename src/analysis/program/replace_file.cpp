#include "analysis/program/replace_file.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <random>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/types.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "analysis/program/platform.hpp"
#include "errors/run_stopped.hpp"
#include "text/utf8.hpp"

namespace oskev::analysis {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// The file system below the standard library. A port to another system replaces these
// functions and nothing else in this file.
namespace platform {

#ifdef _WIN32

// As on POSIX systems, below. _O_EXCL makes the creation CREATE_NEW, which fails when
// anything has the name, a link included, and so never follows one; _O_BINARY writes the
// text as it is (its line ends are the caller's); _O_NOINHERIT keeps the file from programs
// started meanwhile.
int create_new_file(const fs::path& path, const fs::path&) {
  int fd = -1;
  const errno_t failure = ::_wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                      _SH_DENYNO, _S_IREAD | _S_IWRITE);
  if (failure != 0) {
    errno = failure;
    return -1;
  }
  return fd;
}

int write_and_close(int fd, const std::string& text, bool to_disk) {
  int failure = 0;
  for (std::size_t done = 0; done < text.size() && failure == 0;) {
    const std::size_t chunk = std::min<std::size_t>(text.size() - done, 1u << 30);
    const int written = ::_write(fd, text.data() + done, static_cast<unsigned int>(chunk));
    if (written > 0) {
      done += static_cast<std::size_t>(written);
    } else {
      failure = written < 0 ? errno : EIO;
    }
  }
  // _commit is FlushFileBuffers: the data on the disk before the rename.
  if (failure == 0 && to_disk && ::_commit(fd) != 0 && errno != EINVAL) failure = errno;
  if (::_close(fd) != 0 && failure == 0) failure = errno;
  return failure;
}

int write_to_device(const fs::path& path, const std::string& text, bool) {
  const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return errno;
  struct _stat64 kind {};
  if (::_fstat64(fd, &kind) != 0 || (kind.st_mode & _S_IFMT) == _S_IFREG || (kind.st_mode & _S_IFMT) == _S_IFDIR) {
    ::_close(fd);
    return EEXIST;
  }
  return write_and_close(fd, text, false);
}

// Puts `temporary` in the place of `path` in one step, an existing file replaced whole;
// MOVEFILE_WRITE_THROUGH returns only once the change of names is on the disk. Without
// MOVEFILE_COPY_ALLOWED a move that could not be a rename fails instead of copying.
std::error_code replace(const fs::path& temporary, const fs::path& path) {
  if (::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
  return std::error_code(static_cast<int>(::GetLastError()), std::system_category());
}

// MOVEFILE_WRITE_THROUGH has put the change of names on the disk already.
int sync_folder(const fs::path&) { return 0; }

// Windows has no links to a process's descriptors.
bool leads_to_a_descriptor(const fs::path&) { return false; }

// The C library's error numbers, which on Windows are not the system's own.
std::string describe(int error_number) { return std::generic_category().message(error_number); }

#else

// Creates `path` as a new file open for writing, and fails (EEXIST) when anything at all has
// that name already: a file, a folder, or a link, even one that leads nowhere. So a link
// planted at the name is never followed. The new file gets the permissions of the plain file
// `replaced` when there is one (created with no more than those, then given exactly those),
// and its owner and group where the system allows (as root); otherwise the usual permissions
// of a new file (0666 less the umask). Returns the descriptor, or -1 with errno set.
int create_new_file(const fs::path& path, const fs::path& replaced) {
  struct stat earlier {};
  const bool keep = !replaced.empty() && ::stat(replaced.c_str(), &earlier) == 0 && S_ISREG(earlier.st_mode);
  // Read, write and execute for owner, group and others; never set-user-ID or set-group-ID.
  const mode_t mode = keep ? (earlier.st_mode & 0777) : 0666;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode);
  if (fd < 0 || !keep) return fd;
  // The owner first: a change of owner may clear permission bits. Only root may give the file
  // away; anyone else keeps it (and a group of their own if the earlier file had one).
  if (earlier.st_uid != ::geteuid() || earlier.st_gid != ::getegid()) {
    if (::fchown(fd, earlier.st_uid, earlier.st_gid) != 0) (void)!::fchown(fd, static_cast<uid_t>(-1), earlier.st_gid);
  }
  if (::fchmod(fd, mode) != 0) {
    const int failure = errno;
    ::close(fd);
    ::unlink(path.c_str());
    errno = failure;
    return -1;
  }
  return fd;
}

// Writes all of `text` to `fd`, flushes it to the disk if `to_disk`, and closes `fd` in any
// case. Returns 0, or the errno of the first failure.
int write_and_close(int fd, const std::string& text, bool to_disk) {
  int failure = 0;
  for (std::size_t done = 0; done < text.size() && failure == 0;) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written > 0) {
      done += static_cast<std::size_t>(written);
    } else if (written < 0 && errno != EINTR) {
      failure = errno;
    } else if (written == 0) {
      failure = EIO;
    }
  }
  // A file system that cannot be flushed says so with EINVAL; its file is as safe as it gets.
  if (failure == 0 && to_disk && ::fsync(fd) != 0 && errno != EINVAL) failure = errno;
  // A full disk or a lost network file system may show only when the file is closed.
  if (::close(fd) != 0 && failure == 0 && errno != EINTR) failure = errno;
  return failure;
}

// Writes `text` to the device or pipe at `path`, which is opened as it is: nothing is created
// or truncated. Returns 0, or the errno of the failure (EEXIST if a plain file or a folder
// has taken the device's place since it was looked at). A link to a descriptor (`descriptor`)
// may lead to a plain file, standard output sent to one: the text is then added at its end,
// as a write to that descriptor would add it.
int write_to_device(const fs::path& path, const std::string& text, bool descriptor) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (descriptor ? O_APPEND : 0));
  if (fd < 0) return errno;
  struct stat kind {};
  if (::fstat(fd, &kind) != 0 || (S_ISREG(kind.st_mode) && !descriptor) || S_ISDIR(kind.st_mode)) {
    ::close(fd);
    return EEXIST;
  }
  return write_and_close(fd, text, false);
}

// Puts `temporary` in the place of `path` in one step (rename(2)).
std::error_code replace(const fs::path& temporary, const fs::path& path) {
  std::error_code error;
  fs::rename(temporary, path, error);
  return error;
}

// Puts the folder's change of names on the disk (fsync of the folder itself): without it a
// power cut just after the rename could bring the earlier file back. A file system that
// cannot flush a folder says so with EINVAL (or refuses to open one for it); that is as safe
// as it gets there. Returns 0, or the errno of the failure.
int sync_folder(const fs::path& path) {
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  int failure = 0;
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EBADF && errno != EROFS) failure = errno;
  ::close(fd);
  return failure;
}

// Whether `path` is a link, or a chain of links, that reaches one of a process's descriptors
// (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N): such a name stands for whatever the
// descriptor is open on, which a rename would not reach but replace the link instead.
bool leads_to_a_descriptor(const fs::path& path) {
  fs::path link = path;
  for (int step = 0; step < 40; ++step) {  // as many links as the system follows
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error))) return false;
    const fs::path folder = fs::canonical(link.parent_path().empty() ? fs::path(".") : link.parent_path(), error);
    if (!error && (folder == "/dev/fd" || (folder.filename() == "fd" && folder.string().starts_with("/proc/")))) {
      return true;
    }
    const fs::path target = fs::read_symlink(link, error);
    if (error) return false;
    link = target.is_absolute() ? target : link.parent_path() / target;
  }
  return false;
}

std::string describe(int error_number) { return std::system_category().message(error_number); }

#endif

}  // namespace platform
// ---------------------------------------------------------------------------------------------

namespace {

using platform::describe;

// Sixteen letters and digits from the system's source of randomness: a name another user
// cannot guess in advance (about 82 bits), and so cannot plant anything at.
std::string unguessable_part() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string part(16, ' ');
  try {
    std::random_device device;
    for (char& c : part) c = kLetters[device() % 36];
  } catch (const std::exception&) {
    // No source of randomness: a name that is merely unlikely. The exclusive creation still
    // never follows a link; a name that is taken is passed over.
    std::mt19937_64 fallback(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                             std::hash<std::thread::id>{}(std::this_thread::get_id()));
    for (char& c : part) c = kLetters[fallback() % 36];
  }
  return part;
}

// Whether the name ends in a folder rather than a file ("plots/", "study.txt/", "..").
bool names_a_folder(const fs::path& path) {
  const fs::path name = path.filename();
  return name.empty() || name == "." || name == "..";
}

bool is_device(const fs::path& path) {
  // On Windows NUL, CON and their kin are devices in every folder, whatever status says.
  if (names_a_device(utf8_name(path.filename()))) return true;
  if (platform::leads_to_a_descriptor(path)) return true;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  return fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

// Names already taken by someone else are passed over; this many in a row means something
// other than chance is at work.
constexpr int kNameAttempts = 100;

// The longest name of one file (bytes on POSIX systems, UTF-16 units on Windows) that the
// usual file systems take.
constexpr std::size_t kMostNameLength = 255;

// A name for the temporary file beside `path`: the file's own name with a random part and
// ".tmp" added, or, when that would be too long for the file system, the random part alone
// (".<16 letters>.tmp").
fs::path temporary_name(const fs::path& path) {
  const std::string suffix = "." + unguessable_part() + ".tmp";
  if (path.filename().native().size() + suffix.size() <= kMostNameLength) {
    fs::path candidate = path;
    candidate += suffix;
    return candidate;
  }
  return path.parent_path() / suffix;
}

}  // namespace

StagedFile::StagedFile(const fs::path& path, const std::string& text, const std::string& shown_name)
    : path_(path), shown_(text::shown_name(shown_name)) {
  if (names_a_folder(path)) fail("it names a folder, not a file");
  if (is_device(path)) {
    // A device or a pipe (/dev/null, /dev/stdout, a named pipe) is written to, never replaced:
    // renaming over it would put a plain file in its place.
    device_text_ = text;
    return;
  }
  for (int attempt = 1;; ++attempt) {
    const fs::path candidate = temporary_name(path);
    // Registered before the file exists, so that no moment is left in which a signal would
    // leave it behind.
    removal_.emplace(candidate);
    const int fd = platform::create_new_file(candidate, path);
    if (fd >= 0) {
      temporary_ = candidate;
      if (const int failure = platform::write_and_close(fd, text, true)) fail(describe(failure));
      return;
    }
    const int failure = errno;
    removal_.reset();
    if (failure != EEXIST || attempt == kNameAttempts) fail(describe(failure));
  }
}

StagedFile::~StagedFile() { remove_temporary(); }

void StagedFile::commit() {
  if (device_text_) {
    if (const int failure = platform::write_to_device(path_, *device_text_, platform::leads_to_a_descriptor(path_))) {
      fail(describe(failure));
    }
    device_text_.reset();
    return;
  }
  if (!temporary_) return;
  if (const std::error_code error = platform::replace(*temporary_, path_)) fail(error.message());
  temporary_.reset();
  removal_.reset();
  if (const int failure = platform::sync_folder(path_)) fail(describe(failure));
}

void StagedFile::fail(const std::string& why) {
  remove_temporary();
  throw errors::RunStopped(errors::kExitOutputError, "cannot write " + shown_ + ": " + why);
}

void StagedFile::remove_temporary() noexcept {
  if (temporary_) {
    std::error_code ignored;
    fs::remove(*temporary_, ignored);
    temporary_.reset();
  }
  // Only once the file is gone: a signal in between must still find it registered.
  removal_.reset();
}

int create_empty_file(const fs::path& path) {
  const int fd = platform::create_new_file(path, {});
  if (fd < 0) return errno;
  return platform::write_and_close(fd, "", false);
}

void replace_file(const fs::path& path, const std::string& text, const std::string& shown_name) {
  StagedFile(path, text, shown_name).commit();
}

void replace_file(const fs::path& path, const std::string& text) {
  const std::string name = utf8_name(path.filename());
  replace_file(path, text, name.empty() ? utf8_name(path) : name);
}

void check_replaceable(const fs::path& path, const std::string& shown_name) {
  auto refuse = [&](const std::string& why) {
    throw errors::RunStopped(errors::kExitOutputError, "cannot write " + text::shown_name(shown_name) + ": " + why);
  };
  if (names_a_folder(path)) refuse("it names a folder, not a file");
  std::error_code error;
  if (fs::is_directory(fs::status(path, error))) refuse("it is a folder");
  if (is_device(path)) return;
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  std::string shown_folder = utf8_name(path_from_utf8(shown_name).parent_path());
  if (shown_folder.empty()) shown_folder = utf8_name(folder);
  shown_folder = text::shown_name(shown_folder);
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) refuse("the folder " + shown_folder + " does not exist");
  if (!fs::is_directory(status)) refuse(shown_folder + " is not a folder");
  // Whether the folder takes a new file is known only by making one; it is removed at once.
  StagedFile probe(path, "", shown_name);
}

}  // namespace oskev::analysis
