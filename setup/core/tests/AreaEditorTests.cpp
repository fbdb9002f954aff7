// The area and group editors' rules, over real registry hives and database directories.

#include "AreaEditor.h"
#include "AreaLists.h"
#include "GroupFiles.h"
#include "IISRegistryManager.h"
#include "SetupTestSupport.h"

using prompt::CScriptedPrompt;
using prompt::EAnswer;

namespace {

class AreaEditorTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        m_web = std::make_unique<CIISRegistryManager>(WEB_SERVICE_NAME);
        m_ftp = std::make_unique<CIISRegistryManager>(FTP_SERVICE_NAME);
        m_context.web = m_web.get();
        m_context.ftp = m_ftp.get();
        m_context.prompt = &m_script;
        m_context.vrootsChanged = &m_changed;
    }

    std::unique_ptr<CIISRegistryManager> m_web;
    std::unique_ptr<CIISRegistryManager> m_ftp;
    CScriptedPrompt m_script;
    bool m_changed = false;
    CAreaEditorContext m_context;
};

const char* const DOWNLOAD_ALIAS =
    "To allow downloading from this file area, you must define either a FTP or HTTP alias.";
const char* const UPLOAD_ALIAS =
    "To allow uploading to this file area, you must define either a FTP or HTTP alias.";

} // namespace

TEST_F(AreaEditorTest, ControlsFollowUploadsAndHosting) {
    CAreaEditor fresh(nullptr, m_context);
    EXPECT_TRUE(fresh.downloads);
    EXPECT_FALSE(fresh.Uploads());
    EXPECT_FALSE(fresh.hostedLocally);
    EXPECT_FALSE(fresh.IsPathEnabled());
    EXPECT_FALSE(fresh.IsFtpAliasEnabled());
    EXPECT_FALSE(fresh.IsHttpAliasEnabled());
    fresh.SetUploads(true);
    EXPECT_TRUE(fresh.hostedLocally);
    EXPECT_FALSE(fresh.IsHostedLocallyEnabled());
    fresh.SetHostedLocally(false); // held on by uploads
    EXPECT_TRUE(fresh.hostedLocally);
    fresh.SetUploads(false);
    EXPECT_TRUE(fresh.IsHostedLocallyEnabled());
    EXPECT_TRUE(fresh.hostedLocally); // its value stays
    EXPECT_TRUE(fresh.IsFtpAliasEnabled());

    // Without an FTP server the FTP alias stays disabled and untouched by the path.
    CAreaEditorContext noFtp = m_context;
    noFtp.ftp = nullptr;
    AreaRecord stored{7,           "Games",  "/srv/games/",
                      "/ftpgames", "/games", AREA_UPLOADABLE | AREA_DOWNLOADABLE};
    CAreaEditor edit(&stored, noFtp);
    EXPECT_TRUE(edit.hostedLocally); // uploads imply it
    EXPECT_FALSE(edit.IsFtpAliasEnabled());
    ASSERT_TRUE(m_web->AddRoot("/", "/srv", 1));
    edit.PathEdited("/srv/tools/");
    EXPECT_EQ(edit.httpAlias, "/tools");
    EXPECT_EQ(edit.ftpAlias, "/ftpgames");
    edit.PathEdited("/elsewhere/");
    EXPECT_EQ(edit.httpAlias, "");

    // Uploads forbidden by the upload mode: cleared and disabled.
    CAreaEditorContext forbidden = m_context;
    forbidden.uploadsForbidden = true;
    CAreaEditor closed(&stored, forbidden);
    EXPECT_FALSE(closed.Uploads());
    EXPECT_FALSE(closed.IsUploadsEnabled());
    closed.SetUploads(true);
    EXPECT_FALSE(closed.Uploads());
    EXPECT_EQ(closed.BuildRecord(7).Flags, AREA_DOWNLOADABLE);

    // Browse: a slash is added; the same directory changes nothing.
    CAreaEditor browse(&stored, m_context);
    EXPECT_FALSE(browse.DirectoryChosen("/srv/games"));
    EXPECT_TRUE(browse.DirectoryChosen("/srv/other"));
    EXPECT_EQ(browse.path, "/srv/other/");
    EXPECT_EQ(browse.httpAlias, "/other");
    EXPECT_EQ(browse.ftpAlias, "");

    // Leaving fields tidies them.
    browse.path = "  /srv/x  ";
    browse.LeavePath();
    EXPECT_EQ(browse.path, "/srv/x/");
    browse.path = "relative";
    browse.LeavePath();
    EXPECT_EQ(browse.path, (std::filesystem::current_path() / "relative").string() + "/");
    std::string alias = "  pub ";
    browse.LeaveAlias(alias);
    EXPECT_EQ(alias, "/pub ");
    alias = "   ";
    browse.LeaveAlias(alias);
    EXPECT_EQ(alias, "");
    EXPECT_SCRIPT_DONE(m_script);
}

