#include "IndexServer.h"

#include "Fd.h"
#include "IISMetabaseManager.h"
#include "Settings.h"
#include "Text.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using prompt::EButtons;
using prompt::EIcon;

namespace {

constexpr int ATTEMPTS = 3;
constexpr int ATTEMPT_WAIT_MS = 5000;
constexpr std::size_t ROOT_LINE_BYTES = 519;
constexpr long REQUEST_TIMEOUT_S = 120;
// An answer larger than this is no root list or update result.
constexpr std::size_t ANSWER_LIMIT = 16 * 1024 * 1024;
constexpr char AGENT[] = "Dorvale Admin";
constexpr char NTLM_KEY[] = "Software\\Microsoft\\Internet Explorer\\Security\\NTLM";

// The messages' texts: one number (%d or %u) and, for some, the path (%s) after it.
std::string Printf(const char* format, int number, const std::string& text = {}) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format, number, text.c_str());
    return buffer;
}

std::string WithSlash(std::string directory) {
    if (!directory.empty() && directory.back() != '/') {
        directory += '/';
    }
    return directory;
}

std::string TempDirectory() {
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    return WithSlash(ec ? std::string("/tmp") : temp.string());
}

// Writes a file anew. A name in a shared temporary directory must not lead elsewhere, so a
// symbolic link put there in its place is refused rather than followed.
bool WriteNew(const std::string& path, const std::string& bytes) {
    base::CFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    return fd.IsOpen() && base::WriteAll(fd.Get(), bytes) && fd.Close();
}

bool IsHostedLocally(const AreaRecord& area) {
    return (area.Flags & AREA_HOSTED_LOCALLY) != 0;
}

size_t Collect(char* data, size_t size, size_t count, void* to) {
    auto* answer = static_cast<std::string*>(to);
    if (answer->size() + size * count > ANSWER_LIMIT) {
        return 0; // ends the transfer with an error
    }
    answer->append(data, size * count);
    return size * count;
}

struct CCurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

// The HTTP client of the exchange: one handle that keeps its connection to the web server
// alive between requests, as the design's internet and connection handles did.
class CIndexServerClient {
public:
    CIndexServerClient(prompt::IPrompt& prompt, const CIndexServerOptions& options)
        : m_prompt(prompt),
          m_tempDirectory(options.tempDirectory.empty() ? TempDirectory()
                                                        : WithSlash(options.tempDirectory)),
          m_wait(options.wait) {
        // Written whenever the client is made, as the design does; nothing here reads them.
        (void)WriteRegistryText(HKEY_CURRENT_USER, NTLM_KEY, "DLLFile", "winsspi.dll");
        (void)WriteRegistryNumber(HKEY_CURRENT_USER, NTLM_KEY, "Flags", 8);
    }

    void Run(const std::string& host, const std::vector<CIndexRoot>& toIndex,
             const std::string& logDirectory);

private:
    void Warn(const std::string& text) {
        m_prompt.Message(text, "Warning", EButtons::Ok, EIcon::Information);
    }
    bool Open();
    bool Connect(const std::string& host);
    enum class EStep { Done, Send, Query };
    EStep Send(curl_slist* headers, std::string& answer, long& status, int& code);
    bool Get(const std::string& path, const std::string& file);
    bool Post(const std::string& path, const std::string& body, const std::string& file);
    void Wait(int milliseconds) {
        if (m_wait) {
            m_wait(milliseconds);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        }
    }

    prompt::IPrompt& m_prompt;
    std::string m_tempDirectory;
    std::function<void(int)> m_wait;
    std::unique_ptr<CURL, CCurlDeleter> m_curl;
    std::string m_base; // "http://host"
};

