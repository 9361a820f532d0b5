// Report format notation: value editing and record structure. Expected
// records are worked out by hand from the editing and record rules.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "textio/format.h"

namespace {

using orthaxis::textio::Chars;
using orthaxis::textio::edit_exp;
using orthaxis::textio::edit_fixed;
using orthaxis::textio::edit_int;
using orthaxis::textio::Format;
using orthaxis::textio::Value;
using Records = std::vector<std::string>;

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---------------------------------------------------------------- editing

TEST(EditInt, RightJustifiesAndOverflowsToAsterisks) {
  EXPECT_EQ(edit_int(42, 5), "   42");
  EXPECT_EQ(edit_int(-42, 5), "  -42");
  EXPECT_EQ(edit_int(0, 3), "  0");
  EXPECT_EQ(edit_int(12345, 5), "12345");
  EXPECT_EQ(edit_int(-1234, 5), "-1234");
  EXPECT_EQ(edit_int(123456, 5), "*****");
  EXPECT_EQ(edit_int(-12345, 5), "*****");  // the sign needs a position too
  EXPECT_EQ(edit_int(std::numeric_limits<std::int32_t>::min(), 11), "-2147483648");
  EXPECT_EQ(edit_int(std::numeric_limits<std::int32_t>::min(), 10), "**********");
}

TEST(EditFixed, BelowOneHasNoLeadingZero) {
  EXPECT_EQ(edit_fixed(0.5f, 10, 3), "      .500");
  EXPECT_EQ(edit_fixed(-0.5f, 10, 3), "     -.500");
  EXPECT_EQ(edit_fixed(0.25f, 4, 2), " .25");
  EXPECT_EQ(edit_fixed(0.9994f, 8, 3), "    .999");
}

TEST(EditFixed, ValuesThatRoundToZeroShowZeroWithoutSign) {
  EXPECT_EQ(edit_fixed(0.0004f, 10, 3), "     0.000");
  EXPECT_EQ(edit_fixed(-0.0004f, 10, 3), "     0.000");
  EXPECT_EQ(edit_fixed(0.0f, 6, 2), "  0.00");
  EXPECT_EQ(edit_fixed(-0.0f, 6, 2), "  0.00");
}

TEST(EditFixed, RoundingUpToOneGivesTheIntegerForm) {
  EXPECT_EQ(edit_fixed(0.9996f, 8, 3), "   1.000");
  EXPECT_EQ(edit_fixed(-0.9996f, 8, 3), "  -1.000");
  EXPECT_EQ(edit_fixed(9.9996f, 8, 3), "  10.000");
}

TEST(EditFixed, MagnitudeOneOrMore) {
  EXPECT_EQ(edit_fixed(1.125f, 12, 3), "       1.125");
  EXPECT_EQ(edit_fixed(-12.375f, 8, 3), " -12.375");
  EXPECT_EQ(edit_fixed(1e10f, 15, 1), "  10000000000.0");
}

TEST(EditFixed, RoundsTheExactBinaryValue) {
  // 1.0005f is 1.000499963760..., below the halfway point.
  EXPECT_EQ(edit_fixed(1.0005f, 8, 3), "   1.000");
  // 0.1f is 0.100000001490116...
  EXPECT_EQ(edit_fixed(0.1f, 12, 10), " .1000000015");
  EXPECT_EQ(edit_fixed(0.5f, 25, 15), "         .500000000000000");
}

TEST(EditFixed, ExactHalvesRoundToEven) {
  EXPECT_EQ(edit_fixed(0.125f, 6, 2), "   .12");
  EXPECT_EQ(edit_fixed(0.375f, 6, 2), "   .38");
  EXPECT_EQ(edit_fixed(-2.5f, 4, 0), " -2.");
  EXPECT_EQ(edit_fixed(3.5f, 4, 0), "  4.");
  EXPECT_EQ(edit_fixed(1.0f / 1024.0f, 12, 9), "  .000976562");  // 0.0009765625
}

// The digits of every F field are those std::to_chars gives for the exact
// value (random bit patterns over the whole float range, 0 to 9 decimals).
TEST(EditFixed, AgreesWithTheLibraryOnRandomFloats) {
  std::mt19937 rng(99);
  for (int t = 0; t < 200000; ++t) {
    const float v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    if (!std::isfinite(v) || std::fabs(v) > 1e12f) continue;
    const int d = static_cast<int>(rng() % 10);
    char buf[128];
    std::string want(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, d).ptr);
    // The F edit: no sign on a value that edits as zero, no 0 before the point.
    if (want.find_first_not_of("-0.") == std::string::npos) {
      want = "0." + std::string(static_cast<std::size_t>(d), '0');
    } else {
      const std::size_t digits = want[0] == '-' ? 1 : 0;
      if (want.compare(digits, 2, "0.") == 0) want.erase(digits, 1);
      if (d == 0) want += '.';
    }
    std::string got = edit_fixed(v, 60, d);
    got.erase(0, got.find_first_not_of(' '));
    ASSERT_EQ(got, want) << std::bit_cast<std::uint32_t>(v) << " d " << d;
  }
}

