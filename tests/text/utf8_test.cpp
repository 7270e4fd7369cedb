#include <gtest/gtest.h>

#include <string>

#include "text/utf8.hpp"

namespace oskev::text {
namespace {

// Names from outside show only themselves: every control character (a terminal's ESC, the
// bidirectional U+202E that shows the rest backwards) and every byte that is no UTF-8 as '?'.
TEST(Neutralised, ControlCharactersAndStrayBytesShowAsQuestionMarks) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain name.csv", "plain name.csv"},
      {"M\xC3\xBCller \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80", "M\xC3\xBCller \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"},
      {"a\x1b[2Jb\x1b]0;title\x07", "a?[2Jb?]0;title?"},
      {"tab\tnl\ncr\rdel\x7f", "tab?nl?cr?del?"},
      {"c1 \xC2\x9B" "31m", "c1 ?31m"},                                   // CSI as one C1 character
      {"evil\xE2\x80\xAEgpj.exe", "evil?gpj.exe"},                        // U+202E
      {"\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD", "????"},       // U+202A ... U+202D
      {"\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9", "????"},       // U+2066 ... U+2069
      {"\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C", "???"},                        // U+200E, U+200F, U+061C
      {"\xE2\x80\xA8\xE2\x80\xA9", "??"},                                 // line and paragraph separators
      {"\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5", "\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5"},  // their neighbours stay
      {"\xFF\xC3(\xE2\x80", "?" "?(" "??"},
      {std::string("nul\0in", 6), "nul?in"},
  };
  for (const auto& c : cases) EXPECT_EQ(neutralised(c.in), c.out) << c.in;
}

TEST(ShownName, LongNamesKeepTheirStartAndEnd) {
  EXPECT_EQ(shown_name("short.csv"), "short.csv");
  EXPECT_EQ(shown_name(std::string(80, 'a')), std::string(80, 'a'));
  const std::string shown = shown_name(std::string(10000, 'p') + ".svg");
  EXPECT_EQ(shown, std::string(39, 'p') + "..." + std::string(34, 'p') + ".svg");
  EXPECT_EQ(shown.size(), 80u);
  // Characters, not bytes, count; and what is kept is neutralised.
  const std::string long_u = std::string(45, 'x') + "\x1b" + std::string(40, 'y') + "\xC3\xBC";
  EXPECT_EQ(shown_name(long_u, 10), "xxxx...yy\xC3\xBC");
  EXPECT_EQ(shown_name("\x1b\x1b\x1b\x1b\x1b", 4), "?...");
}

}  // namespace
}  // namespace oskev::text
