#include <gtest/gtest.h>

#include "runtime.h"

namespace {

TEST(FixedText, CutsPadsAndComparesWithoutTrailingBlanks) {
  EXPECT_EQ(rt::Fixed("abc", 5), "abc  ");
  EXPECT_EQ(rt::Fixed("abcdef", 4), "abcd");
  EXPECT_EQ(rt::Fixed("", 3), "   ");
  EXPECT_EQ(rt::TrimRight("  a b  "), "  a b");
  EXPECT_TRUE(rt::SameText("abc", "abc   "));
  EXPECT_FALSE(rt::SameText("abc", " abc"));
  EXPECT_TRUE(rt::IsBlank("    "));
  EXPECT_TRUE(rt::IsBlank(""));
  EXPECT_FALSE(rt::IsBlank("  x"));
}

TEST(FixedText, SplitKeepsEveryPartBetweenTheSeparators) {
  using Parts = std::vector<std::string>;
  EXPECT_EQ(rt::Split("a|b", '|'), (Parts{"a", "b"}));
  EXPECT_EQ(rt::Split("first ||third", '|'), (Parts{"first ", "", "third"}));
  EXPECT_EQ(rt::Split("|a|", '|'), (Parts{"", "a", ""}));
  EXPECT_EQ(rt::Split("", '|'), (Parts{""}));
  EXPECT_EQ(rt::Split("a,b", '|'), (Parts{"a,b"}));
}

TEST(Pictures, DecimalOverflowShowsHashesAndKeepsThePoint) {
  struct Case {
    rt::ScaledDecimal value;
    int digits, places;
    const char* expected;
  } cases[] = {
      {{2210, 2}, 1, 2, "#.##"},  // the launcher's version in a one-digit picture
      {{999, 2}, 1, 2, "9.99"},   {{100, 2}, 1, 2, "1.00"}, {{1000, 2}, 1, 2, "#.##"},
      {{2210, 2}, 2, 2, "22.10"}, {{5, 0}, 1, 2, "5.00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rt::FormatDecimal(c.value, c.digits, c.places), c.expected) << c.value.units;
  }
}

TEST(Pictures, GroupedAndZeroFilledNumbers) {
  EXPECT_EQ(rt::FormatGrouped(1234567), "       1,234,567");
  EXPECT_EQ(rt::FormatGrouped(-1000), "          -1,000");
  EXPECT_EQ(rt::FormatGrouped(0), "               0");
  EXPECT_EQ(rt::FormatGrouped(999), "             999");
  EXPECT_EQ(rt::FormatGrouped(-2147483647 - 1), "  -2,147,483,648");
  EXPECT_EQ(rt::FormatZeroFilled(2026, 4), "2026");
  EXPECT_EQ(rt::FormatZeroFilled(7, 4), "0007");
}

TEST(Pictures, TimesOfDay) {
  // 9:05:03.99 is 9*360000 + 5*6000 + 3*100 + 99 + 1.
  const int clock = 9 * 360000 + 5 * 6000 + 3 * 100 + 99 + 1;
  EXPECT_EQ(rt::FormatTimeT4(clock), " 9:05:03");
  EXPECT_EQ(rt::FormatShortTime(clock), "09:05");
  EXPECT_EQ(rt::FormatTimeT4(23 * 360000 + 59 * 6000 + 59 * 100 + 100), "23:59:59");
  EXPECT_EQ(rt::FormatTimeT4(1), " 0:00:00");
}

TEST(TextToNumber, FollowsTheRuntimeRule) {
  struct Case {
    const char* text;
    long long whole;
  } cases[] = {
      {"5", 5},
      {" 5", 5},
      {"5.9", 5},
      {"5,9", 5},
      {"-1", -1},
      {"-1.7", -1},
      {"0", 0},
      {"", 0},
      {"abc", 0},
      {"+5", 0},
      {"12abc", 12},
      {"5e1", 50},
      {"5E-1", 0},
      {"2", 2},
      {"  -3x", -3},
      {"- 3", 0},
      {"0.5e1", 5},
      {".", 0},
      // Beyond the 64-bit range: its nearest end, never 0.
      {"1e19", INT64_MAX},
      {"-1e19", INT64_MIN},
      {"1e400", INT64_MAX},
      {"9223372036854775807", INT64_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(rt::TextToWhole(c.text), c.whole) << '"' << c.text << '"';
}

TEST(Dates, DayNumbersAndYears) {
  EXPECT_EQ(rt::DateFromYMD(1800, 12, 28), 1);
  EXPECT_EQ(rt::DateFromYMD(1801, 1, 1), 5);
  for (int year : {1801, 1900, 2000, 2026, 2100}) {
    EXPECT_EQ(rt::DateYear(rt::DateFromYMD(year, 1, 1)), year);
    EXPECT_EQ(rt::DateYear(rt::DateFromYMD(year, 12, 31)), year);
  }
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  EXPECT_EQ(rt::DateYear(rt::DateToday()), now.wYear);
}

TEST(CommandLine, SwitchesAndValues) {
  struct Case {
    const char* line;
    const char* selector;
    const char* expected;
  } cases[] = {
      {"prog.exe /debug", "/debug", "/debug"},
      {"prog.exe /DEBUG", "/debug", "/DEBUG"},    // any letter case
      {"prog.exe /debugWinAlert", "/debug", ""},  // whole words only
      {"prog.exe /debug", "/debugWinAlert", ""},
      {"prog.exe U=anna P=secret", "U", "anna"},
      {"prog.exe u=anna", "U", "anna"},
      {"prog.exe User=anna", "U", ""},  // the name must end at '='
      {"prog.exe U= P=x", "U", ""},     // a blank value
      {"prog.exe U=a U=b", "U", "a"},   // the first word wins
      {"prog.exe DebugOutputFile=C:\\t\\d.log", "debugoutputfile", "C:\\t\\d.log"},
      {"prog.exe \"DebugOutputFile=C:\\a b\\d.log\"", "DebugOutputFile", "C:\\a b\\d.log"},
      {"\"C:\\U=x\\prog.exe\" /c", "U", ""},  // the program name is not searched
      {"\"C:\\U=x\\prog.exe\" /c", "/C", "/c"},
      {"prog.exe", "/C", ""},
  };
  for (const Case& c : cases) {
    rt::CommandLineOverride(std::string(c.line));
    EXPECT_EQ(rt::CommandLineValue(c.selector), c.expected) << c.line << " ? " << c.selector;
  }
  rt::CommandLineOverride(std::nullopt);
}

}  // namespace