bool CIndexServerClient::Open() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        Warn(Printf("InternetOpen failed: %d\n", CURLE_FAILED_INIT));
        return false;
    }
    m_curl.reset(curl_easy_init());
    if (!m_curl) {
        Warn(Printf("InternetOpen failed: %d\n", CURLE_OUT_OF_MEMORY));
        return false;
    }
    CURL* curl = m_curl.get();
    curl_easy_setopt(curl, CURLOPT_USERAGENT, AGENT);
    curl_easy_setopt(curl, CURLOPT_PROXY, ""); // a direct connection, whatever the environment
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, REQUEST_TIMEOUT_S);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    return true;
}

bool CIndexServerClient::Connect(const std::string& host) {
    // The connection itself is made by the first request, as the design's client did; what
    // can fail here is the address.
    CURLU* url = curl_url();
    const std::string base = "http://" + host;
    const CURLUcode result =
        url == nullptr ? CURLUE_OUT_OF_MEMORY : curl_url_set(url, CURLUPART_URL, base.c_str(), 0);
    curl_url_cleanup(url);
    if (host.empty() || result != CURLUE_OK) {
        m_curl.reset();
        Warn(Printf("InternetConnect failed: %d\n", host.empty() ? CURLUE_NO_HOST : result));
        return false;
    }
    m_base = base;
    return true;
}

// The request set up on the handle, sent with `headers` (and no-cache ones) added. The step
// that failed, with curl's code for it, is for the caller's message.
CIndexServerClient::EStep CIndexServerClient::Send(curl_slist* headers, std::string& answer,
                                                   long& status, int& code) {
    CURL* curl = m_curl.get();
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    const CURLcode sent = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    if (sent != CURLE_OK) {
        code = sent;
        return EStep::Send;
    }
    const CURLcode asked = curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    code = asked;
    return asked == CURLE_OK ? EStep::Done : EStep::Query;
}

bool CIndexServerClient::Get(const std::string& path, const std::string& file) {
    CURL* curl = m_curl.get();
    const std::string url = m_base + path;
    if (curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) != CURLE_OK ||
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) != CURLE_OK) {
        Warn(Printf("HttpOpenRequest failed: %d, URL = %s\n", CURLE_URL_MALFORMAT, path));
        return false;
    }
    std::string answer;
    long status = 0;
    int code = 0;
    switch (Send(nullptr, answer, status, code)) {
    case EStep::Send:
        Warn(Printf("HttpSendRequest failed: %d, URL = %s\n", code, path));
        return false;
    case EStep::Query:
        Warn(Printf("HttpQueryInfo failed: %d, URL = %s\n", code, path));
        return false;
    case EStep::Done:
        break;
    }
    if (status != 200) {
        Warn(Printf("HttpQueryInfo returned status = %u", static_cast<int>(status)));
        return false;
    }
    return WriteNew(m_tempDirectory + file, answer);
}

bool CIndexServerClient::Post(const std::string& path, const std::string& body,
                              const std::string& file) {
    CURL* curl = m_curl.get();
    const std::string url = m_base + path;
    if (curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) != CURLE_OK) {
        Warn(Printf("HttpOpenRequest failed: %d\n", CURLE_URL_MALFORMAT));
        return false;
    }
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    const std::string length = Printf("content-length: %d", static_cast<int>(body.size()));
    curl_slist* headers = curl_slist_append(nullptr, length.c_str());
    headers = curl_slist_append(headers, "content-Type: application/x-www-form-urlencoded");
    std::string answer;
    long status = 0;
    int code = 0;
    switch (Send(headers, answer, status, code)) {
    case EStep::Send:
        Warn(Printf("HttpSendRequest failed: %d\n", code));
        return false;
    case EStep::Query:
        Warn(Printf("HttpQueryInfo failed: %d\n", code));
        return false;
    case EStep::Done:
        break;
    }
    return status == 200 && WriteNew(m_tempDirectory + file, answer);
}

