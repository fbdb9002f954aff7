// Finding, loading, creating and unloading registered classes.

#include "ComServer.h"
#include "ComTestSupport.h"
#include "Registry.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <thread>

using comtest::CallRegistrationEntry;
using comtest::CComTestEnvironment;
using comtest::IsLibraryLoaded;

namespace {

const std::string SERVER = COM_TEST_SERVER;

std::string ReadClassValue(const std::string& keyName, const char* valueName = nullptr) {
    CRegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, keyName.c_str(), KEY_READ) != ERROR_SUCCESS) {
        return "<no key>";
    }
    std::string value;
    if (key.QueryStringValue(valueName, value) != ERROR_SUCCESS) {
        return "<no value>";
    }
    return value;
}

void WriteClassValue(const std::string& keyName, const std::string& value,
                     const char* valueName = nullptr, DWORD type = REG_SZ) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, keyName.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue(valueName, value.c_str(), type), ERROR_SUCCESS);
}

bool ClassKeyExists(const std::string& keyName) {
    CRegKey key;
    return key.Open(HKEY_CLASSES_ROOT, keyName.c_str(), KEY_READ) == ERROR_SUCCESS;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : path;
}

// Whatever a test left loaded is let go before the next one looks.
void FreeLibraries() {
    CoFreeUnusedLibraries();
}

} // namespace

TEST(ComRuntime, RegistrationWritesProgIdsClassAndTypeLibraryKeys) {
    CComTestEnvironment env;
    ASSERT_EQ(CallRegistrationEntry(SERVER), S_OK);

    const std::string clsid = GuidToString(CLSID_ComTestCounter);
    EXPECT_EQ(ReadClassValue("ComTest.Counter.1"), "Counter Class");
    EXPECT_EQ(ReadClassValue("ComTest.Counter.1\\CLSID"), clsid);
    EXPECT_EQ(ReadClassValue("ComTest.Counter"), "Counter Class");
    EXPECT_EQ(ReadClassValue("ComTest.Counter\\CLSID"), clsid);
    EXPECT_EQ(ReadClassValue("ComTest.Counter\\CurVer"), "ComTest.Counter.1");
    EXPECT_EQ(ReadClassValue("CLSID\\" + clsid), "Counter Class");
    EXPECT_EQ(ReadClassValue("CLSID\\" + clsid + "\\ProgID"), "ComTest.Counter.1");
    EXPECT_EQ(ReadClassValue("CLSID\\" + clsid + "\\VersionIndependentProgID"), "ComTest.Counter");
    EXPECT_EQ(ReadClassValue("CLSID\\" + clsid + "\\InprocServer32"), RealPath(SERVER));
    EXPECT_EQ(ReadClassValue("CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_TRUE(ClassKeyExists("CLSID\\" + clsid + "\\Programmable"));
    const std::string libid = GuidToString(LIBID_ComTest);
    EXPECT_EQ(ReadClassValue("CLSID\\" + clsid + "\\TypeLib"), libid);
    EXPECT_EQ(ReadClassValue("TypeLib\\" + libid + "\\1.0"), "ComTest 1.0 Type Library");
    EXPECT_EQ(ReadClassValue("Interface\\" + GuidToString(IID_ICounter)), "ICounter");

    // The second class has no version-independent name and is not programmable.
    const std::string other = GuidToString(CLSID_ComTestOther);
    EXPECT_EQ(ReadClassValue("CLSID\\" + other + "\\InprocServer32", "ThreadingModel"),
              "Apartment");
    EXPECT_FALSE(ClassKeyExists("CLSID\\" + other + "\\Programmable"));
    EXPECT_FALSE(ClassKeyExists("ComTest.Other"));

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_ComTestCounter, &progId), S_OK);
    EXPECT_STREQ(progId, "ComTest.Counter.1");
    CoTaskMemFree(progId);

    // Unregistering removes it all, but leaves a ProgID that another class has taken over.
    WriteClassValue("ComTest.Other.1\\CLSID", GuidToString(IID_ICounter));
    ASSERT_EQ(CallRegistrationEntry(SERVER, true), S_OK);
    EXPECT_FALSE(ClassKeyExists("ComTest.Counter.1"));
    EXPECT_FALSE(ClassKeyExists("ComTest.Counter"));
    EXPECT_FALSE(ClassKeyExists("CLSID\\" + clsid));
    EXPECT_FALSE(ClassKeyExists("CLSID\\" + other));
    EXPECT_FALSE(ClassKeyExists("TypeLib\\" + libid));
    EXPECT_FALSE(ClassKeyExists("Interface\\" + GuidToString(IID_ICounter)));
    EXPECT_TRUE(ClassKeyExists("ComTest.Other.1"));
    CLSID found;
    EXPECT_EQ(CLSIDFromProgID("ComTest.Counter", &found), CO_E_CLASSSTRING);
}

