#include "IndexService.h"

#include "Fd.h"
#include "IndexServer.h"
#include "SearchPage.h"
#include "Settings.h"
#include "Text.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t HEAD_LIMIT = 16 * 1024;
constexpr std::size_t BODY_LIMIT = 1024 * 1024;
constexpr int CLIENT_TIMEOUT_S = 10;
constexpr std::size_t MAX_PER_PAGE = 100;
constexpr std::size_t MAX_PAGE = 1000;

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    default:
        return "Internal Server Error";
    }
}

CHttpAnswer Plain(int status, const std::string& text) {
    CHttpAnswer answer;
    answer.status = status;
    answer.body = text;
    return answer;
}

std::string Now() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    char text[32] = {};
    gmtime_r(&now, &parts);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

void Log(const std::string& line) {
    std::fprintf(stderr, "%s %s\n", Now().c_str(), line.c_str());
}

// Reads one request; false with the status to answer when it is bad.
bool ReadRequest(int connection, CHttpRequest& request, int& status) {
    std::string raw;
    char buffer[8192];
    std::size_t headEnd = std::string::npos;
    while ((headEnd = raw.find("\r\n\r\n")) == std::string::npos) {
        if (raw.size() > HEAD_LIMIT) {
            status = 413;
            return false;
        }
        const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) {
            status = 0; // gone or silent: nothing to answer
            return false;
        }
        raw.append(buffer, static_cast<std::size_t>(n));
    }
    status = 400;
    long long length = 0;
    if (!ParseRequestHead(std::string_view(raw).substr(0, headEnd), request, length)) {
        return false;
    }
    if (static_cast<unsigned long long>(length) > BODY_LIMIT) {
        status = 413;
        return false;
    }
    request.body = raw.substr(headEnd + 4);
    while (request.body.size() < static_cast<std::size_t>(length)) {
        const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return false;
        }
        request.body.append(buffer, static_cast<std::size_t>(n));
    }
    request.body.resize(static_cast<std::size_t>(length));
    return true;
}

} // namespace

bool ParseRequestHead(std::string_view head, CHttpRequest& request, long long& length) {
    length = 0;
    const std::size_t lineEnd = std::min(head.find("\r\n"), head.size());
    const std::string_view line = head.substr(0, lineEnd);
    const std::size_t space = line.find(' ');
    const std::size_t second = space == std::string::npos ? space : line.find(' ', space + 1);
    if (second == std::string::npos || space == 0) {
        return false;
    }
    request.method = std::string(line.substr(0, space));
    const std::string_view target = line.substr(space + 1, second - space - 1);
    const std::size_t question = target.find('?');
    request.path = std::string(target.substr(0, question));
    request.query = question == std::string::npos ? "" : std::string(target.substr(question + 1));
    for (std::size_t at = lineEnd + 2; at < head.size();) {
        const std::size_t next = std::min(head.find("\r\n", at), head.size());
        const std::string_view header = head.substr(at, next - at);
        at = next + 2;
        const std::size_t colon = header.find(':');
        if (colon == std::string::npos ||
            !base::EqualsNoCase(header.substr(0, colon), "content-length")) {
            continue;
        }
        std::string_view value = header.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') {
            value.remove_prefix(1);
        }
        if (value.empty() || value.size() > 12 ||
            value.find_first_not_of("0123456789") != std::string_view::npos) {
            return false;
        }
        length = std::stoll(std::string(value));
    }
    return true;
}

CQueryFile ReadQueryFile(const std::string& file) {
    CQueryFile query;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (base::StartsWithNoCase(line, "CiScope=")) {
            query.scopes.clear();
            std::size_t start = 8;
            while (start <= line.size()) {
                std::size_t end = line.find(',', start);
                if (end == std::string::npos) {
                    end = line.size();
                }
                std::string scope = line.substr(start, end - start);
                scope.erase(0, scope.find_first_not_of(' '));
                scope.erase(scope.find_last_not_of(' ') + 1);
                if (!scope.empty()) {
                    query.scopes.push_back(scope);
                }
                start = end + 1;
            }
        } else if (base::StartsWithNoCase(line, "CiMaxRecordsPerPage=")) {
            const long perPage = std::atol(line.c_str() + 20);
            query.perPage = static_cast<std::size_t>(std::clamp(perPage, 1L, 100L));
        }
    }
    return query;
}

std::map<std::string, std::string> ParseQueryString(const std::string& query) {
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start < query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        const std::string field = query.substr(start, end - start);
        const std::size_t equals = field.find('=');
        fields.emplace(DecodeFormText(field.substr(0, equals)),
                       equals == std::string::npos ? "" : DecodeFormText(field.substr(equals + 1)));
        start = end + 1;
    }
    return fields;
}

CIndexService::CIndexService(CIndexServiceOptions options) : m_options(std::move(options)) {}

bool CIndexService::Listen(std::string& error) {
    base::CFd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<std::uint16_t>(m_options.port));
    const int yes = 1;
    if (!listener.IsOpen() || inet_pton(AF_INET, m_options.address.c_str(), &at.sin_addr) != 1 ||
        setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        bind(listener.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        listen(listener.Get(), 16) != 0) {
        error = "cannot listen on " + m_options.address + ":" + std::to_string(m_options.port) +
                ": " + std::strerror(errno);
        return false;
    }
    socklen_t size = sizeof at;
    getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&at), &size);
    m_port = ntohs(at.sin_port);
    m_listener = listener.Release();
    return true;
}