TEST_F(AreaEditorTest, OkChecksEveryRuleInOrder) {
    EAreaField focus = EAreaField::None;
    CAreaEditor editor(nullptr, m_context);
    editor.name = "   ";
    m_script.Expect("The File Area Name field cannot be blank.", "Warning");
    EXPECT_FALSE(editor.Validate(focus));
    EXPECT_EQ(focus, EAreaField::Name);
    for (const std::string bad : {".hidden", "a/b", "tab\there"}) {
        editor.name = bad;
        m_script.Expect(GetAreaNameProblem(bad), "Warning");
        EXPECT_FALSE(editor.Validate(focus)) << bad;
    }
    editor.name = std::string(80, 'n');
    m_script.Expect("The File Area Name can be at most 79 bytes long.", "Warning");
    EXPECT_FALSE(editor.Validate(focus));

    // Not hosted, downloads, no alias: accepted.
    editor.name = " Mirrors ";
    EXPECT_TRUE(editor.Validate(focus));
    EXPECT_EQ(editor.name, "Mirrors");
    EXPECT_EQ(editor.BuildRecord(3).Flags, AREA_DOWNLOADABLE);

    // Hosted: the path is required, then must exist or be created.
    editor.SetHostedLocally(true);
    m_script.Expect("The File Area Path connot be blank when locally hosting files.", "Warning");
    EXPECT_FALSE(editor.Validate(focus));
    EXPECT_EQ(focus, EAreaField::Path);
    editor.path = "/" + std::string(258, 'p');
    m_script.Expect("The File Area Path can be at most 259 bytes long, its closing \"/\" included.",
                    "Warning");
    EXPECT_FALSE(editor.Validate(focus));
    const std::string files = m_dir / "files";
    editor.path = files;
    m_script.Expect("The directory \"" + files + "/\" does not exist. Would you like to create it?",
                    "Warning", EAnswer::Cancel);
    EXPECT_FALSE(editor.Validate(focus));
    EXPECT_EQ(focus, EAreaField::Path);
    m_script.Expect("The directory \"" + files + "/\" does not exist. Would you like to create it?",
                    "Warning", EAnswer::Yes);
    m_script.Expect(DOWNLOAD_ALIAS, "Warning");
    EXPECT_FALSE(editor.Validate(focus));
    EXPECT_EQ(focus, EAreaField::FtpAlias); // an FTP server exists
    EXPECT_TRUE(std::filesystem::is_directory(files));

    // Neither uploads nor downloads: asked first.
    editor.downloads = false;
    m_script.Expect("You have selected to not allow both uploads and downloads from this area. "
                    "Are you sure you want to save?",
                    "Warning", EAnswer::No);
    EXPECT_FALSE(editor.Validate(focus));
    EXPECT_EQ(focus, EAreaField::None);

    // Uploads without an alias; the focus goes to the HTTP alias without an FTP server.
    editor.SetUploads(true);
    CAreaEditorContext noFtp = m_context;
    noFtp.ftp = nullptr;
    CAreaEditor noFtpEditor(nullptr, noFtp);
    noFtpEditor.name = "In";
    noFtpEditor.SetUploads(true);
    noFtpEditor.downloads = false;
    noFtpEditor.path = files;
    m_script.Expect(UPLOAD_ALIAS, "Warning");
    EXPECT_FALSE(noFtpEditor.Validate(focus));
    EXPECT_EQ(focus, EAreaField::HttpAlias);

    // With aliases the servers are consulted: no roots yet, so each check tells and accepts.
    editor.ftpAlias = "incoming";
    editor.httpAlias = "files/";
    m_script.Expect("Could not retrieve path information for the specified HTTP virtual root.",
                    "Warning");
    m_script.Expect("Could not retrieve path information for the specified FTP virtual root.",
                    "Warning");
    EXPECT_TRUE(editor.Validate(focus));
    EXPECT_EQ(editor.ftpAlias, "/incoming");
    EXPECT_EQ(editor.httpAlias, "/files");
    const AreaRecord record = editor.BuildRecord(9);
    EXPECT_EQ(record.Flags, AREA_UPLOADABLE | AREA_HOSTED_LOCALLY);
    EXPECT_EQ(record.Path, files + "/");

    // A refused alias keeps the editor open with the focus on it.
    ASSERT_TRUE(m_web->AddRoot("/files", "/somewhere/else", 1));
    m_script.Expect("The HTTP virtual directory is already in use for another physical path.",
                    "Warning");
    EXPECT_FALSE(editor.Validate(focus));
    EXPECT_EQ(focus, EAreaField::HttpAlias);
    EXPECT_SCRIPT_DONE(m_script);
}

