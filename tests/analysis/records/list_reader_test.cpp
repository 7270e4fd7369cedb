#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "analysis/records/list_reader.hpp"

namespace oskev::records {
namespace {

// Reads `count` integers in one read operation.
std::vector<std::int32_t> read_integers(ListReader& reader, std::size_t count, std::int32_t initial = -7) {
  std::vector<std::int32_t> values(count, initial);
  std::vector<ListReader::Target> targets;
  for (auto& v : values) targets.emplace_back(&v);
  reader.read(targets);
  return values;
}

using Ints = std::vector<std::int32_t>;

TEST(Reading, SeparatorsAndLayouts) {
  std::istringstream in("1 2,3\n\n  4 ,  5 6\n7\t8\n");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 8), (Ints{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(Reading, EachReadStartsOnANewLineAndSkipsTheRest) {
  std::istringstream in("10 20\n5,7\n\n   42   \n");
  ListReader reader(in, 5, "stdin");
  EXPECT_EQ(read_integers(reader, 1), (Ints{10}));
  EXPECT_EQ(read_integers(reader, 1), (Ints{5}));
  EXPECT_EQ(read_integers(reader, 1), (Ints{42}));  // the empty line supplies nothing
}

TEST(Reading, StudiesSpreadOverLinesReadLikeOneStudyALine) {
  std::istringstream a("15 120 25 118\n0 54\n3 60\n0 40 0 38\nextra line ignored\n");
  std::istringstream b("15 120 25 118\n0 54 3 60\n0 40 0 38\n");
  ListReader ra(a, 10, "study.txt"), rb(b, 10, "study.txt");
  EXPECT_EQ(read_integers(ra, 12), read_integers(rb, 12));
}

TEST(Reading, SlashEndsTheReadAndNullValuesKeepTheVariable) {
  std::istringstream in("/\n1,,3\n,5\n4 / 9\n");
  ListReader reader(in, 5, "stdin");
  EXPECT_EQ(read_integers(reader, 1, 0), (Ints{0}));             // slash: unchanged
  EXPECT_EQ(read_integers(reader, 3), (Ints{1, -7, 3}));         // ,, is a null value
  EXPECT_EQ(read_integers(reader, 2), (Ints{-7, 5}));            // a leading comma too
  EXPECT_EQ(read_integers(reader, 3), (Ints{4, -7, -7}));        // slash after a value
}

TEST(Reading, CommaAfterAValueAndAtALineEndIsNoNullValue) {
  std::istringstream in("1 , 2,\n3\n");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 3), (Ints{1, 2, 3}));
}

TEST(Reading, RepeatCounts) {
  std::istringstream in("3*5 6\n2* 8\n4*1\n");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 4), (Ints{5, 5, 5, 6}));
  EXPECT_EQ(read_integers(reader, 3), (Ints{-7, -7, 8}));
  EXPECT_EQ(read_integers(reader, 2), (Ints{1, 1}));  // the rest of the repeat is dropped
}

TEST(Reading, RealsTakeIntegersDecimalsAndExponents) {
  std::istringstream in("1\n.5\n-2.5e1\n1.5D-1\n+3.\n");
  ListReader reader(in, 5, "stdin");
  float x = 0;
  reader.read({&x});
  EXPECT_EQ(x, 1.0f);
  reader.read({&x});
  EXPECT_EQ(x, 0.5f);
  reader.read({&x});
  EXPECT_EQ(x, -25.0f);
  reader.read({&x});
  EXPECT_EQ(x, 0.15f);
  reader.read({&x});
  EXPECT_EQ(x, 3.0f);
}

TEST(Reading, WindowsLineEndsAndByteOrderMark) {
  std::istringstream in("\xEF\xBB\xBF" "1 2\r\n3 4\r\n");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 4), (Ints{1, 2, 3, 4}));
}

TEST(Reading, ABlankLastLineWithoutLineEndEndsTheInput) {
  std::istringstream in(" ");
  ListReader reader(in, 5, "stdin");
  EXPECT_THROW(read_integers(reader, 1), InputError);
  std::istringstream two("1\n ");
  ListReader second(two, 5, "stdin");
  EXPECT_EQ(read_integers(second, 1), (Ints{1}));
  EXPECT_THROW(read_integers(second, 1), InputError);
}

TEST(Reading, LastLineWithoutLineEnd) {
  std::istringstream in("1 2\n3 4");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 4), (Ints{1, 2, 3, 4}));
}

// Runs a read expected to fail and returns the error.
template <typename Read>
InputError failure(Read&& read) {
  try {
    read();
  } catch (const InputError& error) {
    return error;
  }
  ADD_FAILURE() << "no input error";
  return InputError(ReadCondition::kSyntax, 0, "", "");
}

