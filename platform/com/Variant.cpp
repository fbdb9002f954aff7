// BSTRs and VARIANTs.

#include "Com.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

// A BSTR is preceded by its length in bytes and followed by a NUL.
constexpr std::size_t PREFIX = sizeof(std::uint32_t);

std::uint32_t* Header(BSTR str) {
    return reinterpret_cast<std::uint32_t*>(str - PREFIX);
}

BSTR Allocate(const char* data, UINT length) {
    if (length > 0x7FFFFFF0u) {
        return nullptr;
    }
    char* block = static_cast<char*>(std::malloc(PREFIX + length + 1));
    if (!block) {
        return nullptr;
    }
    const std::uint32_t size = length;
    std::memcpy(block, &size, PREFIX);
    BSTR str = block + PREFIX;
    if (data) {
        std::memcpy(str, data, length);
    } else {
        std::memset(str, 0, length);
    }
    str[length] = '\0';
    return str;
}

std::string Trimmed(const char* data, std::size_t size) {
    std::size_t begin = 0, end = size;
    while (begin < end && (data[begin] == ' ' || data[begin] == '\t')) {
        ++begin;
    }
    while (end > begin && (data[end - 1] == ' ' || data[end - 1] == '\t')) {
        --end;
    }
    return std::string(data + begin, end - begin);
}

// A whole decimal number (optional sign) of the text, in the range of long long.
bool ParseInteger(const std::string& text, long long& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end == text.c_str() + text.size() && end != text.c_str();
}

// The value of a variant as an integer (for the numeric and Boolean targets).
HRESULT ToInteger(const VARIANT& src, long long& value) {
    switch (src.vt) {
    case VT_EMPTY:
        value = 0;
        return S_OK;
    case VT_I2:
        value = src.iVal;
        return S_OK;
    case VT_I4:
        value = src.lVal;
        return S_OK;
    case VT_INT:
        value = src.intVal;
        return S_OK;
    case VT_UI4:
        value = src.ulVal;
        return S_OK;
    case VT_BOOL:
        value = src.boolVal ? -1 : 0;
        return S_OK;
    case VT_BSTR: {
        const std::string text = Trimmed(src.bstrVal, SysStringLen(src.bstrVal));
        if (strcasecmp(text.c_str(), "true") == 0) {
            value = -1;
            return S_OK;
        }
        if (strcasecmp(text.c_str(), "false") == 0) {
            value = 0;
            return S_OK;
        }
        if (!ParseInteger(text, value)) {
            return DISP_E_TYPEMISMATCH;
        }
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

} // namespace

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) {
        return nullptr;
    }
    return Allocate(psz, static_cast<UINT>(std::strlen(psz)));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    return Allocate(strIn, ui);
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) {
    return Allocate(psz, len);
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr) {
        return 0;
    }
    BSTR replacement = SysAllocString(psz);
    if (psz && !replacement) {
        return 0;
    }
    SysFreeString(*pbstr);
    *pbstr = replacement;
    return 1;
}

void SysFreeString(BSTR bstrString) {
    if (bstrString) {
        std::free(Header(bstrString));
    }
}

UINT SysStringLen(BSTR pbstr) {
    return pbstr ? *Header(pbstr) : 0;
}

UINT SysStringByteLen(BSTR bstr) {
    return SysStringLen(bstr);
}

