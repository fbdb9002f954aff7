// The main window's tree, list and search, the add-file wizard's Finish and the file
// operations, on SQLite and PostgreSQL.

#include "AddFile.h"
#include "CatalogueTree.h"
#include "CoreFixture.h"
#include "FileList.h"
#include "FileOperations.h"
#include "TestSettings.h"

#include <gmock/gmock.h>

using prompt::EAnswer;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

class Catalogue : public CCoreTest {};

std::vector<std::string> Names(const CTreeItem& node) {
    std::vector<std::string> names;
    for (const auto& child : node.GetChildren()) {
        names.push_back(child->GetName());
    }
    return names;
}

} // namespace

TEST_P(Catalogue, StartUpRefusesAStoreItCannotUse) {
    // No header at all (an empty store file is created).
    EXPECT_FALSE(Start());
    m_context.reset();
    // Held by the setup program.
    CFileAreaStore writer;
    ASSERT_TRUE(writer.OpenForWriting(m_db.string()));
    EXPECT_FALSE(Start());
    m_context.reset();
    writer.Close();
    // A header and no areas is accepted.
    EXPECT_TRUE(Start());
    EXPECT_TRUE(m_context->Areas().empty());
    EXPECT_THAT(m_prompt.Asked().size(), 2u);
    EXPECT_EQ(m_prompt.Asked()[0].text, MSG_NO_AREAS);
    EXPECT_EQ(m_prompt.Asked()[1].text, MSG_STORE_LOCKED);
    EXPECT_EQ(m_prompt.Asked()[1].caption, "Warning");
}

TEST_P(Catalogue, TheTreeAndItsLists) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    EXPECT_EQ(m_context->DatabasePath(), m_db.string() + "/");
    CCatalogueTree tree;
    tree.Load(m_context->DatabasePath(), m_context->Areas());
    ASSERT_NE(tree.Root(), nullptr);
    EXPECT_EQ(tree.Root()->GetName(), "Dorvale");
    const auto groups = Names(*tree.Root());
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0], "Search results");
    EXPECT_THAT(std::vector<std::string>(groups.begin() + 1, groups.end()),
                UnorderedElementsAre("Main", "Extra"));
    for (const auto& group : tree.Root()->GetChildren()) {
        if (group->GetName() == "Main") {
            // Area 99 does not exist; Orphan is in no group.
            EXPECT_THAT(Names(*group), ElementsAre("Games", "Mirrors"));
            const auto* games = static_cast<const CFolderTreeItem*>(group->GetChildren()[0].get());
            EXPECT_EQ(games->GetIdentifier(), 1u);
            EXPECT_EQ(tree.Find(games->GetKey()), games);
            EXPECT_EQ(UpFrom(*games), group.get());
            const auto rows = ListChildren(*group);
            ASSERT_EQ(rows.size(), 2u);
            EXPECT_EQ(rows[1].type, "File Area");
        }
        if (group->GetName() == "Extra") {
            EXPECT_THAT(Names(*group), ElementsAre("Tools", "Games"));
        }
    }
    const auto rootRows = ListChildren(*tree.Root());
    EXPECT_EQ(rootRows[0].name, "Search results");
    EXPECT_EQ(rootRows[0].type, "File Group");
    EXPECT_EQ(UpFrom(*tree.Root()), nullptr);
    tree.SetSearchText("tool");
    EXPECT_EQ(tree.SearchResults()->GetName(), "Search results (\"tool\")");
    // Orphan is still in a group's properties, unchecked.
    const auto members = GroupProperties(m_context->DatabasePath(), "Main", m_context->Areas());
    ASSERT_EQ(members.size(), 4u);
    EXPECT_TRUE(members[0].checked);
    EXPECT_FALSE(members[1].checked);
    EXPECT_EQ(members[3].area.Name, "Orphan");
    EXPECT_FALSE(members[3].checked);
    EXPECT_EQ(m_context->HostingAreas().front().Name, "Games"); // by name
}

