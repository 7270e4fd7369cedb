#include "analysis/records/list_reader.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "analysis/records/table_text.hpp"

namespace oskev::records {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }

constexpr std::size_t kQuotedCharacters = 40;

// The bytes of the first `most` characters of `text`. A character is a byte with the UTF-8
// continuation bytes after it, four bytes at most, so stray continuation bytes count too.
std::size_t first_characters(std::string_view text, std::size_t most) {
  std::size_t end = 0;
  for (std::size_t n = 0; n < most && end < text.size(); ++n) {
    const std::size_t start = end++;
    while (end - start < 4 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return end;
}

// The offending value as a message quotes it: its first 40 characters, with "..." when there
// is more (`cut`: more than was held) and control characters shown as '?', so that a value of
// any length or content gives one short line.
std::string quoted(std::string_view text, bool cut = false) {
  const std::size_t end = first_characters(text, kQuotedCharacters);
  std::string shown = table_text::shown(text.substr(0, end));
  if (cut || end < text.size()) shown.insert(shown.size() - 1, "...");
  return shown;
}

constexpr int kLineEnd = -1;  // what peek() gives at the end of a line or of the input
constexpr int kEndOfInput = std::char_traits<char>::eof();

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
    : in_(in), unit_(unit), file_name_(std::move(file_name)) {
  value_.reserve(kLongestValue);
}

// The next byte of the current line, not yet taken, or kLineEnd at its end. A carriage return
// right before a line feed or the end of the input is part of the line end; to see what follows
// it, it is taken and kept ahead when it turns out to be data.
int ListReader::peek() {
  if (ahead_count_ > 0) return static_cast<unsigned char>(ahead_[ahead_first_]);
  const int c = source_->sgetc();
  if (c == kEndOfInput || c == '\n') return kLineEnd;
  if (c == '\r') {
    source_->sbumpc();
    const int next = source_->sgetc();
    if (next == kEndOfInput || next == '\n') return kLineEnd;
    keep_ahead('\r');
  }
  return c;
}

// Takes the byte peek() gave; never called at a line end.
void ListReader::take() {
  if (ahead_count_ > 0) {
    ++ahead_first_;
    if (--ahead_count_ == 0) ahead_first_ = 0;
    return;
  }
  source_->sbumpc();
}

void ListReader::keep_ahead(char c) { ahead_[ahead_first_ + ahead_count_++] = c; }

void ListReader::skip_rest_of_line() {
  while (peek() != kLineEnd) take();
  if (source_->sgetc() == '\n') source_->sbumpc();
}

// A byte-order mark at the start of the unit is not data; the first bytes of one that breaks
// off are.
void ListReader::skip_byte_order_mark() {
  static constexpr unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
  std::size_t matched = 0;
  while (matched < 3 && source_->sgetc() == kMark[matched]) {
    source_->sbumpc();
    ++matched;
  }
  if (matched < 3) {
    for (std::size_t i = 0; i < matched; ++i) keep_ahead(static_cast<char>(kMark[i]));
  }
}

// Passes the rest of the line a read stopped in, then starts the next line; false when the
// input has no more (a last line without a line end is a line).
bool ListReader::next_line() {
  if (in_line_) skip_rest_of_line();
  in_line_ = false;
  if (source_->sgetc() == kEndOfInput) return false;
  in_line_ = true;
  ++line_number_;
  if (line_number_ == 1) skip_byte_order_mark();
  return true;
}

// Takes one value, up to a blank, a comma, a slash or the line end, into value_. False as soon
// as it is longer than kLongestValue; the rest of it stays untaken.
bool ListReader::take_value() {
  value_.clear();
  for (int c = peek(); c != kLineEnd && !ends_value(static_cast<char>(c)); c = peek()) {
    if (value_.size() == kLongestValue) return false;
    value_.push_back(static_cast<char>(c));
    take();
  }
  return true;
}

void ListReader::fail(ReadCondition condition, std::string detail) const {
  throw InputError(condition, unit_, file_name_, std::move(detail));
}

// The r of a repeat r*v or r*: 1 to 2147483647, written in at most 10 digits.
long long ListReader::repeat_count(std::string_view count, std::string_view token, bool cut) const {
  long long repeat = 0;
  bool valid = !count.empty() && count.size() <= 10;
  for (char digit : count) valid = valid && is_digit(digit);
  if (valid) {
    for (char digit : count) repeat = repeat * 10 + (digit - '0');
    valid = repeat >= 1 && repeat <= 2147483647LL;
  }
  if (!valid) {
    fail(ReadCondition::kSyntax,
         "line " + std::to_string(line_number_) + ": bad repeat count in " + quoted(token, cut));
  }
  return repeat;
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
  // Reading past the stream's own sentry: flush what is tied to it, as the sentry would.
  if (in_.tie() != nullptr) in_.tie()->flush();
  source_ = in_.rdbuf();
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
  while (given < wanted) {
    int c = peek();
    while (c == ' ' || c == '\t') {
      take();
      c = peek();
    }
    if (c == kLineEnd) {
      if (!next_line()) end_of_file(given);
      continue;
    }
    if (c == '/') return;
    if (c == ',') {
      take();
      if (last != Last::kValue) ++given;  // nothing between two separators: a null value
      last = Last::kComma;
      continue;
    }
    const bool whole = take_value();
    const std::string_view token = value_;

    std::string_view value = token;
    long long repeat = 1;
    if (const std::size_t star = token.find('*'); star != std::string_view::npos) {
      repeat = repeat_count(token.substr(0, star), token, !whole);
      value = token.substr(star + 1);
    }
    // Too long for any number: refused at once, without reading the rest of it.
    if (!whole) fail(ReadCondition::kConversion, "line " + std::to_string(line_number_) + ": " + quoted(value, true));
    for (long long r = 0; r < repeat && given < wanted; ++r, ++given) {
      if (!value.empty()) assign(targets[given], value);
    }
    last = Last::kValue;
  }
}

}  // namespace oskev::records
