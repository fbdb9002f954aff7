// Error objects, IDispatch over member tables, and variant enumerators.

#include "ComServer.h"

#include <memory>
#include <mutex>
#include <strings.h>

namespace {

// An object with one interface besides IUnknown, which deletes itself with its last reference.
template <class Itf> class CUnknownOf : public Itf {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == Itf::iid) {
            *ppv = static_cast<Itf*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }

protected:
    CUnknownOf() = default;
    virtual ~CUnknownOf() = default;

private:
    std::atomic<ULONG> m_refs{1};
};

// ---- Error objects ----

class CErrorInfo final : public CUnknownOf<IErrorInfo> {
public:
    CErrorInfo(const IID& iid, std::string source, std::string description)
        : m_iid(iid), m_source(std::move(source)), m_description(std::move(description)) {}

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (!pGUID) {
            return E_POINTER;
        }
        *pGUID = m_iid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override {
        return ComReturnString(m_source, pBstrSource);
    }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override {
        return ComReturnString(m_description, pBstrDescription);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override {
        return ComReturnString(std::string(), pBstrHelpFile);
    }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override {
        if (!pdwHelpContext) {
            return E_POINTER;
        }
        *pdwHelpContext = 0;
        return S_OK;
    }

private:
    ~CErrorInfo() override = default;

    IID m_iid;
    std::string m_source;
    std::string m_description;
};

// Each thread has its own error object, as a failing call leaves it for its own caller.
struct CThreadErrorInfo {
    IErrorInfo* info = nullptr;
    ~CThreadErrorInfo() {
        if (info) {
            info->Release();
        }
    }
};
thread_local CThreadErrorInfo t_errorInfo;

// ---- Enumerators ----

class CEnumVariant final : public CUnknownOf<IEnumVARIANT> {
public:
    using Items = std::vector<VARIANT>;

    static void FreeItems(Items* items) {
        for (VARIANT& item : *items) {
            VariantClear(&item);
        }
        delete items;
    }

