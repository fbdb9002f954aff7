#pragma once
// Catalink: the file areas, file groups and three configuration values as automation
// objects. Scripts create "Catalink.AreaCollection", "Catalink.GroupCollection" and
// "Catalink.Config" by ProgID; the page generator may bind to these interfaces directly.
// Every interface is dual; every property is read-only.

#include "ComTypes.h"

// Type library CATALINKLib, "Catalink 1.0 Type Library", version 1.0.
inline constexpr GUID LIBID_CATALINKLib = {
    0xEF1493A0, 0x3212, 0x4DBD, {0x9F, 0x77, 0x08, 0xD3, 0xF1, 0x00, 0x89, 0x1F}};

inline constexpr IID IID_IArea = {
    0x6EE08C17, 0xA7B8, 0x4B62, {0x90, 0xDD, 0x43, 0xC3, 0x7F, 0xD1, 0xC5, 0x8A}};
inline constexpr IID IID_IAreaCollection = {
    0x1C4607CF, 0xC1FA, 0x49B1, {0xB3, 0x98, 0xD3, 0x04, 0x22, 0x56, 0xC5, 0xA2}};
inline constexpr IID IID_IGroup = {
    0xE926FF0B, 0x5BF3, 0x4594, {0x96, 0x6C, 0x48, 0x64, 0x9A, 0x52, 0xD9, 0xC1}};
inline constexpr IID IID_IGroupCollection = {
    0xC6961317, 0x9BC5, 0x4A9D, {0xB4, 0x66, 0x4F, 0xF3, 0x4F, 0x67, 0x62, 0x33}};
inline constexpr IID IID_IConfig = {
    0x83107273, 0x5B58, 0x4C5A, {0x9E, 0xCB, 0x5E, 0x80, 0xAC, 0x27, 0x79, 0x37}};

// Area and Group are made by the collections only; the other three are creatable.
inline constexpr CLSID CLSID_Area = {
    0x284BDA40, 0x5A69, 0x4757, {0x94, 0xD6, 0x26, 0xEE, 0xDA, 0xAE, 0x6D, 0x68}};
inline constexpr CLSID CLSID_AreaCollection = {
    0x1686F37F, 0x4FBD, 0x4F9E, {0xB5, 0xAA, 0xA8, 0x4D, 0x4E, 0x38, 0x84, 0xE0}};
inline constexpr CLSID CLSID_Group = {
    0x470A88EB, 0x9B7F, 0x4F7C, {0xB5, 0x37, 0xAA, 0x4C, 0x94, 0x93, 0x77, 0x54}};
inline constexpr CLSID CLSID_GroupCollection = {
    0x33AF4827, 0xC770, 0x43A0, {0xB1, 0xC9, 0xFC, 0x2C, 0xC0, 0xB0, 0xED, 0x8C}};
inline constexpr CLSID CLSID_Config = {
    0xF4C99295, 0x0CA4, 0x4020, {0xA1, 0x70, 0x99, 0x1F, 0x7A, 0xBF, 0x3E, 0xF9}};

// Dispatch ids shared by the collections.
constexpr DISPID DISPID_CATALINK_COUNT = 0x60020000;

// Results: E_POINTER for a null out pointer; E_INVALIDARG for an index below 1 or above
// Count, an unknown id or an unknown name; S_OK otherwise. Strings come back as new
// copies; Item, FindId and Find give a copy of the stored variant (VT_DISPATCH).

// "IArea Interface".
struct IArea : IDispatch {
    static constexpr const IID& iid = IID_IArea;
    virtual HRESULT STDMETHODCALLTYPE get_Id(LONG* pVal) = 0;            // dispid 1
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) = 0;          // dispid 2
    virtual HRESULT STDMETHODCALLTYPE get_Path(BSTR* pVal) = 0;          // dispid 3
    virtual HRESULT STDMETHODCALLTYPE get_FtpAlias(BSTR* ftppath) = 0;   // dispid 4
    virtual HRESULT STDMETHODCALLTYPE get_HttpAlias(BSTR* httppath) = 0; // dispid 5
    // VARIANT_TRUE (-1) when the area allows uploads / downloads.
    virtual HRESULT STDMETHODCALLTYPE get_Uploadable(VARIANT_BOOL* pVal) = 0;   // dispid 6
    virtual HRESULT STDMETHODCALLTYPE get_Downloadable(VARIANT_BOOL* pVal) = 0; // dispid 7

protected:
    ~IArea() = default;
};

// "IAreaCollection Interface".
struct IAreaCollection : IDispatch {
    static constexpr const IID& iid = IID_IAreaCollection;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;               // 0x60020000
    virtual HRESULT STDMETHODCALLTYPE get_Item(LONG index, VARIANT* pVal) = 0; // 0, 1-based
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;       // -4
    virtual HRESULT STDMETHODCALLTYPE FindId(LONG id, VARIANT* pVal) = 0;      // 1

protected:
    ~IAreaCollection() = default;
};

// "IGroup Interface".
struct IGroup : IDispatch {
    static constexpr const IID& iid = IID_IGroup;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;               // 0x60020000
    virtual HRESULT STDMETHODCALLTYPE get_Item(LONG index, VARIANT* pVal) = 0; // 0, 1-based
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;       // -4
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) = 0;                // 1

protected:
    ~IGroup() = default;
};

// "IGroupCollection Interface".
struct IGroupCollection : IDispatch {
    static constexpr const IID& iid = IID_IGroupCollection;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;               // 0x60020000
    virtual HRESULT STDMETHODCALLTYPE get_Item(LONG index, VARIANT* pVal) = 0; // 0, 1-based
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;       // -4
    // The group of exactly that name (letter case counts).
    virtual HRESULT STDMETHODCALLTYPE Find(BSTR name, VARIANT* pVal) = 0; // 1

protected:
    ~IGroupCollection() = default;
};

// "IConfig Interface": the settings AdminEmail, FtpServer and HttpServer as they were when
// the object was created.
struct IConfig : IDispatch {
    static constexpr const IID& iid = IID_IConfig;
    virtual HRESULT STDMETHODCALLTYPE get_Administrator(BSTR* pVal) = 0; // dispid 1
    virtual HRESULT STDMETHODCALLTYPE get_FtpServer(BSTR* pVal) = 0;     // dispid 2
    virtual HRESULT STDMETHODCALLTYPE get_HttpServer(BSTR* pVal) = 0;    // dispid 3

protected:
    ~IConfig() = default;
};