TEST(EditFixed, ZeroDecimals) {
  EXPECT_EQ(edit_fixed(3.0f, 5, 0), "   3.");
  EXPECT_EQ(edit_fixed(2.75f, 4, 0), "  3.");
  EXPECT_EQ(edit_fixed(-7.0f, 4, 0), " -7.");
  EXPECT_EQ(edit_fixed(0.25f, 4, 0), "  0.");
  EXPECT_EQ(edit_fixed(-0.25f, 4, 0), "  0.");
  EXPECT_EQ(edit_fixed(0.0f, 2, 0), "0.");
}

TEST(EditFixed, TooWideFillsWithAsterisks) {
  EXPECT_EQ(edit_fixed(123456.0f, 8, 3), "********");
  EXPECT_EQ(edit_fixed(-0.5f, 4, 3), "****");  // "-.500" needs five
  EXPECT_EQ(edit_fixed(-1234.0f, 8, 3), "********");
  EXPECT_EQ(edit_fixed(1234.0f, 8, 3), "1234.000");
}

TEST(EditExp, PublishedExamples) {
  EXPECT_EQ(edit_exp(12.345f, 12, 4), "  0.1235E+02");
  EXPECT_EQ(edit_exp(-12.345f, 12, 4), " -0.1235E+02");
  EXPECT_EQ(edit_exp(12.5f, 8, 3), ".125E+02");
}

TEST(EditExp, OptionalZeroOnlyWhenAPositionIsSpare) {
  EXPECT_EQ(edit_exp(1.0f, 9, 3), "0.100E+01");
  EXPECT_EQ(edit_exp(-1.0f, 9, 3), "-.100E+01");
  EXPECT_EQ(edit_exp(1.0f, 8, 3), ".100E+01");
  EXPECT_EQ(edit_exp(0.05f, 10, 3), " 0.500E-01");
}

TEST(EditExp, Zero) {
  EXPECT_EQ(edit_exp(0.0f, 10, 3), " 0.000E+00");
  EXPECT_EQ(edit_exp(0.0f, 12, 4), "  0.0000E+00");
}

TEST(EditExp, RoundingCarriesIntoTheExponent) {
  EXPECT_EQ(edit_exp(9.9996f, 10, 3), " 0.100E+02");
  EXPECT_EQ(edit_exp(0.99996f, 10, 3), " 0.100E+01");
}

TEST(EditExp, TooNarrowFillsWithAsterisks) {
  EXPECT_EQ(edit_exp(-12.5f, 8, 3), "********");
  EXPECT_EQ(edit_exp(12.5f, 7, 3), "*******");
}