TEST(ComRuntime, ProgIdsResolveThroughClsidAndCurVer) {
    CComTestEnvironment env;
    ASSERT_EQ(CallRegistrationEntry(SERVER), S_OK);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID("ComTest.Counter", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_ComTestCounter);
    ASSERT_EQ(CLSIDFromProgID("comtest.counter.1", &clsid), S_OK); // names ignore case
    EXPECT_EQ(clsid, CLSID_ComTestCounter);

    // A version-independent name with only its current-version link still finds the class.
    ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "ComTest.Counter\\CLSID"), ERROR_SUCCESS);
    clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID("ComTest.Counter", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_ComTestCounter);

    // The current version's class wins over a stale CLSID of the version-independent name.
    WriteClassValue("ComTest.Counter\\CLSID", GuidToString(CLSID_ComTestOther));
    ASSERT_EQ(CLSIDFromProgID("ComTest.Counter", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_ComTestCounter);

    // A link to a name that is not registered falls back to the name's own class.
    WriteClassValue("ComTest.Counter\\CurVer", "ComTest.Counter.7");
    ASSERT_EQ(CLSIDFromProgID("ComTest.Counter", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_ComTestOther);

    // Links that go round in circles name no class.
    WriteClassValue("Loop.A\\CurVer", "Loop.B");
    WriteClassValue("Loop.B\\CurVer", "Loop.A");
    EXPECT_EQ(CLSIDFromProgID("Loop.A", &clsid), CO_E_CLASSSTRING);

    WriteClassValue("Broken.1\\CLSID", "not a guid");
    EXPECT_EQ(CLSIDFromProgID("Broken.1", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("No.Such.Class", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("", &clsid), CO_E_CLASSSTRING);
    // A ProgID is one key name, never a path into other keys.
    EXPECT_EQ(CLSIDFromProgID(("CLSID\\" + GuidToString(CLSID_ComTestCounter)).c_str(), &clsid),
              CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
}

TEST(ComRuntime, CreatesByProgIdAndReportsEachKindOfFailure) {
    CComTestEnvironment env;
    ASSERT_EQ(CallRegistrationEntry(SERVER), S_OK);
    {
        CComPtr<ICounter> counter;
        ASSERT_EQ(counter.CoCreateInstance("ComTest.Counter"), S_OK);
        LONG total = 0;
        ASSERT_EQ(counter->Add(5, &total), S_OK);
        ASSERT_EQ(counter->Add(-2, &total), S_OK);
        EXPECT_EQ(total, 3);
        // Each creation is a new object.
        CComPtr<ICounter> second;
        ASSERT_EQ(second.CoCreateInstance(CLSID_ComTestCounter), S_OK);
        ASSERT_EQ(second->get_Count(&total), S_OK);
        EXPECT_EQ(total, 0);

        // Interfaces the object has, and one it has not.
        CComPtr<IDispatch> dispatch;
        EXPECT_EQ(counter.QueryInterface(&dispatch), S_OK);
        IEnumVARIANT* none = reinterpret_cast<IEnumVARIANT*>(1);
        EXPECT_EQ(counter->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&none)),
                  E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
    }

    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_ComTestCounter, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IEnumVARIANT, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    // Aggregation is refused.
    CComPtr<ICounter> outer;
    ASSERT_EQ(outer.CoCreateInstance(CLSID_ComTestCounter), S_OK);
    EXPECT_EQ(
        CoCreateInstance(CLSID_ComTestCounter, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        CLASS_E_NOAGGREGATION);
    outer.Release();

    // Registered, but the library does not make that class.
    EXPECT_EQ(
        CoCreateInstance(CLSID_ComTestOther, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        CLASS_E_CLASSNOTAVAILABLE);
    // Not registered at all.
    EXPECT_EQ(CoCreateInstance(IID_ICounter, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    // Only in-process servers exist.
    EXPECT_EQ(
        CoCreateInstance(CLSID_ComTestCounter, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_ComTestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr),
              E_POINTER);

    // A library that is missing, and one without the entry point.
    const GUID missing = {0xAAAA0001, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};
    WriteClassValue("CLSID\\" + GuidToString(missing) + "\\InprocServer32",
                    (env.Dir() / "libMissing.so").string());
    EXPECT_EQ(CoCreateInstance(missing, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              CO_E_DLLNOTFOUND);
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<const void*>(&CoCreateInstance), &info), 0);
    const GUID noEntry = {0xAAAA0002, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};
    WriteClassValue("CLSID\\" + GuidToString(noEntry) + "\\InprocServer32", info.dli_fname);
    EXPECT_EQ(CoCreateInstance(noEntry, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              CO_E_ERRORINDLL);

    // A path stored as REG_EXPAND_SZ has its %VARIABLES% replaced.
    const GUID expanded = CLSID_ComTestCounter;
    setenv("COM_TEST_LIBRARY_DIR", std::filesystem::path(SERVER).parent_path().c_str(), 1);
    WriteClassValue("CLSID\\" + GuidToString(expanded) + "\\InprocServer32",
                    "%COM_TEST_LIBRARY_DIR%/" + std::filesystem::path(SERVER).filename().string(),
                    nullptr, REG_EXPAND_SZ);
    CComPtr<ICounter> viaExpanded;
    EXPECT_EQ(viaExpanded.CoCreateInstance(expanded), S_OK);
    viaExpanded.Release();
    unsetenv("COM_TEST_LIBRARY_DIR");
    ASSERT_EQ(CallRegistrationEntry(SERVER), S_OK);

    // A machine other than this one cannot be reached; this one can, by any of its names.
    COSERVERINFO remote{0, const_cast<LPOLESTR>("fileserver.example.org"), nullptr, 0};
    MULTI_QI qi{&IID_ICounter, nullptr, S_OK};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_ComTestCounter, nullptr, CLSCTX_ALL, &remote, 1, &qi),
              RPC_E_SERVER_UNAVAILABLE);
    EXPECT_EQ(qi.pItf, nullptr);
    COSERVERINFO local{0, const_cast<LPOLESTR>("localhost"), nullptr, 0};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_ComTestCounter, nullptr, CLSCTX_ALL, &local, 1, &qi), S_OK);
    ASSERT_NE(qi.pItf, nullptr);
    qi.pItf->Release();
    FreeLibraries();
}

TEST(ComRuntime, CreateInstanceExReportsEachInterface) {
    CComTestEnvironment env;
    ASSERT_EQ(CallRegistrationEntry(SERVER), S_OK);
    MULTI_QI results[3] = {{&IID_ICounter, nullptr, S_OK},
                           {&IID_IEnumVARIANT, nullptr, S_OK},
                           {&IID_IDispatch, nullptr, S_OK}};
    ASSERT_EQ(CoCreateInstanceEx(CLSID_ComTestCounter, nullptr, CLSCTX_INPROC_SERVER, nullptr, 3,
                                 results),
              CO_S_NOTALLINTERFACES);
    EXPECT_EQ(results[0].hr, S_OK);
    EXPECT_EQ(results[1].hr, E_NOINTERFACE);
    EXPECT_EQ(results[1].pItf, nullptr);
    EXPECT_EQ(results[2].hr, S_OK);
    // Both interfaces are of one object.
    LONG total = 0;
    static_cast<ICounter*>(results[0].pItf)->Add(4, &total);
    CComPtr<ICounter> again;
    ASSERT_EQ(results[2].pItf->QueryInterface(IID_ICounter, reinterpret_cast<void**>(&again)),
              S_OK);
    again->get_Count(&total);
    EXPECT_EQ(total, 1);
    again.Release();
    results[0].pItf->Release();
    results[2].pItf->Release();

    MULTI_QI none = {&IID_IEnumVARIANT, nullptr, S_OK};
    EXPECT_EQ(
        CoCreateInstanceEx(CLSID_ComTestCounter, nullptr, CLSCTX_INPROC_SERVER, nullptr, 1, &none),
        E_NOINTERFACE);
    EXPECT_EQ(CoCreateInstanceEx(CLSID_ComTestCounter, nullptr, CLSCTX_INPROC_SERVER, nullptr, 0,
                                 nullptr),
              E_INVALIDARG);
    FreeLibraries();
}

TEST(ComRuntime, InitialisationIsCountedPerThreadAndRequiredForCreation) {
    CComTestEnvironment env; // this thread: apartment-threaded
    ASSERT_EQ(env.InitResult(), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize(); // balances the S_FALSE call only
    ASSERT_EQ(CallRegistrationEntry(SERVER), S_OK);

    // Another thread that never initialised cannot create while no thread is multithreaded.
    HRESULT uninitialised = S_OK, afterInit = E_FAIL, secondInit = S_OK;
    std::thread([&] {
        void* object = nullptr;
        uninitialised = CoCreateInstance(CLSID_ComTestCounter, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IUnknown, &object);
        afterInit = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        secondInit = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CComPtr<ICounter> counter;
        afterInit =
            SUCCEEDED(afterInit) ? counter.CoCreateInstance(CLSID_ComTestCounter) : afterInit;
        counter.Release();
        CoUninitialize();
        CoUninitialize();
    }).join();
    EXPECT_EQ(uninitialised, CO_E_NOTINITIALIZED);
    EXPECT_EQ(afterInit, S_OK);
    EXPECT_EQ(secondInit, S_FALSE);

    // This thread is still initialised.
    CComPtr<ICounter> counter;
    EXPECT_EQ(counter.CoCreateInstance(CLSID_ComTestCounter), S_OK);
    counter.Release();
    FreeLibraries();
}

TEST(ComRuntime, LibraryUnloadsOnlyWhenNoObjectOrLockRemains) {
    {
        CComTestEnvironment env;
        ASSERT_EQ(CallRegistrationEntry(SERVER), S_OK);
        FreeLibraries();
        ASSERT_FALSE(IsLibraryLoaded(SERVER));

        CComPtr<ICounter> counter;
        ASSERT_EQ(counter.CoCreateInstance("ComTest.Counter"), S_OK);
        EXPECT_TRUE(IsLibraryLoaded(SERVER));
        CoFreeUnusedLibraries();
        EXPECT_TRUE(IsLibraryLoaded(SERVER)); // an object is alive

        // An enumerator the object made keeps nothing of the server alive.
        LONG total = 0;
        counter->Add(2, &total);
        CComPtr<IUnknown> enumerator;
        ASSERT_EQ(counter->get__NewEnum(&enumerator), S_OK);
        counter.Release();
        CoFreeUnusedLibraries();
        EXPECT_FALSE(IsLibraryLoaded(SERVER));
        CComPtr<IEnumVARIANT> items;
        ASSERT_EQ(enumerator.QueryInterface(&items), S_OK);
        CComVariant first;
        ASSERT_EQ(items->Next(1, &first, nullptr), S_OK);
        EXPECT_EQ(first.lVal, 1);

        // A held class factory, and a LockServer lock, each keep it loaded.
        CComPtr<IClassFactory> factory;
        ASSERT_EQ(CoGetClassObject(CLSID_ComTestCounter, CLSCTX_INPROC_SERVER, nullptr,
                                   IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                  S_OK);
        CoFreeUnusedLibraries();
        EXPECT_TRUE(IsLibraryLoaded(SERVER));
        ASSERT_EQ(factory->LockServer(TRUE), S_OK);
        factory.Release();
        CoFreeUnusedLibraries();
        EXPECT_TRUE(IsLibraryLoaded(SERVER));
        ASSERT_EQ(CoGetClassObject(CLSID_ComTestCounter, CLSCTX_INPROC_SERVER, nullptr,
                                   IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                  S_OK);
        ASSERT_EQ(factory->LockServer(FALSE), S_OK);
        factory.Release();
        CoFreeUnusedLibraries();
        EXPECT_FALSE(IsLibraryLoaded(SERVER));

        // Loaded again on demand; the last CoUninitialize lets it go.
        ASSERT_EQ(counter.CoCreateInstance("ComTest.Counter"), S_OK);
        counter.Release();
        EXPECT_TRUE(IsLibraryLoaded(SERVER));
    }
    EXPECT_FALSE(IsLibraryLoaded(SERVER));
}
