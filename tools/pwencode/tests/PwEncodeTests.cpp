#include "PwEncode.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using testsupport::BuiltProgram;
using testsupport::RunProgram;

TEST(PwEncode, EncodesEachByteAsTwoLowercaseDigitsOfByteXorKey) {
    EXPECT_EQ(PwEncode(""), "");
    EXPECT_EQ(PwEncode("Z"), "00"); // the key itself
    EXPECT_EQ(PwEncode("abc"), "3b3839");
    EXPECT_EQ(PwEncode("\xff\x80"), "a5da"); // bytes above 127 are unsigned
    EXPECT_EQ(PwEncode(std::string("\0", 1)), "5a");
}

TEST(PwEncode, ProgramPrintsEncodingAndIgnoresFurtherArguments) {
    const auto r = RunProgram({BuiltProgram("pwencode"), "secret", "ignored"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "293f39283f2e\n");
    EXPECT_EQ(r.err, "");

    const auto empty = RunProgram({BuiltProgram("pwencode"), ""});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.out, "\n");
}

TEST(PwEncode, ProgramWithoutArgumentPrintsUsageWithItsOwnName) {
    const auto r = RunProgram({BuiltProgram("pwencode")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "usage : " + BuiltProgram("pwencode") + "  password\n");
}

TEST(PwEncode, LongPasswordsAreEncodedWhole) {
    const std::string password(5000, 'q');
    const auto r = RunProgram({BuiltProgram("pwencode"), password});
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(r.out.size(), 2 * password.size() + 1);
    EXPECT_EQ(r.out.substr(0, 2), "2b"); // 'q' ^ 0x5A
    EXPECT_EQ(r.out.back(), '\n');
}
