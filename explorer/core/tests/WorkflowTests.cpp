// Uploads, review submissions, adding a directory and the virus check, on SQLite and
// PostgreSQL, with archives made by libzip and ClamAV as the virus checker.

#include "AddFiles.h"
#include "ArchiveDescriptions.h"
#include "CatalogStatements.h"
#include "CoreFixture.h"
#include "FileOperations.h"
#include "Process.h"
#include "Reviews.h"
#include "TestSettings.h"
#include "Uploads.h"
#include "VirusCheck.h"
#include "ZipTestSupport.h"

#include <gmock/gmock.h>

#include <atomic>

using prompt::EAnswer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class Workflow : public CCoreTest {
protected:
    // A file and its description, written the way the upload control leaves them.
    void Upload(std::uint32_t area, const std::string& name, const std::string& data,
                const std::string& desc) {
        WriteFile(AreaDir(area) / name, data);
        WriteFile(AreaDir(area) / (name + ".desc"), desc);
    }
    static std::string Desc(const std::string& filename, const std::string& title,
                            const std::string& shortDesc = "Brief",
                            const std::string& longDesc = "Long") {
        return "Filename: " + filename + "\r\nArea: Games\r\nTitle: " + title +
               "\r\nVersion: 1.0\r\nShortDesc: " + shortDesc +
               "\r\nCompany: Acme\r\nEmail: up@example.org\r\nReqForm: Yes\r\n\r\n" + longDesc;
    }
};

// Answers every report at once, or stops answering after `answers` calls.
class CRecordingProgress : public IAddFilesProgress {
public:
    bool SetRange(std::size_t count) override { return Answer("range " + std::to_string(count)); }
    bool SetPosition(std::size_t position) override {
        return Answer("at " + std::to_string(position));
    }
    bool ShowCurrentFile(const std::string& text) override { return Answer("file " + text); }
    void Completed() override { completed = true; }
    bool Answer(const std::string& what) {
        calls.push_back(what);
        return answers < 0 || static_cast<int>(calls.size()) <= answers;
    }
    std::vector<std::string> calls;
    int answers = -1;
    std::atomic<bool> completed{false};
};

} // namespace

TEST_P(Workflow, UploadsAreListedPostedAndDeleted) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    const std::string area = AreaDir(1).string();
    // The title line after the empty line is description; a lower-case field is ignored.
    Upload(1, "a.zip", "data-a",
           "Filename: a.zip\r\ntitle: lower\r\nTitle: Upload A\r\nVersion: 2\r\n"
           "ShortDesc: Short A   \r\nCompany: Acme\r\nEmail: a@example.org\r\nReqForm: no\r\n\r\n"
           "Title: not a field   \r\nline two");
    // Filename names another file: listed, catalogued under that name.
    Upload(1, "b.bin", "data-b", Desc("renamed.bin", "Upload B"));
    // An unsafe Filename: listed, refused.
    Upload(1, "c.bin", "data-c", Desc("../../etc/passwd", "Upload C"));
    // A description without its file is skipped.
    WriteFile(AreaDir(1) / "gone.zip.desc", Desc("gone.zip", "Gone"));
    // Area 2 accepts no uploads.
    Upload(2, "d.bin", "d", Desc("d.bin", "Upload D"));

    std::vector<CPendingUpload> uploads = ScanUploads(*m_context);
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_EQ(uploads[0].title, "Upload A");
    EXPECT_EQ(uploads[0].brief, "Short A   ");
    EXPECT_EQ(uploads[0].detailed, "Title: not a field\r\nline two\r\n");
    EXPECT_FALSE(uploads[0].reqForm);
    EXPECT_EQ(uploads[0].size, 6);
    EXPECT_THAT(uploads[0].locations, ElementsAre("local://1/a.zip"));
    EXPECT_THAT(uploads[1].locations, ElementsAre("local://1/renamed.bin"));
    EXPECT_TRUE(uploads[1].reqForm);
    EXPECT_FALSE(uploads[2].CanPost());
    EXPECT_THAT(uploads[2].refusal, HasSubstr("\"../../etc/passwd\""));
    EXPECT_TRUE(uploads[2].locations.empty());

    // Post: the refused one is reported and stays; the others are catalogued, their
    // descriptions (the ones found, whatever Filename says) deleted, their files kept.
    m_prompt.Expect("c.bin: " + uploads[2].refusal, EXPLORER_TITLE);
    const auto posted = PostUploads(*m_context, uploads, {2, 0, 1, 7});
    ASSERT_EQ(posted.size(), 2u);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(area + "/a.zip.desc"));
    EXPECT_FALSE(std::filesystem::exists(area + "/b.bin.desc"));
    EXPECT_TRUE(std::filesystem::exists(area + "/a.zip"));
    EXPECT_EQ(Count("files"), 2);
    EXPECT_EQ(Count("download", "url = 'local://1/renamed.bin'"), 1);
    CFileRecord a(&m_context->Catalogue());
    ASSERT_TRUE(a.Get(static_cast<int>(posted[0].fileId), false));
    EXPECT_EQ(a.m_TITLE, "Upload A");
    EXPECT_EQ(a.m_UPLD_EMAIL, "a@example.org");
    // Posting twice is impossible: the next scan no longer finds it.
    EXPECT_EQ(ScanUploads(*m_context).size(), 1u);

    // A failed post is rolled back and keeps its description.
    Upload(1, "e.zip", "e", Desc("e.zip", "Upload E"));
    auto again = ScanUploads(*m_context);
    ASSERT_EQ(again.size(), 2u);
    ASSERT_TRUE(m_context->Catalogue().ExecuteSQL("drop table download"));
    m_prompt.Expect(MSG_POST_FAILED, EXPLORER_TITLE);
    EXPECT_TRUE(PostUploads(*m_context, again, {1}).empty());
    EXPECT_EQ(Count("files"), 2);
    EXPECT_TRUE(std::filesystem::exists(area + "/e.zip.desc"));

    // Delete asks, then removes the file and its description.
    m_prompt.Expect(MSG_DELETE_UPLOADS, CAPTION_WARNING, EAnswer::No)
        .Expect(MSG_DELETE_UPLOADS, CAPTION_WARNING, EAnswer::Yes);
    EXPECT_EQ(DeleteUploads(*m_context, again, {0}), 0u);
    EXPECT_EQ(DeleteUploads(*m_context, again, {0}), 1u);
    EXPECT_FALSE(std::filesystem::exists(area + "/c.bin"));
    EXPECT_FALSE(std::filesystem::exists(area + "/c.bin.desc"));
    EXPECT_TRUE(std::filesystem::exists("/etc/passwd"));
    EXPECT_EQ(Problems(), "");
}

