#pragma once
// Owners of COM references, BSTRs and VARIANTs: each releases what it holds when it goes.

#include "Com.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>

template <class T> class CComPtr {
public:
    CComPtr() noexcept = default;
    CComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference.
    CComPtr(T* p) noexcept : m_p(p) {
        if (m_p) {
            m_p->AddRef();
        }
    }
    CComPtr(const CComPtr& other) noexcept : CComPtr(other.m_p) {}
    CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~CComPtr() { Release(); }

    CComPtr& operator=(const CComPtr& other) noexcept {
        if (this != std::addressof(other)) {
            CComPtr copy(other);
            Swap(copy);
        }
        return *this;
    }
    CComPtr& operator=(CComPtr&& other) noexcept {
        if (this != std::addressof(other)) {
            Release();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    CComPtr& operator=(T* p) noexcept {
        CComPtr copy(p);
        Swap(copy);
        return *this;
    }

    T* operator->() const noexcept { return m_p; }
    operator T*() const noexcept { return m_p; }
    T* Get() const noexcept { return m_p; }
    // For out parameters: the pointer must be empty.
    T** operator&() noexcept { return &m_p; }
    T** GetAddressOf() noexcept { return &m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    void Release() noexcept {
        if (T* p = std::exchange(m_p, nullptr)) {
            p->Release();
        }
    }
    // Takes over a reference without adding one.
    void Attach(T* p) noexcept {
        Release();
        m_p = p;
    }
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }
    void Swap(CComPtr& other) noexcept { std::swap(m_p, other.m_p); }

    template <class Q> HRESULT QueryInterface(Q** pp) const noexcept {
        if (!m_p) {
            return E_POINTER;
        }
        return m_p->QueryInterface(Q::iid, reinterpret_cast<void**>(pp));
    }
    HRESULT CoCreateInstance(REFCLSID clsid, DWORD context = CLSCTX_INPROC_SERVER) noexcept {
        Release();
        return ::CoCreateInstance(clsid, nullptr, context, T::iid, reinterpret_cast<void**>(&m_p));
    }
    HRESULT CoCreateInstance(LPCOLESTR progId, DWORD context = CLSCTX_INPROC_SERVER) noexcept {
        CLSID clsid;
        const HRESULT hr = CLSIDFromProgID(progId, &clsid);
        return FAILED(hr) ? hr : CoCreateInstance(clsid, context);
    }

private:
    T* m_p = nullptr;
};

class CComBSTR {
public:
    CComBSTR() noexcept = default;
    CComBSTR(std::string_view text) : m_str(SysAllocStringLen(text.data(), UINT(text.size()))) {}
    CComBSTR(const char* text) : m_str(SysAllocString(text)) {}
    CComBSTR(const CComBSTR& other) : m_str(Copy(other.m_str)) {}
    CComBSTR(CComBSTR&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
    ~CComBSTR() { SysFreeString(m_str); }
    CComBSTR& operator=(const CComBSTR& other) {
        if (this != std::addressof(other)) {
            Attach(Copy(other.m_str));
        }
        return *this;
    }
    CComBSTR& operator=(CComBSTR&& other) noexcept {
        if (this != std::addressof(other)) {
            Attach(std::exchange(other.m_str, nullptr));
        }
        return *this;
    }

    operator BSTR() const noexcept { return m_str; }
    BSTR* operator&() noexcept { return &m_str; }
    UINT Length() const noexcept { return SysStringLen(m_str); }
    std::string ToString() const { return m_str ? std::string(m_str, Length()) : std::string(); }
    void Attach(BSTR str) noexcept {
        SysFreeString(m_str);
        m_str = str;
    }
    BSTR Detach() noexcept { return std::exchange(m_str, nullptr); }
    // A new copy the caller owns (for out parameters).
    BSTR Copy() const { return Copy(m_str); }

private:
    static BSTR Copy(BSTR str) { return str ? SysAllocStringLen(str, SysStringLen(str)) : nullptr; }
    BSTR m_str = nullptr;
};

class CComVariant : public VARIANT {
public:
    CComVariant() noexcept { VariantInit(this); }
    CComVariant(const VARIANT& other) {
        VariantInit(this);
        VariantCopy(this, &other);
    }
    CComVariant(const CComVariant& other) : CComVariant(static_cast<const VARIANT&>(other)) {}
    CComVariant(CComVariant&& other) noexcept {
        *static_cast<VARIANT*>(this) = other;
        VariantInit(&other);
    }
    CComVariant(LONG value) noexcept {
        VariantInit(this);
        vt = VT_I4;
        lVal = value;
    }
    CComVariant(bool value) noexcept {
        VariantInit(this);
        vt = VT_BOOL;
        boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    CComVariant(std::string_view text) {
        VariantInit(this);
        vt = VT_BSTR;
        bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
    }
    CComVariant(const char* text) : CComVariant(std::string_view(text)) {}
    CComVariant(IDispatch* p) noexcept {
        VariantInit(this);
        vt = VT_DISPATCH;
        pdispVal = p;
        if (p) {
            p->AddRef();
        }
    }
    ~CComVariant() { VariantClear(this); }

    CComVariant& operator=(const CComVariant& other) {
        if (this != std::addressof(other)) {
            VariantCopy(this, &other);
        }
        return *this;
    }
    CComVariant& operator=(CComVariant&& other) noexcept {
        if (this != std::addressof(other)) {
            VariantClear(this);
            *static_cast<VARIANT*>(this) = other;
            VariantInit(&other);
        }
        return *this;
    }

    HRESULT Clear() noexcept { return VariantClear(this); }
    // Hands the value to an out parameter, leaving this empty.
    HRESULT Detach(VARIANT* dest) noexcept {
        if (!dest) {
            return E_POINTER;
        }
        *dest = *this;
        VariantInit(this);
        return S_OK;
    }
    HRESULT ChangeType(VARTYPE type) { return VariantChangeType(this, this, 0, type); }
};