TEST_P(Catalogue, ListRowsAreFetchedOnDemandAndSearchIsLiteral) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    // 250 files: three windows of rows.
    for (int i = 0; i < 250; ++i) {
        AddFile("File " + std::to_string(i), {2}, {"http://example.org/" + std::to_string(i)});
    }
    CFileListSource list(m_context->Catalogue());
    ASSERT_TRUE(list.OpenArea(2));
    ASSERT_EQ(list.GetCount(), 250u);
    EXPECT_TRUE(list.IsCounted());
    std::string text;
    // In the order the files were added, read backwards (each window fetched again).
    for (std::size_t r = list.GetCount(); r-- > 0;) {
        ASSERT_TRUE(list.GetText(r, 0, text));
        ASSERT_EQ(text, "File " + std::to_string(r));
    }
    // Opened without counting: the first window is known, the rest once counted; a file
    // deleted meanwhile leaves its row, empty, so the list keeps its length.
    ASSERT_TRUE(list.OpenArea(2, false));
    EXPECT_EQ(list.GetCount(), CFileListSource::WINDOW_ROWS);
    EXPECT_FALSE(list.IsCounted());
    EXPECT_FALSE(list.GetText(CFileListSource::WINDOW_ROWS, 0, text));
    CFileRecord gone(&m_context->Catalogue());
    gone.m_FILE_ID = list.GetFileId(0) + 240;
    ASSERT_TRUE(gone.Delete());
    ASSERT_TRUE(list.CountAll());
    EXPECT_EQ(list.GetCount(), 249u);
    ASSERT_TRUE(list.GetText(248, 0, text));
    EXPECT_EQ(text, "File 249");
    ASSERT_TRUE(list.OpenArea(2, false));
    ASSERT_TRUE(list.CountAll());
    ASSERT_EQ(list.GetCount(), 249u);
    CFileRecord more(&m_context->Catalogue());
    more.m_FILE_ID = list.GetFileId(0) + 1;
    ASSERT_TRUE(more.Delete());
    ASSERT_TRUE(list.GetText(248, 0, text)); // this window was read after the deletion
    EXPECT_EQ(text, "");
    ASSERT_TRUE(list.GetText(1, 0, text)); // this one before it
    EXPECT_EQ(text, "File 1");
    // An area smaller than a window is counted by its first window.
    AddFile("Lone", {4}, {"http://example.org/lone"});
    ASSERT_TRUE(list.OpenArea(4, false));
    EXPECT_TRUE(list.IsCounted());
    EXPECT_EQ(list.GetCount(), 1u);
    ASSERT_TRUE(list.OpenArea(2));
    ASSERT_TRUE(list.GetText(7, 2, text));
    EXPECT_EQ(text, "File");
    ASSERT_TRUE(list.GetText(7, 1, text));
    EXPECT_EQ(text, "10");
    EXPECT_FALSE(list.GetText(250, 0, text));
    CFileRecord record(&m_context->Catalogue());
    ASSERT_TRUE(list.GetRecord(3, record));
    EXPECT_EQ(record.m_FILE_ID, list.GetFileId(3));
    ASSERT_TRUE(list.OpenArea(1));
    EXPECT_EQ(list.GetCount(), 0u);

    // Search: the pattern characters and quotes are plain text; letter case does not matter.
    const double percent = AddFile("100% Free", {1}, {"http://example.org/p"});
    const double under = AddFile("a_b", {1}, {"http://example.org/u"});
    AddFile("axb", {1}, {"http://mirror.example.org/o'brien.zip"});
    const double quote = AddFile("O'Brien's", {1}, {"http://example.org/q"});
    ASSERT_TRUE(list.OpenSearch("%", SEARCH_ALL));
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.GetFileId(0), percent);
    ASSERT_TRUE(list.OpenSearch("_", SEARCH_TITLE));
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.GetFileId(0), under);
    ASSERT_TRUE(list.OpenSearch("o'brien", SEARCH_TITLE));
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_EQ(list.GetFileId(0), quote);
    // By title, each file once, URLs searched through the join.
    ASSERT_TRUE(list.OpenSearch("O'BRIEN", SEARCH_TITLE | SEARCH_URL));
    ASSERT_EQ(list.GetCount(), 2u);
    ASSERT_TRUE(list.GetText(0, 0, text));
    EXPECT_EQ(text, "O'Brien's");
    ASSERT_TRUE(list.GetText(1, 0, text));
    EXPECT_EQ(text, "axb");
    ASSERT_TRUE(list.OpenSearch("", SEARCH_ALL));
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(Problems(), "");
}