TEST(ReadFailures, EndOfFile) {
  std::istringstream in("1 2 3 4 5\n6 7 8 9 10\n");
  ListReader reader(in, 10, "study.txt");
  auto error = failure([&] { read_integers(reader, 12); });
  EXPECT_EQ(error.condition(), ReadCondition::kEndOfFile);
  EXPECT_EQ(error.condition_text(), "end-of-file during read, unit 10, file study.txt");
  EXPECT_EQ(std::string(error.what()),
            "end-of-file during read, unit 10, file study.txt (12 values needed, 10 found)");

  std::istringstream empty("");
  ListReader console(empty, 5, "stdin");
  EXPECT_EQ(failure([&] { read_integers(console, 1); }).condition_text(),
            "end-of-file during read, unit 5, file stdin");
  // A read that asks for nothing still takes a line.
  std::istringstream none("");
  ListReader nothing(none, 10, "study.txt");
  EXPECT_EQ(failure([&] { read_integers(nothing, 0); }).condition(), ReadCondition::kEndOfFile);
}

TEST(ReadFailures, ConversionErrors) {
  for (const char* text : {"12.0", "x", "1e3", "+", "2147483648", "-2147483649", "99999999999999", "1-2"}) {
    std::istringstream in(text);
    ListReader reader(in, 10, "study.txt");
    auto error = failure([&] { read_integers(reader, 1); });
    EXPECT_EQ(error.condition(), ReadCondition::kConversion) << text;
    EXPECT_EQ(error.condition_text(), "input conversion error, unit 10, file study.txt");
  }
  for (const char* text : {"abc", "1.0e", "1e40", ".", "1.5x", "nan", "inf", "1.0+5"}) {
    std::istringstream in(text);
    ListReader reader(in, 5, "stdin");
    float x = 0;
    auto error = failure([&] { reader.read({&x}); });
    EXPECT_EQ(error.condition(), ReadCondition::kConversion) << text;
  }
}

TEST(ReadFailures, IntegerLimitsAreExact) {
  std::istringstream in("2147483647 -2147483648");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 2), (Ints{2147483647, -2147483647 - 1}));
}

TEST(ReadFailures, MalformedRepeatIsASyntaxError) {
  for (const char* text : {"0*5", "*5", "-2*5", "x*5", "99999999999*1"}) {
    std::istringstream in(text);
    ListReader reader(in, 10, "study.txt");
    auto error = failure([&] { read_integers(reader, 1); });
    EXPECT_EQ(error.condition(), ReadCondition::kSyntax) << text;
    EXPECT_EQ(error.condition_text(), "list-directed I/O syntax error, unit 10, file study.txt");
  }
}

// Input made on the fly, so that a test can feed lines far longer than it could hold: `head`,
// then `count` copies of `fill` (without end when `count` is kEndless), then `tail`. It counts
// the bytes the reader has taken, to show how far the reader went.
class MadeInput : public std::streambuf {
 public:
  static constexpr std::uint64_t kEndless = std::numeric_limits<std::uint64_t>::max();

  MadeInput(std::string head, char fill, std::uint64_t count, std::string tail)
      : head_(std::move(head)), fill_(fill), count_(count), tail_(std::move(tail)) {}

  std::uint64_t taken() const { return made_ - static_cast<std::uint64_t>(egptr() - gptr()); }

 protected:
  int_type underflow() override {
    std::size_t n = 0;
    while (n < block_.size()) {
      if (position_ < head_.size()) {
        block_[n++] = head_[position_++];
      } else if (position_ - head_.size() < count_) {
        const std::uint64_t left = count_ - (position_ - head_.size());
        const std::size_t run = static_cast<std::size_t>(std::min<std::uint64_t>(left, block_.size() - n));
        std::fill_n(block_.begin() + static_cast<std::ptrdiff_t>(n), run, fill_);
        n += run;
        position_ += run;
      } else if (position_ - head_.size() - count_ < tail_.size()) {
        block_[n++] = tail_[position_ - head_.size() - count_];
        ++position_;
      } else {
        break;
      }
    }
    made_ += n;
    setg(block_.data(), block_.data(), block_.data() + n);
    return n == 0 ? traits_type::eof() : traits_type::to_int_type(block_[0]);
  }

 private:
  std::string head_;
  char fill_;
  std::uint64_t count_;
  std::string tail_;
  std::uint64_t position_ = 0;
  std::uint64_t made_ = 0;
  std::vector<char> block_ = std::vector<char>(1 << 16);
};

constexpr std::uint64_t kHundredMegabytes = 100'000'000;
// What the reader may hold for input, whatever the line: its value and a few bytes ahead.
constexpr std::size_t kMostHeld = 1024;

TEST(LongLines, AValueLongerThanAnyNumberIsRefusedAtOnce) {
  MadeInput made("", '7', kHundredMegabytes, "\n");
  std::istream in(&made);
  ListReader reader(in, 5, "stdin");
  const auto error = failure([&] { read_integers(reader, 1); });
  EXPECT_EQ(std::string(error.what()),
            "input conversion error, unit 5, file stdin (line 1: \"" + std::string(40, '7') + "...\")");
  EXPECT_LE(made.taken(), ListReader::kLongestValue + 1);
  EXPECT_LE(reader.held_bytes(), kMostHeld);
}