void CIndexService::Serve(const volatile std::sig_atomic_t& stop) {
    auto nextScan = std::chrono::steady_clock::now();
    while (stop == 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextScan) {
            std::string report;
            (void)Reindex(report);
            Log(report);
            nextScan =
                std::chrono::steady_clock::now() + std::chrono::seconds(m_options.rescanSeconds);
        }
        pollfd wait{m_listener, POLLIN, 0};
        // Short waits, so that a stop request is seen soon.
        if (poll(&wait, 1, 500) <= 0) {
            continue;
        }
        base::CFd connection(accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC));
        if (connection.IsOpen()) {
            Answer(connection.Get());
        }
    }
    close(m_listener);
    m_listener = -1;
}

void CIndexService::Answer(int connection) {
    const timeval timeout{CLIENT_TIMEOUT_S, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    CHttpRequest request;
    int status = 0;
    CHttpAnswer answer;
    if (ReadRequest(connection, request, status)) {
        answer = Handle(request);
    } else if (status != 0) {
        answer = Plain(status, std::string(Reason(status)) + "\n");
    } else {
        return;
    }
    const std::string head = "HTTP/1.0 " + std::to_string(answer.status) + " " +
                             Reason(answer.status) + "\r\nContent-Type: " + answer.type +
                             "\r\nContent-Length: " + std::to_string(answer.body.size()) +
                             "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    (void)(base::SendAll(connection, head) &&
           (request.method == "HEAD" || base::SendAll(connection, answer.body)));
}

std::vector<CIndexRootEntry> CIndexService::WantedRoots(std::vector<std::string>& skipped) const {
    std::vector<CIndexRootEntry> stored;
    LoadStoredRoots(m_options.indexDir, stored);
    return RootsToIndex(ListWebRoots(), stored, ListMarkedRoots(), skipped);
}

bool CIndexService::Reindex(std::string& report) {
    std::vector<std::string> skipped;
    const std::vector<CIndexRootEntry> roots = WantedRoots(skipped);
    CIndexRun run;
    std::string error;
    if (!UpdateIndex(m_options.indexDir, roots, run, error)) {
        report = error;
        return false;
    }
    m_indexed = roots;
    m_everIndexed = true;
    report = "Indexed " + std::to_string(roots.size()) +
             " virtual roots: " + std::to_string(run.files) + " files, " +
             std::to_string(run.read) + " read anew, " + std::to_string(run.removed) + " removed";
    for (const CIndexRootEntry& root : roots) {
        report += "\nindexed " + root.root + " (" + root.path + ")";
    }
    for (const std::string& why : skipped) {
        report += "\nnot indexed " + why;
    }
    return true;
}

CHttpAnswer CIndexService::Update(const std::string& body) {
    const std::vector<CIndexRootEntry> posted = ParseUpdateForm(body);
    std::string error;
    if (posted.empty()) {
        return Plain(400, "The form names no virtual root (PROOT_ fields).\n");
    }
    if (!SaveStoredRoots(m_options.indexDir, posted, error)) {
        Log(error);
        return Plain(500, error + "\n");
    }
    std::string report;
    const bool done = Reindex(report);
    Log("update: " + report);
    return Plain(done ? 200 : 500, report + "\n");
}

CHttpAnswer CIndexService::Search(const std::string& query) {
    std::string installDir = m_options.installDir;
    if (installDir.empty()) {
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::InstallDir,
                         installDir);
    }
    const CQueryFile queryFile = ReadQueryFile(installDir + "/Web/QueryHit.idq");
    const auto fields = ParseQueryString(query);
    const auto words = fields.find("q");
    const std::string text = words == fields.end() ? "" : words->second;
    std::size_t page = 1;
    if (const auto asked = fields.find("page"); asked != fields.end()) {
        page = static_cast<std::size_t>(
            std::clamp(std::atol(asked->second.c_str()), 1L, static_cast<long>(MAX_PAGE)));
    }
    const std::size_t perPage = std::min(queryFile.perPage, MAX_PER_PAGE);
    std::vector<std::string> skipped;
    if (!m_everIndexed || WantedRoots(skipped) != m_indexed) {
        std::string report;
        (void)Reindex(report);
        Log(report);
    }
    CSearchResult result;
    std::string error;
    if (!text.empty() && !SearchIndex(m_options.indexDir, text, queryFile.scopes,
                                      (page - 1) * perPage, perPage, result, error)) {
        Log(error);
        error = "The search could not be run; please try again later.";
    }
    CHttpAnswer answer;
    answer.type = "text/html; charset=utf-8";
    answer.body = RenderSearchPage(text, result, page, perPage, error);
    return answer;
}

CHttpAnswer CIndexService::Handle(const CHttpRequest& request) {
    const std::string path = base::LowerAscii(request.path);
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (path == base::LowerAscii(INDEX_LIST_PAGE)) {
        if (!get) {
            return Plain(405, "Use GET.\n");
        }
        std::vector<CIndexRootEntry> stored;
        LoadStoredRoots(m_options.indexDir, stored);
        return Plain(200, RootListText(ListWebRoots(), stored));
    }
    if (path == base::LowerAscii(INDEX_ADMIN_PAGE)) {
        return request.method == "POST" ? Update(request.body) : Plain(405, "Use POST.\n");
    }
    if (path == base::LowerAscii(INDEX_SEARCH_PAGE)) {
        return get ? Search(request.query) : Plain(405, "Use GET.\n");
    }
    return Plain(404, "Not found.\n");
}
