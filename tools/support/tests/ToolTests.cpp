// The shared option loop: the forms an option's value may take, what ends the options,
// and what is left unconsumed when a value is refused.
#include "Tool.h"

#include <gtest/gtest.h>

namespace {

TEST(ToolArgs, ValuesInlineOrNextAndPositionalWordsAfterDoubleDash) {
    tool::CArgs args({"--dir=/a", "--port", "80", "word", "-", "--", "--dir", "-h"});
    EXPECT_FALSE(args.HelpAsked()); // -h after "--" is a word
    std::string dir;
    long long port = 0;
    std::vector<std::string> words;
    while (args.Next()) {
        if (args.Is("--dir")) {
            ASSERT_TRUE(args.TakeValue(dir));
        } else if (args.Is("--port")) {
            ASSERT_TRUE(args.TakeNumber(port, 1, 65535));
        } else {
            ASSERT_TRUE(args.IsPositional()) << args.Current();
            words.push_back(args.Current());
        }
    }
    EXPECT_EQ(dir, "/a");
    EXPECT_EQ(port, 80);
    EXPECT_EQ(words, (std::vector<std::string>{"word", "-", "--dir", "-h"}));
}

TEST(ToolArgs, RefusedValuesAreNotConsumed) {
    tool::CArgs args({"--port", "99999", "--name=", "--name", "", "--last"});
    long long port = 0;
    std::string name;
    ASSERT_TRUE(args.Next());
    EXPECT_FALSE(args.TakeNumber(port, 1, 65535));
    ASSERT_TRUE(args.Next());
    EXPECT_EQ(args.Current(), "99999"); // left for the caller to report
    ASSERT_TRUE(args.Next());
    EXPECT_TRUE(args.Is("--name"));
    EXPECT_FALSE(args.TakeValue(name));
    EXPECT_TRUE(args.TakeValue(name, true));
    ASSERT_TRUE(args.Next());
    EXPECT_FALSE(args.TakeValue(name)); // the next argument is empty
    ASSERT_TRUE(args.Next());
    EXPECT_TRUE(args.IsPositional());
    ASSERT_TRUE(args.Next());
    EXPECT_FALSE(args.TakeValue(name)); // nothing follows
    EXPECT_EQ(args.Unexpected(), "unexpected \"--last\"");
    EXPECT_FALSE(args.Next());
}

TEST(ToolArgs, HelpAnywhereBeforeDoubleDash) {
    EXPECT_TRUE(tool::CArgs({"start", "--port", "1", "--help"}).HelpAsked());
    EXPECT_TRUE(tool::CArgs({"-h"}).HelpAsked());
    EXPECT_FALSE(tool::CArgs({"--helpful"}).HelpAsked());
}

TEST(ToolNumbers, OnlyPlainDigitsWithinRange) {
    long long value = 7;
    EXPECT_TRUE(tool::ParseNumber("0", 0, 10, value));
    EXPECT_EQ(value, 0);
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "0x10", "11", "999999999999999999999"}) {
        EXPECT_FALSE(tool::ParseNumber(bad, 0, 10, value)) << bad;
    }
    EXPECT_EQ(value, 0);
}

} // namespace
