#pragma once
// The page sources over Catalink's automation objects, reached only through IDispatch:
// the group collection, its groups and the area collection.

#include "ComPtr.h"
#include "PageSources.h"

#include <memory>
#include <string>
#include <unordered_map>

// Late-bound calls on one automation object; member identifiers are looked up once.
class CDispatchCaller {
public:
    explicit CDispatchCaller(IDispatch* object) : m_object(object) {}
    IDispatch* Get() const { return m_object; }
    // Reads a property; with `index`, the indexed property (Item) of that index.
    HRESULT GetProperty(const char* name, CComVariant& value, const long* index = nullptr);
    bool GetLong(const char* name, long long& value);
    bool GetString(const char* name, std::string& value);
    bool GetBool(const char* name, bool& value);
    // The object returned by an indexed property.
    CComPtr<IDispatch> GetItem(long long index);

private:
    CComPtr<IDispatch> m_object;
    std::unordered_map<std::string, DISPID> m_ids;
};

// Reads the Id, Name and Downloadable of an Area object (and its aliases when asked).
bool ReadCatalinkArea(IDispatch* object, CPageArea& area, CAreaAliases* aliases);

class CCatalinkAreaCollection : public IPageAreaCollection {
public:
    explicit CCatalinkAreaCollection(IDispatch* collection) : m_caller(collection) {}
    bool GetCount(long long& count) override;
    bool GetItem(long long index, CPageArea& area) override;
    bool GetAliases(long long index, CAreaAliases& aliases) override;
    bool GetUploadable(long long index, bool& uploadable) override;

private:
    CDispatchCaller m_caller;
};

class CCatalinkFileGroup : public IPageFileGroup {
public:
    explicit CCatalinkFileGroup(IDispatch* group) : m_caller(group) {}
    bool GetCount(long long& count) override;
    bool GetItem(long long index, CPageArea& area) override;
    bool GetAliases(long long index, CAreaAliases& aliases) override;
    bool GetName(std::string& name) override;

private:
    CDispatchCaller m_caller;
};

class CCatalinkGroupCollection : public IPageGroupCollection {
public:
    explicit CCatalinkGroupCollection(IDispatch* collection) : m_caller(collection) {}
    bool GetCount(long long& count) override;
    std::unique_ptr<IPageFileGroup> GetItem(long long index) override;

private:
    CDispatchCaller m_caller;
};

// Creates a registered class by its ProgID, asking for IDispatch, with in-process and local
// servers allowed. Null on failure.
CComPtr<IDispatch> CreateDispatchObject(const char* progId, HRESULT* result = nullptr);