TEST_P(Workflow, ArchiveDescriptionsOfUploadsAndTheirPrecedence) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    const std::string diz = "Fast Tool v2   \r\nDoes things.\r\n";
    ASSERT_TRUE(testsupport::MakeZip((AreaDir(1) / "full.zip").string(),
                                     {{"file_id.diz", diz, 0}, {"../x", "escape", 0}}));
    WriteFile(AreaDir(1) / "full.zip.desc", Desc("full.zip", "Full", "Own brief", "Own long"));
    ASSERT_TRUE(
        testsupport::MakeZip((AreaDir(1) / "bare.zip").string(), {{"file_id.diz", diz, 0}}));
    WriteFile(AreaDir(1) / "bare.zip.desc", Desc("bare.zip", "Bare", "", ""));
    // A zip name that is not a zip, and a bomb.
    WriteFile(AreaDir(1) / "fake.zip", "not PK at all");
    WriteFile(AreaDir(1) / "fake.zip.desc", Desc("fake.zip", "Fake", "", ""));
    ASSERT_TRUE(
        testsupport::MakeZip((AreaDir(1) / "bomb.zip").string(),
                             {{"file_id.diz", "", 64u << 20}, {"desc.sdi", "Small\r\n", 0}}));
    WriteFile(AreaDir(1) / "bomb.zip.desc", Desc("bomb.zip", "Bomb", "", ""));

    auto uploads = ScanUploads(*m_context);
    ASSERT_EQ(uploads.size(), 4u); // by name: bare, bomb, fake, full
    EXPECT_EQ(uploads[0].brief, "Fast Tool v2");
    EXPECT_EQ(uploads[0].detailed, "Fast Tool v2\r\nDoes things.\r\n");
    EXPECT_EQ(uploads[1].brief, "Small");
    EXPECT_EQ(uploads[1].detailed, "");
    EXPECT_EQ(uploads[2].brief, "");
    // Precedence 0 with both descriptions present: the archive is not opened.
    EXPECT_EQ(uploads[3].brief, "Own brief");
    EXPECT_EQ(uploads[3].detailed, "Own long\r\n");
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "x"));

    // With precedence the archive's texts replace the description's; an archive without
    // desc.sdi leaves the brief description as it was.
    SetSettingNumber(SETTING_PRECEDENCE, 1);
    uploads = ScanUploads(*m_context);
    EXPECT_EQ(uploads[3].brief, "Own brief");
    EXPECT_EQ(uploads[3].detailed, "Fast Tool v2\r\nDoes things.\r\n");

    // The detailed description is rebuilt in lines of 79 and cut at its limit.
    std::string longDiz(200, 'w');
    std::string brief, detailed = "kept";
    ASSERT_TRUE(testsupport::MakeZip((m_dir.Path() / "long.zip").string(),
                                     {{"file_id.diz", longDiz + "\n", 0}}));
    ExtractArchiveDescriptions((m_dir.Path() / "long.zip").string(), brief, 60, detailed, 100,
                               true);
    EXPECT_EQ(detailed, std::string(79, 'w') + "\r\n" + std::string(18, 'w'));
    EXPECT_EQ(brief, std::string(59, 'w'));
}