void CIndexServerClient::Run(const std::string& host, const std::vector<CIndexRoot>& toIndex,
                             const std::string& logDirectory) {
    if (!Open() || !Connect(host)) {
        return;
    }
    std::vector<CIndexRoot> reported;
    for (int attempt = 0; attempt < ATTEMPTS && reported.empty(); ++attempt) {
        if (attempt > 0) {
            Wait(ATTEMPT_WAIT_MS);
        }
        // A failed fetch leaves the file of an earlier run, which is read all the same.
        (void)Get(INDEX_LIST_PAGE, "virtualroots.txt");
        reported = ReadIndexRoots(m_tempDirectory + "virtualroots.txt");
    }
    if (reported.empty()) {
        m_curl.reset();
        m_prompt.Message("Unable to get virtual root list from Index Server.", "Error",
                         EButtons::Ok, EIcon::Error);
        return;
    }
    const std::string body = BuildIndexForm(reported, toIndex);
    (void)WriteNew(logDirectory + "post.log", body);
    (void)Post(INDEX_ADMIN_PAGE, body, "result.txt");
    m_curl.reset();
}

} // namespace

std::string EncodeFormText(const std::string& text) {
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9')) {
            encoded += c;
        } else if (c == ' ') {
            encoded += '+';
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            encoded += hex;
        }
    }
    return encoded;
}

std::string BuildIndexForm(const std::vector<CIndexRoot>& reported,
                           const std::vector<CIndexRoot>& toIndex) {
    auto listed = [](const std::vector<CIndexRoot>& roots, const std::string& name) {
        for (const CIndexRoot& root : roots) {
            if (root.first == name) {
                return true;
            }
        }
        return false;
    };
    std::string body;
    auto field = [&body](const std::string& name, const std::string& value) {
        body += (body.empty() ? "" : "&") + name + "=" + value;
    };
    for (const auto& [root, path] : reported) {
        field("PROOT_" + EncodeFormText(root), EncodeFormText(path));
        if (listed(toIndex, root)) {
            field("INDEX_" + EncodeFormText(root), "");
        }
    }
    for (const auto& [root, path] : toIndex) {
        if (!listed(reported, root)) {
            field("PROOT_" + EncodeFormText(root), EncodeFormText(path));
            field("INDEX_" + EncodeFormText(root), "");
        }
    }
    return body;
}

std::vector<CIndexRoot> ReadIndexRoots(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return ParseIndexRoots(text.str());
}

std::vector<CIndexRoot> ParseIndexRoots(std::string_view text) {
    std::vector<CIndexRoot> roots;
    std::string current;
    std::string line;
    auto take = [&] {
        const std::string lower = base::LowerAscii(line);
        line.clear();
        if (lower.empty()) {
            return;
        }
        if (const std::size_t at = lower.find("vroot="); at != std::string::npos) {
            current = lower.substr(at + 6);
        } else if (const std::size_t path = lower.find("path="); path != std::string::npos) {
            roots.emplace_back(current, lower.substr(path + 5));
        }
    };
    for (const char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            take();
            continue;
        }
        line += c;
        if (line.size() == ROOT_LINE_BYTES) {
            take(); // a longer line goes on as a line of its own
        }
    }
    take();
    return roots;
}

std::string IndexServerHost(const std::string& httpServer) {
    std::string host = base::LowerAscii(httpServer);
    for (const char* scheme : {"http://", "https://"}) {
        if (host.rfind(scheme, 0) == 0) {
            host.erase(0, std::string_view(scheme).size());
            break;
        }
    }
    // The setting is the site's base address; a path after it is no part of the host.
    const std::size_t slash = host.find('/');
    if (slash != std::string::npos) {
        host.erase(slash);
    }
    return host;
}

bool MakeQueryFile(const std::string& templateText, const std::string& scope, std::string& text) {
    const std::size_t at = templateText.find(INDEX_TOKEN);
    if (at == std::string::npos) {
        return false;
    }
    text = templateText;
    text.replace(at, std::string_view(INDEX_TOKEN).size(), scope);
    return true;
}

