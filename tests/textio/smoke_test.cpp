#include <gtest/gtest.h>

#include "textio/format.h"

using orthaxis::textio::Format;

TEST(FormatSmoke, SlashesOnlyWriteOneMoreRecordThanSlashes) {
  EXPECT_EQ(Format("(//)").records({}).size(), 3u);
}
