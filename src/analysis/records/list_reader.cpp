#include "analysis/records/list_reader.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace oskev::records {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

namespace {
std::string condition_words(ReadCondition condition) {
  switch (condition) {
    case ReadCondition::kEndOfFile: return "end-of-file during read";
    case ReadCondition::kConversion: return "input conversion error";
    case ReadCondition::kSyntax: return "list-directed I/O syntax error";
  }
  return {};
}

std::string condition_line(ReadCondition condition, std::int32_t unit, const std::string& file) {
  return condition_words(condition) + ", unit " + std::to_string(unit) + ", file " + file;
}
}  // namespace

InputError::InputError(ReadCondition condition, std::int32_t unit, std::string file, std::string detail)
    : std::runtime_error(detail.empty() ? condition_line(condition, unit, file)
                                        : condition_line(condition, unit, file) + " (" + detail + ")"),
      condition_(condition),
      unit_(unit),
      file_(std::move(file)),
      detail_(std::move(detail)) {}

std::string InputError::condition_text() const { return condition_line(condition_, unit_, file_); }

bool parse_integer(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long magnitude = 0;
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    // Beyond the 32-bit range is a conversion error, never a wrap-around.
    if (magnitude > 2147483648LL) return false;
  }
  if (!negative && magnitude > 2147483647LL) return false;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

bool parse_real(std::string_view text, float& value) {
  // [sign] (digits [. [digits]] | . digits) [exponent letter [sign] digits]
  std::size_t i = 0;
  std::string normal;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
  std::size_t mantissa_digits = 0;
  while (i < text.size() && is_digit(text[i])) normal += text[i++], ++mantissa_digits;
  if (i < text.size() && text[i] == '.') {
    normal += text[i++];
    while (i < text.size() && is_digit(text[i])) normal += text[i++], ++mantissa_digits;
  }
  if (mantissa_digits == 0) return false;
  if (i < text.size()) {
    const char letter = text[i];
    if (letter != 'E' && letter != 'e' && letter != 'D' && letter != 'd') return false;
    normal += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
    std::size_t exponent_digits = 0;
    while (i < text.size() && is_digit(text[i])) normal += text[i++], ++exponent_digits;
    if (exponent_digits == 0 || i != text.size()) return false;
  }
  errno = 0;
  const float converted = std::strtof(normal.c_str(), nullptr);
  if (std::isinf(converted)) return false;  // too large for single precision
  value = converted;
  return true;
}

ListReader::ListReader(std::istream& in, std::int32_t unit, std::string file_name)
    : in_(in), unit_(unit), file_name_(std::move(file_name)) {}

bool ListReader::next_line() {
  // At the end of the input getline fails without touching the string: clear it first, or
  // the last line would be read again and again.
  line_.clear();
  if (!std::getline(in_, line_) && line_.empty()) return false;
  ++line_number_;
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  if (line_number_ == 1 && line_.starts_with("\xEF\xBB\xBF")) line_.erase(0, 3);
  return true;
}

void ListReader::fail(ReadCondition condition, std::string detail) const {
  throw InputError(condition, unit_, file_name_, std::move(detail));
}

void ListReader::assign(const Target& target, std::string_view text) const {
  const bool ok = std::visit(
      [&](auto* variable) {
        using T = std::remove_pointer_t<decltype(variable)>;
        if constexpr (std::is_same_v<T, std::int32_t>) {
          return parse_integer(text, *variable);
        } else {
          return parse_real(text, *variable);
        }
      },
      target);
  if (!ok) fail(ReadCondition::kConversion, "line " + std::to_string(line_number_) + ": " + quoted(text));
}

void ListReader::read(std::initializer_list<Target> targets) {
  read(std::span<const Target>(targets.begin(), targets.size()));
}

void ListReader::read(std::span<const Target> targets) {
  const std::size_t wanted = targets.size();
  auto end_of_file = [&](std::size_t given) {
    if (wanted <= 1) fail(ReadCondition::kEndOfFile, "no value");
    fail(ReadCondition::kEndOfFile,
         std::to_string(wanted) + " values needed, " + std::to_string(given) + " found");
  };
  // Every read starts on a new line, even one that asks for no value.
  if (!next_line()) end_of_file(0);

  // What came last decides whether a comma closes a value or stands for a null value.
  enum class Last { kStart, kValue, kComma } last = Last::kStart;
  std::size_t given = 0;
  std::size_t pos = 0;
  while (given < wanted) {
    while (pos < line_.size() && is_blank(line_[pos])) ++pos;
    if (pos >= line_.size()) {
      if (!next_line()) end_of_file(given);
      pos = 0;
      continue;
    }
    const char c = line_[pos];
    if (c == '/') return;
    if (c == ',') {
      ++pos;
      if (last != Last::kValue) ++given;  // nothing between two separators: a null value
      last = Last::kComma;
      continue;
    }
    std::size_t end = pos;
    while (end < line_.size() && !ends_value(line_[end])) ++end;
    const std::string_view token(line_.data() + pos, end - pos);
    pos = end;

    std::string_view value = token;
    long long repeat = 1;
    if (const std::size_t star = token.find('*'); star != std::string_view::npos) {
      const std::string_view count = token.substr(0, star);
      repeat = 0;
      bool valid = !count.empty() && count.size() <= 10;
      for (char digit : count) valid = valid && is_digit(digit);
      if (valid) {
        for (char digit : count) repeat = repeat * 10 + (digit - '0');
        valid = repeat >= 1 && repeat <= 2147483647LL;
      }
      if (!valid) {
        fail(ReadCondition::kSyntax, "line " + std::to_string(line_number_) + ": bad repeat count in " + quoted(token));
      }
      value = token.substr(star + 1);
    }
    for (long long r = 0; r < repeat && given < wanted; ++r, ++given) {
      if (!value.empty()) assign(targets[given], value);
    }
    last = Last::kValue;
  }
}

}  // namespace oskev::records
