// QTRWeb.SendMail created by ProgID from the registered library, talking to a real SMTP
// server (aiosmtpd, started by the test command) and to a scripted one.

#include "ComServer.h"
#include "ComTestSupport.h"
#include "QTRWeb.h"
#include "Registry.h"
#include "ScriptedSmtpServer.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <unistd.h>

using comtest::CallRegistrationEntry;
using comtest::CComTestEnvironment;
using mailtest::CScript;
using mailtest::CScriptedSmtpServer;

namespace {

const std::string LIBRARY = QTRWEB_LIBRARY;

std::string HostName() {
    char name[129] = {};
    gethostname(name, 128);
    return name;
}

class SendMailTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CallRegistrationEntry(LIBRARY), S_OK);
        ASSERT_EQ(m_mail.CoCreateInstance("QTRWeb.SendMail"), S_OK);
    }
    void TearDown() override {
        m_mail.Release();
        CoFreeUnusedLibraries();
    }

    void SetServer(const std::string& server, DWORD type = REG_SZ) {
        CRegKey key;
        ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, QTRWEB_SETTINGS_KEY), ERROR_SUCCESS);
        ASSERT_EQ(key.SetStringValue(QTRWEB_SERVER_VALUE, server.c_str(), type), ERROR_SUCCESS);
    }

    // SendMail through the vtable.
    HRESULT Send(const std::string& from, const std::string& to, const std::string& subject,
                 const std::string& body, VARIANT_BOOL& result) {
        result = 123;
        return m_mail->SendMail(CComBSTR(from), CComBSTR(to), CComBSTR(subject), CComBSTR(body),
                                &result);
    }

    // SendMail as a script calls it: by name, with the four texts.
    HRESULT Invoke(const std::vector<std::string>& texts, CComVariant& result, EXCEPINFO& excep) {
        CComPtr<IDispatch> dispatch;
        EXPECT_EQ(m_mail.QueryInterface(&dispatch), S_OK);
        LPOLESTR name[] = {const_cast<LPOLESTR>("SendMail")};
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, name, 1, 0, &id), S_OK);
        EXPECT_EQ(id, 1);
        std::vector<CComVariant> args(texts.rbegin(), texts.rend());
        std::vector<VARIANT> raw(args.begin(), args.end());
        DISPPARAMS params{raw.data(), nullptr, static_cast<UINT>(raw.size()), 0};
        excep = EXCEPINFO{};
        return dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, &excep,
                                nullptr);
    }

    CComTestEnvironment m_env;
    CComPtr<ISendMail> m_mail;
};

// A recipient no other test uses, so that the spool file is this test's.
std::string UniqueRecipient(const std::string& tag) {
    std::random_device random;
    return tag + "-" + std::to_string(getpid()) + "-" + std::to_string(random()) + "@example.org";
}

std::string Lines(int count, const std::string& line) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += line;
    }
    return text;
}

std::string DatePattern() {
    return "(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-3][0-9] "
           "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} "
           "[0-2][0-9]:[0-5][0-9]:[0-5][0-9] GMT";
}

} // namespace

