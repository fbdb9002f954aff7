#include "CatalinkSources.h"

HRESULT CDispatchCaller::GetProperty(const char* name, CComVariant& value, const long* index) {
    if (!m_object) {
        return E_POINTER;
    }
    DISPID id = DISPID_UNKNOWN;
    const auto known = m_ids.find(name);
    if (known != m_ids.end()) {
        id = known->second;
    } else {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        const HRESULT hr = m_object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) {
            return hr;
        }
        m_ids.emplace(name, id);
    }
    VARIANT argument;
    VariantInit(&argument);
    DISPPARAMS parameters{nullptr, nullptr, 0, 0};
    if (index) {
        argument.vt = VT_I4;
        argument.lVal = *index;
        parameters.rgvarg = &argument;
        parameters.cArgs = 1;
    }
    value.Clear();
    EXCEPINFO exception{};
    UINT argError = 0;
    const HRESULT hr = m_object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                        &parameters, &value, &exception, &argError);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

bool CDispatchCaller::GetLong(const char* name, long long& value) {
    CComVariant result;
    if (FAILED(GetProperty(name, result)) || FAILED(result.ChangeType(VT_I4))) {
        return false;
    }
    value = result.lVal;
    return true;
}

bool CDispatchCaller::GetString(const char* name, std::string& value) {
    CComVariant result;
    if (FAILED(GetProperty(name, result)) || FAILED(result.ChangeType(VT_BSTR))) {
        return false;
    }
    value.assign(result.bstrVal ? result.bstrVal : "", SysStringLen(result.bstrVal));
    return true;
}

bool CDispatchCaller::GetBool(const char* name, bool& value) {
    CComVariant result;
    if (FAILED(GetProperty(name, result)) || FAILED(result.ChangeType(VT_BOOL))) {
        return false;
    }
    value = result.boolVal == VARIANT_TRUE;
    return true;
}

CComPtr<IDispatch> CDispatchCaller::GetItem(long long index) {
    if (index < -2147483648LL || index > 2147483647LL) {
        return nullptr;
    }
    const long argument = static_cast<long>(index);
    CComVariant result;
    if (FAILED(GetProperty("Item", result, &argument)) || FAILED(result.ChangeType(VT_DISPATCH)) ||
        !result.pdispVal) {
        return nullptr;
    }
    return CComPtr<IDispatch>(result.pdispVal);
}

bool ReadCatalinkArea(IDispatch* object, CPageArea& area, CAreaAliases* aliases) {
    CDispatchCaller caller(object);
    if (!caller.GetLong("Id", area.id) || !caller.GetString("Name", area.name) ||
        !caller.GetBool("Downloadable", area.downloadable)) {
        return false;
    }
    return !aliases || (caller.GetString("HttpAlias", aliases->httpAlias) &&
                        caller.GetString("FtpAlias", aliases->ftpAlias));
}

namespace {

bool ReadItem(CDispatchCaller& caller, long long index, CPageArea* area, CAreaAliases* aliases) {
    const CComPtr<IDispatch> item = caller.GetItem(index);
    if (!item) {
        return false;
    }
    CPageArea scratch;
    return ReadCatalinkArea(item, area ? *area : scratch, aliases);
}

} // namespace

bool CCatalinkAreaCollection::GetCount(long long& count) {
    return m_caller.GetLong("Count", count);
}

bool CCatalinkAreaCollection::GetItem(long long index, CPageArea& area) {
    return ReadItem(m_caller, index, &area, nullptr);
}

bool CCatalinkAreaCollection::GetAliases(long long index, CAreaAliases& aliases) {
    return ReadItem(m_caller, index, nullptr, &aliases);
}

bool CCatalinkAreaCollection::GetUploadable(long long index, bool& uploadable) {
    const CComPtr<IDispatch> item = m_caller.GetItem(index);
    return item && CDispatchCaller(item).GetBool("Uploadable", uploadable);
}

bool CCatalinkFileGroup::GetCount(long long& count) {
    return m_caller.GetLong("Count", count);
}

bool CCatalinkFileGroup::GetItem(long long index, CPageArea& area) {
    return ReadItem(m_caller, index, &area, nullptr);
}

bool CCatalinkFileGroup::GetAliases(long long index, CAreaAliases& aliases) {
    return ReadItem(m_caller, index, nullptr, &aliases);
}

bool CCatalinkFileGroup::GetName(std::string& name) {
    return m_caller.GetString("Name", name);
}

bool CCatalinkGroupCollection::GetCount(long long& count) {
    return m_caller.GetLong("Count", count);
}

std::unique_ptr<IPageFileGroup> CCatalinkGroupCollection::GetItem(long long index) {
    const CComPtr<IDispatch> group = m_caller.GetItem(index);
    if (!group) {
        return nullptr;
    }
    return std::make_unique<CCatalinkFileGroup>(group);
}

CComPtr<IDispatch> CreateDispatchObject(const char* progId, HRESULT* result) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    CComPtr<IDispatch> object;
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr,
                              CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                              IID_IDispatch, reinterpret_cast<void**>(&object));
    }
    if (result) {
        *result = hr;
    }
    return SUCCEEDED(hr) ? object : CComPtr<IDispatch>();
}
