// Self-registration of in-process servers under HKEY_CLASSES_ROOT.

#include "ComServer.h"

#include "Registry.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>

namespace {

bool SetString(HKEY root, const std::string& subKey, const char* name, const std::string& value) {
    CRegKey key;
    if (key.Create(root, subKey.c_str(), KEY_READ | KEY_WRITE) != ERROR_SUCCESS) {
        return false;
    }
    return key.SetStringValue(name, value.c_str()) == ERROR_SUCCESS;
}

bool CreateKey(HKEY root, const std::string& subKey) {
    CRegKey key;
    return key.Create(root, subKey.c_str(), KEY_READ | KEY_WRITE) == ERROR_SUCCESS;
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

bool DeleteTree(const std::string& subKey) {
    const LONG result = RegDeleteTree(HKEY_CLASSES_ROOT, subKey.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

} // namespace

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

HRESULT ComRegisterServer(const std::string& libraryPath, const SClassRegistration* classes,
                          std::size_t classCount, const STypeLibRegistration* typeLib) {
    if (libraryPath.empty() || (classCount > 0 && !classes)) {
        return E_INVALIDARG;
    }
    const std::string libid = typeLib ? GuidToString(*typeLib->libid) : std::string();
    for (std::size_t i = 0; i < classCount; ++i) {
        const SClassRegistration& cls = classes[i];
        const std::string clsid = GuidToString(*cls.clsid);
        const std::string clsidKey = "CLSID\\" + clsid;
        bool ok =
            SetString(HKEY_CLASSES_ROOT, cls.progId, nullptr, cls.description) &&
            SetString(HKEY_CLASSES_ROOT, std::string(cls.progId) + "\\CLSID", nullptr, clsid) &&
            SetString(HKEY_CLASSES_ROOT, clsidKey, nullptr, cls.description) &&
            SetString(HKEY_CLASSES_ROOT, clsidKey + "\\ProgID", nullptr, cls.progId) &&
            SetString(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", nullptr, libraryPath) &&
            SetString(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", "ThreadingModel",
                      cls.threadingModel);
        if (ok && cls.versionIndependentProgId) {
            const std::string vi = cls.versionIndependentProgId;
            ok = SetString(HKEY_CLASSES_ROOT, vi, nullptr, cls.description) &&
                 SetString(HKEY_CLASSES_ROOT, vi + "\\CLSID", nullptr, clsid) &&
                 SetString(HKEY_CLASSES_ROOT, vi + "\\CurVer", nullptr, cls.progId) &&
                 SetString(HKEY_CLASSES_ROOT, clsidKey + "\\VersionIndependentProgID", nullptr, vi);
        }
        if (ok && cls.programmable) {
            ok = CreateKey(HKEY_CLASSES_ROOT, clsidKey + "\\Programmable");
        }
        if (ok && typeLib) {
            ok = SetString(HKEY_CLASSES_ROOT, clsidKey + "\\TypeLib", nullptr, libid);
        }
        if (!ok) {
            return SELFREG_E_CLASS;
        }
    }
    if (typeLib) {
        const std::string libKey = "TypeLib\\" + libid + "\\" + typeLib->version;
        bool ok = SetString(HKEY_CLASSES_ROOT, libKey, nullptr, typeLib->helpString) &&
                  SetString(HKEY_CLASSES_ROOT, libKey + "\\0\\linux", nullptr, libraryPath) &&
                  SetString(HKEY_CLASSES_ROOT, libKey + "\\FLAGS", nullptr, "0");
        for (std::size_t i = 0; ok && i < typeLib->interfaceCount; ++i) {
            const SInterfaceRegistration& itf = typeLib->interfaces[i];
            const std::string itfKey = "Interface\\" + GuidToString(*itf.iid);
            ok = SetString(HKEY_CLASSES_ROOT, itfKey, nullptr, itf.name) &&
                 SetString(HKEY_CLASSES_ROOT, itfKey + "\\TypeLib", nullptr, libid) &&
                 SetString(HKEY_CLASSES_ROOT, itfKey + "\\TypeLib", "Version", typeLib->version);
        }
        if (!ok) {
            return SELFREG_E_TYPELIB;
        }
    }
    return S_OK;
}

HRESULT ComUnregisterServer(const SClassRegistration* classes, std::size_t classCount,
                            const STypeLibRegistration* typeLib) {
    if (classCount > 0 && !classes) {
        return E_INVALIDARG;
    }
    bool ok = true;
    for (std::size_t i = 0; i < classCount; ++i) {
        const SClassRegistration& cls = classes[i];
        if (ProgIdNamesClass(cls.progId, *cls.clsid)) {
            ok = DeleteTree(cls.progId) && ok;
        }
        if (cls.versionIndependentProgId &&
            ProgIdNamesClass(cls.versionIndependentProgId, *cls.clsid)) {
            ok = DeleteTree(cls.versionIndependentProgId) && ok;
        }
        ok = DeleteTree("CLSID\\" + GuidToString(*cls.clsid)) && ok;
    }
    if (typeLib) {
        for (std::size_t i = 0; i < typeLib->interfaceCount; ++i) {
            ok = DeleteTree("Interface\\" + GuidToString(*typeLib->interfaces[i].iid)) && ok;
        }
        ok = DeleteTree("TypeLib\\" + GuidToString(*typeLib->libid)) && ok;
    }
    return ok ? S_OK : SELFREG_E_CLASS;
}