TEST_P(Workflow, ReviewSubmissionsArePostedAndDeleted) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    SubmissionEntry first;
    first.fileId = 5;
    first.fileName = "tool.zip";
    first.name = "Ann";
    first.email = "ann@example.org";
    first.date = "May 1";
    first.text = "Nice";
    SubmissionEntry second = first;
    second.fileId = 6;
    second.name = "Bob";
    second.anonymous = true;
    SubmissionEntry third = first;
    third.name = "Cy";
    const std::string submissions = (m_site / "reviews/submissions.txt").string();
    WriteFile(submissions,
              FormatSubmission(first) + FormatSubmission(second) + FormatSubmission(third));
    // File 5 has a review already.
    WriteFile(m_site / "reviews/5.txt", FormatReview(first));

    CSubmissionsModel model(*m_context);
    ASSERT_EQ(model.Submissions().size(), 3u);
    EXPECT_EQ(CSubmissionsModel::EditCaption(model.Submissions()[0]), "Edit Submission - tool.zip");
    // The edit dialog checks its fields in order.
    SubmissionEntry edited = model.Submissions()[1];
    edited.email.clear();
    edited.text.clear();
    m_prompt.Expect(MSG_EMAIL_REQUIRED, CAPTION_ERROR);
    EXPECT_FALSE(model.PostEdited(1, edited));
    edited.email = "bob@example.org";
    edited.text = "Edited text";
    EXPECT_TRUE(model.PostEdited(1, edited));
    // File 6 had no review file: posting creates it.
    EXPECT_EQ(ReadFile(m_site / "reviews/6.txt"),
              "Bob\r\nbob@example.org\r\ntrue\r\nMay 1\r\nEdited text\r\n\t\r\n");
    m_prompt.Expect(MSG_DELETE_SUBMISSIONS, CAPTION_WARNING, EAnswer::Yes);
    EXPECT_EQ(model.Delete({1}), 1u);
    // The site appends a submission while the dialog is open: it survives the rewrite.
    const std::string late = FormatSubmission(third);
    WriteFile(submissions, ReadFile(submissions) + late);
    model.Close();
    EXPECT_EQ(ReadFile(submissions), FormatSubmission(first) + late);

    CSubmissionsModel rest(*m_context);
    ASSERT_EQ(rest.Submissions().size(), 2u);
    EXPECT_EQ(rest.Post({0, 1}), 2u);
    rest.Close();
    EXPECT_FALSE(std::filesystem::exists(submissions)); // none left: deleted
    EXPECT_EQ(ReadFile(m_site / "reviews/5.txt"),
              FormatReview(first) + FormatReview(first) + FormatReview(third));

    // The file removed while the dialog is open and begun anew by the site: the site's record
    // is kept beside what the dialog still lists.
    WriteFile(submissions, FormatSubmission(first) + FormatSubmission(second));
    CSubmissionsModel again(*m_context);
    m_prompt.Expect(MSG_DELETE_SUBMISSIONS, CAPTION_WARNING, EAnswer::Yes);
    EXPECT_EQ(again.Delete({0}), 1u);
    std::filesystem::remove(submissions);
    std::string error;
    ASSERT_TRUE(AppendSubmission(submissions, third, error)) << error;
    again.Close();
    EXPECT_EQ(ReadFile(submissions), FormatSubmission(second) + FormatSubmission(third));

    // A review file that cannot be created keeps the submission.
    std::filesystem::remove_all(m_site / "reviews");
    m_prompt.Expect(MSG_REVIEW_FILE_FAILED, CAPTION_ERROR);
    EXPECT_FALSE(AppendReview(*m_context, first));

    // The Reviews page: deleting every review deletes the file.
    std::filesystem::create_directories(m_site / "reviews");
    WriteFile(m_site / "reviews/5.txt", FormatReview(first) + FormatReview(third));
    CReviewsPage page(*m_context, 5, "Tool");
    EXPECT_EQ(page.Caption(), "Tool Reviews");
    ASSERT_EQ(page.Reviews().size(), 2u);
    m_prompt.Expect(MSG_DELETE_REVIEW, CAPTION_WARNING, EAnswer::Yes)
        .Expect(MSG_DELETE_REVIEW, CAPTION_WARNING, EAnswer::Yes);
    EXPECT_TRUE(page.Delete(1));
    EXPECT_TRUE(page.Delete(0));
    page.Leave();
    EXPECT_FALSE(std::filesystem::exists(m_site / "reviews/5.txt"));
    EXPECT_EQ(Problems(), "");
}

