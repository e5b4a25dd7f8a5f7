// The /proc text parsers, fed literal texts.
#include <gtest/gtest.h>

#include "processes/proc_stat_parser.h"

using namespace tesmar::platform;

TEST(StatField, CountsFieldsFromTheLastParenthesisOfTheCommand) {
  // A command name with a blank and a ')' of its own.
  const char* line =
      "4242 (my) app) S 1 4242 4242 0 -1 4194560 100 0 0 0 5 6 0 0 20 0 3 0 987654 1000 50 "
      "18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 1 0 0 0 0 0\n";
  EXPECT_EQ(StatField(line, 1), "4242");
  EXPECT_EQ(StatField(line, 2), "my) app");
  EXPECT_EQ(StatField(line, 3), "S");
  EXPECT_EQ(StatNumber(line, kStatStartTime), 987654u);
  EXPECT_EQ(StatNumber(line, kStatProcessor), 1u);
  EXPECT_EQ(StatField(line, 60), std::nullopt);
  EXPECT_EQ(StatField("garbage without parentheses", 3), std::nullopt);
  EXPECT_EQ(StatNumber("1 (x) S abc", 4), std::nullopt);
}

TEST(StatusNumber, FindsTheNamedLineOnly) {
  const char* status = "Name:\tapp\nPPid:\t1\nTgid:\t4242\nPid:\t4243\nTracerPid:\t0\n";
  EXPECT_EQ(StatusNumber(status, "Tgid"), 4242u);
  EXPECT_EQ(StatusNumber(status, "Pid"), 4243u);  // not TracerPid, not PPid
  EXPECT_EQ(StatusNumber(status, "Uid"), std::nullopt);
}
