// The tests' own in-process server: one counter class behind a dual interface.

#include "TestServer.h"

#include "ComServer.h"

#include <mutex>
#include <vector>

namespace {

CServerModule g_module;

class CCounter final : public CDispatchObject<ICounter> {
public:
    static HRESULT CreateInstance(REFIID riid, void** ppv) {
        return ComQueryNewObject(new (std::nothrow) CCounter, riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override {
        if (!pVal) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        *pVal = m_count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Add(LONG step, LONG* total) override {
        if (!total) {
            return E_POINTER;
        }
        if (step > 1000000 || step < -1000000) {
            return E_INVALIDARG;
        }
        std::lock_guard lock(m_mutex);
        ++m_count;
        m_total += step;
        *total = m_total;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Describe(BSTR prefix, BSTR separator, BSTR* text) override {
        std::lock_guard lock(m_mutex);
        const std::string value = std::string(prefix ? prefix : "", SysStringLen(prefix)) +
                                  std::string(separator ? separator : "", SysStringLen(separator));
        return ComReturnString(value + std::to_string(m_total), text);
    }
    HRESULT STDMETHODCALLTYPE Fail(BSTR message) override {
        return ComReportError("ComTest.Counter", message, IID_ICounter);
    }
    HRESULT STDMETHODCALLTYPE get_Even(VARIANT_BOOL* pVal) override {
        if (!pVal) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        *pVal = m_total % 2 == 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** ppEnum) override {
        std::vector<CComVariant> items;
        {
            std::lock_guard lock(m_mutex);
            for (LONG i = 1; i <= m_total; ++i) {
                items.emplace_back(i);
            }
        }
        return CreateEnumVariantUnknown(items.data(), items.size(), ppEnum);
    }

    // Reached through IDispatch only ("Total", get and put).
    HRESULT GetTotal(LONG* pVal) {
        std::lock_guard lock(m_mutex);
        *pVal = m_total;
        return S_OK;
    }
    HRESULT PutTotal(LONG value) {
        std::lock_guard lock(m_mutex);
        m_total = value;
        return S_OK;
    }

private:
    static const CDispMember MEMBERS[8];

    CCounter() : CDispatchObject(&g_module, MEMBERS) {}

    std::mutex m_mutex;
    LONG m_count = 0;
    LONG m_total = 0;
};

ICounter* AsCounter(IDispatch* self) {
    return static_cast<ICounter*>(self);
}

const CDispMember CCounter::MEMBERS[8] = {
    {"Count",
     1,
     DISPATCH_PROPERTYGET,
     0,
     {},
     [](IDispatch* self, VARIANT*, VARIANT* result) {
         result->vt = VT_I4;
         return AsCounter(self)->get_Count(&result->lVal);
     }},
    {"Add",
     2,
     DISPATCH_METHOD,
     1,
     {VT_I4},
     [](IDispatch* self, VARIANT* args, VARIANT* result) {
         result->vt = VT_I4;
         return AsCounter(self)->Add(args[0].lVal, &result->lVal);
     },
     true},
    {"Describe",
     3,
     DISPATCH_METHOD,
     2,
     {VT_BSTR, VT_BSTR},
     [](IDispatch* self, VARIANT* args, VARIANT* result) {
         result->vt = VT_BSTR;
         return AsCounter(self)->Describe(args[0].bstrVal, args[1].bstrVal, &result->bstrVal);
     }},
    {"Fail",
     4,
     DISPATCH_METHOD,
     1,
     {VT_BSTR},
     [](IDispatch* self, VARIANT* args, VARIANT*) {
         return AsCounter(self)->Fail(args[0].bstrVal);
     }},
    {"Even",
     5,
     DISPATCH_PROPERTYGET,
     0,
     {},
     [](IDispatch* self, VARIANT*, VARIANT* result) {
         result->vt = VT_BOOL;
         return AsCounter(self)->get_Even(&result->boolVal);
     }},
    {"_NewEnum",
     DISPID_NEWENUM,
     DISPATCH_PROPERTYGET | DISPATCH_METHOD,
     0,
     {},
     [](IDispatch* self, VARIANT*, VARIANT* result) {
         result->vt = VT_UNKNOWN;
         return AsCounter(self)->get__NewEnum(&result->punkVal);
     }},
    {"Total",
     6,
     DISPATCH_PROPERTYGET,
     0,
     {},
     [](IDispatch* self, VARIANT*, VARIANT* result) {
         result->vt = VT_I4;
         return static_cast<CCounter*>(AsCounter(self))->GetTotal(&result->lVal);
     }},
    {"Total",
     6,
     DISPATCH_PROPERTYPUT,
     1,
     {VT_I4},
     [](IDispatch* self, VARIANT* args, VARIANT*) {
         return static_cast<CCounter*>(AsCounter(self))->PutTotal(args[0].lVal);
     }},
};

CClassFactory<CCounter> g_counterFactory(g_module);

const CClassRegistration CLASSES[] = {
    {&CLSID_ComTestCounter, "Counter Class", "ComTest.Counter.1", "ComTest.Counter", "Both", true},
    {&CLSID_ComTestOther, "Other Class", "ComTest.Other.1", nullptr, "Apartment", false},
};
const CInterfaceRegistration INTERFACES[] = {{&IID_ICounter, "ICounter"}};
const CTypeLibRegistration TYPE_LIB = {&LIBID_ComTest, "1.0", "ComTest 1.0 Type Library",
                                       INTERFACES, 1};

} // namespace

DORVALE_COM_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    // The second class is registered but this library cannot make it.
    if (rclsid == CLSID_ComTestCounter) {
        return g_counterFactory.QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

DORVALE_COM_SERVER_ENTRY_POINTS(g_module, CLASSES, &TYPE_LIB)