TEST_P(Workflow, AddingADirectory) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    // Inside the area: no copy question, subdirectories relative to the area.
    for (const char* dir : {"sub", ".hidden"}) {
        std::filesystem::create_directories(AreaDir(2) / dir);
    }
    for (const char* dir : {"in", "more"}) {
        std::filesystem::create_directories(m_dir.Path() / dir);
    }
    WriteFile(AreaDir(2) / "README.TXT", "r");
    WriteFile(AreaDir(2) / "sub" / "ReadMe.txt", "rr");
    WriteFile(AreaDir(2) / ".hidden" / "skip.txt", "h");
    ASSERT_TRUE(
        testsupport::MakeZip((AreaDir(2) / "game.zip").string(),
                             {{"desc.sdi", "A game\r\n", 0}, {"file_id.diz", "Play it.\r\n", 0}}));
    std::vector<std::string> files;
    ASSERT_TRUE(ScanForFiles(AreaDir(2).string(), true, files));
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[2], (AreaDir(2) / "sub" / "ReadMe.txt").string());
    CAddFilesJob job(*m_context, *m_context->FindArea(2), files, true);
    EXPECT_FALSE(job.NeedsCopy());
    EXPECT_TRUE(job.ConfirmCopy());
    CRecordingProgress progress;
    job.Start(progress);
    job.Wait();
    EXPECT_TRUE(progress.completed);
    EXPECT_EQ(job.Log(), "3 file(s) added successfully.\r\n");
    EXPECT_EQ(progress.calls.front(), "range 3");
    EXPECT_EQ(progress.calls[progress.calls.size() - 2], "at 3");
    EXPECT_EQ(progress.calls.back(), "file Completed.");
    EXPECT_EQ(Count("download", "url = 'local://2/sub/ReadMe.txt'"), 1);
    EXPECT_EQ(Count("files", "title = 'Readme'"), 1);
    EXPECT_EQ(Count("files", "title = 'ReadMe'"), 1);
    EXPECT_EQ(Count("files", "short_desc = 'A game'"), 1);

    // The same directory twice: every file already exists.
    CAddFilesJob twice(*m_context, *m_context->FindArea(2), files, false);
    twice.Run(progress);
    EXPECT_EQ(twice.Log(), "The file README.TXT already exists.\r\nThe file game.zip already "
                           "exists.\r\nThe file ReadMe.txt already exists.\r\n0 file(s) added "
                           "successfully.\r\n");

    // Outside the area: the copy question; No starts nothing.
    WriteFile(m_dir.Path() / "in" / "x.zip", "x");
    WriteFile(m_dir.Path() / "in" / "y.txt", "y");
    files.clear();
    ASSERT_TRUE(ScanForFiles((m_dir.Path() / "in" / "*.zip").string(), false, files));
    EXPECT_THAT(files, ElementsAre((m_dir.Path() / "in" / "x.zip").string()));
    files.push_back((m_dir.Path() / "in" / "vanished.zip").string());
    CAddFilesJob copying(*m_context, *m_context->FindArea(2), files, false);
    m_prompt.Expect(MSG_FILES_NEED_COPY, EXPLORER_TITLE, EAnswer::No)
        .Expect(MSG_FILES_NEED_COPY, EXPLORER_TITLE, EAnswer::Yes);
    EXPECT_FALSE(copying.ConfirmCopy());
    EXPECT_TRUE(copying.ConfirmCopy());
    copying.Run(progress);
    EXPECT_THAT(copying.Log(), HasSubstr("Error opening " + files[1] + ": 2 (Unknown)\r\n"));
    EXPECT_THAT(copying.Log(), HasSubstr("1 file(s) added successfully.\r\n"));
    EXPECT_EQ(ReadFile(AreaDir(2) / "x.zip"), "x");
    EXPECT_EQ(Count("download", "url = 'local://2/x.zip'"), 1);

    // A window that stops answering ends the work at once, without the summary.
    WriteFile(m_dir.Path() / "more" / "1.txt", "1");
    WriteFile(m_dir.Path() / "more" / "2.txt", "2");
    files.clear();
    ASSERT_TRUE(ScanForFiles((m_dir.Path() / "more").string(), false, files));
    CAddFilesJob stalled(*m_context, *m_context->FindArea(2), files, false);
    CRecordingProgress silent;
    silent.answers = 3; // range, the first file, its position
    stalled.Run(silent);
    EXPECT_EQ(stalled.Added(), 1u);
    EXPECT_EQ(stalled.Log(), "");
    EXPECT_FALSE(silent.completed);

    EXPECT_FALSE(ScanForFiles("", false, files));
    files.clear();
    EXPECT_TRUE(ScanForFiles((m_dir.Path() / "nowhere").string(), true, files));
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(Problems(), "");
}

