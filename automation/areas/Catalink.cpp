// The Catalink library: a snapshot of the file areas and groups taken once per process,
// the objects that serve it, the configuration object, and the library's entry points.

#include "Catalink.h"

#include "ComServer.h"
#include "FileAreaStore.h"
#include "GroupFiles.h"
#include "RecordFile.h"
#include "Settings.h"

#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

CServerModule g_module;

// Stores an object's own first reference in a variant, without adding one.
VARIANT TakeDispatch(IDispatch* object) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = object;
    return value;
}

HRESULT CopyEntry(const VARIANT& entry, VARIANT* out) {
    if (!out) {
        return E_POINTER;
    }
    VariantInit(out);
    return VariantCopy(out, &entry);
}

// Entry index - 1 of a list, for the 1-based Item members.
HRESULT ItemOf(const std::vector<const VARIANT*>& list, LONG index, VARIANT* out) {
    if (!out) {
        return E_POINTER;
    }
    if (index < 1 || static_cast<std::size_t>(index) > list.size()) {
        return E_INVALIDARG;
    }
    return CopyEntry(*list[static_cast<std::size_t>(index) - 1], out);
}

HRESULT CountOf(std::size_t size, LONG* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = static_cast<LONG>(size);
    return S_OK;
}

HRESULT EnumerateList(const std::vector<const VARIANT*>& list, IUnknown** out) {
    if (!out) {
        return E_POINTER;
    }
    std::vector<VARIANT> shallow;
    shallow.reserve(list.size());
    for (const VARIANT* entry : list) {
        shallow.push_back(*entry);
    }
    // The enumerator copies (and references) every entry itself.
    return CreateEnumVariantUnknown(shallow.data(), shallow.size(), out);
}

// Read-only properties served by an interface's getter.
template <class Itf, HRESULT (STDMETHODCALLTYPE Itf::*Get)(BSTR*)>
constexpr CDispMember TextProperty(const char* name, DISPID id) {
    return {name, id, DISPATCH_PROPERTYGET, 0, {}, [](IDispatch* self, VARIANT*, VARIANT* result) {
                result->vt = VT_BSTR;
                return (static_cast<Itf*>(self)->*Get)(&result->bstrVal);
            }};
}
template <class Itf, HRESULT (STDMETHODCALLTYPE Itf::*Get)(VARIANT_BOOL*)>
constexpr CDispMember FlagProperty(const char* name, DISPID id) {
    return {name, id, DISPATCH_PROPERTYGET, 0, {}, [](IDispatch* self, VARIANT*, VARIANT* result) {
                result->vt = VT_BOOL;
                return (static_cast<Itf*>(self)->*Get)(&result->boolVal);
            }};
}

// ---- Area ----

class CArea final : public CDispatchObject<IArea> {
public:
    explicit CArea(const AreaRecord& record)
        : CDispatchObject(&g_module, MEMBERS, EOwnership::Held), m_record(record) {}

    std::uint32_t GetId() const { return m_record.Id; }