    CEnumVariant(std::shared_ptr<Items> items, std::size_t position)
        : m_items(std::move(items)), m_position(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override {
        if (pCeltFetched) {
            *pCeltFetched = 0;
        }
        if (celt == 0) {
            return S_OK;
        }
        if (!rgVar || (celt > 1 && !pCeltFetched)) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        ULONG fetched = 0;
        while (fetched < celt && m_position < m_items->size()) {
            VariantInit(&rgVar[fetched]);
            const HRESULT hr = VariantCopy(&rgVar[fetched], &(*m_items)[m_position]);
            if (FAILED(hr)) {
                for (ULONG i = 0; i < fetched; ++i) {
                    VariantClear(&rgVar[i]);
                }
                return hr;
            }
            ++fetched;
            ++m_position;
        }
        if (pCeltFetched) {
            *pCeltFetched = fetched;
        }
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        std::lock_guard lock(m_mutex);
        const std::size_t left = m_items->size() - m_position;
        if (celt > left) {
            m_position = m_items->size();
            return S_FALSE;
        }
        m_position += celt;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        std::lock_guard lock(m_mutex);
        m_position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override {
        if (!ppEnum) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        *ppEnum = new (std::nothrow) CEnumVariant(m_items, m_position);
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~CEnumVariant() override = default;

    std::mutex m_mutex;
    std::shared_ptr<Items> m_items;
    std::size_t m_position;
};

} // namespace

// ---- Error objects ----

HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
    if (perrinfo) {
        perrinfo->AddRef();
    }
    if (t_errorInfo.info) {
        t_errorInfo.info->Release();
    }
    t_errorInfo.info = perrinfo;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
    if (!pperrinfo) {
        return E_INVALIDARG;
    }
    *pperrinfo = t_errorInfo.info;
    t_errorInfo.info = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}

HRESULT ComReportError(LPCOLESTR source, LPCOLESTR description, REFIID iid, HRESULT hr) {
    auto* info =
        new (std::nothrow) CErrorInfo(iid, source ? source : "", description ? description : "");
    if (info) {
        SetErrorInfo(0, info);
        info->Release();
    }
    return hr;
}

HRESULT ComReturnString(const std::string& value, BSTR* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// ---- IDispatch from a member table ----

namespace {

// Writes a member's value into the caller's variable, converted to the variable's type.
HRESULT StoreByReference(const VARIANT& value, VARIANT& target) {
    const VARTYPE type = target.vt & VT_TYPEMASK;
    if (type == VT_VARIANT) {
        return VariantCopy(target.pvarVal, &value);
    }
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, &value, 0, type);
    if (FAILED(hr)) {
        return DISP_E_TYPEMISMATCH;
    }
    switch (type) {
    case VT_BOOL:
        *target.pboolVal = converted.boolVal;
        break;
    case VT_I4:
        *target.plVal = converted.lVal;
        break;
    case VT_BSTR:
        SysFreeString(*target.pbstrVal);
        *target.pbstrVal = converted.bstrVal; // handed over
        return S_OK;
    default:
        break;
    }
    VariantClear(&converted);
    return S_OK;
}

} // namespace

HRESULT DispGetIDsOfNames(const CDispMember* members, std::size_t count, LPOLESTR* names,
                          UINT cNames, DISPID* ids) {
    if (cNames == 0) {
        return S_OK;
    }
    if (!names || !ids) {
        return E_POINTER;
    }
    for (UINT i = 0; i < cNames; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    if (!names[0]) {
        return DISP_E_UNKNOWNNAME;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (strcasecmp(members[i].name, names[0]) == 0) {
            ids[0] = members[i].id;
            return cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT DispInvokeTable(IDispatch* self, const CDispMember* members, std::size_t count,
                        DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    // A property's get and put are entries of their own with the same id. A read-only member
    // has no put; a method is not a property and the reverse.
    const CDispMember* member = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        if (members[i].id == dispIdMember && (wFlags & members[i].kind)) {
            member = &members[i];
            break;
        }
    }
    if (!member) {
        return DISP_E_MEMBERNOTFOUND;
    }
    const UINT argCount = pDispParams ? pDispParams->cArgs : 0;
    const UINT namedCount = pDispParams ? pDispParams->cNamedArgs : 0;
    // The value of a put is the one named argument, named DISPID_PROPERTYPUT.
    const bool put = (member->kind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (put) {
        if (namedCount != 1 || !pDispParams->rgdispidNamedArgs ||
            pDispParams->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            return namedCount == 0 ? DISP_E_PARAMNOTFOUND : DISP_E_NONAMEDARGS;
        }
    } else if (namedCount > 0) {
        return DISP_E_NONAMEDARGS;
    }
    // The value's variable, when the caller passed one, comes last (first in rgvarg).
    VARIANT* outArg = nullptr;
    if (member->valueAsOutArg && argCount == member->paramCount + 1 && pDispParams->rgvarg) {
        outArg = &pDispParams->rgvarg[0];
        const VARTYPE type = outArg->vt & VT_TYPEMASK;
        if (!(outArg->vt & VT_BYREF) || !outArg->byref ||
            (type != VT_VARIANT && type != VT_BOOL && type != VT_I4 && type != VT_BSTR)) {
            if (puArgErr) {
                *puArgErr = 0;
            }
            return DISP_E_TYPEMISMATCH;
        }
    } else if (argCount != member->paramCount) {
        return DISP_E_BADPARAMCOUNT;
    }
    if (argCount > 0 && !pDispParams->rgvarg) {
        return E_INVALIDARG;
    }

    VARIANT args[6];
    for (VARIANT& arg : args) {
        VariantInit(&arg);
    }
    auto clearArgs = [&] {
        for (VARIANT& arg : args) {
            VariantClear(&arg);
        }
    };
    for (UINT i = 0; i < member->paramCount; ++i) {
        // rgvarg holds the arguments last first.
        const UINT position = argCount - 1 - i;
        const VARTYPE wanted = member->params[i];
        const HRESULT hr =
            wanted == VT_VARIANT
                ? VariantCopyInd(&args[i], &pDispParams->rgvarg[position])
                : VariantChangeType(&args[i], &pDispParams->rgvarg[position], 0, wanted);
        if (FAILED(hr)) {
            clearArgs();
            if (puArgErr) {
                *puArgErr = position;
            }
            return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
        }
    }

    VARIANT result;
    VariantInit(&result);
    SetErrorInfo(0, nullptr); // what an earlier call left must not pass for this one's
    const HRESULT hr = member->call(self, args, &result);
    clearArgs();
    if (FAILED(hr)) {
        VariantClear(&result);
        if (pExcepInfo) {
            *pExcepInfo = EXCEPINFO{};
            pExcepInfo->scode = hr;
            IErrorInfo* info = nullptr;
            if (GetErrorInfo(0, &info) == S_OK) {
                info->GetSource(&pExcepInfo->bstrSource);
                info->GetDescription(&pExcepInfo->bstrDescription);
                info->Release();
            } else {
                const std::string text = ComGetErrorText(hr);
                pExcepInfo->bstrDescription = SysAllocString(text.c_str());
            }
        }
        return DISP_E_EXCEPTION;
    }
    if (outArg) {
        const HRESULT stored = StoreByReference(result, *outArg);
        if (FAILED(stored)) {
            VariantClear(&result);
            if (puArgErr) {
                *puArgErr = 0;
            }
            return stored;
        }
    }
    if (pVarResult) {
        VariantClear(pVarResult);
        *pVarResult = result;
    } else {
        VariantClear(&result);
    }
    return S_OK;
}

// ---- Enumerators ----

HRESULT CreateEnumVariant(const VARIANT* items, std::size_t count, IEnumVARIANT** ppEnum) {
    if (!ppEnum) {
        return E_POINTER;
    }
    *ppEnum = nullptr;
    if (count > 0 && !items) {
        return E_INVALIDARG;
    }
    std::shared_ptr<CEnumVariant::Items> copies(new CEnumVariant::Items(count),
                                                &CEnumVariant::FreeItems);
    for (std::size_t i = 0; i < count; ++i) {
        VariantInit(&(*copies)[i]);
        const HRESULT hr = VariantCopy(&(*copies)[i], &items[i]);
        if (FAILED(hr)) {
            return hr;
        }
    }
    *ppEnum = new (std::nothrow) CEnumVariant(std::move(copies), 0);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateEnumVariantUnknown(const VARIANT* items, std::size_t count, IUnknown** ppUnk) {
    if (!ppUnk) {
        return E_POINTER;
    }
    IEnumVARIANT* enumerator = nullptr;
    const HRESULT hr = CreateEnumVariant(items, count, &enumerator);
    *ppUnk = enumerator;
    return hr;
}
