// The Liftwell library: the upload control object, its persistence, and the library's entry
// points and registration.

#include "Liftwell.h"

#include "ComServer.h"
#include "QtPrompt.h"
#include "UploadProperties.h"
#include "UploadWizard.h"

#include <QApplication>
#include <QThread>

#include <mutex>

namespace {

using liftwell::CUploadProperties;

CServerModule g_module;

// A stream of saved properties holds, for each of the four in order, its type (VT_BSTR, two
// bytes), its length in bytes (four) and its UTF-8 text, all numbers little-endian.
constexpr ULONG LONGEST_SAVED_TEXT = 1u << 20; // a longer length means a damaged stream

std::string Text(BSTR value) {
    return value ? std::string(value, SysStringLen(value)) : std::string();
}

bool WriteAll(IStream* stream, const void* bytes, ULONG size) {
    ULONG written = 0;
    return SUCCEEDED(stream->Write(bytes, size, &written)) && written == size;
}

bool ReadAll(IStream* stream, void* bytes, ULONG size) {
    ULONG read = 0;
    return SUCCEEDED(stream->Read(bytes, size, &read)) && read == size;
}

bool WriteText(IStream* stream, const std::string& text) {
    const VARTYPE type = VT_BSTR;
    const auto length = static_cast<ULONG>(text.size());
    const unsigned char header[6] = {static_cast<unsigned char>(type & 0xFF),
                                     static_cast<unsigned char>(type >> 8),
                                     static_cast<unsigned char>(length & 0xFF),
                                     static_cast<unsigned char>(length >> 8),
                                     static_cast<unsigned char>((length >> 16) & 0xFF),
                                     static_cast<unsigned char>(length >> 24)};
    return WriteAll(stream, header, sizeof header) &&
           (text.empty() || WriteAll(stream, text.data(), length));
}

bool ReadText(IStream* stream, std::string& text) {
    unsigned char header[6];
    if (!ReadAll(stream, header, sizeof header)) {
        return false;
    }
    const VARTYPE type = static_cast<VARTYPE>(header[0] | (header[1] << 8));
    const ULONG length =
        header[2] | (header[3] << 8) | (header[4] << 16) | (static_cast<ULONG>(header[5]) << 24);
    if (type != VT_BSTR || length > LONGEST_SAVED_TEXT) {
        return false;
    }
    text.assign(length, '\0');
    return length == 0 || ReadAll(stream, text.data(), length);
}

class CUpload final : public CDispatchObject<IUpload>,
                      public IPersistStreamInit,
                      public IPersistPropertyBag,
                      public IUploadOutcome {
public:
    static HRESULT CreateInstance(REFIID riid, void** ppv) {
        return ComQueryNewObject(static_cast<CDispatchObject<IUpload>*>(new (std::nothrow) CUpload),
                                 riid, ppv);
    }

    // ---- IUnknown, one for every interface ----

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IPersist || riid == IID_IPersistStreamInit) {
            *ppv = static_cast<IPersistStreamInit*>(this);
        } else if (riid == IID_IPersistPropertyBag) {
            *ppv = static_cast<IPersistPropertyBag*>(this);
        } else if (riid == IID_IUploadOutcome) {
            *ppv = static_cast<IUploadOutcome*>(this);
        } else {
            return CDispatchObject<IUpload>::QueryInterface(riid, ppv);
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CDispatchObject<IUpload>::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CDispatchObject<IUpload>::Release(); }

    // ---- IUpload ----

