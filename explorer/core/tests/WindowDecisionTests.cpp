// What the desktop window asks of the core: when commands may be chosen, the layout kept in
// the user's registry, the detail page's address, the add-files information page and the
// review of an upload.

#include "AddFiles.h"
#include "AdminSettings.h"
#include "CommandState.h"
#include "CoreFixture.h"
#include "FileOperations.h"
#include "TestSettings.h"
#include "Uploads.h"
#include "WindowLayout.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(CommandState, FollowsTheSelectionFocusAndConfiguration) {
    CCommandState state;
    // Nothing selected: only the commands that are always there.
    for (ECommand command : {ECommand::Open, ECommand::OpenAsHtml, ECommand::VirusCheck,
                             ECommand::Properties, ECommand::DeleteFile, ECommand::RemoveFromArea,
                             ECommand::Sheetforge, ECommand::Up, ECommand::TreeProperties}) {
        EXPECT_FALSE(IsCommandEnabled(command, state)) << static_cast<int>(command);
    }
    for (ECommand command : {ECommand::ScanForNewFiles, ECommand::New, ECommand::FindFiles,
                             ECommand::Refresh, ECommand::Details, ECommand::About}) {
        EXPECT_TRUE(IsCommandEnabled(command, state)) << static_cast<int>(command);
    }
    // The root with one group selected in the list: Open and (with the focus) Properties.
    state.node = TREEITEM_ROOT;
    state.selectedEntries = 1;
    EXPECT_TRUE(IsCommandEnabled(ECommand::Open, state));
    EXPECT_FALSE(IsCommandEnabled(ECommand::Properties, state));
    EXPECT_FALSE(IsCommandEnabled(ECommand::Up, state));
    EXPECT_FALSE(IsCommandEnabled(ECommand::DeleteFile, state));
    state.listHasFocus = true;
    EXPECT_TRUE(IsCommandEnabled(ECommand::Properties, state));
    // An area with two files selected.
    state.node = TREEITEM_AREA;
    state.selectedEntries = 2;
    EXPECT_FALSE(IsCommandEnabled(ECommand::Open, state));
    EXPECT_FALSE(IsCommandEnabled(ECommand::Properties, state));
    EXPECT_TRUE(IsCommandEnabled(ECommand::DeleteFile, state));
    EXPECT_TRUE(IsCommandEnabled(ECommand::RemoveFromArea, state));
    EXPECT_TRUE(IsCommandEnabled(ECommand::Up, state));
    EXPECT_TRUE(IsCommandEnabled(ECommand::TreeProperties, state));
    EXPECT_FALSE(IsCommandEnabled(ECommand::VirusCheck, state));
    state.virusCheckerSet = true;
    EXPECT_TRUE(IsCommandEnabled(ECommand::VirusCheck, state));
    state.listHasFocus = false;
    EXPECT_FALSE(IsCommandEnabled(ECommand::DeleteFile, state));
    // Search results: no removal from an area, no area properties; Open as HTML needs the
    // server and one entry.
    state.node = TREEITEM_SEARCH;
    state.selectedEntries = 1;
    EXPECT_FALSE(IsCommandEnabled(ECommand::RemoveFromArea, state));
    EXPECT_FALSE(IsCommandEnabled(ECommand::TreeProperties, state));
    EXPECT_FALSE(IsCommandEnabled(ECommand::OpenAsHtml, state));
    state.httpServerSet = true;
    EXPECT_TRUE(IsCommandEnabled(ECommand::OpenAsHtml, state));
    state.generatorFound = true;
    EXPECT_TRUE(IsCommandEnabled(ECommand::Sheetforge, state));
}

class WindowDecisions : public CCoreTest {};

