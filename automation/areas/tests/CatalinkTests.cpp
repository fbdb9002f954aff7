// Catalink created by ProgID from the registered library, over a store and group files
// written byte by byte in the test's own database directory.

#include "Catalink.h"
#include "ComServer.h"
#include "ComTestSupport.h"
#include "FileAreaStore.h"
#include "GroupFiles.h"
#include "RecordFile.h"
#include "Registry.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <thread>

using comtest::CallRegistrationEntry;
using comtest::CComTestEnvironment;
using comtest::IsLibraryLoaded;
using testsupport::WriteFile;

namespace {

const std::string LIBRARY = CATALINK_LIBRARY;

std::string U32(std::uint32_t v) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::string Field(const std::string& text, std::size_t size) {
    std::string field = text;
    field.resize(size, '\0');
    return field;
}

std::string Header(std::uint32_t nextId) {
    return U32(12) + U32(0) + U32(nextId) + std::string(856, '\0');
}

std::string Area(std::uint32_t id, const std::string& name, std::uint32_t flags,
                 const std::string& path = "", const std::string& ftp = "",
                 const std::string& http = "") {
    return U32(id) + Field(name, 80) + Field(path, 260) + Field(ftp, 260) + Field(http, 260) +
           U32(flags);
}

std::string Ids(std::initializer_list<std::uint32_t> ids) {
    std::string bytes;
    for (const auto id : ids) {
        bytes += U32(id);
    }
    return bytes;
}

class Catalink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(IsLibraryLoaded(LIBRARY)) << "an earlier test left the library loaded";
        std::filesystem::create_directories(m_db);
        ASSERT_EQ(CallRegistrationEntry(LIBRARY), S_OK);
        SetSetting(settings::DatabasePath, m_db.string());
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        // Every object a test made is gone, so the library could go too.
        EXPECT_FALSE(IsLibraryLoaded(LIBRARY));
    }

    static void SetSetting(const char* name, const std::string& value, DWORD type = REG_SZ) {
        CRegKey key;
        ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, settings::SettingsKey), ERROR_SUCCESS);
        ASSERT_EQ(key.SetStringValue(name, value.c_str(), type), ERROR_SUCCESS);
    }

    // Areas 1, 3, 4 (2 was deleted); groups naming existing and missing areas.
    void WriteSampleStore() {
        WriteFile(m_db / "filearea.dat",
                  Header(5) + Area(1, "Games", 3, "/srv/games", "games", "dl/games") +
                      Area(3, "Utilities", 1, "/srv/util", "util", "dl/util") +
                      Area(4, "Incoming", 2, "", "", ""));
        WriteFile(m_db / "Games.group", Ids({4, 9, 1}));
        WriteFile(m_db / "Gone.group", Ids({2, 9}));
        WriteFile(m_db / "Empty.group", "");
        WriteFile(m_db / "Short.group", "\x01\x00\x00"); // less than one record
    }

    template <class T> CComPtr<T> Create(const char* progId) {
        CComPtr<T> object;
        EXPECT_EQ(object.CoCreateInstance(progId), S_OK) << progId;
        return object;
    }

    static CComPtr<IArea> AsArea(const VARIANT& value) {
        CComPtr<IArea> area;
        EXPECT_EQ(value.vt, VT_DISPATCH);
        if (value.vt == VT_DISPATCH && value.pdispVal) {
            EXPECT_EQ(value.pdispVal->QueryInterface(IID_IArea, reinterpret_cast<void**>(&area)),
                      S_OK);
        }
        return area;
    }
    static LONG IdOf(const VARIANT& value) {
        LONG id = -1;
        if (auto area = AsArea(value)) {
            area->get_Id(&id);
        }
        return id;
    }
    static std::string NameOf(IGroup* group) {
        CComBSTR name;
        EXPECT_EQ(group->get_Name(&name), S_OK);
        return name.ToString();
    }
    static std::vector<LONG> EnumeratedIds(IUnknown* unknown) {
        std::vector<LONG> ids;
        CComPtr<IEnumVARIANT> items;
        EXPECT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items)),
                  S_OK);
        CComVariant item;
        while (items && items->Next(1, &item, nullptr) == S_OK) {
            ids.push_back(IdOf(item));
            item.Clear();
        }
        return ids;
    }

    CComTestEnvironment m_env{COINIT_MULTITHREADED};
    std::filesystem::path m_db = m_env.Dir() / "database";
};

} // namespace