TEST(EditExp, ExponentsAtTheEndsOfTheFloatRangeKeepTwoDigits) {
  // The largest float is 3.40282347e38, the smallest subnormal 1.40129846e-45.
  EXPECT_EQ(edit_exp(std::numeric_limits<float>::max(), 12, 4), "  0.3403E+39");
  EXPECT_EQ(edit_exp(-std::numeric_limits<float>::max(), 12, 4), " -0.3403E+39");
  EXPECT_EQ(edit_exp(std::numeric_limits<float>::denorm_min(), 12, 4), "  0.1401E-44");
  EXPECT_EQ(edit_exp(std::numeric_limits<float>::min(), 12, 4), "  0.1175E-37");
}

TEST(EditNonFinite, NaN) {
  EXPECT_EQ(edit_fixed(kNaN, 10, 3), "       NaN");
  EXPECT_EQ(edit_fixed(kNaN, 3, 1), "NaN");
  EXPECT_EQ(edit_fixed(kNaN, 2, 1), "**");
  EXPECT_EQ(edit_fixed(-kNaN, 5, 1), "  NaN");
  EXPECT_EQ(edit_exp(kNaN, 12, 4), "         NaN");
  EXPECT_EQ(edit_exp(kNaN, 2, 0), "**");
}

TEST(EditNonFinite, PositiveInfinity) {
  EXPECT_EQ(edit_fixed(kInf, 8, 2), "Infinity");
  EXPECT_EQ(edit_fixed(kInf, 12, 3), "    Infinity");
  EXPECT_EQ(edit_fixed(kInf, 7, 2), "    Inf");
  EXPECT_EQ(edit_fixed(kInf, 3, 0), "Inf");
  EXPECT_EQ(edit_fixed(kInf, 2, 0), "**");
  EXPECT_EQ(edit_exp(kInf, 12, 4), "    Infinity");
  EXPECT_EQ(edit_exp(kInf, 7, 1), "    Inf");
}

TEST(EditNonFinite, NegativeInfinity) {
  EXPECT_EQ(edit_fixed(-kInf, 9, 2), "-Infinity");
  EXPECT_EQ(edit_fixed(-kInf, 10, 3), " -Infinity");
  EXPECT_EQ(edit_fixed(-kInf, 8, 2), "    -Inf");
  EXPECT_EQ(edit_fixed(-kInf, 4, 1), "-Inf");
  EXPECT_EQ(edit_fixed(-kInf, 3, 1), "***");
  EXPECT_EQ(edit_exp(-kInf, 12, 4), "   -Infinity");
  EXPECT_EQ(edit_exp(-kInf, 8, 3), "    -Inf");
}

// ------------------------------------------------------- record structure

TEST(FormatRecords, ScoreLineWithTwelveValuesWritesThreeRecords) {
  std::vector<float> v;
  for (int k = 1; k <= 12; ++k) v.push_back(static_cast<float>(k) + 0.125f);
  Format f("(I5,5F12.3/(5X,5F12.3))");
  Records r = f.records({std::int32_t{7}, std::span<const float>(v)});
  Records expected = {
      "    7       1.125       2.125       3.125       4.125       5.125",
      "            6.125       7.125       8.125       9.125      10.125",
      "           11.125      12.125",
  };
  EXPECT_EQ(r, expected);
}

TEST(FormatRecords, ScoreLineWithFiveValuesEndsWithAnEmptyRecord) {
  std::vector<float> v = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f};
  Format f("(I5,5F12.3/(5X,5F12.3))");
  Records r = f.records({std::int32_t{12}, std::span<const float>(v)});
  Records expected = {
      "   12       1.000       2.000       3.000       4.000       5.000",
      "",
  };
  EXPECT_EQ(r, expected);
}

TEST(FormatRecords, SlashesOnly) {
  EXPECT_EQ(Format("(//)").records({}), Records({"", "", ""}));
  EXPECT_EQ(Format("(/)").records({}), Records({"", ""}));
  EXPECT_EQ(Format("('a'//'b')").records({}), Records({"a", "", "b"}));
}

