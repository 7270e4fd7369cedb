#pragma once

// Errors layer: the library's error service (routine stack, typed and coded messages, tracebacks, the rules for what stops a run) and its units.

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "errors/run_stopped.hpp"

namespace oskev::errors {

// Error types of the library. Types 6 and 7 are the immediately written variants of
// WARNING and FATAL; the library itself posts only NOTE, ALERT, WARNING and TERMINAL.
enum ErrorType : std::int32_t {
  kNoError = 0,
  kNote = 1,
  kAlert = 2,
  kWarning = 3,
  kFatal = 4,
  kTerminal = 5,
  kWarningImmediate = 6,
  kFatalImmediate = 7,
};

// The library's error service: the stack of active routine names with an error type and
// code per level, templated messages with named parameters, the fixed rules of what is
// written and what stops the run, and the three standard unit numbers.
//
// One instance per run. Stopping the run throws RunStopped(kExitLibraryStop) after the
// message and traceback have been written, so the stop unwinds to the program's entry.
class ErrorService {
 public:
  static constexpr int kStackLimit = 50;
  static constexpr std::size_t kNameLength = 32;
  static constexpr std::size_t kMessageLimit = 1024;
  static constexpr std::size_t kParameterLimit = 300;

  // `console` is unit 6: the console output and, by default, the error-message unit.
  explicit ErrorService(std::ostream& console);

  // Connects another output unit, so that UMACH (-3, unit) can redirect messages to it.
  // A unit that is not connected writes to the console.
  void attach_unit(std::int32_t unit, std::ostream& out);
  std::ostream& unit_stream(std::int32_t unit);

  void E1PSH(std::string_view name);
  void E1POP(std::string_view name);
  void E1MES(std::int32_t iertyp, std::int32_t iercod, std::string_view msg);

  void E1VALI(std::int32_t k, std::int32_t ivalue);
  void E1VALR(std::int32_t k, float rvalue);
  void E1VALD(std::int32_t k, double dvalue);
  void E1VALL(std::int32_t k, std::string_view text);

  std::int32_t N1RCD(std::int32_t i);
  std::int32_t N1RTY(std::int32_t i);

  void UMACH(std::int32_t n, std::int32_t& nunit);

  // Writes the pending message with its traceback to the error-message unit.
  void E1SHOW();

  // Ends the run; used by the service itself and by routines with fixed stop texts.
  [[noreturn]] void stop();

  // Read-only views for callers and tests.
  int level() const noexcept { return level_; }
  std::string_view pending_message() const noexcept { return message_; }
  std::string_view parameter_list() const noexcept { return parameters_; }

  // Number layouts of the parameter setters (exposed for their tests).
  static std::string integer_text(std::int32_t value);
  static std::string single_text(float value);
  static std::string double_text(double value);

 private:
  struct Level {
    // Always kNameLength characters, blank-padded: a fixed array, since every library call
    // stores one and the simulation makes tens of millions of calls.
    std::array<char, kNameLength> name{};
    std::int32_t type = -1;
    std::int32_t code = -1;
    bool user_call = false;
  };

  void add_parameter(char key, std::int32_t digit, std::string_view value);
  void expand_template(std::string_view msg);
  [[noreturn]] void stop_with(std::int32_t type, std::int32_t code, std::string_view msg);
  using Name = std::array<char, kNameLength>;
  static Name padded_name(std::string_view name);
  static std::string_view name_text(const Name& name) { return {name.data(), name.size()}; }
  static std::string shown_name(std::string_view stored, bool cut_at_blank);
  static std::string_view type_name(std::int32_t type);

  std::ostream& console_;
  std::map<std::int32_t, std::ostream*> units_;
  // Levels 1 ... kStackLimit; one spare entry so that the level above the top is readable.
  std::array<Level, kStackLimit + 2> levels_{};
  int level_ = 1;
  std::string message_;
  std::string parameters_;  // entries back to back; empty means a used length of 1
  std::array<std::int32_t, 4> unit_table_{0, 5, 6, 6};
};

}  // namespace oskev::errors