    HRESULT STDMETHODCALLTYPE get_Id(LONG* pVal) override {
        if (!pVal) {
            return E_POINTER;
        }
        *pVal = static_cast<LONG>(m_record.Id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) override {
        return ComReturnString(m_record.Name, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* pVal) override {
        return ComReturnString(m_record.Path, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_FtpAlias(BSTR* ftppath) override {
        return ComReturnString(m_record.FtpAlias, ftppath);
    }
    HRESULT STDMETHODCALLTYPE get_HttpAlias(BSTR* httppath) override {
        return ComReturnString(m_record.HttpAlias, httppath);
    }
    HRESULT STDMETHODCALLTYPE get_Uploadable(VARIANT_BOOL* pVal) override {
        return Flag(AREA_UPLOADABLE, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Downloadable(VARIANT_BOOL* pVal) override {
        return Flag(AREA_DOWNLOADABLE, pVal);
    }

private:
    static const CDispMember MEMBERS[7];

    HRESULT Flag(std::uint32_t bit, VARIANT_BOOL* pVal) const {
        if (!pVal) {
            return E_POINTER;
        }
        *pVal = (m_record.Flags & bit) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    const AreaRecord m_record;
};

const CDispMember CArea::MEMBERS[7] = {
    {"Id",
     1,
     DISPATCH_PROPERTYGET,
     0,
     {},
     [](IDispatch* self, VARIANT*, VARIANT* result) {
         result->vt = VT_I4;
         return static_cast<IArea*>(self)->get_Id(&result->lVal);
     }},
    TextProperty<IArea, &IArea::get_Name>("Name", 2),
    TextProperty<IArea, &IArea::get_Path>("Path", 3),
    TextProperty<IArea, &IArea::get_FtpAlias>("FtpAlias", 4),
    TextProperty<IArea, &IArea::get_HttpAlias>("HttpAlias", 5),
    FlagProperty<IArea, &IArea::get_Uploadable>("Uploadable", 6),
    FlagProperty<IArea, &IArea::get_Downloadable>("Downloadable", 7),
};

// ---- Group ----

class CGroup final : public CDispatchObject<IGroup> {
public:
    // `members` point into the snapshot's area list, which outlives every group.
    CGroup(std::string name, std::vector<const VARIANT*> members)
        : CDispatchObject(&g_module, MEMBERS, EOwnership::Held), m_name(std::move(name)),
          m_members(std::move(members)) {}

    const std::string& GetName() const { return m_name; }

    HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override {
        return CountOf(m_members.size(), pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Item(LONG index, VARIANT* pVal) override {
        return ItemOf(m_members, index, pVal);
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) override {
        return EnumerateList(m_members, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) override {
        return ComReturnString(m_name, pVal);
    }

private:
    static const CDispMember MEMBERS[4];

    const std::string m_name;
    const std::vector<const VARIANT*> m_members;
};

// The members shared by the three collection-like interfaces, whose first three slots
// agree: Count, Item (the default member) and _NewEnum.
template <class Itf> constexpr CDispMember CountMember() {
    return {"Count",
            DISPID_CATALINK_COUNT,
            DISPATCH_PROPERTYGET,
            0,
            {},
            [](IDispatch* self, VARIANT*, VARIANT* result) {
                result->vt = VT_I4;
                return static_cast<Itf*>(self)->get_Count(&result->lVal);
            }};
}
template <class Itf> constexpr CDispMember ItemMember() {
    return {"Item",
            DISPID_VALUE,
            DISPATCH_PROPERTYGET | DISPATCH_METHOD,
            1,
            {VT_I4},
            [](IDispatch* self, VARIANT* args, VARIANT* result) {
                return static_cast<Itf*>(self)->get_Item(args[0].lVal, result);
            }};
}
template <class Itf> constexpr CDispMember NewEnumMember() {
    return {"_NewEnum",
            DISPID_NEWENUM,
            DISPATCH_PROPERTYGET | DISPATCH_METHOD,
            0,
            {},
            [](IDispatch* self, VARIANT*, VARIANT* result) {
                result->vt = VT_UNKNOWN;
                return static_cast<Itf*>(self)->get__NewEnum(&result->punkVal);
            }};
}

const CDispMember CGroup::MEMBERS[4] = {
    CountMember<IGroup>(),
    ItemMember<IGroup>(),
    NewEnumMember<IGroup>(),
    TextProperty<IGroup, &IGroup::get_Name>("Name", 1),
};

// ---- The snapshot ----

class CSnapshot {
public:
    CSnapshot() = default;
    CSnapshot(const CSnapshot&) = delete;
    CSnapshot& operator=(const CSnapshot&) = delete;
    ~CSnapshot() { Release(); }

    // Reads the store and the group files once; whatever cannot be read is left out.
    void LoadOnce() {
        std::call_once(m_loaded, [this] { Load(); });
    }

    std::vector<const VARIANT*> m_areaList;
    std::unordered_map<std::uint32_t, const VARIANT*> m_idIndex;
    std::vector<const VARIANT*> m_groupList;
    std::map<std::string, const VARIANT*> m_nameIndex;
    // Why the store or a group file was refused as damaged; then there are no areas and no
    // groups, and the collections are not created (empty otherwise).
    std::string m_problem;

private:
    void Load() {
        // The settings key is created when absent (read access is all that is asked).
        {
            CRegKey key;
            key.Create(HKEY_LOCAL_MACHINE, settings::SettingsKey, KEY_READ);
        }
        std::string databasePath;
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                         databasePath);
        databasePath = DirectoryWithSlash(databasePath);

        // A reader never creates the store; one that a writer holds reads as no areas.
        RecordFile store(AREA_RECORD_SIZE, false);
        if (store.Open(GetFileAreaStorePath(databasePath), 0, false)) {
            m_problem = GetAreaStoreProblem(store, GetFileAreaStorePath(databasePath));
            if (!m_problem.empty()) {
                return;
            }
            const std::size_t count = store.GetRecordCount();
            m_areas.reserve(count > 0 ? count - 1 : 0);
            for (std::size_t i = 1; i < count; ++i) {
                auto* area = new CArea(DecodeAreaRecord(store.GetRecord(i)));
                m_areas.push_back(TakeDispatch(area));
            }
            store.Close();
        }
        // Pointers into m_areas are taken only once it stops growing.
        for (const VARIANT& entry : m_areas) {
            m_areaList.push_back(&entry);
            // A later record with the same id takes the index entry.
            m_idIndex[static_cast<CArea*>(static_cast<IArea*>(entry.pdispVal))->GetId()] = &entry;
        }

        for (const std::string& name : EnumerateGroups(databasePath)) {
            std::vector<std::uint32_t> ids;
            if (!ReadGroup(databasePath, name, ids, &m_problem) || ids.empty()) {
                if (!m_problem.empty()) {
                    Release();
                    return;
                }
                continue;
            }
            std::vector<const VARIANT*> members;
            for (const std::uint32_t id : ids) {
                const auto found = m_idIndex.find(id);
                if (found != m_idIndex.end()) {
                    members.push_back(found->second);
                }
            }
            m_groups.push_back(TakeDispatch(new CGroup(name, std::move(members))));
        }
        for (const VARIANT& entry : m_groups) {
            m_groupList.push_back(&entry);
            const auto* group = static_cast<CGroup*>(static_cast<IGroup*>(entry.pdispVal));
            m_nameIndex.emplace(group->GetName(), &entry);
        }
    }

    // Groups first: they point at areas.
    void Release() {
        m_nameIndex.clear();
        m_groupList.clear();
        for (VARIANT& entry : m_groups) {
            VariantClear(&entry);
        }
        m_groups.clear();
        m_idIndex.clear();
        m_areaList.clear();
        for (VARIANT& entry : m_areas) {
            VariantClear(&entry);
        }
        m_areas.clear();
    }

    std::once_flag m_loaded;
    std::vector<VARIANT> m_areas;
    std::vector<VARIANT> m_groups;
};

// Lives from the library's load to its unload.
CSnapshot g_snapshot;

// ---- AreaCollection ----

class CAreaCollection final : public CDispatchObject<IAreaCollection> {
public:
    static HRESULT CreateInstance(REFIID riid, void** ppv) {
        return ComQueryNewObject(new (std::nothrow) CAreaCollection, riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override {
        return CountOf(g_snapshot.m_areaList.size(), pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Item(LONG index, VARIANT* pVal) override {
        return ItemOf(g_snapshot.m_areaList, index, pVal);
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) override {
        return EnumerateList(g_snapshot.m_areaList, pVal);
    }
    HRESULT STDMETHODCALLTYPE FindId(LONG id, VARIANT* pVal) override {
        if (!pVal) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        const auto found = g_snapshot.m_idIndex.find(static_cast<std::uint32_t>(id));
        if (id < 1 || found == g_snapshot.m_idIndex.end()) {
            return E_INVALIDARG;
        }
        return CopyEntry(*found->second, pVal);
    }

private:
    static const CDispMember MEMBERS[4];

    CAreaCollection() : CDispatchObject(&g_module, MEMBERS) {}

    std::mutex m_mutex;
};

const CDispMember CAreaCollection::MEMBERS[4] = {
    CountMember<IAreaCollection>(),
    ItemMember<IAreaCollection>(),
    NewEnumMember<IAreaCollection>(),
    {"FindId",
     1,
     DISPATCH_METHOD,
     1,
     {VT_I4},
     [](IDispatch* self, VARIANT* args, VARIANT* result) {
         return static_cast<IAreaCollection*>(self)->FindId(args[0].lVal, result);
     }},
};

// ---- GroupCollection ----

class CGroupCollection final : public CDispatchObject<IGroupCollection> {
public:
    static HRESULT CreateInstance(REFIID riid, void** ppv) {
        return ComQueryNewObject(new (std::nothrow) CGroupCollection, riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override {
        return CountOf(g_snapshot.m_groupList.size(), pVal);
    }
    HRESULT STDMETHODCALLTYPE get_Item(LONG index, VARIANT* pVal) override {
        return ItemOf(g_snapshot.m_groupList, index, pVal);
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) override {
        return EnumerateList(g_snapshot.m_groupList, pVal);
    }
    HRESULT STDMETHODCALLTYPE Find(BSTR wanted, VARIANT* pVal) override {
        if (!pVal) {
            return E_POINTER;
        }
        const std::string name(wanted ? wanted : "", SysStringLen(wanted));
        std::lock_guard lock(m_mutex);
        const auto found = g_snapshot.m_nameIndex.find(name);
        if (found == g_snapshot.m_nameIndex.end()) {
            return E_INVALIDARG;
        }
        return CopyEntry(*found->second, pVal);
    }

private:
    static const CDispMember MEMBERS[4];

    CGroupCollection() : CDispatchObject(&g_module, MEMBERS) {}

    std::mutex m_mutex;
};

const CDispMember CGroupCollection::MEMBERS[4] = {
    CountMember<IGroupCollection>(),
    ItemMember<IGroupCollection>(),
    NewEnumMember<IGroupCollection>(),
    {"Find",
     1,
     DISPATCH_METHOD,
     1,
     {VT_BSTR},
     [](IDispatch* self, VARIANT* args, VARIANT* result) {
         return static_cast<IGroupCollection*>(self)->Find(args[0].bstrVal, result);
     }},
};

// ---- Config ----

class CConfig final : public CDispatchObject<IConfig> {
public:
    static HRESULT CreateInstance(REFIID riid, void** ppv) {
        return ComQueryNewObject(new (std::nothrow) CConfig, riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE get_Administrator(BSTR* pVal) override {
        return ComReturnString(m_administrator, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_FtpServer(BSTR* pVal) override {
        return ComReturnString(m_ftpServer, pVal);
    }
    HRESULT STDMETHODCALLTYPE get_HttpServer(BSTR* pVal) override {
        return ComReturnString(m_httpServer, pVal);
    }

private:
    static const CDispMember MEMBERS[3];

    // Each object takes the values as they are now.
    CConfig() : CDispatchObject(&g_module, MEMBERS) {
        CRegKey key;
        if (key.Create(HKEY_LOCAL_MACHINE, settings::SettingsKey, KEY_READ) != ERROR_SUCCESS) {
            return;
        }
        key.Close();
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::AdminEmail,
                         m_administrator);
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::FtpServer,
                         m_ftpServer);
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::HttpServer,
                         m_httpServer);
    }

    std::string m_administrator;
    std::string m_ftpServer;
    std::string m_httpServer;
};

const CDispMember CConfig::MEMBERS[3] = {
    TextProperty<IConfig, &IConfig::get_Administrator>("Administrator", 1),
    TextProperty<IConfig, &IConfig::get_FtpServer>("FtpServer", 2),
    TextProperty<IConfig, &IConfig::get_HttpServer>("HttpServer", 3),
};

// ---- Registration ----

CClassFactory<CAreaCollection> g_areaCollectionFactory(g_module);
CClassFactory<CGroupCollection> g_groupCollectionFactory(g_module);
CClassFactory<CConfig> g_configFactory(g_module);

const CClassRegistration CLASSES[] = {
    {&CLSID_AreaCollection, "AreaCollection Class", "Catalink.AreaCollection.1",
     "Catalink.AreaCollection", "Both", true},
    {&CLSID_GroupCollection, "GroupCollection Class", "Catalink.GroupCollection.1",
     "Catalink.GroupCollection", "Both", true},
    {&CLSID_Config, "Config Class", "Catalink.Config.1", "Catalink.Config", "Both", true},
};
const CInterfaceRegistration INTERFACES[] = {
    {&IID_IArea, "IArea"},     {&IID_IAreaCollection, "IAreaCollection"},
    {&IID_IGroup, "IGroup"},   {&IID_IGroupCollection, "IGroupCollection"},
    {&IID_IConfig, "IConfig"},
};
const CTypeLibRegistration TYPE_LIB = {&LIBID_CATALINKLib, "1.0", "Catalink 1.0 Type Library",
                                       INTERFACES, 5};

} // namespace

DORVALE_COM_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    if (rclsid == CLSID_AreaCollection) {
        factory = &g_areaCollectionFactory;
    } else if (rclsid == CLSID_GroupCollection) {
        factory = &g_groupCollectionFactory;
    } else if (rclsid == CLSID_Config) {
        factory = &g_configFactory;
    } else {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    // The snapshot is taken by the first request after the library is loaded, before any
    // object is served, and kept until the library is unloaded.
    g_snapshot.LoadOnce();
    if (factory != &g_configFactory && !g_snapshot.m_problem.empty()) {
        return ComReportError("Catalink", g_snapshot.m_problem.c_str(), riid, E_FAIL);
    }
    return factory->QueryInterface(riid, ppv);
}

DORVALE_COM_SERVER_ENTRY_POINTS(g_module, CLASSES, &TYPE_LIB)
