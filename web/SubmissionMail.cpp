// The mail that carries a file submission, through the site's mail component. Apart from the
// form's code: the component runtime's and ODBC's Windows types collide.
#include "SubmissionForm.h"

#include "Com.h"
#include "ComPtr.h"
#include "QTRWeb.h"

bool SendSubmissionMail(const std::string& adminEmail, const std::string& text,
                        std::string& error) {
    const bool initialised = SUCCEEDED(CoInitialize(nullptr));
    bool sent = false;
    {
        CComPtr<ISendMail> mail;
        HRESULT hr = mail.CoCreateInstance("QTRWeb.SendMail");
        if (FAILED(hr)) {
            error = "the mail component QTRWeb.SendMail is not registered";
        } else {
            VARIANT_BOOL accepted = VARIANT_FALSE;
            hr = mail->SendMail(CComBSTR(adminEmail), CComBSTR(adminEmail),
                                CComBSTR(SUBMISSION_SUBJECT), CComBSTR(text), &accepted);
            if (FAILED(hr)) {
                error = "the mail server cannot be reached";
                IErrorInfo* info = nullptr;
                if (GetErrorInfo(0, &info) == S_OK && info) {
                    CComBSTR description;
                    if (SUCCEEDED(info->GetDescription(&description))) {
                        error = description.ToString();
                    }
                    info->Release();
                }
            } else if (accepted != VARIANT_TRUE) {
                error = "the mail server refused the message";
            } else {
                sent = true;
            }
        }
    }
    if (initialised) {
        CoUninitialize();
    }
    return sent;
}