TEST_P(Catalogue, TheAddFileWizardWritesOneEntry) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    CAddFileModel model(*m_context);
    ASSERT_TRUE(model.TakeClipboard("Title=Space Game\r\nVersion=1.2\r\nCompany=Acme\r\n"
                                    "Email=bad address\r\nSize=2,048\r\nDate=03/04/05\r\n"
                                    "SiteName1=Main\r\nSiteUrl1=http://example.org/sg.zip\r\n"
                                    "SiteUrl2=ftp://example.org/sg.zip\r\n"
                                    "ShortDescription=Shoot\r\n\r\nLong text\r\n"));
    EXPECT_TRUE(model.LeaveClipboardPage(true));
    const int generation = model.Generation();
    model.InitTitlePage();
    EXPECT_EQ(model.title, "Space Game");
    m_prompt.Expect(MSG_NO_AREA, EXPLORER_TITLE);
    EXPECT_FALSE(model.LeaveTitlePage());
    // The same area under two groups is chosen once.
    model.ToggleArea(1);
    model.ToggleArea(2);
    model.ToggleArea(2);
    EXPECT_THAT(model.areaIds, ElementsAre(1));
    EXPECT_TRUE(model.LeaveTitlePage());
    model.InitDetailsPage();
    EXPECT_EQ(model.size, 2048);
    EXPECT_EQ(model.date, CDateTime(2005, 3, 4));
    m_prompt.Expect(MSG_ILLEGAL_EMAIL, EXPLORER_TITLE);
    EXPECT_FALSE(model.LeaveDetailsPage());
    model.email = "";
    m_prompt.Expect(MSG_INVALID_EMAIL, EXPLORER_TITLE);
    EXPECT_FALSE(model.LeaveDetailsPage());
    model.email = "dev@example.org";
    EXPECT_TRUE(model.LeaveDetailsPage());
    model.InitDescriptionPage();
    EXPECT_EQ(model.brief, "Shoot");
    EXPECT_EQ(model.detailed, "Long text\r\n");
    EXPECT_TRUE(model.LeaveDescriptionPage());
    EXPECT_FALSE(model.InitUrlPage());
    EXPECT_THAT(model.locations,
                ElementsAre("http://example.org/sg.zip", "ftp://example.org/sg.zip"));
    m_prompt.Expect(MSG_DELETE_ITEM, CAPTION_QUESTION, EAnswer::No);
    m_prompt.Expect(MSG_DELETE_ITEM, CAPTION_QUESTION, EAnswer::Yes);
    EXPECT_FALSE(model.RemoveLocation(1));
    EXPECT_TRUE(model.RemoveLocation(1));
    EXPECT_TRUE(model.LeaveUrlPage());
    EXPECT_EQ(model.Generation(), generation);
    double id = 0;
    ASSERT_TRUE(model.Finish(id));
    CFileRecord stored(&m_context->Catalogue());
    ASSERT_TRUE(stored.Get(static_cast<int>(id), false));
    EXPECT_EQ(stored.m_TITLE, "Space Game");
    EXPECT_EQ(stored.m_VERSION, "1.2");
    EXPECT_EQ(stored.m_UPLD_NAME, "Acme");
    EXPECT_EQ(stored.m_SHORT_DESC, "Shoot");
    EXPECT_EQ(stored.m_LONG_DESC, "Long text");
    EXPECT_EQ(stored.m_FILE_DATE, CDateTime(2005, 3, 4));
    EXPECT_EQ(Count("areafile"), 1);
    EXPECT_EQ(Count("download", "url = 'http://example.org/sg.zip'"), 1);
    EXPECT_EQ(Problems(), "");
}

