#include "UploadLaunch.h"

#include "ComPtr.h"
#include "Fd.h"
#include "Text.h"
#include "UploadLink.h"

#include <cstdlib>
#include <fcntl.h>

namespace liftwell {

namespace {

constexpr std::size_t LONGEST_PASSWORD_FILE = 4096;

// The parameters of a link, offered to the control as an embedding page offers its own.
class CParameterBag final : public IPropertyBag {
public:
    explicit CParameterBag(const CUploadLinkParameters& parameters) : m_parameters(parameters) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
            *ppv = static_cast<IPropertyBag*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the caller's stack for the one Load call.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // Parameter names ignore letter case, as in a page; the last of a name counts.
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* pVar, IErrorLog*) override {
        if (!name || !pVar) {
            return E_POINTER;
        }
        const std::string* found = nullptr;
        for (const auto& [key, value] : m_parameters) {
            if (base::EqualsNoCase(key, name)) {
                found = &value;
            }
        }
        if (!found) {
            return E_INVALIDARG;
        }
        VariantClear(pVar);
        pVar->vt = VT_BSTR;
        pVar->bstrVal = SysAllocStringByteLen(found->data(), static_cast<UINT>(found->size()));
        return pVar->bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    const CUploadLinkParameters& m_parameters;
};

bool IsKnownParameter(const std::string& name) {
    for (const char* known : {PROPERTY_FTP_ADDRESS, PROPERTY_USER_NAME, PROPERTY_FILE_AREAS}) {
        if (base::EqualsNoCase(name, known)) {
            return true;
        }
    }
    return false;
}

class CComThread {
public:
    CComThread() : m_hr(CoInitialize(nullptr)) {}
    ~CComThread() {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }
    CComThread(const CComThread&) = delete;
    CComThread& operator=(const CComThread&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

std::string Failure(const std::string& what, HRESULT hr) {
    return what + ": " + ComFormatResult(hr) + ": " + ComGetErrorText(hr);
}

} // namespace

bool ParseAreaOption(std::string_view text, CUploadArea& area) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return false;
    }
    area.name = std::string(text.substr(0, equals));
    area.path = std::string(text.substr(equals + 1));
    return true;
}

std::string MissingDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return {};
        }
    }
    // Qt platforms that draw without a window system.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string_view name = platform ? std::string_view(platform) : std::string_view();
    for (const char* own : {"offscreen", "minimal", "vnc", "linuxfb", "eglfs"}) {
        if (name.substr(0, name.find(':')) == own) {
            return {};
        }
    }
    return "no display to show the upload wizard on (neither DISPLAY nor WAYLAND_DISPLAY is "
           "set): run it in a graphical session";
}

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
    const base::CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (!fd.IsOpen() || !base::ReadAll(fd.Get(), text, LONGEST_PASSWORD_FILE)) {
        error = "cannot read the password file " + path;
        return false;
    }
    password = text.substr(0, text.find_first_of("\r\n"));
    return true;
}

bool PrepareLaunch(const CLaunchOptions& options, CLaunch& launch,
                   std::vector<std::string>& warnings, std::string& error) {
    launch = CLaunch{};
    CUploadLinkParameters parameters;
    if (!options.link.empty() && !ParseUploadLink(options.link, parameters, error)) {
        error = "cannot read the link: " + error;
        return false;
    }
    // A link is public: a password in it is not taken.
    for (auto& parameter : parameters) {
        if (base::EqualsNoCase(parameter.first, PROPERTY_USER_PASSWORD)) {
            warnings.push_back("the link holds a password; it is ignored");
        } else if (!IsKnownParameter(parameter.first)) {
            warnings.push_back("the link's parameter \"" + parameter.first + "\" is ignored");
        } else {
            launch.linkParameters.push_back(std::move(parameter));
        }
    }
    if (!options.passwordFile.empty()) {
        std::string password;
        if (!ReadPasswordFile(options.passwordFile, password, error)) {
            return false;
        }
        launch.password = password;
    }
    launch.ftpAddress = options.ftpAddress;
    launch.username = options.username;
    launch.areas = options.areas;
    return true;
}

bool RunUploadControl(const CLaunch& launch, LONG& outcome, std::string& error) {
    outcome = LIFTWELL_NOT_RUN;
    CComThread thread;
    if (FAILED(thread.Result())) {
        error = Failure("cannot start the component runtime", thread.Result());
        return false;
    }
    CComPtr<IUpload> control;
    HRESULT hr = control.CoCreateInstance(LIFTWELL_PROGID);
    if (FAILED(hr)) {
        error = Failure(std::string("cannot create the upload control ") + LIFTWELL_PROGID +
                            " (register it with dorvale-regsvr libLiftwell.so)",
                        hr);
        return false;
    }
    if (!launch.linkParameters.empty()) {
        CComPtr<IPersistPropertyBag> persist;
        hr = control.QueryInterface(&persist);
        CParameterBag bag(launch.linkParameters);
        if (SUCCEEDED(hr)) {
            hr = persist->Load(&bag, nullptr);
        }
        if (FAILED(hr)) {
            error = Failure("the upload control did not take the link's parameters", hr);
            return false;
        }
    }
    if (launch.ftpAddress) {
        control->put_FTPAddress(CComBSTR(*launch.ftpAddress));
    }
    if (launch.username) {
        control->put_Username(CComBSTR(*launch.username));
    }
    if (launch.password) {
        control->put_UserPassword(CComBSTR(*launch.password));
    }
    if (!launch.areas.empty()) {
        control->put_Areas(CComBSTR(""));
        for (const CUploadArea& area : launch.areas) {
            control->AddFileArea(CComBSTR(area.name), CComBSTR(area.path));
        }
    }
    control->Upload();
    CComPtr<IUploadOutcome> result;
    if (SUCCEEDED(control.QueryInterface(&result))) {
        result->GetLastOutcome(&outcome);
    }
    return true;
}

} // namespace liftwell
