// GUID text and the English texts of result codes.

#include "Com.h"
#include "Text.h"

#include <cstdio>
#include <cstring>

namespace {

// Reads `digits` hexadecimal digits at text[pos].
bool ReadHex(const std::string& text, std::size_t pos, int digits, std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = base::HexDigitValue(text[pos + i]);
        if (digit < 0) {
            return false;
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

} // namespace

std::string GuidToString(REFGUID guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

bool GuidFromString(const std::string& text, GUID& guid) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-') {
        return false;
    }
    std::uint32_t value = 0;
    GUID result{};
    if (!ReadHex(text, 1, 8, value)) {
        return false;
    }
    result.Data1 = value;
    if (!ReadHex(text, 10, 4, value)) {
        return false;
    }
    result.Data2 = static_cast<WORD>(value);
    if (!ReadHex(text, 15, 4, value)) {
        return false;
    }
    result.Data3 = static_cast<WORD>(value);
    static const std::size_t POSITIONS[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, POSITIONS[i], 2, value)) {
            return false;
        }
        result.Data4[i] = static_cast<BYTE>(value);
    }
    guid = result;
    return true;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < 39) {
        return 0;
    }
    const std::string text = GuidToString(rguid);
    std::memcpy(lpsz, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size() + 1);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
    if (!pclsid) {
        return E_INVALIDARG;
    }
    if (!lpsz) {
        *pclsid = GUID_NULL;
        return S_OK;
    }
    if (!GuidFromString(lpsz, *pclsid)) {
        return CO_E_CLASSSTRING;
    }
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid) {
    const HRESULT hr = CLSIDFromString(lpsz, lpiid);
    return hr == CO_E_CLASSSTRING ? E_INVALIDARG : hr;
}

std::string ComFormatResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string ComGetErrorText(HRESULT hr) {
    struct CErrorText {
        HRESULT code;
        const char* text;
    };
    static const CErrorText ERROR_TEXTS[] = {
        {S_OK, "The operation completed successfully."},
        {S_FALSE, "The operation completed, with a false result."},
        {E_UNEXPECTED, "Catastrophic failure"},
        {E_NOTIMPL, "Not implemented"},
        {E_NOINTERFACE, "No such interface supported"},
        {E_POINTER, "Invalid pointer"},
        {E_ABORT, "Operation aborted"},
        {E_FAIL, "Unspecified error"},
        {E_ACCESSDENIED, "Access is denied."},
        {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
        {E_INVALIDARG, "The parameter is incorrect."},
        {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
        {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
        {REGDB_E_READREGDB, "Could not read key from registry"},
        {REGDB_E_WRITEREGDB, "Could not write key to registry"},
        {REGDB_E_KEYMISSING, "Could not find the key in the registry"},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
        {CO_E_CLASSSTRING, "Invalid class string"},
        {CO_E_DLLNOTFOUND, "DLL for class not found"},
        {CO_E_ERRORINDLL, "Error in the DLL"},
        {CO_S_NOTALLINTERFACES, "Not all the requested interfaces were available"},
        {RPC_E_CHANGED_MODE, "Cannot change thread mode after it is set."},
        {RPC_E_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
        {SELFREG_E_CLASS, "Error in registration of classes"},
        {SELFREG_E_TYPELIB, "Error in registration of the type library"},
        {DISP_E_UNKNOWNINTERFACE, "Unknown interface."},
        {DISP_E_MEMBERNOTFOUND, "Member not found."},
        {DISP_E_PARAMNOTFOUND, "Parameter not found."},
        {DISP_E_TYPEMISMATCH, "Type mismatch."},
        {DISP_E_UNKNOWNNAME, "Unknown name."},
        {DISP_E_NONAMEDARGS, "No named arguments."},
        {DISP_E_BADVARTYPE, "Bad variable type."},
        {DISP_E_EXCEPTION, "Exception occurred."},
        {DISP_E_OVERFLOW, "Out of present range."},
        {DISP_E_BADINDEX, "Invalid index."},
        {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
        {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional."},
        {TYPE_E_ELEMENTNOTFOUND, "Element not found."},
    };
    for (const CErrorText& entry : ERROR_TEXTS) {
        if (entry.code == hr) {
            return entry.text;
        }
    }
    return FAILED(hr) ? "Unknown error " + ComFormatResult(hr)
                      : "Success code " + ComFormatResult(hr);
}
