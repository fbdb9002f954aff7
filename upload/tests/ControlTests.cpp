// The control as its hosts meet it: registered by the library itself, created by ProgID, its
// properties set and read through IDispatch, saved and loaded through a stream and a property
// bag, and run by dorvale-auto, which has no window system to show a wizard in.

#include "ComServer.h"
#include "ComTestSupport.h"
#include "Liftwell.h"
#include "Registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using comtest::CallRegistrationEntry;
using comtest::CComTestEnvironment;

namespace {

const std::string LIBRARY = LIFTWELL_LIBRARY;

// A stream over bytes held in memory, read from the start.
class CMemoryStream final : public IStream {
public:
    std::string bytes;
    std::size_t position = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        const std::size_t n = std::min<std::size_t>(cb, bytes.size() - position);
        std::memcpy(pv, bytes.data() + position, n);
        position += n;
        *pcbRead = static_cast<ULONG>(n);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        bytes.append(static_cast<const char*>(pv), cb);
        *pcbWritten = cb;
        return S_OK;
    }
};

// The parameters of an embedded object, by name.
class CMapBag final : public IPropertyBag {
public:
    std::map<std::string, std::string> values;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* pVar, IErrorLog*) override {
        const auto found = values.find(name);
        if (found == values.end()) {
            return E_INVALIDARG;
        }
        pVar->vt = VT_BSTR;
        pVar->bstrVal =
            SysAllocStringByteLen(found->second.data(), static_cast<UINT>(found->second.size()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* pVar) override {
        values[name] = std::string(pVar->bstrVal, SysStringLen(pVar->bstrVal));
        return S_OK;
    }
};

std::string RegistryText(const std::string& key, const char* name = nullptr) {
    CRegKey handle;
    std::string value;
    if (handle.Open(HKEY_CLASSES_ROOT, key.c_str(), KEY_READ) != ERROR_SUCCESS ||
        handle.QueryStringValue(name, value) != ERROR_SUCCESS) {
        return "<missing>";
    }
    return value;
}

bool KeyExists(const std::string& key) {
    CRegKey handle;
    return handle.Open(HKEY_CLASSES_ROOT, key.c_str(), KEY_READ) == ERROR_SUCCESS;
}

class LiftwellControl : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CallRegistrationEntry(LIBRARY), S_OK); }
    void TearDown() override { CoFreeUnusedLibraries(); }

    CComPtr<IDispatch> Create() {
        CComPtr<IDispatch> control;
        EXPECT_EQ(control.CoCreateInstance(LIFTWELL_PROGID), S_OK);
        return control;
    }
    DISPID IdOf(IDispatch* object, const char* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        return id;
    }
    void Put(IDispatch* object, const char* name, const std::string& text) {
        CComVariant value{std::string_view(text)};
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        EXPECT_EQ(object->Invoke(IdOf(object, name), IID_NULL, 0, DISPATCH_PROPERTYPUT, &params,
                                 nullptr, nullptr, nullptr),
                  S_OK)
            << name;
    }
    std::string Get(IDispatch* object, const char* name) {
        CComVariant result;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        EXPECT_EQ(object->Invoke(IdOf(object, name), IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                                 &result, nullptr, nullptr),
                  S_OK)
            << name;
        return result.vt == VT_BSTR ? std::string(result.bstrVal, SysStringLen(result.bstrVal))
                                    : "<not text>";
    }
    HRESULT Call(IDispatch* object, const char* name, std::vector<CComVariant> args) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                          static_cast<UINT>(reversed.size()), 0};
        CComVariant result;
        return object->Invoke(IdOf(object, name), IID_NULL, 0, DISPATCH_METHOD, &params, &result,
                              nullptr, nullptr);
    }

    CComTestEnvironment m_env;
};