TEST_F(SendMailTest, RealServerReceivesTheMessageByteForByte) {
    const char* server = std::getenv("DORVALE_SMTP_SERVER");
    const char* spool = std::getenv("DORVALE_SMTP_SPOOL");
    if (!server || !spool) {
        GTEST_SKIP() << "DORVALE_SMTP_SERVER is not set: run under scripts/test.sh, which "
                        "starts the SMTP server";
    }
    SetServer(server);

    const std::string mime = "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                             "Content-Transfer-Encoding: ";
    struct CCase {
        std::string subject;
        std::string body;
        std::string subjectSent;
        std::string headers;  // after the date
        std::string received; // the body as the server hands it on
    };
    const std::vector<CCase> cases = {
        {"Subject 0", "Body", "Subject 0", "", "Body\r\n"},
        // Line feeds alone become CR LF; a line of one dot survives the transfer.
        {"Subject 1", "first\n.\nlast\n", "Subject 1", "", "first\r\n.\r\nlast\r\n\r\n"},
        {"Grüße", "..two dots\r\nGrüße", "=?UTF-8?B?R3LDvMOfZQ==?=", mime + "8bit\r\n",
         "..two dots\r\nGrüße\r\n"},
        // 10 000 bytes, sent in chunks (in lines, as a server takes at most 1000 bytes a line).
        {"Subject 3", Lines(100, std::string(99, 'x') + "\n"), "Subject 3", "",
         Lines(100, std::string(99, 'x') + "\r\n") + "\r\n"},
        // A line longer than that is wrapped by the transfer encoding, not refused.
        {"Subject 4", std::string(1500, 'y'), "Subject 4", mime + "quoted-printable\r\n",
         Lines(19, std::string(75, 'y') + "=\r\n") + std::string(75, 'y') + "\r\n"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string to = UniqueRecipient("real" + std::to_string(i));
        VARIANT_BOOL result = 0;
        ASSERT_EQ(Send("sender@example.org", to, cases[i].subject, cases[i].body, result), S_OK);
        EXPECT_EQ(result, VARIANT_TRUE) << i;

        const std::filesystem::path base = std::filesystem::path(spool) / to;
        EXPECT_EQ(testsupport::ReadFile(base.string() + ".envelope"),
                  "HELO " + HostName() + "\nMAIL FROM sender@example.org\nRCPT TO " + to + "\n");
        const std::string data = testsupport::ReadFile(base.string() + ".data");
        const std::string head = "From: sender@example.org\r\nTo: " + to +
                                 "\r\nSubject: " + cases[i].subjectSent + "\r\nDate: ";
        ASSERT_EQ(data.substr(0, head.size()), head) << i;
        const std::size_t dateEnd = data.find("\r\n", head.size());
        ASSERT_NE(dateEnd, std::string::npos);
        EXPECT_TRUE(std::regex_match(data.substr(head.size(), dateEnd - head.size()),
                                     std::regex(DatePattern())))
            << data.substr(head.size(), dateEnd - head.size());
        EXPECT_EQ(data.substr(dateEnd + 2), cases[i].headers + "\r\n" + cases[i].received) << i;
    }
}

TEST_F(SendMailTest, DialogueIsExactAndBracketsAreAddedOnlyWhenMissing) {
    CScriptedSmtpServer server(CScript{});
    SetServer(server.Address());
    VARIANT_BOOL result = 0;
    ASSERT_EQ(Send("Joe Bloggs <joe@example.org>", "<ann@example.org>", "Hello", "line 1\n.\nend",
                   result),
              S_OK);
    EXPECT_EQ(result, VARIANT_TRUE);
    const std::string transcript = server.Transcript();
    const std::string start = "HELO " + HostName() +
                              "\r\n"
                              "MAIL FROM:Joe Bloggs <joe@example.org>\r\n"
                              "RCPT TO:<ann@example.org>\r\n"
                              "DATA\r\n"
                              "From: Joe Bloggs <joe@example.org>\r\n"
                              "To: <ann@example.org>\r\n"
                              "Subject: Hello\r\n"
                              "Date: ";
    ASSERT_EQ(transcript.substr(0, start.size()), start);
    const std::string end = "\r\n\r\nline 1\r\n..\r\nend\r\n.\r\nQUIT\r\n";
    ASSERT_GT(transcript.size(), start.size() + end.size());
    EXPECT_EQ(transcript.substr(transcript.size() - end.size()), end);
    EXPECT_TRUE(std::regex_match(
        transcript.substr(start.size(), transcript.size() - start.size() - end.size()),
        std::regex(DatePattern())));
}

TEST_F(SendMailTest, RefusedTransactionsResetAndQuitWithAFalseResult) {
    struct CCase {
        const char* name;
        std::map<std::string, std::string> replies;
        std::string dataEnd;
        bool accepted;
        std::string tail; // what the client sent after HELO
    };
    const std::string message = "From: a@example.org\r\nTo: b@example.org\r\nSubject: S\r\nDate: ";
    const std::vector<CCase> cases = {
        {"recipient 251",
         {{"RCPT", "251 2.1.5 will forward\r\n"}},
         "250 ok\r\n",
         true,
         "MAIL FROM:<a@example.org>\r\nRCPT TO:<b@example.org>\r\nDATA\r\n"},
        {"sender refused",
         {{"MAIL", "550 5.7.1 no\r\n"}},
         "250 ok\r\n",
         false,
         "MAIL FROM:<a@example.org>\r\nRSET\r\nQUIT\r\n"},
        {"recipient refused",
         {{"RCPT", "553 5.1.3 bad\r\n"}},
         "250 ok\r\n",
         false,
         "MAIL FROM:<a@example.org>\r\nRCPT TO:<b@example.org>\r\nRSET\r\nQUIT\r\n"},
        {"data refused",
         {{"DATA", "503 5.5.1 no\r\n"}},
         "250 ok\r\n",
         false,
         "MAIL FROM:<a@example.org>\r\nRCPT TO:<b@example.org>\r\nDATA\r\nRSET\r\nQUIT\r\n"},
        {"message refused",
         {},
         "552 5.3.4 too big\r\n",
         false,
         "MAIL FROM:<a@example.org>\r\nRCPT TO:<b@example.org>\r\nDATA\r\n"},
        // A multi-line refusal is one reply.
        {"multi-line refusal",
         {{"MAIL", "550-first\r\n550-second\r\n550 last\r\n"}},
         "250 ok\r\n",
         false,
         "MAIL FROM:<a@example.org>\r\nRSET\r\nQUIT\r\n"},
    };
    for (const CCase& c : cases) {
        CScript script;
        script.greeting = "220-mail.example\r\n220-says\r\n220 hello\r\n";
        script.replies = c.replies;
        script.dataEndReply = c.dataEnd;
        CScriptedSmtpServer server(script);
        SetServer(server.Address());
        VARIANT_BOOL result = 0;
        ASSERT_EQ(Send("a@example.org", "b@example.org", "S", "x", result), S_OK) << c.name;
        EXPECT_EQ(result, c.accepted ? VARIANT_TRUE : VARIANT_FALSE) << c.name;
        const std::string transcript = server.Transcript();
        const std::string helo = "HELO " + HostName() + "\r\n";
        ASSERT_EQ(transcript.substr(0, helo.size()), helo) << c.name;
        const std::string rest = transcript.substr(helo.size());
        EXPECT_EQ(rest.substr(0, c.tail.size()), c.tail) << c.name;
        if (c.tail.find("QUIT") == std::string::npos) {
            // The message went; what follows it depends on the final reply.
            EXPECT_EQ(rest.substr(c.tail.size(), message.size()), message) << c.name;
            const std::string after =
                c.accepted ? "\r\n\r\nx\r\n.\r\nQUIT\r\n" : "\r\n\r\nx\r\n.\r\nRSET\r\nQUIT\r\n";
            EXPECT_EQ(rest.substr(rest.size() - after.size()), after) << c.name;
        } else {
            EXPECT_EQ(rest, c.tail) << c.name;
        }
    }
}

TEST_F(SendMailTest, UnreachableOrUnwelcomingServerIsAnAutomationError) {
    CComVariant result;
    EXCEPINFO excep{};

    // No setting at all, a setting of another type, and one too long for its buffer.
    ASSERT_EQ(Invoke({"a@example.org", "b@example.org", "S", "B"}, result, excep),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, DISP_E_EXCEPTION);
    EXPECT_STREQ(excep.bstrDescription, "Unable to read mail server from registry.");
    EXPECT_STREQ(excep.bstrSource, "QTRWeb.SendMail");
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    CScriptedSmtpServer server(CScript{});
    SetServer(server.Address(), REG_EXPAND_SZ);
    ASSERT_EQ(Invoke({"a@example.org", "b@example.org", "S", "B"}, result, excep),
              DISP_E_EXCEPTION);
    EXPECT_STREQ(excep.bstrDescription, "Unable to read mail server from registry.");
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SetServer(std::string(200, 'h'));
    ASSERT_EQ(Invoke({"a@example.org", "b@example.org", "S", "B"}, result, excep),
              DISP_E_EXCEPTION);
    EXPECT_STREQ(excep.bstrDescription, "Unable to read mail server from registry.");
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    EXPECT_EQ(server.Connections(), 0);

    // Nobody listening.
    int closedPort = 0;
    {
        CScriptedSmtpServer gone(CScript{});
        closedPort = gone.Port();
    }
    SetServer("127.0.0.1:" + std::to_string(closedPort));
    ASSERT_EQ(Invoke({"a@example.org", "b@example.org", "S", "B"}, result, excep),
              DISP_E_EXCEPTION);
    EXPECT_STREQ(excep.bstrDescription, "Unable to connect to mail server");
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);

    // A greeting other than 220 closes at once; a refused HELO is answered with QUIT.
    CScript busy;
    busy.greeting = "554 5.3.2 too busy\r\n";
    CScriptedSmtpServer busyServer(busy);
    SetServer(busyServer.Address());
    VARIANT_BOOL sent = 0;
    EXPECT_EQ(Send("a@example.org", "b@example.org", "S", "B", sent), DISP_E_EXCEPTION);
    EXPECT_EQ(sent, VARIANT_FALSE);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    CComBSTR description;
    info->GetDescription(&description);
    EXPECT_EQ(description.ToString(), "Unable to connect to mail server");
    info.Release();
    EXPECT_EQ(busyServer.Transcript(), "");

    CScript rude;
    rude.replies["HELO"] = "501 5.5.4 go away\r\n";
    CScriptedSmtpServer rudeServer(rude);
    SetServer("localhost:" + std::to_string(rudeServer.Port()));
    EXPECT_EQ(Send("a@example.org", "b@example.org", "S", "B", sent), DISP_E_EXCEPTION);
    EXPECT_EQ(rudeServer.Transcript(), "HELO " + HostName() + "\r\nQUIT\r\n");
    GetErrorInfo(0, &info);
    info.Release();

    EXPECT_EQ(m_mail->SendMail(CComBSTR("a"), CComBSTR("b"), CComBSTR("c"), CComBSTR("d"), nullptr),
              E_POINTER);
}