TEST(FormatRecords, TextFields) {
  std::string title(100, 'T');
  title[0] = 'D';
  title[99] = 'Z';
  EXPECT_EQ(Format("(A100)").records({title}), Records({title}));
  EXPECT_EQ(Format("(1X,A8)").records({"LABEL_01"}), Records({" LABEL_01"}));
  // Narrower than the value: the first w characters.
  EXPECT_EQ(Format("(A3)").records({"abcdef"}), Records({"abc"}));
  // Wider: blanks first.
  EXPECT_EQ(Format("(A5)").records({"ab"}), Records({"   ab"}));
  // Without a width: the value as it is, trailing blanks included.
  EXPECT_EQ(Format("(A,A,'|')").records({"ab ", "cd  "}), Records({"ab cd  |"}));
  EXPECT_EQ(Format("(a)").records({""}), Records({""}));
}

TEST(FormatRecords, CharactersAsSeparateItems) {
  EXPECT_EQ(Format("(3A1)").records({Chars{"xyz"}}), Records({"xyz"}));
  EXPECT_EQ(Format("(1X,10A1)").records({Chars{"xyz"}}), Records({" xyz"}));
  EXPECT_EQ(Format("(2A1)").records({Chars{"abcde"}}), Records({"ab", "cd", "e"}));
}

TEST(FormatRecords, HollerithAndApostropheLiterals) {
  EXPECT_EQ(Format("(1H+,'CURRENT V.=',F25.15)").records({0.5f}),
            Records({"+CURRENT V.=         .500000000000000"}));
  // nH takes n characters whatever they are, commas included.
  EXPECT_EQ(Format("(3HA,B,I2)").records({std::int32_t{5}}), Records({"A,B 5"}));
  EXPECT_EQ(Format("(4H 'x')").records({}), Records({" 'x'"}));
  EXPECT_EQ(Format("('IT''S',I2)").records({std::int32_t{1}}), Records({"IT'S 1"}));
  EXPECT_EQ(Format("('''')").records({}), Records({"'"}));
}

TEST(FormatRecords, SkippedPositions) {
  // Skipped positions at the end of a record are not written.
  EXPECT_EQ(Format("(I2,3X)").records({std::int32_t{1}}), Records({" 1"}));
  EXPECT_EQ(Format("(5X)").records({}), Records({""}));
  // Followed by a character they become blanks.
  EXPECT_EQ(Format("(3X,I2)").records({std::int32_t{1}}), Records({"    1"}));
  EXPECT_EQ(Format("(I2,3X,I2)").records({std::int32_t{1}, std::int32_t{2}}),
            Records({" 1    2"}));
  EXPECT_EQ(Format("(2X,'a',1X,1X,'b')").records({}), Records({"  a  b"}));
}

TEST(FormatRecords, NestedGroupsWithRepeatCounts) {
  EXPECT_EQ(Format("(2(I2,2(1X,'a')))").records({std::int32_t{1}, std::int32_t{2}}),
            Records({" 1 a a 2 a a"}));
  EXPECT_EQ(Format("(1X,2(I1,'-'),I1)")
                .records({std::int32_t{1}, std::int32_t{2}, std::int32_t{3}}),
            Records({" 1-2-3"}));
}

TEST(FormatRecords, GroupsNestTwentyLevels) {
  std::string spec = "(" + std::string(20, '(') + "I1" + std::string(20, ')') + ")";
  EXPECT_EQ(Format(spec).records({std::int32_t{4}}), Records({"4"}));
}

TEST(FormatSpecification, NumbersBeyondTheIntegerRangeAreRefused) {
  // The largest count is taken as it is: the group stops when the values run out.
  EXPECT_EQ(Format("(2147483647(I2))").records({std::int32_t{4}}), Records({" 4"}));
  for (const char* spec : {"(2147483648I1)", "(99999999999(I1))", "(4294967297X,I1)",
                           "(F2147483648.1)", "(E10.2147483648)", "(2147483648HX)"}) {
    SCOPED_TRACE(spec);
    EXPECT_THROW(Format{spec}, std::logic_error);
  }
}