TEST(LongLines, TheRestOfALongLineIsPassedWithoutBeingHeld) {
  MadeInput made("2 ", 'x', kHundredMegabytes, "\n7\n");
  std::istream in(&made);
  ListReader reader(in, 5, "stdin");
  EXPECT_EQ(read_integers(reader, 1), (Ints{2}));
  EXPECT_EQ(read_integers(reader, 1), (Ints{7}));
  EXPECT_EQ(made.taken(), kHundredMegabytes + 4);  // all but the line end after the 7
  EXPECT_LE(reader.held_bytes(), kMostHeld);

  // Blanks, however many, are separators and never held.
  MadeInput blanks("\n\n", ' ', kHundredMegabytes, "15,120 25\t118");
  std::istream spaced(&blanks);
  ListReader study(spaced, 10, "study.txt");
  EXPECT_EQ(read_integers(study, 4), (Ints{15, 120, 25, 118}));
  EXPECT_LE(study.held_bytes(), kMostHeld);
}

TEST(LongLines, AnEndlessUnitStopsAtItsFirstValue) {
  // /dev/zero as study.txt: zero bytes without end and never a line end.
  MadeInput zeros("", '\0', MadeInput::kEndless, "");
  std::istream in(&zeros);
  ListReader reader(in, 10, "study.txt");
  const auto error = failure([&] { read_integers(reader, 400); });
  EXPECT_EQ(error.condition(), ReadCondition::kConversion);
  EXPECT_EQ(std::string(error.what()),
            "input conversion error, unit 10, file study.txt (line 1: \"" + std::string(40, '?') + "...\")");
  EXPECT_LE(zeros.taken(), ListReader::kLongestValue + 1);
  EXPECT_LE(reader.held_bytes(), kMostHeld);

  // Endless digits after a valid study: the read takes what it needs and stops.
  MadeInput digits("1 10 2 10 ", '9', MadeInput::kEndless, "");
  std::istream more(&digits);
  ListReader study(more, 10, "study.txt");
  EXPECT_EQ(read_integers(study, 4), (Ints{1, 10, 2, 10}));
  EXPECT_LE(digits.taken(), 10u);
}

TEST(LongLines, TheLongestValueIsHeldAndOneMoreIsRefused) {
  std::istringstream in(std::string(ListReader::kLongestValue - 1, '0') + "5\n" +
                        std::string(ListReader::kLongestValue, '0') + "5\n");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 1), (Ints{5}));
  const auto error = failure([&] { read_integers(reader, 1); });
  EXPECT_EQ(std::string(error.what()),
            "input conversion error, unit 10, file study.txt (line 2: \"" + std::string(40, '0') + "...\")");
}

TEST(Messages, QuoteAtMostTheFirst40Characters) {
  auto message = [](const std::string& text, std::size_t count = 1) {
    std::istringstream in(text);
    ListReader reader(in, 10, "study.txt");
    return std::string(failure([&] { read_integers(reader, count); }).what());
  };
  const std::string prefix = "input conversion error, unit 10, file study.txt (line 1: ";
  EXPECT_EQ(message(std::string(40, 'a')), prefix + "\"" + std::string(40, 'a') + "\")");
  EXPECT_EQ(message(std::string(41, 'a')), prefix + "\"" + std::string(40, 'a') + "...\")");
  EXPECT_EQ(message("1 " + std::string(200, '8'), 2), prefix + "\"" + std::string(40, '8') + "...\")");
  // Characters, not bytes: a UTF-8 sequence is never split.
  std::string accents;
  for (int i = 0; i < 41; ++i) accents += "\xC3\xA9";
  EXPECT_EQ(message(accents), prefix + "\"" + accents.substr(0, 80) + "...\")");
  // Stray continuation bytes count as characters too, four bytes at most to one.
  const std::string stray = "1" + std::string(199, '\xB1');
  // They show as '?', as every byte that is no UTF-8 does.
  EXPECT_EQ(message(stray), prefix + "\"1" + std::string(159, '?') + "...\")");
  // Control characters are shown as '?', so a file cannot drive the terminal: C0, C1 (CSI,
  // U+009B, starts an escape sequence on many terminals) and bidirectional ones (U+202E).
  EXPECT_EQ(message("1\x1B[2J"), prefix + "\"1?[2J\")");
  EXPECT_EQ(message("1\xC2\x9B" "2J\xE2\x80\xAE"), prefix + "\"1?2J?\")");
  EXPECT_EQ(message(std::string("7\0", 2)), prefix + "\"7?\")");
  // The value after a repeat count, and a malformed repeat as a whole.
  EXPECT_EQ(message("2*" + std::string(45, 'b')), prefix + "\"" + std::string(40, 'b') + "...\")");
  EXPECT_EQ(message("x*" + std::string(45, 'b')),
            "list-directed I/O syntax error, unit 10, file study.txt (line 1: bad repeat count in \"x*" +
                std::string(38, 'b') + "...\")");
  EXPECT_EQ(message("x*" + std::string(400, 'b')),
            "list-directed I/O syntax error, unit 10, file study.txt (line 1: bad repeat count in \"x*" +
                std::string(38, 'b') + "...\")");
}

}  // namespace
}  // namespace oskev::records
