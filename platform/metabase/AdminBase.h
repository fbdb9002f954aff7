#pragma once
// The web server's admin base object: an in-process automation server ("Dorvale.Metabase",
// libDorvaleMetabase.so) over the metabase's key tree. Callers open a key for reading or
// writing with a time-out, work below it through paths relative to the handle, and close
// it; a write handle's changes are stored when it is closed. Scripts reach the same tree
// through IDispatch by absolute paths (GetData, SetData, EnumKeys, AddKey, DeleteKey).

#include "ComTypes.h"
#include "MetabaseTree.h"

// NOLINTBEGIN(readability-identifier-naming): the metabase's own names.
using METADATA_HANDLE = DWORD;
constexpr METADATA_HANDLE METADATA_MASTER_ROOT_HANDLE = 0;
constexpr DWORD METADATA_PERMISSION_READ = 1;
constexpr DWORD METADATA_PERMISSION_WRITE = 2;
constexpr DWORD METADATA_INHERIT = 1;
constexpr DWORD IIS_MD_UT_SERVER = 1;
constexpr DWORD IIS_MD_UT_FILE = 2;
constexpr DWORD METADATA_MAX_NAME_LEN = 256;

// Properties the system reads and writes.
constexpr DWORD MD_SERVER_COMMENT = 1015;      // an instance's descriptive name
constexpr DWORD MD_SERVER_BINDINGS = 1023;     // where an instance listens: "address:port:"
constexpr DWORD MD_APP_ROOT = 2103;            // an application's key, as a full path
constexpr DWORD MD_APP_ISOLATED = 2104;        // 0: the application runs in-process
constexpr DWORD MD_VR_PATH = 3001;             // a virtual directory's physical path
constexpr DWORD MD_ACCESS_PERM = 6016;         // its permissions: 1 read, 2 write
constexpr DWORD MD_ANONYMOUS_USER_NAME = 6020; // the account anonymous visitors are served as
constexpr DWORD MD_IS_CONTENT_INDEXED = 6039;  // whether the index server indexes it

constexpr HRESULT MD_ERROR_DATA_NOT_FOUND = static_cast<HRESULT>(0x800CC801u);
// NOLINTEND(readability-identifier-naming)

// Win32 errors the object answers with, as results.
constexpr HRESULT METABASE_E_ACCESS_DENIED = HRESULT_FROM_WIN32(5);
constexpr HRESULT METABASE_E_INVALID_HANDLE = HRESULT_FROM_WIN32(6);
constexpr HRESULT METABASE_E_INVALID_DATA = HRESULT_FROM_WIN32(13);
constexpr HRESULT METABASE_E_PATH_NOT_FOUND = HRESULT_FROM_WIN32(3);
constexpr HRESULT METABASE_E_PATH_BUSY = HRESULT_FROM_WIN32(148);
constexpr HRESULT METABASE_E_ALREADY_EXISTS = HRESULT_FROM_WIN32(183);
constexpr HRESULT METABASE_E_NO_MORE_ITEMS = HRESULT_FROM_WIN32(259);

inline constexpr CLSID CLSID_DorvaleMetabase = {
    0x5B0E7C52, 0x2F3A, 0x4C8E, {0x9A, 0x61, 0x3D, 0x27, 0xB4, 0xE0, 0x1C, 0x95}};
inline constexpr IID IID_IMetabaseAdmin = {
    0xA3D51F08, 0x6E2B, 0x4F47, {0xB0, 0x9C, 0x58, 0x7E, 0x12, 0xC6, 0x4D, 0xA3}};
inline constexpr GUID LIBID_DorvaleMetabase = {
    0x0F6B2D94, 0x81C5, 0x4A1E, {0x8D, 0x3B, 0xE2, 0x45, 0x9F, 0x70, 0x36, 0xC8}};

inline constexpr char METABASE_PROGID[] = "Dorvale.Metabase";

struct IMetabaseAdmin : IDispatch {
    static constexpr const IID& iid = IID_IMetabaseAdmin;
    // Opens `path` below `parent` (METADATA_MASTER_ROOT_HANDLE: the root). A write handle
    // excludes every other handle, a read handle every write handle, of any process; one that
    // cannot be had within timeoutMs gives METABASE_E_PATH_BUSY.
    virtual HRESULT STDMETHODCALLTYPE OpenKey(METADATA_HANDLE parent, const char* path,
                                              DWORD permissions, DWORD timeoutMs,
                                              METADATA_HANDLE* key) = 0;
    // Closes the handle; a write handle's changes are stored now.
    virtual HRESULT STDMETHODCALLTYPE CloseKey(METADATA_HANDLE key) = 0;
    // Adds the key and any missing key above it; METABASE_E_ALREADY_EXISTS when it is there.
    virtual HRESULT STDMETHODCALLTYPE AddKey(METADATA_HANDLE key, const char* path) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteKey(METADATA_HANDLE key, const char* path) = 0;
    // The name of the index-th key below `path` into `name` (METADATA_MAX_NAME_LEN bytes);
    // METABASE_E_NO_MORE_ITEMS past the last.
    virtual HRESULT STDMETHODCALLTYPE EnumKeys(METADATA_HANDLE key, const char* path, char* name,
                                               DWORD index) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetData(METADATA_HANDLE key, const char* path,
                                              const metabase::CProperty* property) = 0;
    // MD_ERROR_DATA_NOT_FOUND when the key has no such property.
    virtual HRESULT STDMETHODCALLTYPE GetData(METADATA_HANDLE key, const char* path, DWORD id,
                                              metabase::CProperty* property) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteData(METADATA_HANDLE key, const char* path,
                                                 DWORD id) = 0;
    // Stores what open write handles changed so far.
    virtual HRESULT STDMETHODCALLTYPE SaveData() = 0;

protected:
    ~IMetabaseAdmin() = default;
};