TEST_F(LiftwellControl, RegistersAsAnInsertableControlAndUnregisters) {
    const std::string clsid = GuidToString(CLSID_Upload);
    const std::string key = "CLSID\\" + clsid;
    EXPECT_EQ(RegistryText("HalvrenSoftware.WebUpload"), "Dorvale Upload Control");
    EXPECT_EQ(RegistryText("HalvrenSoftware.WebUpload\\CurVer"), "HalvrenSoftware.WebUpload.1");
    EXPECT_EQ(RegistryText("HalvrenSoftware.WebUpload.1\\CLSID"), clsid);
    EXPECT_TRUE(KeyExists("HalvrenSoftware.WebUpload.1\\Insertable"));
    EXPECT_EQ(RegistryText(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_TRUE(KeyExists(key + "\\Control"));
    EXPECT_TRUE(KeyExists(key + "\\Programmable"));
    EXPECT_TRUE(KeyExists(key + "\\Insertable"));
    EXPECT_EQ(RegistryText(key + "\\MiscStatus\\1"), "132497");
    EXPECT_EQ(RegistryText(key + "\\Version"), "1.0");
    const std::string library = RegistryText(key + "\\InprocServer32");
    EXPECT_EQ(RegistryText(key + "\\ToolboxBitmap32"), library + ", 1");
    EXPECT_EQ(RegistryText("TypeLib\\" + GuidToString(LIBID_LIFTWELLLib) + "\\1.0"),
              "Liftwell 1.0 Type Library");
    EXPECT_EQ(RegistryText("Interface\\" + GuidToString(IID_IUpload)), "IUpload");

    ASSERT_EQ(CallRegistrationEntry(LIBRARY, true), S_OK);
    EXPECT_EQ(RegistryText("HalvrenSoftware.WebUpload"), "<missing>");
    EXPECT_EQ(RegistryText(key), "<missing>");
}

TEST_F(LiftwellControl, PropertiesThroughDispatchKeepTheirLimitsAndAreaForm) {
    CComPtr<IDispatch> control = Create();
    ASSERT_TRUE(control);
    EXPECT_EQ(IdOf(control, "Upload"), 1);
    EXPECT_EQ(IdOf(control, "addfilearea"), 2);
    EXPECT_EQ(IdOf(control, "FTPAddress"), 3);
    EXPECT_EQ(IdOf(control, "Username"), 4);
    EXPECT_EQ(IdOf(control, "UserPassword"), 5);
    EXPECT_EQ(IdOf(control, "Areas"), 6);

    Put(control, "FTPAddress", "ftp.example.org:2121");
    Put(control, "Username", "uploader");
    Put(control, "UserPassword", std::string(40, 'p'));
    EXPECT_EQ(Get(control, "FTPAddress"), "ftp.example.org:2121");
    EXPECT_EQ(Get(control, "Username"), "uploader");
    EXPECT_EQ(Get(control, "UserPassword"), std::string(31, 'p'));

    Put(control, "Areas", "Files\rincoming\rTools\r\r");
    EXPECT_EQ(Get(control, "Areas"), "Files\rincoming\r");
    ASSERT_EQ(Call(control, "AddFileArea", {CComVariant("Games"), CComVariant("up\\games")}), S_OK);
    EXPECT_EQ(Get(control, "Areas"), "Files\rincoming\rGames\rup\\games\r");
    Put(control, "Areas", "");
    EXPECT_EQ(Get(control, "Areas"), "");

    // Without a window system Upload shows nothing and still succeeds.
    EXPECT_EQ(Call(control, "Upload", {}), S_OK);
    CComPtr<IUploadOutcome> outcome;
    ASSERT_EQ(control->QueryInterface(IID_IUploadOutcome, reinterpret_cast<void**>(&outcome)),
              S_OK);
    LONG last = -1;
    ASSERT_EQ(outcome->GetLastOutcome(&last), S_OK);
    EXPECT_EQ(last, LIFTWELL_NOT_RUN);
}

TEST_F(LiftwellControl, PropertiesRoundTripThroughStreamAndPropertyBag) {
    CComPtr<IDispatch> first = Create();
    ASSERT_TRUE(first);
    Put(first, "FTPAddress", "[::1]:21");
    Put(first, "Username", "anon");
    Put(first, "UserPassword",
        "s\xC3\xA9"
        "cret");
    Put(first, "Areas", "Files\rincoming\rGames\rgames\r");

    CComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(first->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)),
              S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    CMemoryStream stream;
    ASSERT_EQ(persist->Save(&stream, TRUE), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    ULARGE_INTEGER size{};
    ASSERT_EQ(persist->GetSizeMax(&size), S_OK);
    EXPECT_GE(size.QuadPart, stream.bytes.size());
    CLSID clsid{};
    ASSERT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(clsid == CLSID_Upload);

    CComPtr<IDispatch> second = Create();
    CComPtr<IPersistStreamInit> secondPersist;
    ASSERT_EQ(
        second->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&secondPersist)),
        S_OK);
    ASSERT_EQ(secondPersist->InitNew(), S_OK);
    ASSERT_EQ(secondPersist->Load(&stream), S_OK);
    for (const char* name : {"FTPAddress", "Username", "UserPassword", "Areas"}) {
        EXPECT_EQ(Get(second, name), Get(first, name)) << name;
    }

    // A damaged stream changes nothing.
    CMemoryStream damaged;
    damaged.bytes = stream.bytes.substr(0, stream.bytes.size() - 3);
    Put(second, "Username", "kept");
    EXPECT_EQ(secondPersist->Load(&damaged), STG_E_READFAULT);
    EXPECT_EQ(Get(second, "Username"), "kept");
    EXPECT_EQ(Get(second, "FTPAddress"), "[::1]:21");

    // The property bag uses the four names a page gives as parameters.
    CComPtr<IPersistPropertyBag> bagPersist;
    ASSERT_EQ(first->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&bagPersist)),
              S_OK);
    CMapBag bag;
    ASSERT_EQ(bagPersist->Save(&bag, TRUE, TRUE), S_OK);
    EXPECT_EQ(bag.values, (std::map<std::string, std::string>{
                              {"FTP Address", "[::1]:21"},
                              {"User Name", "anon"},
                              {"User Password", "s\xC3\xA9"
                                                "cret"},
                              {"File Areas", "Files\rincoming\rGames\rgames\r"}}));
    CComPtr<IDispatch> third = Create();
    Put(third, "Username", "stays");
    CComPtr<IPersistPropertyBag> thirdPersist;
    ASSERT_EQ(
        third->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&thirdPersist)),
        S_OK);
    CMapBag parameters;
    parameters.values = {{"FTP Address", "ftp.example.org"},
                         {"File Areas", "Files\rincoming\r"},
                         {"User Password", std::string(40, 'x')}};
    ASSERT_EQ(thirdPersist->Load(&parameters, nullptr), S_OK);
    EXPECT_EQ(Get(third, "FTPAddress"), "ftp.example.org");
    EXPECT_EQ(Get(third, "Username"), "stays");
    EXPECT_EQ(Get(third, "UserPassword"), std::string(31, 'x'));
    EXPECT_EQ(Get(third, "Areas"), "Files\rincoming\r");
}

TEST_F(LiftwellControl, DorvaleAutoRunsItWithoutAWizard) {
    const auto result = testsupport::RunProgram(
        {testsupport::BuiltProgram("dorvale-auto"), LIFTWELL_PROGID, "Upload"},
        {m_env.RegistryEnv()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    const auto areas = testsupport::RunProgram(
        {testsupport::BuiltProgram("dorvale-auto"), LIFTWELL_PROGID,
         "AddFileArea(\"Files\", \"incoming\"); AddFileArea(\"Games\", \"up\\games\"); Areas"},
        {m_env.RegistryEnv()});
    EXPECT_EQ(areas.exitCode, 0) << areas.err;
    EXPECT_EQ(areas.out, "Files\rincoming\rGames\rup\\games\r\n");
}

} // namespace
