// The mailbox between a run and its receiver: what it keeps, in which order, and when it asks
// for a wake-up.

#include "StatusMailbox.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

CStatusMessage Line1(const std::string& text) {
    return {STATUS_LINE1, text, 0};
}
CStatusMessage Line2(const std::string& text) {
    return {STATUS_LINE2, text, 0};
}
CStatusMessage Percent(int percent) {
    return {STATUS_PERCENT, {}, percent};
}

} // namespace

TEST(StatusMailbox, KeepsEveryFirstLineAndTheNewestOfTheOthersInOrder) {
    CStatusMailbox mailbox;
    EXPECT_TRUE(mailbox.Take().empty());
    EXPECT_TRUE(mailbox.Post(STATUS_LINE1, "Generating group index", 0));
    EXPECT_FALSE(mailbox.Post(STATUS_PERCENT, {}, 1));
    EXPECT_TRUE(mailbox.Post(STATUS_LINE1, "Generating area body pages...", 0));
    EXPECT_FALSE(mailbox.Post(STATUS_LINE2, "Area: A", 0));
    EXPECT_FALSE(mailbox.Post(STATUS_PERCENT, {}, 2));
    EXPECT_FALSE(mailbox.Post(STATUS_LINE2, "Area: B", 0));
    EXPECT_FALSE(mailbox.Post(STATUS_LINE2, "Area: C", 0));
    EXPECT_EQ(mailbox.Take(),
              (std::vector<CStatusMessage>{Line1("Generating group index"), Percent(1),
                                           Line1("Generating area body pages..."), Percent(2),
                                           Line2("Area: C")}));
    EXPECT_TRUE(mailbox.Take().empty());

    // After a look, the next second line is kept again even with no first line between.
    EXPECT_FALSE(mailbox.Post(STATUS_LINE2, "one", 0));
    EXPECT_FALSE(mailbox.Post(STATUS_PERCENT, {}, 3));
    EXPECT_FALSE(mailbox.Post(STATUS_PERCENT, {}, 4));
    EXPECT_TRUE(mailbox.Post(STATUS_FINISHED, {}, 0));
    EXPECT_EQ(mailbox.Take(), (std::vector<CStatusMessage>{Line2("one"), Percent(4),
                                                           {STATUS_FINISHED, {}, 0}}));
}

TEST(StatusMailbox, AReceiverTakingAtItsOwnPaceSeesTheRunsOrderAndEveryEnd) {
    // A run of 200 first lines with 500 second lines each, taken concurrently: what is taken
    // is a subsequence of what was posted, with every first line, the last second line before
    // each of them, and the end.
    CStatusMailbox mailbox;
    std::vector<CStatusMessage> posted;
    for (int l = 0; l < 200; ++l) {
        posted.push_back(Line1("line " + std::to_string(l)));
        for (int f = 0; f < 500; ++f) {
            posted.push_back(Line2(std::to_string(l) + "/" + std::to_string(f)));
            if (f % 100 == 0) {
                posted.push_back(Percent(l * 5 + f / 100));
            }
        }
    }
    posted.push_back({STATUS_FINISHED, {}, 0});
    int wakes = 0;
    std::thread run([&] {
        for (const CStatusMessage& message : posted) {
            wakes += mailbox.Post(message.code, message.text, message.percent);
        }
    });
    std::vector<CStatusMessage> taken;
    while (taken.empty() || taken.back().code != STATUS_FINISHED) {
        for (CStatusMessage& message : mailbox.Take()) {
            taken.push_back(std::move(message));
        }
        std::this_thread::yield();
    }
    run.join();
    EXPECT_EQ(wakes, 201);
    std::size_t at = 0;
    for (const CStatusMessage& message : taken) {
        while (at < posted.size() && !(posted[at] == message)) {
            ++at;
        }
        ASSERT_LT(at, posted.size()) << "taken out of order: " << message.text;
        ++at;
    }
    std::size_t firstLines = 0;
    for (std::size_t i = 0; i < taken.size(); ++i) {
        if (taken[i].code == STATUS_LINE1 && i > 0) {
            ++firstLines;
            EXPECT_EQ(taken[i - 1], Line2(std::to_string(firstLines - 1) + "/499"));
        }
    }
    EXPECT_EQ(firstLines, 199u);
    EXPECT_EQ(taken[taken.size() - 2], Line2("199/499"));
}
