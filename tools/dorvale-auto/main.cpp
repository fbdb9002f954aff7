// dorvale-auto: creates an automation object by ProgID and prints the value of member paths
// asked of it in turn, for shell scripts and cron jobs.

#include "AutoExpression.h"

#include "ComPtr.h"
#include "Tool.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char USAGE[] =
    "usage: dorvale-auto PROGID EXPRESSION\n"
    "\n"
    "Creates the automation object PROGID (a registered ProgID, or a class id written\n"
    "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}) and prints the value of EXPRESSION: a member\n"
    "name, with arguments in parentheses when it takes any, followed by further members\n"
    "of the object each one returns, joined by dots. Arguments are \"text\" (a quote\n"
    "inside is written \"\"), whole numbers, True or False. Names ignore letter case.\n"
    "Several expressions separated by ';' are asked of the same object in turn, each\n"
    "value on a line of its own.\n"
    "\n"
    "  dorvale-auto Catalink.AreaCollection Count\n"
    "  dorvale-auto Catalink.AreaCollection 'Item(2).Name'\n"
    "  dorvale-auto Catalink.GroupCollection 'Find(\"Games\").Count'\n"
    "  dorvale-auto Catalink.Config HttpServer\n"
    "  dorvale-auto HalvrenSoftware.WebUpload 'AddFileArea(\"Files\", \"incoming\"); Areas'\n"
    "  dorvale-auto QTRWeb.SendMail "
    "'SendMail(\"a@example.org\",\"b@example.org\",\"Hi\",\"Body\")'\n"
    "\n"
    "Numbers print in decimal, Booleans as -1 (true) and 0 (false), text as it is; a\n"
    "member without a value prints nothing. Classes are found in the registry of\n"
    "$DORVALE_REGISTRY when set.\n"
    "\n"
    "Exit status: 0 done; 1 the object or a member failed (its result code and\n"
    "description go to standard error); 2 bad usage.\n";

const tool::CTool TOOL("dorvale-auto", USAGE);

// The text is short: it comes whole with a usage error.
int Usage(const std::string& problem) {
    TOOL.Report(problem);
    std::fputs(USAGE, stderr);
    return tool::EXIT_USAGE;
}

// "dorvale-auto: WHAT: 0x80070057: The parameter is incorrect."
int Failure(const std::string& what, HRESULT hr, const std::string& description = {}) {
    const std::string text = description.empty() ? ComGetErrorText(hr) : description;
    return TOOL.Fail(what + ": " + ComFormatResult(hr) + ": " + text);
}

CComVariant ToVariant(const autohost::Argument& argument) {
    if (const auto* text = std::get_if<std::string>(&argument)) {
        return CComVariant(std::string_view(*text));
    }
    if (const auto* number = std::get_if<long long>(&argument)) {
        if (*number >= INT32_MIN && *number <= INT32_MAX) {
            return CComVariant(static_cast<LONG>(*number));
        }
        // Left as text: the member's own conversion reports the overflow.
        return CComVariant(std::to_string(*number));
    }
    return CComVariant(std::get<autohost::CBoolean>(argument).value);
}

class CCoInit {
public:
    CCoInit() : m_hr(CoInitialize(nullptr)) {}
    ~CCoInit() {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }

private:
    HRESULT m_hr;
};

// Calls one member on `object`; on failure prints why and returns false.
bool CallMember(IDispatch* object, const autohost::CMemberCall& call, CComVariant& result,
                int& exitCode) {
    const std::string what = autohost::FormatMemberCall(call);
    LPOLESTR names[] = {const_cast<LPOLESTR>(call.name.c_str())};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        exitCode = Failure(what, hr);
        return false;
    }
    std::vector<CComVariant> arguments;
    for (const auto& argument : call.arguments) {
        arguments.push_back(ToVariant(argument));
    }
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    UINT argErr = 0;
    result.Clear();
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        &params, &result, &excep, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        CComBSTR description, source, help;
        description.Attach(excep.bstrDescription);
        source.Attach(excep.bstrSource);
        help.Attach(excep.bstrHelpFile);
        exitCode = Failure(what, excep.scode != 0 ? excep.scode : hr, description.ToString());
        return false;
    }
    if (FAILED(hr)) {
        std::string detail = ComGetErrorText(hr);
        if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) && argErr < reversed.size()) {
            detail += " (argument " + std::to_string(reversed.size() - argErr) + ")";
        }
        exitCode = Failure(what, hr, detail);
        return false;
    }
    return true;
}

// Prints a member's value; objects have none to print.
bool PrintValue(const VARIANT& value, const std::string& what, int& exitCode) {
    switch (value.vt) {
    case VT_EMPTY:
        return true;
    case VT_BOOL:
        std::printf("%d\n", value.boolVal ? -1 : 0);
        return true;
    case VT_BSTR:
        std::fwrite(value.bstrVal, 1, SysStringLen(value.bstrVal), stdout);
        std::fputc('\n', stdout);
        return true;
    case VT_NULL:
        std::printf("\n");
        return true;
    default:
        break;
    }
    CComVariant text;
    if (value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN &&
        SUCCEEDED(VariantChangeType(&text, &value, 0, VT_BSTR))) {
        return PrintValue(text, what, exitCode);
    }
    exitCode = TOOL.Fail(what + " is an object: name one of its members to print");
    return false;
}

} // namespace

int main(int argc, char** argv) {
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return TOOL.Help();
    }
    std::vector<std::string> operands;
    while (args.Next()) {
        if (!args.IsPositional()) {
            return Usage("unknown option " + args.Current());
        }
        operands.push_back(args.Current());
    }
    if (operands.size() != 2) {
        return Usage(operands.size() < 2 ? "a ProgID and an expression are needed"
                                         : "only a ProgID and one expression are taken");
    }
    const std::string& progId = operands[0];
    std::vector<std::vector<autohost::CMemberCall>> paths;
    std::string error;
    if (!autohost::ParseMemberPaths(operands[1], paths, error)) {
        return Usage("cannot read the expression: " + error);
    }

    CCoInit init;
    int exitCode = 0;
    {
        CLSID clsid;
        HRESULT hr = progId.starts_with("{") ? CLSIDFromString(progId.c_str(), &clsid)
                                             : CLSIDFromProgID(progId.c_str(), &clsid);
        if (FAILED(hr)) {
            return Failure(progId, hr);
        }
        CComPtr<IDispatch> created;
        hr = created.CoCreateInstance(clsid);
        if (FAILED(hr)) {
            return Failure(progId, hr);
        }
        for (const std::vector<autohost::CMemberCall>& path : paths) {
            CComPtr<IDispatch> object = created;
            CComVariant value;
            std::string walked;
            for (std::size_t i = 0; i < path.size(); ++i) {
                const std::string what = autohost::FormatMemberCall(path[i]);
                walked += (walked.empty() ? "" : ".") + what;
                if (!CallMember(object, path[i], value, exitCode)) {
                    return exitCode;
                }
                if (i + 1 == path.size()) {
                    break;
                }
                // The next member is asked of the object this one returned.
                CComVariant next;
                if ((value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) || !value.punkVal ||
                    FAILED(VariantChangeType(&next, &value, 0, VT_DISPATCH)) || !next.pdispVal) {
                    return TOOL.Fail(walked + " is not an object, so it has no member " +
                                     path[i + 1].name);
                }
                object = next.pdispVal;
            }
            if (!PrintValue(value, walked, exitCode)) {
                return exitCode;
            }
        }
    }
    std::fflush(stdout);
    return exitCode;
}
