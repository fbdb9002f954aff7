// The metabase: its text form, the admin base object loaded through its registration, the
// locks between handles and processes' objects, and replacement of the file as a whole.

#include "ComTestSupport.h"
#include "Metabase.h"
#include "MetabaseFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using ::testing::HasSubstr;
using ::testing::ElementsAre;
using namespace metabase;

namespace {

TEST(MetabaseText, RoundTripsEscapesAndRefusesDamage) {
    CTree tree;
    CKeyNode& site = tree.Root().AddChild("LM").AddChild("W3SVC").AddChild("1");
    site.properties[MD_SERVER_COMMENT] = MakeString(MD_SERVER_COMMENT, "Site 100% [new]", 1, 1);
    site.properties[MD_SERVER_BINDINGS] =
        MakeString(MD_SERVER_BINDINGS, std::string("127.0.0.1:80:\0:81:\0", 19), 1, 1,
                   MULTISZ_METADATA);
    CKeyNode& odd = site.AddChild("ROOT").AddChild("a/b]c\n");
    odd.properties[MD_ACCESS_PERM] = MakeDword(MD_ACCESS_PERM, 3, 1, 2);

    const std::string text = tree.Write();
    EXPECT_THAT(text, HasSubstr("[/LM/W3SVC/1/ROOT/a%2Fb%5Dc%0A]\n6016 D 1 2 3\n"));
    EXPECT_THAT(text, HasSubstr("1015 S 1 1 Site 100%25 [new]\n"));
    CTree again;
    std::string error;
    ASSERT_TRUE(again.Parse(text, error)) << error;
    EXPECT_EQ(again.Write(), text);
    // Names are found without regard to case.
    const CKeyNode* found = again.Find({"lm", "w3svc", "1", "root", "A/B]C\n"});
    ASSERT_NE(found, nullptr);
    std::uint32_t access = 0;
    EXPECT_TRUE(DwordOf(found->properties.at(MD_ACCESS_PERM), access));
    EXPECT_EQ(access, 3u);

    // Damage is named by its line and leaves the tree as it was.
    for (const auto& [bad, line] : std::vector<std::pair<std::string, std::string>>{
             {"[/LM]\n1015 S 1\n", "line 2"},
             {"1015 S 1 1 x\n", "line 1"},
             {"[/LM]\n\n6016 D 1 2 many\n", "line 3"},
             {"[/LM]\n1015 Q 1 1 x\n", "line 2"},
             {"[/LM/a//b]\n", "line 1"},
             {"[/LM]\n1015 S 1 1 bad%4\n", "line 2"},
             {"[/LM]\n1015 S 1 1 a\n1015 S 1 1 b\n", "line 3"}}) {
        EXPECT_FALSE(again.Parse(bad, error)) << bad;
        EXPECT_THAT(error, HasSubstr(line + ":")) << bad;
    }
    EXPECT_EQ(again.Write(), text);
}

class AdminBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_env.InitResult()));
        ASSERT_EQ(comtest::CallRegistrationEntry(METABASE_LIBRARY), S_OK);
        m_admin = CreateAdminBase();
        ASSERT_TRUE(m_admin);
    }
    std::string File() const { return m_env.RegistryDir() + "/metabase.txt"; }

    comtest::CComTestEnvironment m_env;
    CComPtr<IMetabaseAdmin> m_admin;
};