TEST_F(AreaEditorTest, GroupsAreEditedValidatedRenamedAndRemoved) {
    const std::string db = Dir("db");
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting(db));
    m_script.Expect("You must define at least one File Area before adding a group",
                    "Dorvale Setup");
    EXPECT_FALSE(CanAddGroup(store, m_script));
    for (const char* name : {"tools", "Games", "archive"}) {
        AreaRecord area;
        area.Name = name;
        ASSERT_TRUE(store.AddArea(area));
    }
    EXPECT_TRUE(CanAddGroup(store, m_script));

    CGroupEditor editor(db, store, "");
    ASSERT_EQ(editor.lines.size(), 3u);
    EXPECT_EQ(editor.lines[0].name, "archive");
    EXPECT_EQ(editor.lines[1].name, "Games");
    EXPECT_EQ(editor.lines[2].name, "tools");
    m_script.Expect("The Group Name field cannot be blank.", "Dorvale Setup");
    EXPECT_FALSE(editor.Validate(m_script));
    editor.name = " body ";
    m_script.Expect("The name \"body\" is used by the site's own pages and cannot name a group.",
                    "Dorvale Setup");
    EXPECT_FALSE(editor.Validate(m_script));
    editor.name = "..";
    m_script.Expect("A group name cannot begin with \".\".", "Dorvale Setup");
    EXPECT_FALSE(editor.Validate(m_script));
    editor.name = "Main";
    m_script.Expect("You must select at least one file area into the group.", "Dorvale Setup");
    EXPECT_FALSE(editor.Validate(m_script));

    // Toggle gives every selected line the opposite of the first selected line's mark.
    editor.selected = {true, false, true};
    editor.checked = {false, true, true};
    editor.Toggle();
    EXPECT_EQ(editor.checked, (std::vector<bool>{true, true, true}));
    editor.Toggle();
    EXPECT_EQ(editor.checked, (std::vector<bool>{false, true, false}));
    editor.SelectAll();
    EXPECT_EQ(editor.selected, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(editor.checked, (std::vector<bool>{false, true, false})); // marks unchanged
    editor.ClearAll();
    EXPECT_EQ(editor.selected, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(editor.Check(1)); // tools
    EXPECT_FALSE(editor.Check(99));
    ASSERT_TRUE(editor.Validate(m_script));
    ASSERT_TRUE(editor.Save(m_script));
    std::vector<std::uint32_t> ids;
    ASSERT_TRUE(ReadGroup(db, "Main", ids));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{2, 1})); // in list order: Games, tools

    ASSERT_TRUE(WriteGroup(db, "Other", {3}));
    CGroupEditor again(db, store, "Main");
    EXPECT_EQ(again.checked, (std::vector<bool>{false, true, true}));
    again.name = "Other";
    m_script.Expect("A duplicate group name already exists", "Dorvale Setup");
    EXPECT_FALSE(again.Validate(m_script));
    again.name = "MAIN"; // another file here: the old one goes
    ASSERT_TRUE(again.Validate(m_script));
    ASSERT_TRUE(again.Save(m_script));
    EXPECT_THAT(SortedGroupNames(db), ::testing::ElementsAre("MAIN", "Other"));

    m_script.Expect("Are you sure you want to delete \"Other\"?", "Warning", EAnswer::No);
    EXPECT_FALSE(RemoveGroup(db, "Other", m_script));
    m_script.Expect("Are you sure you want to delete \"Other\"?", "Warning", EAnswer::Yes);
    EXPECT_TRUE(RemoveGroup(db, "Other", m_script));
    EXPECT_THAT(SortedGroupNames(db), ::testing::ElementsAre("MAIN"));
    EXPECT_SCRIPT_DONE(m_script);
}