void VariantInit(VARIANTARG* pvarg) {
    if (pvarg) {
        std::memset(pvarg, 0, sizeof(VARIANT));
        pvarg->vt = VT_EMPTY;
    }
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) {
        return E_INVALIDARG;
    }
    switch (pvarg->vt) {
    case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
    case VT_DISPATCH:
        if (pvarg->pdispVal) {
            pvarg->pdispVal->Release();
        }
        break;
    case VT_UNKNOWN:
        if (pvarg->punkVal) {
            pvarg->punkVal->Release();
        }
        break;
    default:
        break;
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) {
        return E_INVALIDARG;
    }
    if (pvargDest == pvargSrc) {
        return S_OK;
    }
    VARIANT copy = *pvargSrc;
    switch (pvargSrc->vt) {
    case VT_BSTR:
        if (pvargSrc->bstrVal) {
            copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
            if (!copy.bstrVal) {
                return E_OUTOFMEMORY;
            }
        }
        break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        if (pvargSrc->punkVal) {
            pvargSrc->punkVal->AddRef();
        }
        break;
    default:
        break;
    }
    VariantClear(pvargDest);
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc) {
        return E_INVALIDARG;
    }
    if (!(pvargSrc->vt & VT_BYREF)) {
        return VariantCopy(pvarDest, pvargSrc);
    }
    VARIANT plain;
    VariantInit(&plain);
    const VARTYPE type = pvargSrc->vt & VT_TYPEMASK;
    if (!pvargSrc->byref) {
        return E_INVALIDARG;
    }
    switch (type) {
    case VT_I4:
        plain.vt = VT_I4;
        plain.lVal = *pvargSrc->plVal;
        break;
    case VT_BOOL:
        plain.vt = VT_BOOL;
        plain.boolVal = *pvargSrc->pboolVal;
        break;
    case VT_BSTR:
        plain.vt = VT_BSTR;
        plain.bstrVal = *pvargSrc->pbstrVal;
        break;
    case VT_VARIANT:
        return VariantCopyInd(pvarDest, pvargSrc->pvarVal);
    default:
        return DISP_E_BADVARTYPE;
    }
    return VariantCopy(pvarDest, &plain);
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) {
        return E_INVALIDARG;
    }
    VARIANT source;
    VariantInit(&source);
    HRESULT hr = VariantCopyInd(&source, pvarSrc);
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT result;
    VariantInit(&result);
    if (source.vt == vt) {
        result = source;
        VariantInit(&source);
    } else {
        switch (vt) {
        case VT_EMPTY:
            break;
        case VT_I2:
        case VT_I4:
        case VT_BOOL: {
            long long value = 0;
            hr = ToInteger(source, value);
            if (FAILED(hr)) {
                break;
            }
            if (vt == VT_BOOL) {
                result.vt = VT_BOOL;
                result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
            } else if (vt == VT_I2) {
                if (value < SHRT_MIN || value > SHRT_MAX) {
                    hr = DISP_E_OVERFLOW;
                    break;
                }
                result.vt = VT_I2;
                result.iVal = static_cast<SHORT>(value);
            } else {
                if (value < INT32_MIN || value > INT32_MAX) {
                    hr = DISP_E_OVERFLOW;
                    break;
                }
                result.vt = VT_I4;
                result.lVal = static_cast<LONG>(value);
            }
            break;
        }
        case VT_BSTR: {
            std::string text;
            switch (source.vt) {
            case VT_EMPTY:
                break;
            case VT_BOOL:
                text = source.boolVal ? "True" : "False";
                break;
            case VT_I2:
            case VT_I4:
            case VT_INT:
            case VT_UI4: {
                long long value = 0;
                ToInteger(source, value);
                text = std::to_string(value);
                break;
            }
            default:
                hr = DISP_E_TYPEMISMATCH;
                break;
            }
            if (FAILED(hr)) {
                break;
            }
            result.vt = VT_BSTR;
            result.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (!result.bstrVal) {
                hr = E_OUTOFMEMORY;
            }
            break;
        }
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            if (source.vt != VT_DISPATCH && source.vt != VT_UNKNOWN) {
                hr = DISP_E_TYPEMISMATCH;
                break;
            }
            IUnknown* unknown = source.punkVal;
            if (!unknown) {
                result.vt = vt;
                result.punkVal = nullptr;
                break;
            }
            void* converted = nullptr;
            hr = unknown->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                         &converted);
            if (FAILED(hr)) {
                hr = DISP_E_TYPEMISMATCH;
                break;
            }
            result.vt = vt;
            result.punkVal = static_cast<IUnknown*>(converted);
            break;
        }
        default:
            hr = DISP_E_BADVARTYPE;
            break;
        }
    }
    VariantClear(&source);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    // The destination may be the source itself: it is replaced only now.
    VariantClear(pvargDest);
    *pvargDest = result;
    return S_OK;
}
