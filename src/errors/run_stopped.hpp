#pragma once

#include <stdexcept>
#include <string>

namespace oskev::errors {

// Process exit statuses. A run that ends early never reports success.
inline constexpr int kExitComplete = 0;
inline constexpr int kExitLibraryStop = 1;   // TERMINAL or FATAL library error
inline constexpr int kExitInputError = 2;    // an answer or study.txt could not be read
inline constexpr int kExitRefused = 3;       // a value the program cannot work with
inline constexpr int kExitOutputError = 4;   // output.txt, the plot or standard output could not be written
inline constexpr int kExitUsage = 64;        // bad command line
inline constexpr int kExitInternal = 70;     // a fault of the program itself

// Unwinds a run to the program's entry, which turns it into the exit status. When `report`
// is not empty it is written to standard error there; a library stop has already written its
// message to the error-message unit and carries no report.
class RunStopped : public std::runtime_error {
 public:
  RunStopped(int exit_status, std::string report)
      : std::runtime_error(report.empty() ? "run stopped" : report),
        exit_status_(exit_status),
        report_(std::move(report)) {}

  int exit_status() const noexcept { return exit_status_; }
  const std::string& report() const noexcept { return report_; }

 private:
  int exit_status_;
  std::string report_;
};

}  // namespace oskev::errors