TEST_F(AdminBaseTest, KeysPropertiesHandlesAndStoring) {
    CMetabaseKey lm(m_admin);
    // A fresh metabase holds /LM alone.
    ASSERT_EQ(lm.Open("/LM", true, 20), S_OK);
    EXPECT_EQ(m_admin->AddKey(lm.Get(), "W3SVC/1/ROOT/pub"), S_OK);
    EXPECT_EQ(m_admin->AddKey(lm.Get(), "w3svc/1/root/PUB"), METABASE_E_ALREADY_EXISTS);
    EXPECT_EQ(lm.SetString("W3SVC/1", MD_SERVER_COMMENT, "Default Web Site", IIS_MD_UT_SERVER),
              S_OK);
    EXPECT_EQ(lm.SetString("W3SVC/1/ROOT/pub", MD_VR_PATH, "/srv/pub"), S_OK);
    EXPECT_EQ(lm.SetDword("W3SVC/1/ROOT/pub", MD_ACCESS_PERM, 3), S_OK);
    EXPECT_EQ(lm.SetString("W3SVC/9/ROOT", MD_VR_PATH, "/x"), METABASE_E_PATH_NOT_FOUND);
    // Nothing is stored before the write handle closes.
    EXPECT_FALSE(std::filesystem::exists(File()));
    ASSERT_EQ(lm.Close(), S_OK);
    EXPECT_THAT(testsupport::ReadFile(File()), HasSubstr("[/LM/W3SVC/1/ROOT/pub]\n3001 S 1 2 "
                                                         "/srv/pub\n6016 D 1 2 3\n"));

    // A second object (as another program would have) sees the stored tree.
    CComPtr<IMetabaseAdmin> other = CreateAdminBase();
    CMetabaseKey root(other);
    ASSERT_EQ(root.Open("/LM/W3SVC/1/ROOT", false, 20), S_OK);
    std::string path;
    DWORD access = 0;
    EXPECT_TRUE(root.GetString("PUB", MD_VR_PATH, path));
    EXPECT_TRUE(root.GetDword("pub", MD_ACCESS_PERM, access));
    EXPECT_EQ(path, "/srv/pub");
    EXPECT_EQ(access, 3u);
    EXPECT_FALSE(root.GetDword("pub", MD_VR_PATH, access)); // a text is no number
    metabase::CProperty missing;
    EXPECT_EQ(other->GetData(root.Get(), "pub", MD_IS_CONTENT_INDEXED, &missing),
              MD_ERROR_DATA_NOT_FOUND);
    // A read handle changes nothing.
    EXPECT_EQ(root.SetDword("pub", MD_ACCESS_PERM, 1), METABASE_E_ACCESS_DENIED);
    EXPECT_EQ(other->AddKey(root.Get(), "new"), METABASE_E_ACCESS_DENIED);
    EXPECT_EQ(other->DeleteData(root.Get(), "pub", MD_ACCESS_PERM), METABASE_E_ACCESS_DENIED);
    EXPECT_EQ(m_admin->AddKey(root.Get(), "new"), METABASE_E_INVALID_HANDLE) << "another object's";
    EXPECT_THAT(root.Children(""), ElementsAre("pub"));

    // While it reads, nobody writes: the writer is refused after its time-out, and another
    // reader is let in.
    CMetabaseKey writer(m_admin);
    EXPECT_EQ(writer.Open("/LM", true, 30), METABASE_E_PATH_BUSY);
    CMetabaseKey reader(m_admin);
    EXPECT_EQ(reader.Open("/LM/W3SVC", false, 30), S_OK);
    reader.Close();
    root.Close();
    ASSERT_EQ(writer.Open("/LM", true, 30), S_OK);
    EXPECT_EQ(root.Open("/LM", false, 30), METABASE_E_PATH_BUSY);
    EXPECT_EQ(root.Open("/LM/nowhere", false, 30), METABASE_E_PATH_BUSY);
    EXPECT_EQ(m_admin->DeleteData(writer.Get(), "W3SVC/1/ROOT/none", MD_ACCESS_PERM),
              METABASE_E_PATH_NOT_FOUND);
    EXPECT_EQ(m_admin->DeleteData(writer.Get(), "W3SVC/1/ROOT/pub", MD_ACCESS_PERM), S_OK);
    EXPECT_EQ(m_admin->DeleteData(writer.Get(), "W3SVC/1/ROOT/pub", MD_ACCESS_PERM),
              MD_ERROR_DATA_NOT_FOUND);
    EXPECT_EQ(m_admin->DeleteKey(writer.Get(), "W3SVC/1/ROOT/pub"), S_OK);
    EXPECT_EQ(m_admin->DeleteKey(writer.Get(), "W3SVC/1/ROOT/pub"), METABASE_E_PATH_NOT_FOUND);
    ASSERT_EQ(writer.Close(), S_OK);
    EXPECT_EQ(root.Open("/LM/W3SVC/1/ROOT/pub", false, 30), METABASE_E_PATH_NOT_FOUND);
    EXPECT_EQ(root.Open("/LM/W3SVC/1", false, 30), S_OK);
    root.Close();
    const auto instances = ListInstances(other, "W3SVC");
    ASSERT_EQ(instances.size(), 1u);
    EXPECT_EQ(instances[0].comment, "Default Web Site");
}