TEST_P(WindowDecisions, LayoutDetailAddressAndChoosingFiles) {
    // Nothing kept yet.
    CExplorerLayout layout = ReadExplorerLayout();
    EXPECT_FALSE(layout.hasPosition);
    EXPECT_FALSE(layout.hasTreeWidth);
    EXPECT_FALSE(layout.hasViewMode);
    // Kept and read back; the columns only in details mode.
    CWindowPosition position;
    position.left = 10;
    position.top = 20;
    position.right = 810;
    position.bottom = 620;
    position.statusBar = false;
    const int widths[6] = {125, 80, 80, 100, 100, 251};
    WriteExplorerLayout(position, 200, EListViewMode::SmallIcons, widths);
    layout = ReadExplorerLayout();
    EXPECT_EQ(FormatWindowPosition(layout.position), "0010 0020 0810 0620 0000 0000 0001 0000");
    EXPECT_EQ(layout.treeWidth, 200);
    EXPECT_EQ(layout.viewMode, EListViewMode::SmallIcons);
    EXPECT_FALSE(layout.hasColumn[5]);
    WriteExplorerLayout(position, 60, EListViewMode::Details, widths);
    layout = ReadExplorerLayout();
    ASSERT_TRUE(layout.hasColumn[5]);
    EXPECT_EQ(layout.columns[5], 251);
    EXPECT_EQ(layout.treeWidth, 60);
    // A mode the list does not know, or a value of another type, is not taken.
    SetLayoutNumber(LAYOUT_WINDOW_STYLE, 7);
    SetLayoutText(LAYOUT_COLUMNS[0], "125");
    layout = ReadExplorerLayout();
    EXPECT_FALSE(layout.hasViewMode);
    EXPECT_FALSE(layout.hasColumn[0]);

    // The detail page of a file on the site.
    EXPECT_EQ(ReadHttpServerBase(), "");
    EXPECT_EQ(FileDetailsAddress("", 12), "");
    SetSettingText(SETTING_HTTP_SERVER, "http://files.example.org/");
    EXPECT_EQ(FileDetailsAddress(ReadHttpServerBase(), 12),
              "http://files.example.org/dorvale/details/12.asp");

    // The add-files information page.
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    const AreaRecord* tools = m_context->FindArea(2);
    const auto source = m_dir.Path() / "source";
    std::filesystem::create_directories(source / "sub");
    WriteFile(source / "b.txt", "b");
    WriteFile(source / "sub" / "a.txt", "a");
    m_prompt.Expect(MSG_CHOOSE_HOST_AREA, EXPLORER_TITLE)
        .Expect(MSG_BAD_DIRECTORY, EXPLORER_TITLE)
        .Expect(MSG_NO_FILES_FOUND, EXPLORER_TITLE);
    std::vector<std::string> files = {"stale"};
    EXPECT_FALSE(ChooseFilesToAdd(*m_context, nullptr, source.string(), true, files));
    EXPECT_TRUE(files.empty());
    EXPECT_FALSE(ChooseFilesToAdd(*m_context, tools, "", true, files));
    EXPECT_FALSE(ChooseFilesToAdd(*m_context, tools, (source / "*.zip").string(), true, files));
    ASSERT_TRUE(ChooseFilesToAdd(*m_context, tools, source.string(), true, files));
    EXPECT_THAT(files,
                ElementsAre((source / "b.txt").string(), (source / "sub" / "a.txt").string()));
    EXPECT_EQ(Problems(), "");
}

TEST_P(WindowDecisions, AReviewedUploadIsPostedWithItsEdits) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    WriteFile(AreaDir(1) / "tool.zip", "data");
    WriteFile(AreaDir(1) / "tool.zip.desc",
              "Filename: tool.zip\r\nTitle: Tool\r\nEmail: up@example.org\r\nReqForm: no\r\n"
              "ShortDesc: Brief\r\n\r\nLong\r\n");
    WriteFile(AreaDir(1) / "evil.zip", "data");
    WriteFile(AreaDir(1) / "evil.zip.desc", "Filename: ../evil.zip\r\nTitle: Evil\r\n\r\nx\r\n");
    std::vector<CPendingUpload> uploads = ScanUploads(*m_context);
    ASSERT_EQ(uploads.size(), 2u); // evil, tool

    // The review's pages work on a copy; their edits are what is posted.
    CFileRecord record(&m_context->Catalogue());
    UploadToRecord(uploads[1], record);
    EXPECT_EQ(record.m_TITLE, "Tool");
    CFilePropertiesModel review(*m_context, record, uploads[1].areas, uploads[1].locations);
    review.File().m_TITLE = "Tool Deluxe";
    review.File().m_REQ_FORM = true;
    review.File().m_FILE_DATE = CDateTime(2001, 2, 3);
    EXPECT_TRUE(review.ToggleArea(2));
    ASSERT_TRUE(review.AddLocation("http://mirror.example.org/tool.zip"));
    EXPECT_EQ(Count("areafile"), 0); // nothing written before OK
    ASSERT_TRUE(PostReviewedUpload(*m_context, uploads, 1, review));
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(AreaDir(1) / "tool.zip.desc"));
    CFileRecord posted(&m_context->Catalogue());
    ASSERT_TRUE(posted.Get(1, false));
    EXPECT_EQ(posted.m_TITLE, "Tool Deluxe");
    EXPECT_TRUE(posted.m_REQ_FORM);
    EXPECT_EQ(posted.m_FILE_DATE.GetYear(), 2001);
    EXPECT_EQ(posted.m_FILE_DATE.GetDay(), 3);
    EXPECT_EQ(Count("areafile"), 2);
    EXPECT_EQ(Count("download"), 2);

    // A refused upload is told why and stays.
    CFileRecord evil(&m_context->Catalogue());
    UploadToRecord(uploads[0], evil);
    CFilePropertiesModel refused(*m_context, evil, uploads[0].areas, uploads[0].locations);
    m_prompt.Expect("evil.zip: " + uploads[0].refusal, EXPLORER_TITLE);
    EXPECT_FALSE(PostReviewedUpload(*m_context, uploads, 0, refused));
    EXPECT_EQ(uploads.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(AreaDir(1) / "evil.zip.desc"));
    EXPECT_EQ(Problems(), "");
}

INSTANTIATE_FOR_ENGINES(WindowDecisions);
