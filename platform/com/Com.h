#pragma once
// The component runtime: thread initialisation, creation of registered classes, BSTR and
// VARIANT handling, error objects and GUID text.
//
// A class is found through HKEY_CLASSES_ROOT of the registry: a ProgID key names the class
// (its "CLSID" subkey, or its "CurVer" subkey naming the current version's ProgID), and
// "CLSID\{...}\InprocServer32" names the shared library, which is loaded with dlopen and
// asked for a class factory through its DllGetClassObject. A loaded library stays loaded
// until CoFreeUnusedLibraries (also run by the last CoUninitialize of the process) finds
// that its DllCanUnloadNow allows the unload.
//
// The runtime is one shared library per process, so that error objects, initialisation
// counts and the table of loaded libraries are one for every caller.

#include "ComTypes.h"

#include <string>

// ---- Threads ----

// Per-thread counts: the first call on a thread gives S_OK, later ones S_FALSE; a call with
// another threading mode than the thread's first gives RPC_E_CHANGED_MODE (and is not
// counted). Each successful call needs one CoUninitialize.
HRESULT CoInitialize(void* pvReserved);
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
void CoUninitialize();

// ---- Creation ----

// The class of a ProgID: CO_E_CLASSSTRING when the ProgID is not registered.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
// The ProgID registered for a class, allocated with CoTaskMemAlloc.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// Only in-process servers exist; a server info naming another machine fails with
// RPC_E_SERVER_UNAVAILABLE.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo,
                         REFIID riid, void** ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv);
// S_OK when every interface was found, CO_S_NOTALLINTERFACES when some were,
// E_NOINTERFACE when none; each entry's hr tells.
HRESULT CoCreateInstanceEx(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsCtx,
                           COSERVERINFO* pServerInfo, DWORD dwCount, MULTI_QI* pResults);
// Unloads every loaded server library whose DllCanUnloadNow returns S_OK.
void CoFreeUnusedLibraries();

void* CoTaskMemAlloc(std::size_t cb);
void CoTaskMemFree(void* pv);

// ---- GUID text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" ----

// Writes the text with its NUL; returns the characters written including the NUL, or 0 when
// cchMax is below 39.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Accepts the braced form (either letter case); CO_E_CLASSSTRING otherwise.
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid);
std::string GuidToString(REFGUID guid);
bool GuidFromString(const std::string& text, GUID& guid);

// ---- BSTR ----

// A null source gives an empty string of the given length (SysAllocStringLen) or a null
// BSTR (SysAllocString). Lengths are in bytes of UTF-8; embedded NULs are kept.
BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
BSTR SysAllocStringByteLen(const char* psz, UINT len);
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
void SysFreeString(BSTR bstrString);
// A null BSTR has length 0.
UINT SysStringLen(BSTR pbstr);
UINT SysStringByteLen(BSTR bstr);

// ---- VARIANT ----

void VariantInit(VARIANTARG* pvarg);
// Releases what the variant holds and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANTARG* pvarg);
// A deep copy: strings are copied, interfaces gain a reference.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// Copies a by-reference variant's target into a plain variant.
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// Conversions among VT_EMPTY, VT_I2, VT_I4, VT_BOOL, VT_BSTR, VT_DISPATCH and VT_UNKNOWN.
// Text converts to a number only when it is a whole decimal number in range; to a Boolean
// when it is "True"/"False" (any case) or a number. Booleans become the text "True"/"False"
// and the numbers -1/0. Anything else: DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);

// ---- Error objects ----

// The calling thread's error object; GetErrorInfo hands it over (S_FALSE when none).
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
// Leaves an error object with that source and description for the caller and returns hr,
// so that a method can end with `return ComReportError(...)`. A failing method called
// through IDispatch::Invoke turns into DISP_E_EXCEPTION with this description in EXCEPINFO.
HRESULT ComReportError(LPCOLESTR source, LPCOLESTR description, REFIID iid,
                       HRESULT hr = DISP_E_EXCEPTION);

// A one-line English text for a result code ("Class not registered").
std::string ComGetErrorText(HRESULT hr);
// "0x80070057".
std::string ComFormatResult(HRESULT hr);

// ---- A thread's initialisation for a scope ----

// Initialises COM on the calling thread (apartment-threaded) for the object's lifetime, and
// uninitialises it again when that succeeded.
class CComInitialize {
public:
    CComInitialize() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CComInitialize() {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }
    CComInitialize(const CComInitialize&) = delete;
    CComInitialize& operator=(const CComInitialize&) = delete;

    bool Succeeded() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};