TEST_F(SendMailTest, LineBreaksInHeaderFieldsSendNothing) {
    CScriptedSmtpServer server(CScript{});
    SetServer(server.Address());
    const std::vector<std::vector<std::string>> attempts = {
        {"a@example.org\r\nBcc: victim@example.org", "b@example.org", "S", "B"},
        {"a@example.org", "b@example.org\nc@example.org", "S", "B"},
        {"a@example.org", "b@example.org", "Hi\r\nBcc: victim@example.org", "B"},
        {"a@example.org", "b@example.org", "trailing\r", "B"},
        // A second bracket would add parameters of the writer's own to the envelope.
        {"a@example.org> SIZE=1 <x@example.org", "b@example.org", "S", "B"},
        {"a@example.org", "b@example.org> NOTIFY=NEVER <c@example.org", "S", "B"},
        {"a@example.org", "Joe <b@example.org> <c@example.org>", "S", "B"},
    };
    for (const auto& attempt : attempts) {
        VARIANT_BOOL result = 123;
        EXPECT_EQ(Send(attempt[0], attempt[1], attempt[2], attempt[3], result), S_OK);
        EXPECT_EQ(result, VARIANT_FALSE);
    }
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_EQ(server.Transcript(), "");

    // Line breaks in the body are the body's own.
    VARIANT_BOOL result = 0;
    EXPECT_EQ(Send("a@example.org", "b@example.org", "S", "one\r\ntwo", result), S_OK);
    EXPECT_EQ(result, VARIANT_TRUE);
    EXPECT_EQ(server.Connections(), 1);

    // Through IDispatch the result is the automation Boolean.
    CComVariant value;
    EXCEPINFO excep{};
    ASSERT_EQ(Invoke({"a@example.org", "b@example.org", "S", "B"}, value, excep), S_OK);
    EXPECT_EQ(value.vt, VT_BOOL);
    EXPECT_EQ(value.boolVal, -1);
    ASSERT_EQ(Invoke({"a@example.org", "b\n@example.org", "S", "B"}, value, excep), S_OK);
    EXPECT_EQ(value.boolVal, 0);
}

TEST_F(SendMailTest, ScriptsMayPassAVariableForTheResult) {
    CScriptedSmtpServer server(CScript{});
    SetServer(server.Address());
    CComPtr<IDispatch> dispatch;
    ASSERT_EQ(m_mail.QueryInterface(&dispatch), S_OK);
    VARIANT_BOOL sent = 0;
    VARIANT variable;
    VariantInit(&variable);
    variable.vt = VT_BYREF | VT_BOOL;
    variable.pboolVal = &sent;
    // Last first: the variable, then body, subject, to, from.
    std::vector<CComVariant> texts = {CComVariant("B"), CComVariant("S"),
                                      CComVariant("b@example.org"), CComVariant("a@example.org")};
    std::vector<VARIANT> args = {variable};
    args.insert(args.end(), texts.begin(), texts.end());
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    ASSERT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(sent, VARIANT_TRUE);
    EXPECT_EQ(server.Connections(), 1);
}