TEST_P(Catalogue, LocalFilesAreCopiedIntoTheHostArea) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    const auto outside = m_dir.Path() / "incoming";
    std::filesystem::create_directories(outside);
    testsupport::WriteFile(outside / "my tool.zip", "zipdata");
    testsupport::WriteFile(AreaDir(2) / "inside.zip", "inside");

    std::string file = (outside / "my tool.zip").string();
    std::string location;
    // Cancel to the spaces question keeps the dialog; No keeps the name; Yes makes a copy
    // named with '_' beside it. Then the copy into the area is offered.
    m_prompt.Expect(MSG_SPACES, CAPTION_WARNING, EAnswer::Cancel)
        .Expect(MSG_SPACES, CAPTION_WARNING, EAnswer::Yes)
        .Expect(MSG_COPY_TO_HOST, CAPTION_QUESTION, EAnswer::No)
        .Expect(MSG_SPACES, CAPTION_WARNING, EAnswer::Yes)
        .Expect(MSG_COPY_TO_HOST, CAPTION_QUESTION, EAnswer::Yes);
    EXPECT_EQ(AcceptLocalLocation(*m_context, file, 2, location), ELocalAccept::Stay);
    EXPECT_EQ(AcceptLocalLocation(*m_context, file, 2, location), ELocalAccept::Stay);
    EXPECT_TRUE(std::filesystem::exists(outside / "my_tool.zip"));
    EXPECT_FALSE(std::filesystem::exists(AreaDir(2) / "my_tool.zip"));
    ASSERT_EQ(AcceptLocalLocation(*m_context, file, 2, location), ELocalAccept::Accepted);
    EXPECT_EQ(location, "local://2/my_tool.zip");
    EXPECT_EQ(testsupport::ReadFile(AreaDir(2) / "my_tool.zip"), "zipdata");
    EXPECT_EQ(file, (AreaDir(2) / "my_tool.zip").string());

    // A file already in the area's directory (named through a link and "..") is not copied.
    std::filesystem::create_directory_symlink(AreaDir(2), m_dir.Path() / "link");
    file = (m_dir.Path() / "link" / ".." / "area2" / "inside.zip").string();
    ASSERT_EQ(AcceptLocalLocation(*m_context, file, 2, location), ELocalAccept::Accepted);
    EXPECT_EQ(location, "local://2/inside.zip");

    // Failures, in the dialog's order.
    m_prompt.Expect(MSG_BAD_FILE, EXPLORER_TITLE)
        .Expect(MSG_BAD_FILE, EXPLORER_TITLE)
        .Expect(MSG_NO_HOST_AREA, EXPLORER_TITLE)
        .Expect(MSG_BAD_URL, EXPLORER_TITLE);
    file = (outside / "missing.zip").string();
    EXPECT_EQ(AcceptLocalLocation(*m_context, file, 2, location), ELocalAccept::StayOnFile);
    file = outside.string();
    EXPECT_EQ(AcceptLocalLocation(*m_context, file, 2, location), ELocalAccept::StayOnFile);
    file = (AreaDir(2) / "inside.zip").string();
    EXPECT_EQ(AcceptLocalLocation(*m_context, file, 3, location), ELocalAccept::StayOnArea);
    EXPECT_FALSE(AcceptRemoteLocation(*m_context, "www.example.org/x.zip", location));

    // Editing an existing location opens on the area's file.
    const CLocationDialogState state = ParseLocationForDialog(*m_context, "LOCAL://2/inside.zip");
    EXPECT_TRUE(state.local);
    EXPECT_EQ(state.areaId, 2u);
    EXPECT_EQ(state.fileName, (AreaDir(2) / "inside.zip").string());
    EXPECT_FALSE(ParseLocationForDialog(*m_context, "http://x/y").local);
    EXPECT_EQ(Problems(), "");
}

TEST_P(Catalogue, DeletingAndRemovingFiles) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    testsupport::WriteFile(AreaDir(1) / "a.zip", "a");
    testsupport::WriteFile(AreaDir(2) / "b.zip", "b");
    testsupport::WriteFile(m_dir.Path() / "outside.txt", "must stay");
    const double webOnly = AddFile("Web", {3}, {"http://example.org/w.zip"});
    const double local = AddFile("Local", {1}, {"local://1/a.zip", "http://example.org/a.zip"});
    const double climbing = AddFile(
        "Climb", {2}, {"local://2/../outside.txt", "local://9/gone.zip", "local://2/b.zip"});
    const double twoAreas = AddFile("Two", {1, 2}, {"http://example.org/t.zip"});
    const double kept = AddFile("Kept", {1}, {"local://1/a.zip"});

    CFileRecord file(&m_context->Catalogue());
    std::vector<CFileRecord> files;
    auto select = [&](double id) {
        CFileRecord record(&m_context->Catalogue());
        EXPECT_TRUE(record.Get(static_cast<int>(id), false));
        return record;
    };
    // A web-only file: no local-storage question.
    m_prompt.Expect(MSG_DELETE_FILES, CAPTION_QUESTION, EAnswer::Yes);
    files = {select(webOnly)};
    EXPECT_EQ(DeleteFiles(*m_context, files), 1u);

    // Cancel skips that file and goes on with the next; a name that leaves its area is reported
    // and never deleted, an area that is gone is skipped.
    m_prompt.Expect(MSG_DELETE_FILES, CAPTION_QUESTION, EAnswer::Yes)
        .Expect(MSG_DELETE_LOCAL, CAPTION_WARNING, EAnswer::Cancel)
        .Expect(MSG_DELETE_LOCAL, CAPTION_WARNING, EAnswer::Yes)
        .Expect("The file " + (AreaDir(2) / "../outside.txt").string() +
                    " could not be deleted from disk.",
                CAPTION_WARNING);
    files = {select(kept), select(climbing)};
    EXPECT_EQ(DeleteFiles(*m_context, files), 1u);
    EXPECT_TRUE(std::filesystem::exists(AreaDir(1) / "a.zip"));
    EXPECT_EQ(testsupport::ReadFile(m_dir.Path() / "outside.txt"), "must stay");
    EXPECT_FALSE(std::filesystem::exists(AreaDir(2) / "b.zip"));
    EXPECT_EQ(Count("files", "file_id = " + FormatWhole(climbing)), 0);
    EXPECT_EQ(Count("download", "file_id = " + FormatWhole(climbing)), 0);
    EXPECT_EQ(Count("files", "file_id = " + FormatWhole(kept)), 1);

    // Removal: from one of two areas without a second question; the only area asks, and No
    // keeps the file where it is.
    m_prompt.Expect(MSG_REMOVE_FILES, CAPTION_QUESTION, EAnswer::Yes)
        .Expect("Local exists only in the selected file area. Removing this file will delete it "
                "from the system. Are you sure you want to remove this file?",
                CAPTION_WARNING, EAnswer::No);
    files = {select(twoAreas), select(local)};
    EXPECT_EQ(RemoveFilesFromArea(*m_context, files, 1), 1u);
    EXPECT_EQ(Count("areafile", "file_id = " + FormatWhole(twoAreas)), 1);
    EXPECT_EQ(Count("areafile", "file_id = " + FormatWhole(local)), 1);
    // No to the first question does nothing at all.
    m_prompt.Expect(MSG_REMOVE_FILES, CAPTION_QUESTION, EAnswer::No);
    EXPECT_EQ(RemoveFilesFromArea(*m_context, files, 1), 0u);
    EXPECT_EQ(Problems(), "");
}