    HRESULT STDMETHODCALLTYPE Upload() override {
        // The wizard needs a window system, and its windows belong to the application's
        // thread: without either there is no place to show it, as for a control not in place.
        auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (!application || QThread::currentThread() != application->thread()) {
            m_outcome = LIFTWELL_NOT_RUN;
            return S_OK;
        }
        CUploadProperties properties;
        {
            std::lock_guard lock(m_mutex);
            properties = m_properties;
        }
        // Modal to the whole application: the host's windows take no input meanwhile.
        prompt::CQtPrompt prompts;
        liftwell::CUploadWizard wizard(properties, prompts, QApplication::activeWindow());
        prompts.SetParent(&wizard);
        wizard.setWindowModality(Qt::ApplicationModal);
        wizard.exec();
        switch (wizard.Outcome()) {
        case liftwell::EUploadOutcome::Sent:
            m_outcome = LIFTWELL_SENT;
            break;
        case liftwell::EUploadOutcome::Failed:
            m_outcome = LIFTWELL_FAILED;
            break;
        case liftwell::EUploadOutcome::Cancelled:
            m_outcome = LIFTWELL_CANCELLED;
            break;
        case liftwell::EUploadOutcome::NotRun:
            m_outcome = LIFTWELL_NOT_RUN;
            break;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddFileArea(BSTR name, BSTR path) override {
        std::lock_guard lock(m_mutex);
        m_properties.Areas().Add(Text(name), Text(path));
        m_dirty = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_FTPAddress(BSTR* pVal) override {
        return Get(&CUploadProperties::FtpAddress, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_FTPAddress(BSTR newVal) override {
        return Put(&CUploadProperties::SetFtpAddress, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Username(BSTR* pVal) override {
        return Get(&CUploadProperties::Username, pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Username(BSTR newVal) override {
        return Put(&CUploadProperties::SetUsername, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_UserPassword(BSTR* password) override {
        return Get(&CUploadProperties::UserPassword, password);
    }
    HRESULT STDMETHODCALLTYPE put_UserPassword(BSTR newVal) override {
        return Put(&CUploadProperties::SetUserPassword, newVal);
    }
    HRESULT STDMETHODCALLTYPE get_Areas(BSTR* pVal) override {
        std::lock_guard lock(m_mutex);
        return ComReturnString(m_properties.Areas().Format(), pVal);
    }
    HRESULT STDMETHODCALLTYPE put_Areas(BSTR newVal) override {
        std::lock_guard lock(m_mutex);
        m_properties.Areas().Parse(Text(newVal));
        m_dirty = true;
        return S_OK;
    }

    // ---- IUploadOutcome ----

    HRESULT STDMETHODCALLTYPE GetLastOutcome(LONG* outcome) override {
        if (!outcome) {
            return E_POINTER;
        }
        *outcome = m_outcome;
        return S_OK;
    }

    // ---- IPersistStreamInit and IPersistPropertyBag ----

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override {
        if (!pClassID) {
            return E_POINTER;
        }
        *pClassID = CLSID_Upload;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InitNew() override {
        std::lock_guard lock(m_mutex);
        m_properties = CUploadProperties();
        m_dirty = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override {
        std::lock_guard lock(m_mutex);
        return m_dirty ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Load(IStream* pStm) override {
        if (!pStm) {
            return E_POINTER;
        }
        std::string address, user, password, areas;
        // A short or damaged stream changes nothing.
        if (!ReadText(pStm, address) || !ReadText(pStm, user) || !ReadText(pStm, password) ||
            !ReadText(pStm, areas)) {
            return STG_E_READFAULT;
        }
        std::lock_guard lock(m_mutex);
        m_properties.SetFtpAddress(address);
        m_properties.SetUsername(user);
        m_properties.SetUserPassword(password);
        m_properties.Areas().Parse(areas);
        m_dirty = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(IStream* pStm, BOOL fClearDirty) override {
        if (!pStm) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        if (!WriteText(pStm, m_properties.FtpAddress()) ||
            !WriteText(pStm, m_properties.Username()) ||
            !WriteText(pStm, m_properties.UserPassword()) ||
            !WriteText(pStm, m_properties.Areas().Format())) {
            return STG_E_WRITEFAULT;
        }
        if (fClearDirty) {
            m_dirty = false;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* pCbSize) override {
        if (!pCbSize) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        pCbSize->QuadPart = 4 * 6 + m_properties.FtpAddress().size() +
                            m_properties.Username().size() + m_properties.UserPassword().size() +
                            m_properties.Areas().Format().size();
        return S_OK;
    }
    // Properties the bag does not hold keep their values.
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) override {
        if (!pPropBag) {
            return E_POINTER;
        }
        std::string values[4];
        bool present[4] = {};
        for (int i = 0; i < 4; ++i) {
            CComVariant value;
            value.vt = VT_BSTR;
            const HRESULT hr = pPropBag->Read(PROPERTY_NAMES[i], &value, pErrorLog);
            if (hr == E_INVALIDARG) {
                continue;
            }
            CComVariant text;
            if (FAILED(hr) || FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) {
                return FAILED(hr) ? hr : DISP_E_TYPEMISMATCH;
            }
            values[i] = Text(text.bstrVal);
            present[i] = true;
        }
        std::lock_guard lock(m_mutex);
        if (present[0]) {
            m_properties.SetFtpAddress(values[0]);
        }
        if (present[1]) {
            m_properties.SetUsername(values[1]);
        }
        if (present[2]) {
            m_properties.SetUserPassword(values[2]);
        }
        if (present[3]) {
            m_properties.Areas().Parse(values[3]);
        }
        m_dirty = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL) override {
        if (!pPropBag) {
            return E_POINTER;
        }
        std::unique_lock lock(m_mutex);
        const std::string values[4] = {m_properties.FtpAddress(), m_properties.Username(),
                                       m_properties.UserPassword(), m_properties.Areas().Format()};
        lock.unlock(); // the bag may call back into the control
        for (int i = 0; i < 4; ++i) {
            CComVariant value{std::string_view(values[i])};
            const HRESULT hr = pPropBag->Write(PROPERTY_NAMES[i], &value);
            if (FAILED(hr)) {
                return hr;
            }
        }
        if (fClearDirty) {
            lock.lock();
            m_dirty = false;
        }
        return S_OK;
    }

private:
    static const CDispMember MEMBERS[10];
    static constexpr LPCOLESTR PROPERTY_NAMES[4] = {
        liftwell::PROPERTY_FTP_ADDRESS, liftwell::PROPERTY_USER_NAME,
        liftwell::PROPERTY_USER_PASSWORD, liftwell::PROPERTY_FILE_AREAS};

    CUpload() : CDispatchObject(&g_module, MEMBERS) {}

    HRESULT Get(const std::string& (CUploadProperties::*get)() const, BSTR* out) {
        std::lock_guard lock(m_mutex);
        return ComReturnString((m_properties.*get)(), out);
    }
    HRESULT Put(void (CUploadProperties::*set)(std::string_view), BSTR value) {
        std::lock_guard lock(m_mutex);
        (m_properties.*set)(Text(value));
        m_dirty = true;
        return S_OK;
    }

    std::mutex m_mutex;
    CUploadProperties m_properties;
    bool m_dirty = false;
    LONG m_outcome = LIFTWELL_NOT_RUN;
};

IUpload* AsUpload(IDispatch* self) {
    return static_cast<IUpload*>(self);
}

// A text property's get and put entries.
template <HRESULT (STDMETHODCALLTYPE IUpload::*Get)(BSTR*)>
constexpr CDispMember TextGet(const char* name, DISPID id) {
    return {name, id, DISPATCH_PROPERTYGET, 0, {}, [](IDispatch* self, VARIANT*, VARIANT* result) {
                result->vt = VT_BSTR;
                return (AsUpload(self)->*Get)(&result->bstrVal);
            }};
}
template <HRESULT (STDMETHODCALLTYPE IUpload::*Put)(BSTR)>
constexpr CDispMember TextPut(const char* name, DISPID id) {
    return {
        name, id, DISPATCH_PROPERTYPUT, 1, {VT_BSTR}, [](IDispatch* self, VARIANT* args, VARIANT*) {
            return (AsUpload(self)->*Put)(args[0].bstrVal);
        }};
}

const CDispMember CUpload::MEMBERS[10] = {
    {"Upload",
     1,
     DISPATCH_METHOD,
     0,
     {},
     [](IDispatch* self, VARIANT*, VARIANT*) { return AsUpload(self)->Upload(); }},
    {"AddFileArea",
     2,
     DISPATCH_METHOD,
     2,
     {VT_BSTR, VT_BSTR},
     [](IDispatch* self, VARIANT* args, VARIANT*) {
         return AsUpload(self)->AddFileArea(args[0].bstrVal, args[1].bstrVal);
     }},
    TextGet<&IUpload::get_FTPAddress>("FTPAddress", 3),
    TextPut<&IUpload::put_FTPAddress>("FTPAddress", 3),
    TextGet<&IUpload::get_Username>("Username", 4),
    TextPut<&IUpload::put_Username>("Username", 4),
    TextGet<&IUpload::get_UserPassword>("UserPassword", 5),
    TextPut<&IUpload::put_UserPassword>("UserPassword", 5),
    TextGet<&IUpload::get_Areas>("Areas", 6),
    TextPut<&IUpload::put_Areas>("Areas", 6),
};

// ---- Registration ----

CClassFactory<CUpload> g_uploadFactory(g_module);

const CControlRegistration CONTROL = {true, 1, "132497", "1.0"};
const CClassRegistration CLASSES[] = {
    {&CLSID_Upload, "Dorvale Upload Control", "HalvrenSoftware.WebUpload.1", LIFTWELL_PROGID,
     "Apartment", true, &CONTROL},
};
const CInterfaceRegistration INTERFACES[] = {{&IID_IUpload, "IUpload"}};
const CTypeLibRegistration TYPE_LIB = {&LIBID_LIFTWELLLib, "1.0", "Liftwell 1.0 Type Library",
                                       INTERFACES, 1};

} // namespace

DORVALE_COM_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return ComGetClassObject(rclsid, riid, ppv, CLSID_Upload, g_uploadFactory);
}

DORVALE_COM_SERVER_ENTRY_POINTS(g_module, CLASSES, &TYPE_LIB)