void UpdateMetabaseIndex(CIISMetabaseManager& web, const std::vector<AreaRecord>& areas,
                         const std::string& installDir, prompt::IPrompt& prompt) {
    std::vector<std::string> scopeSet = {INDEX_SCOPE_ROOT};
    for (const AreaRecord& area : areas) {
        std::string root;
        if (IsHostedLocally(area) && !area.HttpAlias.empty() &&
            web.FindParentRoot(area.HttpAlias, root) &&
            std::find(scopeSet.begin(), scopeSet.end(), root) == scopeSet.end()) {
            scopeSet.push_back(root);
        }
    }
    std::string scope;
    for (const std::string& root : scopeSet) {
        scope += (scope.empty() ? "" : ",") + root;
        // The fixed root need not be a virtual root of the instance: then there is no mark.
        (void)web.SetContentIndexed(root, true);
    }

    const fs::path templateFile = fs::path(installDir) / "templates" / "QueryHit.tmpl";
    std::ifstream in(templateFile, std::ios::binary);
    std::stringstream read;
    read << in.rdbuf();
    if (!in.is_open() || in.bad()) {
        prompt.Message("Unable to open QUERYHIT.TMPL.", "Error", EButtons::Ok, EIcon::Error);
        return;
    }
    std::string text;
    if (!MakeQueryFile(read.str(), scope, text)) {
        prompt.Message("Unable to find %CiScope% token in QUERYHIT.TMPL.", "Error", EButtons::Ok,
                       EIcon::Error);
        return;
    }
    // Written beside and renamed into place: the index server reads the file while it is
    // replaced, and must see the old scope or the new one.
    const fs::path queryFile = fs::path(installDir) / "Web" / "QueryHit.idq";
    const fs::path written = fs::path(queryFile).concat(".new");
    std::error_code ec;
    fs::create_directories(queryFile.parent_path(), ec);
    if (!WriteNew(written.string(), text) || (fs::rename(written, queryFile, ec), ec)) {
        fs::remove(written, ec);
        prompt.Message("Unable to open QUERYHIT.IDQ.", "Error", EButtons::Ok, EIcon::Error);
    }
}

void UpdateRegistryIndex(CIISManagerBase& web, const std::vector<AreaRecord>& areas,
                         const std::string& httpServer, prompt::IPrompt& prompt,
                         const CIndexServerOptions& options) {
    const std::string logDirectory =
        options.logDirectory.empty() ? std::string() : WithSlash(options.logDirectory);
    std::vector<CIndexRoot> toIndex;
    std::string log;
    std::string path;
    unsigned permissions = 0;
    if (web.GetRoot(std::string(INDEX_DETAILS_ROOT) + ",", path, permissions)) {
        toIndex.emplace_back(INDEX_DETAILS_ROOT, path);
        log += std::string(INDEX_DETAILS_ROOT) + "\n";
    }
    for (const AreaRecord& area : areas) {
        std::string root;
        if (!IsHostedLocally(area) || !web.FindParentRoot(area.HttpAlias, root, &path)) {
            continue;
        }
        root = base::LowerAscii(root.substr(0, root.find(',')));
        bool known = false;
        for (const CIndexRoot& entry : toIndex) {
            known = known || entry.first == root;
        }
        if (!known) {
            toIndex.emplace_back(root, path);
            log += root + "\n";
        }
    }
    (void)WriteNew(logDirectory + "add.log", log);

    CIndexServerClient client(prompt, options);
    client.Run(IndexServerHost(httpServer), toIndex, logDirectory);
}

void UpdateIndexServer(CIISManagerBase& web, const std::vector<AreaRecord>& areas,
                       prompt::IPrompt& prompt, const CIndexServerOptions& options) {
    auto* metabase = dynamic_cast<CIISMetabaseManager*>(&web);
    if (web.ServerKind() >= SERVER_KIND_METABASE && metabase != nullptr) {
        std::string installDir;
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::InstallDir,
                         installDir);
        UpdateMetabaseIndex(*metabase, areas, installDir, prompt);
        return;
    }
    std::string httpServer;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::HttpServer, httpServer);
    UpdateRegistryIndex(web, areas, httpServer, prompt, options);
}
