#pragma once
// The mail component's class and interface, for callers that bind early. Scripts create
// "QTRWeb.SendMail" by ProgID and call SendMail through IDispatch.

#include "ComTypes.h"

// Type library "QTRWeb 1.0 Type Library", version 1.0.
inline constexpr GUID LIBID_QTRWEBLib = {
    0x96097CF7, 0xD73C, 0x4CA5, {0xA1, 0xDF, 0x77, 0x76, 0xE2, 0xB3, 0xDE, 0xD0}};
inline constexpr CLSID CLSID_SendMail = {
    0x29CFE4A6, 0xB5EA, 0x4DFB, {0x93, 0xC6, 0xB2, 0xCE, 0xC8, 0x3A, 0xC9, 0x3E}};
inline constexpr IID IID_ISendMail = {
    0x2A941128, 0x9E52, 0x406C, {0xA3, 0x78, 0xAD, 0x02, 0xA1, 0x7D, 0xE3, 0x00}};

// The registry key and value that name the SMTP server ("host" or "host:port").
inline constexpr char QTRWEB_SETTINGS_KEY[] =
    "Software\\Halvren Software\\Quenwick\\QTR Web\\SendMail";
inline constexpr char QTRWEB_SERVER_VALUE[] = "SMTPServer";

// The two failures a caller sees as DISP_E_EXCEPTION with this description.
inline constexpr char QTRWEB_NO_SERVER_SETTING[] = "Unable to read mail server from registry.";
inline constexpr char QTRWEB_CANNOT_CONNECT[] = "Unable to connect to mail server";

struct ISendMail : IDispatch {
    static constexpr const IID& iid = IID_ISendMail;
    // dispid 1. Sends one message in one SMTP transaction. S_OK once the server was reached
    // and greeted, with *result VARIANT_TRUE when it accepted the message; VARIANT_FALSE
    // when it refused it, or when from, to or subject contains a line break, or from or to
    // an angle bracket beyond one "<address>" at its end (then nothing is sent at all).
    virtual HRESULT STDMETHODCALLTYPE SendMail(BSTR from, BSTR to, BSTR subject, BSTR body,
                                               VARIANT_BOOL* result) = 0;

protected:
    ~ISendMail() = default;
};
