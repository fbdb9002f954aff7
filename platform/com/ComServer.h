#pragma once
// What an in-process server library needs to serve its classes: the module's counts of
// live objects and locks, reference-counted automation objects whose IDispatch works from
// a member table, class factories, variant enumerators and self-registration.

#include "ComPtr.h"

#include <atomic>
#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

// Declares the four entry points a server library exports (with C linkage, visible even
// when the library hides everything else):
//   DORVALE_COM_EXPORT HRESULT DllGetClassObject(REFCLSID, REFIID, void**);
//   DORVALE_COM_EXPORT HRESULT DllCanUnloadNow();
//   DORVALE_COM_EXPORT HRESULT DllRegisterServer();
//   DORVALE_COM_EXPORT HRESULT DllUnregisterServer();
#define DORVALE_COM_EXPORT extern "C" __attribute__((visibility("default")))

// ---- The server module ----

// Counts live objects and LockServer locks of one server library; DllCanUnloadNow allows
// the unload only when both are zero.
class CServerModule {
public:
    void ObjectCreated() noexcept { ++m_objects; }
    void ObjectDestroyed() noexcept { --m_objects; }
    void Lock() noexcept { ++m_locks; }
    void Unlock() noexcept { --m_locks; }
    long GetObjectCount() const noexcept { return m_objects; }
    long GetLockCount() const noexcept { return m_locks; }
    HRESULT CanUnloadNow() const noexcept {
        return m_objects == 0 && m_locks == 0 ? S_OK : S_FALSE;
    }

private:
    std::atomic<long> m_objects{0};
    std::atomic<long> m_locks{0};
};

// ---- IDispatch from a member table ----

// One member of a dispatch interface. `call` receives the arguments converted to
// `params`, in declaration order, and stores the member's value in `result` (left VT_EMPTY
// for a member without one). A settable property has a second entry with the same id, of
// kind DISPATCH_PROPERTYPUT, whose last parameter is the new value (which callers pass as
// the one named argument, DISPID_PROPERTYPUT). A member whose value is an out parameter
// (`valueAsOutArg`) also takes one more argument, by reference, that receives the value, as scripts
// that pass a variable for it expect.
struct CDispMember {
    const char* name;
    DISPID id;
    WORD kind; // DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT or DISPATCH_METHOD
    UINT paramCount;
    VARTYPE params[6];
    HRESULT (*call)(IDispatch* self, VARIANT* args, VARIANT* result);
    bool valueAsOutArg = false;
};

// Names are matched without regard to case; a further name (a parameter) is unknown.
HRESULT DispGetIDsOfNames(const CDispMember* members, std::size_t count, LPOLESTR* names,
                          UINT cNames, DISPID* ids);
// Finds the member by dispatch id (DISP_E_MEMBERNOTFOUND, also for a put or a call kind the
// member lacks), checks and converts the arguments (DISP_E_NONAMEDARGS, DISP_E_BADPARAMCOUNT,
// DISP_E_TYPEMISMATCH with *puArgErr = the argument's index in rgvarg) and calls it. A member
// that fails gives DISP_E_EXCEPTION, with its result in pExcepInfo->scode and the error
// object's source and description.
HRESULT DispInvokeTable(IDispatch* self, const CDispMember* members, std::size_t count,
                        DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);