TEST_P(Catalogue, FilePropertiesChangeTheCatalogue) {
    WriteStandardLibrary();
    ASSERT_TRUE(Start());
    const double id = AddFile("Props", {1}, {"http://example.org/p.zip"});
    CFileRecord record(&m_context->Catalogue());
    ASSERT_TRUE(record.Get(static_cast<int>(id), false));
    CFilePropertiesModel sheet(*m_context, record);
    EXPECT_THAT(sheet.Areas(), ElementsAre(1u));
    EXPECT_TRUE(sheet.ToggleArea(2));
    EXPECT_FALSE(sheet.ToggleArea(1));
    EXPECT_TRUE(sheet.HasCommittedChanges());
    EXPECT_EQ(Count("areafile", "file_id = " + FormatWhole(id) + " and area_id = 2"), 1);
    EXPECT_EQ(Count("areafile", "file_id = " + FormatWhole(id) + " and area_id = 1"), 0);
    EXPECT_FALSE(sheet.ToggleArea(2));
    m_prompt.Expect(MSG_NO_FILE_AREA, EXPLORER_TITLE);
    EXPECT_FALSE(sheet.LeaveAreasPage());
    sheet.ToggleArea(1);
    EXPECT_TRUE(sheet.ReplaceLocation(0, "http://example.org/new.zip"));
    m_prompt.Expect(MSG_DELETE_ITEM, CAPTION_QUESTION, EAnswer::Yes);
    EXPECT_TRUE(sheet.AddLocation("ftp://example.org/p.zip"));
    EXPECT_TRUE(sheet.RemoveLocation(0));
    EXPECT_EQ(Count("download", "file_id = " + FormatWhole(id)), 1);
    EXPECT_EQ(Count("download", "url = 'ftp://example.org/p.zip'"), 1);

    sheet.File().m_REQ_FORM = true;
    sheet.File().m_UPLD_EMAIL = "";
    m_prompt.Expect(MSG_INVALID_EMAIL, EXPLORER_TITLE);
    EXPECT_FALSE(sheet.LeaveGeneralPage());
    sheet.File().m_REQ_FORM = false;
    EXPECT_TRUE(sheet.LeaveGeneralPage());
    sheet.File().m_TITLE = "Renamed";
    sheet.File().m_DOWNLOADS = 12;
    ASSERT_TRUE(sheet.Save());
    CFileRecord stored(&m_context->Catalogue());
    ASSERT_TRUE(stored.Get(static_cast<int>(id), false));
    EXPECT_EQ(stored.m_TITLE, "Renamed");
    EXPECT_EQ(stored.m_DOWNLOADS, 12);

    // An upload under review: lists edited in memory only.
    CFilePropertiesModel pending(*m_context, record, {1}, {"local://1/x.zip"});
    m_prompt.Expect(MSG_REMOVE_URL, CAPTION_QUESTION, EAnswer::Yes)
        .Expect(MSG_NO_URL_FOR_FILE, EXPLORER_TITLE);
    EXPECT_TRUE(pending.RemoveLocation(0));
    EXPECT_FALSE(pending.LeaveUrlsPage());
    EXPECT_FALSE(pending.ToggleArea(1));
    EXPECT_EQ(Count("areafile", "file_id = " + FormatWhole(id) + " and area_id = 1"), 1);
    EXPECT_EQ(Problems(), "");
}

INSTANTIATE_FOR_ENGINES(Catalogue);