TEST_F(AdminBaseTest, AnotherProcessWaitsAndADamagedFileIsNeverReplaced) {
    {
        CMetabaseKey lm(m_admin);
        ASSERT_EQ(lm.Open("/LM", true, 20), S_OK);
        ASSERT_EQ(m_admin->AddKey(lm.Get(), "MSFTPSVC/1"), S_OK);
        ASSERT_EQ(lm.SetString("MSFTPSVC", MD_ANONYMOUS_USER_NAME, "nobody"), S_OK);
    }
    // A child process holds the write lock for a while; a reader with a short time-out is
    // refused, one that waits longer gets in after it.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        CMetabaseLock lock;
        const bool held = lock.Acquire(m_env.RegistryDir(), true, 1000);
        (void)!write(ready[1], held ? "1" : "0", 1);
        usleep(300 * 1000);
        _exit(0);
    }
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, '1');
    CMetabaseKey key(m_admin);
    EXPECT_EQ(key.Open("/LM/MSFTPSVC", false, 20), METABASE_E_PATH_BUSY);
    EXPECT_EQ(key.Open("/LM/MSFTPSVC", false, 5000), S_OK);
    std::string user;
    EXPECT_TRUE(key.GetString("", MD_ANONYMOUS_USER_NAME, user));
    EXPECT_EQ(user, "nobody");
    key.Close();
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    close(ready[1]);

    // A damaged file is refused with its line, and left as it is.
    testsupport::WriteFile(File(), "[/LM]\n6016 D 1 2 oops\n");
    EXPECT_EQ(key.Open("/LM", true, 20), METABASE_E_INVALID_DATA);
    EXPECT_EQ(testsupport::ReadFile(File()), "[/LM]\n6016 D 1 2 oops\n");
    EXPECT_THAT(ComGetErrorText(E_FAIL), ::testing::Not(::testing::IsEmpty()));
}

TEST_F(AdminBaseTest, ScriptsReachTheTreeThroughDispatch) {
    CComPtr<IDispatch> dispatch;
    ASSERT_EQ(m_admin->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    const auto call = [&](const char* name, std::vector<VARIANT> args, VARIANT& result) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        std::reverse(args.begin(), args.end()); // rgvarg holds them last first
        DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        VariantInit(&result);
        const HRESULT hr =
            dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        for (VARIANT& arg : args) {
            VariantClear(&arg);
        }
        return hr;
    };
    const auto text = [](const char* value) {
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringByteLen(value, static_cast<UINT>(strlen(value)));
        return v;
    };
    const auto number = [](LONG value) {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = value;
        return v;
    };
    VARIANT result;
    EXPECT_EQ(call("AddKey", {text("/LM/W3SVC/2")}, result), S_OK);
    EXPECT_EQ(call("SetData", {text("/LM/W3SVC/2"), number(1015), text("Second")}, result), S_OK);
    EXPECT_EQ(call("SetData", {text("/LM/W3SVC/2"), number(6016), number(3)}, result), S_OK);
    ASSERT_EQ(call("GetData", {text("/lm/w3svc/2"), number(1015)}, result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(std::string(result.bstrVal, SysStringLen(result.bstrVal)), "Second");
    VariantClear(&result);
    ASSERT_EQ(call("GetData", {text("/LM/W3SVC/2"), number(6016)}, result), S_OK);
    EXPECT_EQ(result.lVal, 3);
    ASSERT_EQ(call("EnumKeys", {text("/LM/W3SVC"), number(0)}, result), S_OK);
    EXPECT_EQ(std::string(result.bstrVal, SysStringLen(result.bstrVal)), "2");
    VariantClear(&result);
    EXPECT_EQ(call("EnumKeys", {text("/LM/W3SVC"), number(1)}, result), DISP_E_EXCEPTION);
    EXPECT_EQ(call("DeleteKey", {text("/LM/W3SVC/2")}, result), S_OK);
    EXPECT_EQ(call("GetData", {text("/LM/W3SVC/2"), number(1015)}, result), DISP_E_EXCEPTION);
}

} // namespace

TEST_F(AdminBaseTest, TheLibraryServesItsOneClassAndUnloadsWhenNothingIsHeld) {
    void* library = dlopen(METABASE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto getClassObject =
        reinterpret_cast<PFN_DLLGETCLASSOBJECT>(dlsym(library, "DllGetClassObject"));
    const auto canUnloadNow = reinterpret_cast<HRESULT (*)()>(dlsym(library, "DllCanUnloadNow"));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);

    void* object = &object;
    EXPECT_EQ(getClassObject(IID_IMetabaseAdmin, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(getClassObject(CLSID_DorvaleMetabase, IID_IClassFactory, nullptr), E_POINTER);
    // The fixture's object holds the library; then a reference to its factory does.
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    m_admin.Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
    ASSERT_EQ(getClassObject(CLSID_DorvaleMetabase, IID_IClassFactory, &object), S_OK);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    static_cast<IClassFactory*>(object)->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
    dlclose(library);
}