TEST_P(Workflow, TheVirusCheckRunsClamAv) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    const std::string virus = "X5O-dorvale-test-signature-not-a-real-virus";
    if (!UseClamAv(virus)) {
        GTEST_SKIP() << "clamscan is not installed";
    }
    WriteFile(AreaDir(1) / "clean one.zip", "harmless");
    WriteFile(AreaDir(2) / "bad.zip", virus);
    const double clean = AddFile("Clean", {1}, {"local://1/clean one.zip", "http://x/y"});
    const double infected = AddFile("Bad", {2}, {"local://1/clean one.zip", "local://2/bad.zip"});
    const double nothing = AddFile("None", {2}, {"local://9/gone.zip", "local://2/../bad.zip"});
    CFileRecord record(&m_context->Catalogue());

    EXPECT_TRUE(RunVirusCheck((AreaDir(2) / "bad.zip").string()).infected);
    m_prompt.Expect(VirusPassedText(0), EXPLORER_TITLE)
        .Expect("File " + (AreaDir(2) / "bad.zip").string() +
                    " failed virus checking!\n(Virus checker return code: 1)",
                EXPLORER_TITLE)
        .Expect(MSG_NO_LOCAL_COPIES, EXPLORER_TITLE);
    ASSERT_TRUE(record.Get(static_cast<int>(clean), false));
    EXPECT_EQ(VirusCheckFile(*m_context, record), EVirusCheckOutcome::Passed);
    ASSERT_TRUE(record.Get(static_cast<int>(infected), false));
    EXPECT_EQ(VirusCheckFile(*m_context, record), EVirusCheckOutcome::Infected);
    ASSERT_TRUE(record.Get(static_cast<int>(nothing), false));
    EXPECT_EQ(VirusCheckFile(*m_context, record), EVirusCheckOutcome::NoLocalCopies);

    // An infected upload is listed and refused.
    Upload(1, "evil.zip", virus, Desc("evil.zip", "Evil"));
    auto uploads = ScanUploads(*m_context);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].refusal, VirusFailedText((AreaDir(1) / "evil.zip").string(), 1));
    EXPECT_FALSE(PostUpload(m_context->Catalogue(), uploads[0]));

    // Another exit code than VirusExitCode is a pass, whatever it is; a checker that cannot be
    // started or is not configured too.
    SetSettingNumber(SETTING_VIRUS_EXIT_CODE, 7);
    CVirusCheckResult result = RunVirusCheck((AreaDir(2) / "bad.zip").string());
    EXPECT_TRUE(result.ran);
    EXPECT_FALSE(result.infected);
    EXPECT_EQ(result.exitCode, 1);
    SetSettingText(SETTING_VIRUS_CHECKER, "dorvale-no-such-checker");
    EXPECT_FALSE(RunVirusCheck((AreaDir(2) / "bad.zip").string()).ran);
    SetSettingText(SETTING_VIRUS_CHECKER, "clamscan");
    DeleteSetting(SETTING_VIRUS_EXIT_CODE);
    EXPECT_FALSE(RunVirusCheck((AreaDir(2) / "bad.zip").string()).ran);
    EXPECT_EQ(Problems(), "");
}

INSTANTIATE_FOR_ENGINES(Workflow);
