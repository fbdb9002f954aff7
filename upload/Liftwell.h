#pragma once
// Liftwell, the upload control, as its hosts see it: "HalvrenSoftware.WebUpload" created by
// ProgID, given the FTP server, the account and the areas that accept uploads, then asked to
// Upload, which runs the upload wizard. Its four properties are saved and loaded with its host
// through a stream or a property bag, under "FTP Address", "User Name", "User Password" and
// "File Areas". Texts are UTF-8.

#include "ComTypes.h"

// Type library LIFTWELLLib, "Liftwell 1.0 Type Library", version 1.0.
inline constexpr GUID LIBID_LIFTWELLLib = {
    0x0A96183E, 0xECE4, 0x4F88, {0x9B, 0x1A, 0x80, 0x4D, 0xAB, 0x60, 0x62, 0x43}};
inline constexpr IID IID_IUpload = {
    0x0B68F817, 0x8663, 0x4015, {0x81, 0x4D, 0x6A, 0x20, 0x91, 0x47, 0xD4, 0x37}};
inline constexpr IID IID_IUploadOutcome = {
    0x8F0F7786, 0x23AF, 0x403D, {0x8B, 0x1E, 0xAF, 0x20, 0x1B, 0xF0, 0x73, 0xF5}};
// The class Upload ("QtrFtpControl").
inline constexpr CLSID CLSID_Upload = {
    0xA1FF56BF, 0xAAC1, 0x48F7, {0xB3, 0x5A, 0x1E, 0x23, 0x73, 0x03, 0xEF, 0x93}};

inline constexpr const char* LIFTWELL_PROGID = "HalvrenSoftware.WebUpload";

// "IUpload": a dual interface; every member returns S_OK unless an out pointer is null.
struct IUpload : IDispatch {
    static constexpr const IID& iid = IID_IUpload;
    // Runs the wizard modally when the control has a window system to show it in (a Qt
    // application on the calling thread); does nothing otherwise. Never reports an error.
    virtual HRESULT STDMETHODCALLTYPE Upload() = 0;                            // dispid 1
    virtual HRESULT STDMETHODCALLTYPE AddFileArea(BSTR name, BSTR path) = 0;   // dispid 2
    virtual HRESULT STDMETHODCALLTYPE get_FTPAddress(BSTR* pVal) = 0;          // dispid 3
    virtual HRESULT STDMETHODCALLTYPE put_FTPAddress(BSTR newVal) = 0;         // 259 bytes
    virtual HRESULT STDMETHODCALLTYPE get_Username(BSTR* pVal) = 0;            // dispid 4
    virtual HRESULT STDMETHODCALLTYPE put_Username(BSTR newVal) = 0;           // 63 bytes
    virtual HRESULT STDMETHODCALLTYPE get_UserPassword(BSTR* password) = 0;    // dispid 5
    virtual HRESULT STDMETHODCALLTYPE put_UserPassword(BSTR newVal) = 0;       // 31 bytes
    // The area list as name CR path CR ...; put replaces the list.
    virtual HRESULT STDMETHODCALLTYPE get_Areas(BSTR* pVal) = 0;               // dispid 6
    virtual HRESULT STDMETHODCALLTYPE put_Areas(BSTR newVal) = 0;

protected:
    ~IUpload() = default;
};

// What the last Upload came to, for a program that hosts the control and turns it into an
// exit status (Upload itself reports nothing to its page).
enum ELiftwellOutcome : LONG {
    LIFTWELL_NOT_RUN = 0,   // no Upload yet, or no window system to show the wizard in
    LIFTWELL_SENT = 1,      // the file and its description reached the server
    LIFTWELL_FAILED = 2,    // the transfer ran and failed
    LIFTWELL_CANCELLED = 3, // the visitor left the wizard before the transfer ended well
};

struct IUploadOutcome : IUnknown {
    static constexpr const IID& iid = IID_IUploadOutcome;
    virtual HRESULT STDMETHODCALLTYPE GetLastOutcome(LONG* outcome) = 0;

protected:
    ~IUploadOutcome() = default;
};
