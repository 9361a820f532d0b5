// The messages channel: warnings with the program's prefix, one progress
// line overwritten in place and cleared before a warning, and silence when
// the channel is off.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "textio/messages.h"

namespace {

namespace tio = orthaxis::textio;

// Everything written to a temporary stream.
std::string contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  return s;
}

void exercise(tio::Messages& m) {
  m.show("reading objects: 4096 of 10000");
  m.show("reading 8192");
  m.warning("d.txt: 2 values are left");
  m.show("scores");
}

TEST(Messages, ProgressIsOverwrittenAndClearedBeforeAWarningAndAtTheEnd) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    tio::Messages m(f, true, true);
    exercise(m);
    EXPECT_EQ(m.warnings_given(), 1);
  }
  EXPECT_EQ(contents(f),
            "\rreading objects: 4096 of 10000"
            "\rreading 8192" + std::string(18, ' ') +
            "\r" + std::string(12, ' ') + "\r"
            "ORTHAXIS: warning: d.txt: 2 values are left\n"
            "\rscores"
            "\r      \r");
  std::fclose(f);
}

TEST(Messages, WarningsWithoutProgressAndSilenceWhenOff) {
  struct Case {
    bool warnings, progress;
    std::string expected;
  };
  const Case cases[] = {
      {true, false, "ORTHAXIS: warning: d.txt: 2 values are left\n"},
      {false, false, ""},
  };
  for (const Case& c : cases) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
      tio::Messages m(f, c.warnings, c.progress);
      exercise(m);
      EXPECT_FALSE(m.update_due());
    }
    EXPECT_EQ(contents(f), c.expected);
    std::fclose(f);
  }
}

}  // namespace