std::vector<Value> ints(int from, int to) {
  std::vector<Value> v;
  for (int k = from; k <= to; ++k) v.emplace_back(std::int32_t{k});
  return v;
}

TEST(FormatReversion, ResumesAtTheRightMostTopLevelGroupWithItsRepeatCount) {
  std::vector<Value> v = ints(1, 11);
  Records expected = {"1 2 3  4  5  6", "  7  8  9", " 10 11"};
  EXPECT_EQ(Format("(I1,2(I2),3(I3))").records(v), expected);
}

TEST(FormatReversion, ResumesAtTheOuterGroupNotANestedOne) {
  std::vector<Value> v = ints(1, 7);
  Records expected = {"1 2  3  4", " 5  6  7"};
  EXPECT_EQ(Format("(I1,(I2,2(I3)))").records(v), expected);
}

TEST(FormatReversion, LeadingSlashHeadingThenRowsOfFive) {
  Format f("(/3X,'TITLE'/(5F12.2))");
  std::vector<float> six = {1, 2, 3, 4, 5, 6};
  Records expected = {
      "",
      "   TITLE",
      "        1.00        2.00        3.00        4.00        5.00",
      "        6.00",
  };
  EXPECT_EQ(f.records({std::span<const float>(six)}), expected);
  expected.pop_back();
  EXPECT_EQ(f.records({std::span<const float>(six).first(5)}), expected);
}

TEST(FormatReversion, ResumesAtTheStartWithoutGroups) {
  std::vector<Value> v = ints(1, 5);
  Records expected = {" 1  2", " 3  4", " 5"};
  EXPECT_EQ(Format("(I2,I3)").records(v), expected);
}

TEST(FormatTermination, LiteralsBeforeTheNextDataDescriptorAreWritten) {
  Format f("(I2,' x',I2,' y')");
  EXPECT_EQ(f.records({std::int32_t{1}}), Records({" 1 x"}));
  EXPECT_EQ(f.records({std::int32_t{1}, std::int32_t{2}}), Records({" 1 x 2 y"}));
  EXPECT_EQ(Format("(I2,'a'/'b',I2)").records({std::int32_t{1}}), Records({" 1a", "b"}));
}

TEST(FormatTermination, SlashBeforeTheEndMakesAnEmptyRecord) {
  EXPECT_EQ(Format("(I5/)").records({std::int32_t{1}}), Records({"    1", ""}));
}

TEST(FormatTermination, EmptyListWritesLiteralsUpToTheFirstDataDescriptor) {
  EXPECT_EQ(Format("(' head',I5,' tail')").records({}), Records({" head"}));
  EXPECT_EQ(Format("(' a',/,' b')").records({}), Records({" a", " b"}));
}

TEST(FormatTermination, RunOutInsideARepeatedGroup) {
  EXPECT_EQ(Format("(2(I2,'x'))").records({std::int32_t{1}}), Records({" 1x"}));
}

TEST(FormatRecords, NonFiniteValuesThroughAFormat) {
  EXPECT_EQ(Format("(3F10.3)").records({kNaN, kInf, -kInf}),
            Records({"       NaN  Infinity -Infinity"}));
  EXPECT_EQ(Format("(3E8.1)").records({kNaN, kInf, -kInf}),
            Records({"     NaNInfinity    -Inf"}));
}

TEST(FormatRecords, WriteEmitsTheSameRecordsInOrder) {
  Format f("(I2/I2)");
  std::vector<Value> v = ints(1, 2);
  Records seen;
  f.write(v, [&seen](std::string_view r) { seen.emplace_back(r); });
  EXPECT_EQ(seen, Records({" 1", " 2"}));
}

}  // namespace
