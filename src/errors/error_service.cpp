#include "errors/error_service.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "text/edit.hpp"

namespace oskev::errors {

namespace {

// What the fixed default settings do with each type: written? stops the run?
bool is_written(std::int32_t type) { return type >= kWarning && type <= kFatalImmediate; }
bool stops_run(std::int32_t type) {
  return type == kFatal || type == kTerminal || type == kFatalImmediate;
}

bool is_key_letter(char c) {
  switch (std::toupper(static_cast<unsigned char>(c))) {
    case 'A': case 'C': case 'D': case 'I': case 'K': case 'L': case 'R': case 'S': case 'Z':
      return true;
    default:
      return false;
  }
}

constexpr std::string_view kEmptyLine = "  \n";
constexpr std::string_view kLinePrefix = " *** ";
constexpr std::string_view kContinuationPrefix = " ***          ";
constexpr std::size_t kFirstLineRoom = 59;
constexpr std::size_t kContinuationRoom = 64;

// One line's share of the message from `pos`: at most `room` characters, broken at the
// last blank in that room. The first line drops that blank, continuation lines keep it.
// A "%/" forces a break. Returns the text of the line and moves `pos` past it, skipping
// one blank that would begin the next line.
std::string take_line(std::string_view msg, std::size_t& pos, std::size_t room, bool keep_blank) {
  std::string_view rest = msg.substr(pos);
  std::string_view window = rest.substr(0, room);
  std::string line;
  std::size_t used;
  if (auto forced = window.find("%/"); forced != std::string_view::npos) {
    line = std::string(rest.substr(0, forced));
    used = forced + 2;
  } else if (rest.size() <= room) {
    line = std::string(rest);
    used = rest.size();
  } else if (auto blank = window.rfind(' '); blank != std::string_view::npos) {
    line = std::string(rest.substr(0, keep_blank ? blank + 1 : blank));
    used = blank + 1;
  } else {
    line = std::string(window);
    used = room;
  }
  pos += used;
  if (pos < msg.size() && msg[pos] == ' ') ++pos;
  return line;
}

std::string right_aligned(std::int32_t value, std::size_t width) {
  return text::edit_integer(value, static_cast<int>(width));
}

}  // namespace

ErrorService::ErrorService(std::ostream& console) : console_(console) {
  for (std::size_t i = 0; i < levels_.size(); ++i) {
    levels_[i].name.fill(' ');
    levels_[i].user_call = (i == 2);
  }
  levels_[1].name = padded_name("USER");
  levels_[1].type = 0;
  levels_[1].code = 0;
  units_[6] = &console_;
}

void ErrorService::attach_unit(std::int32_t unit, std::ostream& out) { units_[unit] = &out; }

std::ostream& ErrorService::unit_stream(std::int32_t unit) {
  auto it = units_.find(unit);
  return it == units_.end() ? console_ : *it->second;
}

ErrorService::Name ErrorService::padded_name(std::string_view name) {
  Name padded;
  padded.fill(' ');
  name.copy(padded.data(), kNameLength);
  return padded;
}

// Names are stored as given; a name written as "dCHIDF" (lower-case first letter marking the
// double-precision member) is shown with its first letter raised.
std::string ErrorService::shown_name(std::string_view stored, bool cut_at_blank) {
  std::string name(stored);
  if (cut_at_blank) name = name.substr(0, name.find(' '));
  if (name.size() >= 2 && std::islower(static_cast<unsigned char>(name[0])) &&
      std::isupper(static_cast<unsigned char>(name[1]))) {
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  }
  return name;
}

std::string_view ErrorService::type_name(std::int32_t type) {
  switch (type) {
    case kNote: return "NOTE    ";
    case kAlert: return "ALERT   ";
    case kWarning: return "WARNING ";
    case kFatal: return "FATAL   ";
    case kTerminal: return "TERMINAL";
    case kWarningImmediate: return "WARNING ";
    case kFatalImmediate: return "FATAL   ";
    default: return "UNKNOWN ";
  }
}

void ErrorService::stop() {
  console_.flush();
  unit_stream(unit_table_[3]).flush();
  throw RunStopped(kExitLibraryStop, "");
}

void ErrorService::stop_with(std::int32_t type, std::int32_t code, std::string_view msg) {
  E1MES(type, code, msg);
  stop();
}

void ErrorService::E1PSH(std::string_view name) {
  if (level_ >= kStackLimit) {
    E1VALI(1, kStackLimit);
    stop_with(kTerminal, 1, "Error condition in E1PSH.  Push would cause stack level to exceed %(I1).");
  }
  ++level_;
  levels_[level_].name = padded_name(name);
  levels_[level_].type = 0;
  levels_[level_].code = 0;
}

void ErrorService::E1POP(std::string_view name) {
  if (level_ <= 1) {
    E1PSH("E1POP");
    E1VALL(1, name);
    stop_with(kTerminal, 1, "Error condition in E1POP.  Cannot pop from %(L1) because stack is empty.");
  }
  Level& current = levels_[level_];
  if (padded_name(name) != current.name) {
    E1VALL(1, name);
    E1VALL(-2, name_text(current.name));
    stop_with(kTerminal, 2,
              "Error condition in E1POP.  %(L1) does not match the name %(L2) in the stack.");
  }
  const std::int32_t type = current.type;
  if (type != kNoError) {
    // The caller inherits the error; a NOTE is not passed on.
    if (type >= kAlert && type <= kFatalImmediate) {
      levels_[level_ - 1].type = type;
      levels_[level_ - 1].code = current.code;
    }
    if (type >= kNote && type <= kFatal) {
      if (is_written(type) && current.user_call) E1SHOW();
      if (stops_run(type) && current.user_call) stop();
    } else if (type >= kTerminal && type <= kFatalImmediate) {
      if (is_written(type)) E1SHOW();
      if (type == kTerminal || (type == kFatalImmediate && current.user_call)) stop();
    }
  }
  if (level_ < kStackLimit) {
    levels_[level_ + 1].type = -1;
    levels_[level_ + 1].code = -1;
  }
  --level_;
}

void ErrorService::E1MES(std::int32_t iertyp, std::int32_t iercod, std::string_view msg) {
  Level& current = levels_[level_];
  if (iertyp < -1 || iertyp > kFatalImmediate) {
    message_ = ".  Error from E1MES.  Illegal error type specified.";
    E1SHOW();
    stop();
  }
  if (iertyp != -1) current.type = iertyp;
  if (iercod >= 0) current.code = iercod;
  if (iertyp == 0 || iercod == 0) {
    message_.clear();
  } else {
    if (!(msg.empty() || msg == " ")) expand_template(msg);
    if (current.type > kFatal && is_written(current.type)) E1SHOW();
  }
  parameters_.clear();
}

void ErrorService::expand_template(std::string_view msg) {
  std::string text = ".  ";
  std::size_t i = 0;
  while (msg.size() >= 5 && i <= msg.size() - 5) {
    if (msg[i] == '%' && msg[i + 1] == '(' && is_key_letter(msg[i + 2]) && msg[i + 3] >= '1' &&
        msg[i + 3] <= '9' && msg[i + 4] == ')') {
      const char key = static_cast<char>(std::toupper(static_cast<unsigned char>(msg[i + 2])));
      const char digit = msg[i + 3];
      bool found = false;
      // Entries: '*', key letter, key digit, '*', value length, '%', value.
      std::size_t p = 0;
      while (p < parameters_.size()) {
        const char entry_key = parameters_[p + 1];
        const char entry_digit = parameters_[p + 2];
        const std::size_t percent = parameters_.find('%', p + 4);
        const std::size_t length = std::stoul(parameters_.substr(p + 4, percent - (p + 4)));
        if (entry_key == key && entry_digit == digit) {
          text += parameters_.substr(percent + 1, length);
          found = true;
          break;
        }
        p = percent + 1 + length;
      }
      if (found) {
        i += 5;
        continue;
      }
    }
    text += msg[i];
    ++i;
  }
  text += msg.substr(i);
  if (text.size() > kMessageLimit) text.resize(kMessageLimit);
  message_ = std::move(text);
}

void ErrorService::add_parameter(char key, std::int32_t digit, std::string_view value) {
  if (digit < 1 || digit > 9) return;
  const std::size_t used = parameters_.size() + 1;
  if (used + value.size() + 8 > kParameterLimit) return;  // dropped silently: the key stays literal
  parameters_ += '*';
  parameters_ += key;
  parameters_ += static_cast<char>('0' + digit);
  parameters_ += '*';
  parameters_ += std::to_string(value.size());
  parameters_ += '%';
  parameters_ += value;
}

std::string ErrorService::integer_text(std::int32_t value) { return std::to_string(value); }

namespace {
std::string non_finite_text(double value) {
  if (std::isnan(value)) return "NaN";
  return value > 0 ? "Infinity" : "-Infinity";
}
}  // namespace

std::string ErrorService::single_text(float value) {
  if (!std::isfinite(value)) return non_finite_text(value);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6E", static_cast<double>(value));
  return buffer;
}

std::string ErrorService::double_text(double value) {
  if (!std::isfinite(value)) return non_finite_text(value);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15E", value);
  std::string text = buffer;
  const std::size_t e = text.find('E');
  // A two-digit exponent takes the letter D; a three-digit one is written without a letter.
  if (text.size() - e - 2 > 2) {
    text.erase(e, 1);
  } else {
    text[e] = 'D';
  }
  return text;
}

void ErrorService::E1VALI(std::int32_t k, std::int32_t ivalue) { add_parameter('I', k, integer_text(ivalue)); }
void ErrorService::E1VALR(std::int32_t k, float rvalue) { add_parameter('R', k, single_text(rvalue)); }
void ErrorService::E1VALD(std::int32_t k, double dvalue) { add_parameter('D', k, double_text(dvalue)); }

void ErrorService::E1VALL(std::int32_t k, std::string_view text) {
  if (k == 0 || k > 9 || k < -9) return;
  std::string value(text.substr(0, 255));
  if (k > 0) {
    const std::size_t last = value.find_last_not_of(' ');
    value.resize(last == std::string::npos ? std::min<std::size_t>(value.size(), 1) : last + 1);
  }
  add_parameter('L', k > 0 ? k : -k, value);
}

std::int32_t ErrorService::N1RCD(std::int32_t i) {
  if (i != 0 && i != 1) {
    levels_[level_].type = kTerminal;
    levels_[level_].code = 1;
    message_ = ".  The argument passed to N1RCD must be 0 or 1.";
    E1SHOW();
    stop();
  }
  return levels_[level_ + i].code;
}

std::int32_t ErrorService::N1RTY(std::int32_t i) {
  if (i != 0 && i != 1) {
    levels_[level_].type = kTerminal;
    levels_[level_].code = 1;
    message_ = ".  The argument passed to N1RTY must be 0 or 1.";
    E1SHOW();
    stop();
  }
  return levels_[level_ + i].type;
}

void ErrorService::UMACH(std::int32_t n, std::int32_t& nunit) {
  if (n == 0 || n > 3 || n < -3) {
    std::ostream& out = unit_stream(unit_table_[3]);
    const long long magnitude = std::llabs(static_cast<long long>(n));
    out << kEmptyLine << kLinePrefix << "TERMINAL ERROR 5 from UMACH.  The absolute\n"
        << kContinuationPrefix << "value of the index variable must be\n"
        << kContinuationPrefix << "1, 2, or 3.  IABS(N) = "
        << text::edit_integer(magnitude, 6) << ".\n"
        << kEmptyLine;
    stop();
  }
  if (n > 0) {
    nunit = unit_table_[n];
  } else {
    unit_table_[-n] = nunit;
  }
}

void ErrorService::E1SHOW() {
  if (message_.empty()) return;
  std::ostream& out = unit_stream(unit_table_[3]);
  const Level& current = levels_[level_];
  std::string header = " ";
  header += std::to_string(current.code);
  header += " from ";
  header += shown_name(name_text(current.name), true);
  const std::size_t first_room = header.size() < kFirstLineRoom ? kFirstLineRoom - header.size() : 1;

  std::string text;
  text += kEmptyLine;
  std::size_t pos = 0;
  text += kLinePrefix;
  text += type_name(current.type);
  text += " ERROR";
  text += header;
  text += take_line(message_, pos, first_room, false);
  text += '\n';
  while (pos < message_.size()) {
    text += kContinuationPrefix;
    text += take_line(message_, pos, kContinuationRoom, true);
    text += '\n';
  }
  message_.clear();
  parameters_.clear();

  if (level_ > 2) {
    text += "     Here is a traceback of subprogram calls in reverse order:\n";
    text += "     Routine name                    Error type  Error code\n";
    text += "     ------------                    ----------  ----------\n";
    for (int l = level_; l >= 1; --l) {
      const Level& entry = levels_[l];
      text += "     ";
      text += name_text(padded_name(shown_name(name_text(entry.name), false)));
      text += right_aligned(entry.type, 6);
      text += "      ";
      text += right_aligned(entry.code, 6);
      if (l > 1 && !entry.user_call) text += "    (Called internally)";
      text += '\n';
    }
  }
  out << text;
  out.flush();
}

}  // namespace oskev::errors
