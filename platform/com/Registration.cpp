// Self-registration of in-process servers under HKEY_CLASSES_ROOT.

#include "ComServer.h"

#include "Registry.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>

namespace {

// The keys and values of a registration, applied to the class hive in one write, so that a
// failure leaves no half-registered class behind.
class CRegistrationText {
public:
    void Key(const std::string& key) { m_text += "\n[HKEY_CLASSES_ROOT\\" + key + "]\n"; }
    void Value(const char* name, const std::string& value) {
        m_text += name ? Quoted(name) : std::string("@");
        m_text += "=" + Quoted(value) + "\n";
    }
    void DeleteKey(const std::string& key) { m_text += "\n[-HKEY_CLASSES_ROOT\\" + key + "]\n"; }
    bool Apply() const {
        return RegImportText("REGEDIT4\n" + m_text, "registration", nullptr) == ERROR_SUCCESS;
    }

private:
    static std::string Quoted(const std::string& text) {
        std::string quoted = "\"";
        for (const char c : text) {
            if (c == '\\' || c == '"') {
                quoted += '\\';
            }
            quoted += c;
        }
        return quoted + "\"";
    }

    std::string m_text;
};

// Text that cannot be written as one line of a value or a key name.
bool IsPlainText(const std::string& text) {
    return text.find_first_of("\r\n", 0) == std::string::npos &&
           text.find('\0') == std::string::npos;
}

// Whether HKCR\<progId>\CLSID still names the class.
bool ProgIdNamesClass(const std::string& progId, REFCLSID clsid) {
    CRegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, (progId + "\\CLSID").c_str(), KEY_READ) != ERROR_SUCCESS) {
        return false;
    }
    std::string text;
    GUID named;
    return key.QueryStringValue(nullptr, text) == ERROR_SUCCESS && GuidFromString(text, named) &&
           named == clsid;
}

bool KeyExists(const std::string& subKey) {
    CRegKey key;
    return key.Open(HKEY_CLASSES_ROOT, subKey.c_str(), KEY_READ) == ERROR_SUCCESS;
}

} // namespace

HRESULT ComGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv, REFCLSID clsid,
                          IClassFactory& factory) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    return rclsid == clsid ? factory.QueryInterface(riid, ppv) : CLASS_E_CLASSNOTAVAILABLE;
}

std::string ComGetModulePath(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) {
        return {};
    }
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved)) {
        return resolved;
    }
    return info.dli_fname;
}

HRESULT ComRegisterServer(const std::string& libraryPath, const CClassRegistration* classes,
                          std::size_t classCount, const CTypeLibRegistration* typeLib) {
    if (libraryPath.empty() || !IsPlainText(libraryPath) || (classCount > 0 && !classes)) {
        return E_INVALIDARG;
    }
    const std::string libid = typeLib ? GuidToString(*typeLib->libid) : std::string();
    CRegistrationText text;
    for (std::size_t i = 0; i < classCount; ++i) {
        const CClassRegistration& cls = classes[i];
        const std::string clsid = GuidToString(*cls.clsid);
        const std::string clsidKey = "CLSID\\" + clsid;
        text.Key(cls.progId);
        text.Value(nullptr, cls.description);
        text.Key(std::string(cls.progId) + "\\CLSID");
        text.Value(nullptr, clsid);
        if (cls.versionIndependentProgId) {
            const std::string vi = cls.versionIndependentProgId;
            text.Key(vi);
            text.Value(nullptr, cls.description);
            text.Key(vi + "\\CLSID");
            text.Value(nullptr, clsid);
            text.Key(vi + "\\CurVer");
            text.Value(nullptr, cls.progId);
        }
        text.Key(clsidKey);
        text.Value(nullptr, cls.description);
        text.Key(clsidKey + "\\ProgID");
        text.Value(nullptr, cls.progId);
        if (cls.versionIndependentProgId) {
            text.Key(clsidKey + "\\VersionIndependentProgID");
            text.Value(nullptr, cls.versionIndependentProgId);
        }
        text.Key(clsidKey + "\\InprocServer32");
        text.Value(nullptr, libraryPath);
        text.Value("ThreadingModel", cls.threadingModel);
        if (cls.programmable) {
            text.Key(clsidKey + "\\Programmable");
        }
        if (typeLib) {
            text.Key(clsidKey + "\\TypeLib");
            text.Value(nullptr, libid);
        }
        if (const CControlRegistration* control = cls.control) {
            text.Key(clsidKey + "\\Control");
            if (control->insertable) {
                text.Key(clsidKey + "\\Insertable");
                text.Key(std::string(cls.progId) + "\\Insertable");
            }
            text.Key(clsidKey + "\\ToolboxBitmap32");
            text.Value(nullptr, libraryPath + ", " + std::to_string(control->toolboxBitmap));
            text.Key(clsidKey + "\\MiscStatus");
            text.Value(nullptr, "0");
            text.Key(clsidKey + "\\MiscStatus\\1");
            text.Value(nullptr, control->miscStatus);
            text.Key(clsidKey + "\\Version");
            text.Value(nullptr, control->version);
        }
    }
    if (typeLib) {
        const std::string libKey = "TypeLib\\" + libid + "\\" + typeLib->version;
        text.Key(libKey);
        text.Value(nullptr, typeLib->helpString);
        text.Key(libKey + "\\0\\linux");
        text.Value(nullptr, libraryPath);
        text.Key(libKey + "\\FLAGS");
        text.Value(nullptr, "0");
        for (std::size_t i = 0; i < typeLib->interfaceCount; ++i) {
            const CInterfaceRegistration& itf = typeLib->interfaces[i];
            const std::string itfKey = "Interface\\" + GuidToString(*itf.iid);
            text.Key(itfKey);
            text.Value(nullptr, itf.name);
            text.Key(itfKey + "\\TypeLib");
            text.Value(nullptr, libid);
            text.Value("Version", typeLib->version);
        }
    }
    return text.Apply() ? S_OK : SELFREG_E_CLASS;
}

HRESULT ComUnregisterServer(const CClassRegistration* classes, std::size_t classCount,
                            const CTypeLibRegistration* typeLib) {
    if (classCount > 0 && !classes) {
        return E_INVALIDARG;
    }
    CRegistrationText text;
    bool any = false;
    auto remove = [&](const std::string& key) {
        if (KeyExists(key)) {
            text.DeleteKey(key);
            any = true;
        }
    };
    for (std::size_t i = 0; i < classCount; ++i) {
        const CClassRegistration& cls = classes[i];
        if (ProgIdNamesClass(cls.progId, *cls.clsid)) {
            remove(cls.progId);
        }
        if (cls.versionIndependentProgId &&
            ProgIdNamesClass(cls.versionIndependentProgId, *cls.clsid)) {
            remove(cls.versionIndependentProgId);
        }
        remove("CLSID\\" + GuidToString(*cls.clsid));
    }
    if (typeLib) {
        for (std::size_t i = 0; i < typeLib->interfaceCount; ++i) {
            remove("Interface\\" + GuidToString(*typeLib->interfaces[i].iid));
        }
        remove("TypeLib\\" + GuidToString(*typeLib->libid));
    }
    return !any || text.Apply() ? S_OK : SELFREG_E_CLASS;
}