// A reference-counted object exposing one dual interface `Itf` (which derives IDispatch and
// names its `iid`), with IDispatch served from a member table.
//
// A plain object counts as a live object of its module from construction to destruction.
// A held object (ownership Held) starts with one reference belonging to a longer-lived
// owner (as a snapshot held by the library); it counts as live only while anyone else holds
// it too, so that the owner's reference alone does not keep the library loaded.
template <class Itf> class CDispatchObject : public Itf {
public:
    enum class EOwnership { Plain, Held };

    CDispatchObject(const CDispatchObject&) = delete;
    CDispatchObject& operator=(const CDispatchObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Itf::iid) {
            *ppv = static_cast<Itf*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        const ULONG previous = m_refs.fetch_add(1);
        if (m_ownership == EOwnership::Held && previous == 1 && m_module) {
            m_module->ObjectCreated();
        }
        return previous + 1;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG previous = m_refs.fetch_sub(1);
        if (previous == 1) {
            delete this;
            return 0;
        }
        if (m_ownership == EOwnership::Held && previous == 2 && m_module) {
            m_module->ObjectDestroyed();
        }
        return previous - 1;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) {
            return E_POINTER;
        }
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) {
            *ppTInfo = nullptr;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        if (!(riid == IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        return DispGetIDsOfNames(m_members, m_memberCount, rgszNames, cNames, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (!(riid == IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        return DispInvokeTable(this, m_members, m_memberCount, dispIdMember, wFlags, pDispParams,
                               pVarResult, pExcepInfo, puArgErr);
    }

protected:
    template <std::size_t N>
    CDispatchObject(CServerModule* module, const CDispMember (&members)[N],
                    EOwnership ownership = EOwnership::Plain)
        : m_module(module), m_members(members), m_memberCount(N), m_ownership(ownership) {
        if (m_ownership == EOwnership::Plain && m_module) {
            m_module->ObjectCreated();
        }
    }
    virtual ~CDispatchObject() {
        if (m_ownership == EOwnership::Plain && m_module) {
            m_module->ObjectDestroyed();
        }
    }

private:
    std::atomic<ULONG> m_refs{1};
    CServerModule* m_module;
    const CDispMember* m_members;
    std::size_t m_memberCount;
    EOwnership m_ownership;
};

// Copies a string into a BSTR out parameter (E_POINTER for a null one).
HRESULT ComReturnString(const std::string& value, BSTR* out);

// ---- Class factories ----

// The body of a class's CreateInstance: hands a newly made object (holding its construction
// reference; null when it could not be made) to the caller as the interface asked for.
template <class T> HRESULT ComQueryNewObject(T* object, REFIID riid, void** ppv) {
    if (!object) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// The class factory of a creatable class T, which provides
//   static HRESULT CreateInstance(REFIID riid, void** ppv);
// A factory lives as long as its library; every reference to it holds the library loaded.
template <class T> class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(CServerModule& module) : m_module(module) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        m_module.Lock();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        m_module.Unlock();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (pUnkOuter) {
            return CLASS_E_NOAGGREGATION;
        }
        return T::CreateInstance(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        if (fLock) {
            m_module.Lock();
        } else {
            m_module.Unlock();
        }
        return S_OK;
    }

private:
    CServerModule& m_module;
};

// ---- Enumerators ----

// A new enumerator over copies of `items` (each copied with VariantCopy): later changes to
// the source do not reach it. Clone shares the copies and keeps the position.
HRESULT CreateEnumVariant(const VARIANT* items, std::size_t count, IEnumVARIANT** ppEnum);
// The same, returned as IUnknown (what _NewEnum members give).
HRESULT CreateEnumVariantUnknown(const VARIANT* items, std::size_t count, IUnknown** ppUnk);

// ---- Self-registration ----

// What marks a class as a control that containers may embed.
struct CControlRegistration {
    bool insertable;        // offered in a container's list of objects to insert
    int toolboxBitmap;      // the module's bitmap resource shown in a toolbox
    const char* miscStatus; // the status bits of the content aspect, "132497"
    const char* version;    // "1.0"
};

struct CClassRegistration {
    const CLSID* clsid;
    const char* description;              // "AreaCollection Class"
    const char* progId;                   // "Catalink.AreaCollection.1"
    const char* versionIndependentProgId; // "Catalink.AreaCollection"; null: none
    const char* threadingModel;           // "Both", "Apartment", "Free"
    bool programmable;
    const CControlRegistration* control = nullptr; // null: not a control
};

struct CInterfaceRegistration {
    const IID* iid;
    const char* name; // "IArea"
};

struct CTypeLibRegistration {
    const GUID* libid;
    const char* version;    // "1.0"
    const char* helpString; // "Catalink 1.0 Type Library"
    const CInterfaceRegistration* interfaces;
    std::size_t interfaceCount;
};

// The absolute path of the shared library (or program) that holds `address`.
std::string ComGetModulePath(const void* address);

// Writes under HKEY_CLASSES_ROOT, for each class: the ProgID key (description, "CLSID"),
// the version-independent ProgID key (description, "CLSID", "CurVer"), and
// "CLSID\{clsid}" (description, "ProgID", "VersionIndependentProgID", "Programmable",
// "InprocServer32" = libraryPath with "ThreadingModel", "TypeLib"); for a control also
// "Control", "Insertable" (under the ProgID too), "ToolboxBitmap32" = "libraryPath, N",
// "MiscStatus" with "MiscStatus\1" and "Version"; and the type library and interface keys.
// SELFREG_E_CLASS when a key cannot be written.
HRESULT ComRegisterServer(const std::string& libraryPath, const CClassRegistration* classes,
                          std::size_t classCount, const CTypeLibRegistration* typeLib);
// Removes what ComRegisterServer wrote. A ProgID key is removed only while it still names
// one of these classes (another library may have taken the name over since).
HRESULT ComUnregisterServer(const CClassRegistration* classes, std::size_t classCount,
                            const CTypeLibRegistration* typeLib);

// DllGetClassObject of a library that serves one class: `factory` when asked for `clsid`.
HRESULT ComGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv, REFCLSID clsid,
                          IClassFactory& factory);

// Defines the three entry points that are alike in every server library: DllCanUnloadNow
// from `module`'s counts, DllRegisterServer and DllUnregisterServer of `classes` (an array)
// with `typeLib` (a pointer). Used once in a library, at namespace scope.
#define DORVALE_COM_SERVER_ENTRY_POINTS(module, classes, typeLib)                                  \
    DORVALE_COM_EXPORT HRESULT DllCanUnloadNow() {                                                 \
        return (module).CanUnloadNow();                                                            \
    }                                                                                              \
    DORVALE_COM_EXPORT HRESULT DllRegisterServer() {                                               \
        return ComRegisterServer(                                                                  \
            ComGetModulePath(reinterpret_cast<const void*>(&DllRegisterServer)), (classes),        \
            std::size(classes), (typeLib));                                                        \
    }                                                                                              \
    DORVALE_COM_EXPORT HRESULT DllUnregisterServer() {                                             \
        return ComUnregisterServer((classes), std::size(classes), (typeLib));                      \
    }