TEST_F(Catalink, RegistersThreeClassesWithBothProgIdsAndThreadingModelBoth) {
    for (const auto& [progId, clsid] :
         {std::pair{"Catalink.AreaCollection", CLSID_AreaCollection},
          std::pair{"Catalink.GroupCollection", CLSID_GroupCollection},
          std::pair{"Catalink.Config", CLSID_Config}}) {
        CLSID found;
        ASSERT_EQ(CLSIDFromProgID(progId, &found), S_OK) << progId;
        EXPECT_EQ(found, clsid);
        ASSERT_EQ(CLSIDFromProgID((std::string(progId) + ".1").c_str(), &found), S_OK);
        EXPECT_EQ(found, clsid);
        CRegKey key;
        std::string value;
        ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, (std::string(progId) + "\\CurVer").c_str(), KEY_READ),
                  ERROR_SUCCESS);
        ASSERT_EQ(key.QueryStringValue(nullptr, value), ERROR_SUCCESS);
        EXPECT_EQ(value, std::string(progId) + ".1");
        const std::string clsidKey = "CLSID\\" + GuidToString(clsid);
        ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, (clsidKey + "\\InprocServer32").c_str(), KEY_READ),
                  ERROR_SUCCESS);
        ASSERT_EQ(key.QueryStringValue("ThreadingModel", value), ERROR_SUCCESS);
        EXPECT_EQ(value, "Both");
        EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, (clsidKey + "\\Programmable").c_str(), KEY_READ),
                  ERROR_SUCCESS);
    }
    CRegKey key;
    std::string help;
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT,
                       ("TypeLib\\" + GuidToString(LIBID_CATALINKLib) + "\\1.0").c_str(), KEY_READ),
              ERROR_SUCCESS);
    ASSERT_EQ(key.QueryStringValue(nullptr, help), ERROR_SUCCESS);
    EXPECT_EQ(help, "Catalink 1.0 Type Library");

    // Area and Group are not creatable; aggregation is refused.
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Area, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    auto outer = Create<IConfig>("Catalink.Config");
    EXPECT_EQ(CoCreateInstance(CLSID_AreaCollection, outer, CLSCTX_ALL, IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
}

TEST_F(Catalink, AreaCollectionServesAreas134ByPositionAndById) {
    WriteSampleStore();
    auto areas = Create<IAreaCollection>("Catalink.AreaCollection");
    ASSERT_TRUE(areas);
    LONG count = 0;
    ASSERT_EQ(areas->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);

    CComVariant item;
    ASSERT_EQ(areas->get_Item(2, &item), S_OK);
    EXPECT_EQ(IdOf(item), 3);
    for (LONG bad : {0, 4, -1}) {
        CComVariant none;
        EXPECT_EQ(areas->get_Item(bad, &none), E_INVALIDARG) << bad;
        EXPECT_EQ(none.vt, VT_EMPTY);
    }
    CComVariant found;
    EXPECT_EQ(areas->FindId(2, &found), E_INVALIDARG);
    EXPECT_EQ(areas->FindId(0, &found), E_INVALIDARG);
    ASSERT_EQ(areas->FindId(3, &found), S_OK);
    // The same object, whichever way it is reached.
    EXPECT_EQ(found.pdispVal, item.pdispVal);

    CComVariant first;
    ASSERT_EQ(areas->get_Item(1, &first), S_OK);
    auto games = AsArea(first);
    LONG id = 0;
    CComBSTR name, path, ftp, http;
    ASSERT_EQ(games->get_Id(&id), S_OK);
    ASSERT_EQ(games->get_Name(&name), S_OK);
    ASSERT_EQ(games->get_Path(&path), S_OK);
    ASSERT_EQ(games->get_FtpAlias(&ftp), S_OK);
    ASSERT_EQ(games->get_HttpAlias(&http), S_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(name.ToString(), "Games");
    EXPECT_EQ(path.ToString(), "/srv/games");
    EXPECT_EQ(ftp.ToString(), "games");
    EXPECT_EQ(http.ToString(), "dl/games");
    // Strings are new copies each time.
    CComBSTR again;
    ASSERT_EQ(games->get_Name(&again), S_OK);
    EXPECT_NE(static_cast<BSTR>(again), static_cast<BSTR>(name));

    // Flags 3, 1 and 2 as automation Booleans.
    const std::pair<VARIANT_BOOL, VARIANT_BOOL> expected[] = {{-1, -1}, {0, -1}, {-1, 0}};
    for (LONG i = 1; i <= 3; ++i) {
        CComVariant value;
        ASSERT_EQ(areas->get_Item(i, &value), S_OK);
        VARIANT_BOOL up = 1, down = 1;
        ASSERT_EQ(AsArea(value)->get_Uploadable(&up), S_OK);
        ASSERT_EQ(AsArea(value)->get_Downloadable(&down), S_OK);
        EXPECT_EQ(up, expected[i - 1].first) << i;
        EXPECT_EQ(down, expected[i - 1].second) << i;
    }

    EXPECT_EQ(areas->get_Count(nullptr), E_POINTER);
    EXPECT_EQ(areas->get_Item(1, nullptr), E_POINTER);
    EXPECT_EQ(areas->FindId(1, nullptr), E_POINTER);
    EXPECT_EQ(areas->get__NewEnum(nullptr), E_POINTER);
    EXPECT_EQ(games->get_Name(nullptr), E_POINTER);
    EXPECT_EQ(games->get_Uploadable(nullptr), E_POINTER);
}

TEST_F(Catalink, ScriptsReachEveryMemberByNameAndDispatchId) {
    WriteSampleStore();
    auto areas = Create<IDispatch>("Catalink.AreaCollection");
    auto call = [](IDispatch* object, const char* member, WORD flags, std::vector<CComVariant> args,
                   CComVariant& result, DISPID expectedId) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
        DISPID id = 0;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << member;
        EXPECT_EQ(id, expectedId) << member;
        std::vector<VARIANT> raw(args.rbegin(), args.rend());
        DISPPARAMS params{raw.empty() ? nullptr : raw.data(), nullptr,
                          static_cast<UINT>(raw.size()), 0};
        result.Clear();
        return object->Invoke(id, IID_NULL, 0, flags, &params, &result, nullptr, nullptr);
    };
    const WORD get = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
    CComVariant result;
    ASSERT_EQ(call(areas, "Count", get, {}, result, 0x60020000), S_OK);
    EXPECT_EQ(result.lVal, 3);
    ASSERT_EQ(call(areas, "Item", get, {CComVariant("2")}, result, DISPID_VALUE), S_OK);
    EXPECT_EQ(IdOf(result), 3);
    ASSERT_EQ(call(areas, "findid", DISPATCH_METHOD, {CComVariant(LONG{4})}, result, 1), S_OK);
    ASSERT_EQ(result.vt, VT_DISPATCH);
    CComPtr<IDispatch> incoming = result.pdispVal;
    ASSERT_EQ(call(areas, "_NewEnum", get, {}, result, DISPID_NEWENUM), S_OK);
    EXPECT_EQ(result.vt, VT_UNKNOWN);
    EXCEPINFO excep{};
    DISPPARAMS badIndex{nullptr, nullptr, 0, 0};
    CComVariant index(LONG{9});
    badIndex.rgvarg = &index;
    badIndex.cArgs = 1;
    EXPECT_EQ(areas->Invoke(DISPID_VALUE, IID_NULL, 0, get, &badIndex, &result, &excep, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_INVALIDARG);
    SysFreeString(excep.bstrDescription);

    const std::pair<const char*, DISPID> areaMembers[] = {
        {"Id", 1},        {"Name", 2},       {"Path", 3},        {"FtpAlias", 4},
        {"HttpAlias", 5}, {"Uploadable", 6}, {"Downloadable", 7}};
    const VARTYPE types[] = {VT_I4, VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_BOOL, VT_BOOL};
    for (std::size_t i = 0; i < 7; ++i) {
        ASSERT_EQ(call(incoming, areaMembers[i].first, DISPATCH_PROPERTYGET, {}, result,
                       areaMembers[i].second),
                  S_OK);
        EXPECT_EQ(result.vt, types[i]) << areaMembers[i].first;
    }
    EXPECT_EQ(result.boolVal, 0); // area 4 has flags 2: not downloadable
    // Read-only: no property can be set.
    CComVariant value("x");
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS setName{&value, &put, 1, 1};
    EXPECT_EQ(
        incoming->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYPUT, &setName, nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);

    WriteFile(m_db / "only.group", Ids({3}));
    auto groups = Create<IDispatch>("Catalink.GroupCollection");
    ASSERT_EQ(call(groups, "Find", DISPATCH_METHOD, {CComVariant("Games")}, result, 1), S_OK);
    CComPtr<IDispatch> group = result.pdispVal;
    ASSERT_EQ(call(group, "Name", DISPATCH_PROPERTYGET, {}, result, 1), S_OK);
    EXPECT_STREQ(result.bstrVal, "Games");
    ASSERT_EQ(call(group, "Count", get, {}, result, 0x60020000), S_OK);
    EXPECT_EQ(result.lVal, 2);
    ASSERT_EQ(call(group, "Item", get, {CComVariant(LONG{2})}, result, DISPID_VALUE), S_OK);
    EXPECT_EQ(IdOf(result), 1);

    auto config = Create<IDispatch>("Catalink.Config");
    ASSERT_EQ(call(config, "Administrator", DISPATCH_PROPERTYGET, {}, result, 1), S_OK);
    ASSERT_EQ(call(config, "FtpServer", DISPATCH_PROPERTYGET, {}, result, 2), S_OK);
    ASSERT_EQ(call(config, "HttpServer", DISPATCH_PROPERTYGET, {}, result, 3), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
}

TEST_F(Catalink, GroupsKeepFileOrderDropMissingAreasAndSkipEmptyFiles) {
    WriteSampleStore();
    auto groups = Create<IGroupCollection>("Catalink.GroupCollection");
    LONG count = 0;
    ASSERT_EQ(groups->get_Count(&count), S_OK);
    // Games and Gone; Empty and Short have no record.
    ASSERT_EQ(count, 2);
    std::vector<std::string> names;
    for (LONG i = 1; i <= count; ++i) {
        CComVariant item;
        ASSERT_EQ(groups->get_Item(i, &item), S_OK);
        CComPtr<IGroup> group;
        ASSERT_EQ(item.pdispVal->QueryInterface(IID_IGroup, reinterpret_cast<void**>(&group)),
                  S_OK);
        names.push_back(NameOf(group));
    }
    // In the order the directory lists them, as the setup program's reader sees them.
    std::vector<std::string> listed;
    for (const auto& entry : std::filesystem::directory_iterator(m_db)) {
        const std::string file = entry.path().filename().string();
        if (file == "Games.group" || file == "Gone.group") {
            listed.push_back(file.substr(0, file.size() - 6));
        }
    }
    EXPECT_EQ(names, listed);

    CComVariant found;
    ASSERT_EQ(groups->Find(CComBSTR("Games"), &found), S_OK);
    CComPtr<IGroup> games;
    ASSERT_EQ(found.pdispVal->QueryInterface(IID_IGroup, reinterpret_cast<void**>(&games)), S_OK);
    ASSERT_EQ(games->get_Count(&count), S_OK);
    EXPECT_EQ(count, 2); // 4, 9, 1 without 9
    CComVariant member;
    ASSERT_EQ(games->get_Item(1, &member), S_OK);
    EXPECT_EQ(IdOf(member), 4);
    CComVariant none;
    EXPECT_EQ(games->get_Item(3, &none), E_INVALIDARG);
    CComPtr<IUnknown> members;
    ASSERT_EQ(games->get__NewEnum(&members), S_OK);
    EXPECT_EQ(EnumeratedIds(members), (std::vector<LONG>{4, 1}));

    // Members are the very objects of the area list.
    auto areas = Create<IAreaCollection>("Catalink.AreaCollection");
    CComVariant area4;
    ASSERT_EQ(areas->FindId(4, &area4), S_OK);
    EXPECT_EQ(member.pdispVal, area4.pdispVal);

    // A group of deleted areas only is there, with no members.
    CComVariant goneItem;
    ASSERT_EQ(groups->Find(CComBSTR("Gone"), &goneItem), S_OK);
    CComPtr<IGroup> gone;
    ASSERT_EQ(goneItem.pdispVal->QueryInterface(IID_IGroup, reinterpret_cast<void**>(&gone)), S_OK);
    ASSERT_EQ(gone->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);

    // Names are matched exactly.
    EXPECT_EQ(groups->Find(CComBSTR("games"), &none), E_INVALIDARG);
    EXPECT_EQ(groups->Find(CComBSTR("Games "), &none), E_INVALIDARG);
    EXPECT_EQ(groups->Find(CComBSTR("Empty"), &none), E_INVALIDARG);
    EXPECT_EQ(groups->Find(CComBSTR("Short"), &none), E_INVALIDARG);
    EXPECT_EQ(groups->Find(nullptr, &none), E_INVALIDARG);
    EXPECT_EQ(groups->Find(CComBSTR("Games"), nullptr), E_POINTER);
    EXPECT_EQ(gone->get_Name(nullptr), E_POINTER);
}

TEST_F(Catalink, FilesHeldByTheSetupProgramReadAsEmpty) {
    WriteSampleStore();
    WriteFile(m_db / "Locked.group", Ids({1}));
    {
        // The setup program holds the store (and here a group being written) exclusively.
        CFileAreaStore setup;
        ASSERT_TRUE(setup.OpenForWriting(m_db.string()));
        RecordFile groupWriter(4, true);
        ASSERT_TRUE(groupWriter.Open((m_db / "Locked.group").string()));

        auto areas = Create<IAreaCollection>("Catalink.AreaCollection");
        LONG count = -1;
        ASSERT_EQ(areas->get_Count(&count), S_OK);
        EXPECT_EQ(count, 0);
        CComPtr<IUnknown> items;
        ASSERT_EQ(areas->get__NewEnum(&items), S_OK);
        EXPECT_TRUE(EnumeratedIds(items).empty());

        auto groups = Create<IGroupCollection>("Catalink.GroupCollection");
        ASSERT_EQ(groups->get_Count(&count), S_OK);
        EXPECT_EQ(count, 2); // Games and Gone, both now without members
        CComVariant games;
        ASSERT_EQ(groups->Find(CComBSTR("Games"), &games), S_OK);
        CComPtr<IGroup> group;
        ASSERT_EQ(games.pdispVal->QueryInterface(IID_IGroup, reinterpret_cast<void**>(&group)),
                  S_OK);
        ASSERT_EQ(group->get_Count(&count), S_OK);
        EXPECT_EQ(count, 0);
        CComVariant locked;
        EXPECT_EQ(groups->Find(CComBSTR("Locked"), &locked), E_INVALIDARG);
    }
    // Still so after the setup program ends: the snapshot is the library's until it unloads.
    auto areas = Create<IAreaCollection>("Catalink.AreaCollection");
    LONG count = -1;
    ASSERT_EQ(areas->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
}

TEST_F(Catalink, SnapshotIsTakenOncePerLoadOfTheLibrary) {
    WriteSampleStore();
    auto areas = Create<IAreaCollection>("Catalink.AreaCollection");
    LONG count = 0;
    ASSERT_EQ(areas->get_Count(&count), S_OK);
    ASSERT_EQ(count, 3);

    // The setup program adds an area and a group meanwhile.
    {
        CFileAreaStore setup;
        ASSERT_TRUE(setup.OpenForWriting(m_db.string()));
        AreaRecord added;
        added.Name = "Added";
        ASSERT_TRUE(setup.AddArea(added));
        EXPECT_EQ(added.Id, 5u);
    }
    WriteFile(m_db / "New.group", Ids({5}));
    auto second = Create<IAreaCollection>("Catalink.AreaCollection");
    ASSERT_EQ(second->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    CComVariant none;
    EXPECT_EQ(second->FindId(5, &none), E_INVALIDARG);

    // An area a client still holds keeps the library, and so the snapshot.
    CComVariant held;
    ASSERT_EQ(areas->get_Item(1, &held), S_OK);
    areas.Release();
    second.Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLibraryLoaded(LIBRARY));
    auto third = Create<IAreaCollection>("Catalink.AreaCollection");
    ASSERT_EQ(third->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    third.Release();
    held.Clear();

    // Once unloaded, the next load reads the files again.
    CoFreeUnusedLibraries();
    ASSERT_FALSE(IsLibraryLoaded(LIBRARY));
    auto fresh = Create<IAreaCollection>("Catalink.AreaCollection");
    ASSERT_EQ(fresh->get_Count(&count), S_OK);
    EXPECT_EQ(count, 4);
    CComVariant added;
    ASSERT_EQ(fresh->FindId(5, &added), S_OK);
    auto groups = Create<IGroupCollection>("Catalink.GroupCollection");
    CComVariant group;
    EXPECT_EQ(groups->Find(CComBSTR("New"), &group), S_OK);
}

TEST_F(Catalink, EnumeratorsHoldTheirOwnCopies) {
    WriteSampleStore();
    auto areas = Create<IAreaCollection>("Catalink.AreaCollection");
    CComPtr<IUnknown> first, second;
    ASSERT_EQ(areas->get__NewEnum(&first), S_OK);
    ASSERT_EQ(areas->get__NewEnum(&second), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(EnumeratedIds(first), (std::vector<LONG>{1, 3, 4}));
    areas.Release();

    // An enumerator outlives its collection and keeps the areas it holds.
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLibraryLoaded(LIBRARY));
    EXPECT_EQ(EnumeratedIds(second), (std::vector<LONG>{1, 3, 4}));
    second.Release();
    CComPtr<IEnumVARIANT> rewound;
    ASSERT_EQ(first.QueryInterface(&rewound), S_OK);
    ASSERT_EQ(rewound->Reset(), S_OK);
    CComVariant item;
    ASSERT_EQ(rewound->Next(1, &item, nullptr), S_OK);
    EXPECT_EQ(IdOf(item), 1);
}

TEST_F(Catalink, DamagedFilesAreRefusedAndDatabasePathSpelling) {
    // Ids not ascending would lose areas from a search by id; a group file of more ids than
    // a group may hold is damaged too. Neither collection is made, and the caller is told.
    const std::string store = (m_db / "filearea.dat").string();
    std::string many;
    for (std::size_t i = 0; i <= MAX_GROUP_IDS; ++i) {
        many.append("\x01\0\0\0", 4);
    }
    for (const auto& [areas, group] :
         {std::pair{Header(3) + Area(1, "First", 0) + Area(2, "Two", 0) + Area(1, "Later", 0),
                    std::string()},
          std::pair{Header(3) + Area(1, "First", 0), many}}) {
        WriteFile(store, areas);
        if (!group.empty()) {
            WriteFile(m_db / "Many.group", group);
        }
        for (const char* progId : {"Catalink.AreaCollection", "Catalink.GroupCollection"}) {
            CComPtr<IDispatch> refused;
            EXPECT_EQ(refused.CoCreateInstance(progId), E_FAIL) << progId;
            CComPtr<IErrorInfo> info;
            ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
            CComBSTR description;
            info->GetDescription(&description);
            EXPECT_NE(description.ToString().find(" is damaged"), std::string::npos)
                << description.ToString();
        }
        CoFreeUnusedLibraries();
        ASSERT_FALSE(IsLibraryLoaded(LIBRARY));
    }
    std::filesystem::remove(m_db / "Many.group");

    // The database path may end in a slash or not; a partial record at the end is no area.
    WriteFile(store, Header(3) + Area(1, "First", 0) + Area(2, "Two", 0) + std::string(100, 'x'));
    SetSetting(settings::DatabasePath, m_db.string() + "/");
    auto areas = Create<IAreaCollection>("Catalink.AreaCollection");
    LONG count = 0;
    ASSERT_EQ(areas->get_Count(&count), S_OK);
    EXPECT_EQ(count, 2);
    CComVariant found;
    ASSERT_EQ(areas->FindId(2, &found), S_OK);
    CComBSTR name;
    AsArea(found)->get_Name(&name);
    EXPECT_EQ(name.ToString(), "Two");
}

TEST_F(Catalink, MissingStoreGivesNoAreasAndIsNotCreated) {
    WriteFile(m_db / "Games.group", Ids({1, 2}));
    auto areas = Create<IAreaCollection>("Catalink.AreaCollection");
    LONG count = -1;
    ASSERT_EQ(areas->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(std::filesystem::exists(m_db / "filearea.dat"));
    auto groups = Create<IGroupCollection>("Catalink.GroupCollection");
    ASSERT_EQ(groups->get_Count(&count), S_OK);
    EXPECT_EQ(count, 1);
}

TEST_F(Catalink, ConfigReadsItsThreeValuesAtEachCreation) {
    // No settings key at all: three empty strings, and the key now exists.
    ASSERT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, settings::SettingsKey), ERROR_SUCCESS);
    {
        auto config = Create<IConfig>("Catalink.Config");
        CComBSTR admin, ftp, http;
        ASSERT_EQ(config->get_Administrator(&admin), S_OK);
        ASSERT_EQ(config->get_FtpServer(&ftp), S_OK);
        ASSERT_EQ(config->get_HttpServer(&http), S_OK);
        EXPECT_EQ(admin.ToString(), "");
        EXPECT_EQ(ftp.ToString(), "");
        EXPECT_EQ(http.ToString(), "");
        EXPECT_NE(static_cast<BSTR>(admin), nullptr);
        CRegKey key;
        EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, settings::SettingsKey, KEY_READ), ERROR_SUCCESS);
    }

    SetSetting(settings::AdminEmail, "files@example.org");
    SetSetting(settings::FtpServer, "ftp://ftp.example.org");
    SetSetting(settings::HttpServer, "http://www.example.org/");
    auto before = Create<IConfig>("Catalink.Config");
    SetSetting(settings::AdminEmail, "uploads@example.org");
    // Another type, or too long for its 260 bytes, reads as empty.
    SetSetting(settings::FtpServer, "ftp://expanded", REG_EXPAND_SZ);
    SetSetting(settings::HttpServer, "http://" + std::string(260, 'w'));
    auto after = Create<IConfig>("Catalink.Config");

    CComBSTR value;
    ASSERT_EQ(before->get_Administrator(&value), S_OK);
    EXPECT_EQ(value.ToString(), "files@example.org");
    value.Attach(nullptr);
    ASSERT_EQ(before->get_FtpServer(&value), S_OK);
    EXPECT_EQ(value.ToString(), "ftp://ftp.example.org");
    value.Attach(nullptr);
    ASSERT_EQ(before->get_HttpServer(&value), S_OK);
    EXPECT_EQ(value.ToString(), "http://www.example.org/");
    value.Attach(nullptr);
    ASSERT_EQ(after->get_Administrator(&value), S_OK);
    EXPECT_EQ(value.ToString(), "uploads@example.org");
    value.Attach(nullptr);
    ASSERT_EQ(after->get_FtpServer(&value), S_OK);
    EXPECT_EQ(value.ToString(), "");
    value.Attach(nullptr);
    ASSERT_EQ(after->get_HttpServer(&value), S_OK);
    EXPECT_EQ(value.ToString(), "");
    EXPECT_EQ(after->get_HttpServer(nullptr), E_POINTER);
}

TEST_F(Catalink, ObjectsServeManyThreadsAtOnce) {
    WriteSampleStore();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&failures] {
            // The test's thread is multithreaded, so these share its apartment.
            for (int i = 0; i < 100; ++i) {
                CComPtr<IAreaCollection> areas;
                CComPtr<IGroupCollection> groups;
                CComVariant area, group;
                LONG id = 0;
                if (areas.CoCreateInstance(CLSID_AreaCollection) != S_OK ||
                    groups.CoCreateInstance(CLSID_GroupCollection) != S_OK ||
                    areas->FindId(i % 2 ? 3 : 4, &area) != S_OK ||
                    groups->Find(CComBSTR("Games"), &group) != S_OK ||
                    AsArea(area)->get_Id(&id) != S_OK || id != (i % 2 ? 3 : 4)) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
}
