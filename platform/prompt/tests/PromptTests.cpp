#include "Prompt.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

using namespace prompt;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// A terminal conversation: `typed` is what the user types; the result is what was shown.
struct CConversation {
    explicit CConversation(const std::string& typed) {
        in = std::tmpfile();
        out = std::tmpfile();
        std::fputs(typed.c_str(), in);
        std::rewind(in);
    }
    ~CConversation() {
        std::fclose(in);
        std::fclose(out);
    }
    std::string Shown() const {
        std::fflush(out);
        std::rewind(out);
        std::string text;
        int c = 0;
        while ((c = std::fgetc(out)) != EOF) {
            text += static_cast<char>(c);
        }
        return text;
    }
    std::FILE* in;
    std::FILE* out;
};

} // namespace

TEST(TerminalPrompt, AsksOnATerminalUntilItGetsAnAnswerItOffers) {
    CConversation talk("maybe\nok\n Y \nno\nC\n");
    CTerminalPrompt terminal(EConfirm::Ask, "Dorvale Explorer", talk.in, talk.out, true);
    // "ok" is not offered by a Yes/No box; " Y " is yes.
    EXPECT_EQ(terminal.Message("Delete it?", "Question", EButtons::YesNo, EIcon::Question),
              EAnswer::Yes);
    EXPECT_EQ(terminal.Message("Keep it?", "Dorvale Explorer", EButtons::YesNo, EIcon::Question),
              EAnswer::No);
    EXPECT_EQ(terminal.Message("Copy?", "Warning", EButtons::YesNoCancel, EIcon::Warning),
              EAnswer::Cancel);
    // End of input: refused, answered as dismissed.
    EXPECT_EQ(terminal.Message("More?", "Question", EButtons::YesNo, EIcon::Question), EAnswer::No);
    EXPECT_TRUE(terminal.Refused());
    EXPECT_EQ(terminal.RefusedQuestion(), "More?");
    EXPECT_EQ(talk.Shown(), "Question: Delete it?\n[y]es/[n]o? Question: Delete it?\n[y]es/[n]o? "
                            "Question: Delete it?\n[y]es/[n]o? Keep it?\n[y]es/[n]o? "
                            "Warning: Copy?\n[y]es/[n]o/[c]ancel? Question: More?\n[y]es/[n]o? \n");
}

TEST(TerminalPrompt, WithoutATerminalTakesTheCommandLineAnswerOrRefuses) {
    CConversation talk("yes\n");
    CTerminalPrompt yes(EConfirm::Yes, "T", talk.in, talk.out, false);
    EXPECT_EQ(yes.Message("Q", "Question", EButtons::YesNo, EIcon::Question), EAnswer::Yes);
    EXPECT_EQ(yes.Message("Q", "Question", EButtons::YesNoCancel, EIcon::Question), EAnswer::Yes);
    EXPECT_EQ(yes.Message("Q", "Question", EButtons::OkCancel, EIcon::Question), EAnswer::Ok);
    CTerminalPrompt no(EConfirm::No, "T", talk.in, talk.out, true);
    EXPECT_EQ(no.Message("Q", "Question", EButtons::YesNoCancel, EIcon::Question), EAnswer::No);
    EXPECT_EQ(no.Message("Q", "Question", EButtons::OkCancel, EIcon::Question), EAnswer::Cancel);
    EXPECT_FALSE(yes.Refused() || no.Refused());
    // Nothing was read from the input and no question was printed.
    EXPECT_EQ(talk.Shown(), "");

    CTerminalPrompt ask(EConfirm::Ask, "T", talk.in, talk.out, false);
    EXPECT_EQ(ask.Message("First?", "Warning", EButtons::YesNoCancel, EIcon::Warning),
              EAnswer::Cancel);
    EXPECT_EQ(ask.Message("Second?", "Question", EButtons::YesNo, EIcon::Question), EAnswer::No);
    EXPECT_TRUE(ask.Refused());
    EXPECT_EQ(ask.RefusedQuestion(), "First?");
    std::string path;
    EXPECT_FALSE(ask.ChooseFile({"Pick", {}, {}, true}, path));

    // Messages that only inform are printed, whatever the answer policy.
    EXPECT_EQ(ask.Message("Done.", "T", EButtons::Ok, EIcon::Information), EAnswer::Ok);
    EXPECT_EQ(ask.Message("Careful.", "Warning", EButtons::Ok, EIcon::Warning), EAnswer::Ok);
    EXPECT_EQ(talk.Shown(), "Done.\nWarning: Careful.\n");
}

TEST(ScriptedPrompt, AnswersInOrderAndReportsEveryDifference) {
    CScriptedPrompt script;
    script.Expect("One?", "Question", EAnswer::Yes)
        .Expect("Two.", "Warning")
        .Expect("Three?", "Question", EAnswer::Cancel)
        .Expect("Never asked", "Error")
        .ChooseNext("/tmp/x.txt")
        .ChooseNext("");
    EXPECT_EQ(script.Message("One?", "Question", EButtons::YesNo, EIcon::Question), EAnswer::Yes);
    EXPECT_EQ(script.Message("Two.", "Information", EButtons::Ok, EIcon::Information), EAnswer::Ok);
    // Cancel is not offered by a Yes/No box: dismissed, and reported.
    EXPECT_EQ(script.Message("Three?", "Question", EButtons::YesNo, EIcon::Question), EAnswer::No);
    std::string path;
    EXPECT_TRUE(script.ChooseFile({}, path));
    EXPECT_EQ(path, "/tmp/x.txt");
    EXPECT_FALSE(script.ChooseFolder("Select Directory", "/", path));
    ASSERT_EQ(script.Asked().size(), 3u);
    EXPECT_EQ(script.Asked()[2].buttons, EButtons::YesNo);
    EXPECT_EQ(script.Asked()[1].icon, EIcon::Information);
    EXPECT_THAT(script.Problems(),
                ElementsAre("message 2: expected \"Two.\" (caption \"Warning\"), got \"Two.\" "
                            "(caption \"Information\")",
                            "message 3 \"Three?\" offers no Cancel",
                            "expected message not asked: \"Never asked\""));

    CScriptedPrompt empty;
    EXPECT_EQ(empty.Message("Surprise", "Error", EButtons::YesNoCancel, EIcon::Error),
              EAnswer::Cancel);
    EXPECT_FALSE(empty.ChooseFile({"Pick", {}, {}, true}, path));
    EXPECT_THAT(empty.Problems(), ElementsAre("unexpected message \"Surprise\" (caption \"Error\")",
                                              "unexpected chooser \"Pick\""));
    CScriptedPrompt clean;
    clean.Expect("A", "B");
    clean.Message("A", "B", EButtons::Ok, EIcon::None);
    EXPECT_THAT(clean.Problems(), IsEmpty());
}

TEST(PromptFilter, ParsesTheWindowsFilterForm) {
    const auto entries = ParseFilter("Text Files (.txt)|*.txt|All Files (*.*)|*.*||");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].label, "Text Files (.txt)");
    EXPECT_THAT(entries[0].patterns, ElementsAre("*.txt"));
    EXPECT_EQ(entries[1].label, "All Files (*.*)");
    EXPECT_THAT(entries[1].patterns, ElementsAre("*.*"));
    const auto several = ParseFilter("Archives|*.zip;*.ZIP;|Nothing||");
    ASSERT_EQ(several.size(), 1u);
    EXPECT_THAT(several[0].patterns, ElementsAre("*.zip", "*.ZIP"));
    EXPECT_THAT(ParseFilter(""), IsEmpty());
    EXPECT_THAT(ParseFilter("Label only"), IsEmpty());
}
