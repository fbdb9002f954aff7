// The QTRWeb library: the SendMail class and the library's entry points.

#include "QTRWeb.h"
#include "SmtpClient.h"

#include "ComServer.h"
#include "Registry.h"

#include <unistd.h>

namespace {

CServerModule g_module;

constexpr char SOURCE[] = "QTRWeb.SendMail";

std::string ToText(BSTR text) {
    return text ? std::string(text, SysStringLen(text)) : std::string();
}

// The server as the setup program stored it: a REG_SZ of at most 128 bytes.
bool ReadServerSetting(std::string& server) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, QTRWEB_SETTINGS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return false;
    }
    char buffer[129];
    DWORD type = REG_NONE;
    DWORD size = 128;
    if (RegQueryValueEx(key, QTRWEB_SERVER_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                        &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    buffer[size] = '\0';
    server = buffer; // up to the first NUL
    return true;
}

std::string ComputerName() {
    char name[129] = {};
    if (gethostname(name, 128) != 0) {
        return "localhost";
    }
    return name;
}

class CSendMail final : public CDispatchObject<ISendMail> {
public:
    static HRESULT CreateInstance(REFIID riid, void** ppv) {
        return ComQueryNewObject(new (std::nothrow) CSendMail, riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE SendMail(BSTR from, BSTR to, BSTR subject, BSTR body,
                                       VARIANT_BOOL* result) override {
        if (!result) {
            return E_POINTER;
        }
        *result = VARIANT_FALSE;
        qtrweb::CMailMessage message{ToText(from), ToText(to), ToText(subject), ToText(body)};
        // A line break in a header field, or a stray angle bracket in an address, would let
        // whoever filled it in add header fields, recipients or envelope parameters of their
        // own: such a message is not sent at all.
        if (!qtrweb::IsSafeAddress(message.from) || !qtrweb::IsSafeAddress(message.to) ||
            qtrweb::HasLineBreak(message.subject)) {
            return S_OK;
        }
        std::string server;
        if (!ReadServerSetting(server)) {
            return ComReportError(SOURCE, QTRWEB_NO_SERVER_SETTING, IID_ISendMail);
        }
        switch (qtrweb::SendMailMessage(server, ComputerName(), message,
                                        qtrweb::FormatMailDate(std::time(nullptr)))) {
        case qtrweb::ESendOutcome::Accepted:
            *result = VARIANT_TRUE;
            return S_OK;
        case qtrweb::ESendOutcome::Refused:
            return S_OK;
        case qtrweb::ESendOutcome::NotConnected:
            break;
        }
        return ComReportError(SOURCE, QTRWEB_CANNOT_CONNECT, IID_ISendMail);
    }

private:
    static const CDispMember MEMBERS[1];

    CSendMail() : CDispatchObject(&g_module, MEMBERS) {}
};

const CDispMember CSendMail::MEMBERS[1] = {
    {"SendMail",
     1,
     DISPATCH_METHOD,
     4,
     {VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR},
     [](IDispatch* self, VARIANT* args, VARIANT* result) {
         result->vt = VT_BOOL;
         return static_cast<ISendMail*>(self)->SendMail(
             args[0].bstrVal, args[1].bstrVal, args[2].bstrVal, args[3].bstrVal, &result->boolVal);
     },
     true},
};

CClassFactory<CSendMail> g_factory(g_module);

const CClassRegistration CLASSES[] = {
    {&CLSID_SendMail, "SendMail Class", "QTRWeb.SendMail.1", "QTRWeb.SendMail", "Apartment", true},
};
const CInterfaceRegistration INTERFACES[] = {{&IID_ISendMail, "ISendMail"}};
const CTypeLibRegistration TYPE_LIB = {&LIBID_QTRWEBLib, "1.0", "QTRWeb 1.0 Type Library",
                                       INTERFACES, 1};

} // namespace

DORVALE_COM_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return ComGetClassObject(rclsid, riid, ppv, CLSID_SendMail, g_factory);
}

DORVALE_COM_SERVER_ENTRY_POINTS(g_module, CLASSES, &TYPE_LIB)
