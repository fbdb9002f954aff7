#pragma once
// The index server's own small HTTP service, behind nginx under /dorvaleindex/:
//
//   GET  /dorvaleindex/listvirtualroots.idq   the roots it knows ("vroot=" and "path=" lines)
//   POST /dorvaleindex/admin.ida              the update form: the roots to index from now on;
//                                             they are indexed before the answer is sent
//   GET  /dorvaleindex/QueryHit.idq?q=WORDS   the site's search page, within the scope of the
//                                             query file InstallDir/Web/QueryHit.idq
//
// Names are matched without regard to letter case. One request at a time: an update holds
// searches back until its index is written. The roots are also indexed again every
// `rescanSeconds`, and before a search when what is to be indexed has changed (the metabase
// marks roots content-indexed without telling the service).

#include "IndexCatalogue.h"
#include "IndexRoots.h"

#include <csignal>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct CIndexServiceOptions {
    std::string indexDir;
    std::string address = "127.0.0.1";
    int port = 0; // 0: one the system chooses
    int rescanSeconds = 300;
    std::string installDir; // where Web/QueryHit.idq is; empty: the InstallDir setting
};

struct CHttpRequest {
    std::string method;
    std::string path;  // without the query
    std::string query; // after "?"
    std::string body;
};

struct CHttpAnswer {
    int status = 200;
    std::string type = "text/plain; charset=utf-8";
    std::string body;
};

// The request line and headers (without the blank line after them): false when they are
// malformed. `length` is the Content-Length (0 when absent).
bool ParseRequestHead(std::string_view head, CHttpRequest& request, long long& length);

// The query file's settings that the search uses.
struct CQueryFile {
    std::vector<std::string> scopes; // none: everywhere
    std::size_t perPage = 20;
};
// Reads "CiScope=" (roots separated by ",") and "CiMaxRecordsPerPage=" lines. A missing file
// gives the defaults.
CQueryFile ReadQueryFile(const std::string& file);

// The fields of a query string or form ("a=1&b=2"), decoded; the first of a name counts.
std::map<std::string, std::string> ParseQueryString(const std::string& query);

class CIndexService {
public:
    explicit CIndexService(CIndexServiceOptions options);

    // Binds the address and port; false with the reason.
    bool Listen(std::string& error);
    int Port() const { return m_port; }
    // Answers requests until `stop` is set (by a signal handler).
    void Serve(const volatile std::sig_atomic_t& stop);

    CHttpAnswer Handle(const CHttpRequest& request);
    // Indexes the roots to index as they are now; a line for the log or the update's answer.
    bool Reindex(std::string& report);

private:
    CHttpAnswer Update(const std::string& body);
    CHttpAnswer Search(const std::string& query);
    std::vector<CIndexRootEntry> WantedRoots(std::vector<std::string>& skipped) const;
    void Answer(int connection);

    CIndexServiceOptions m_options;
    int m_listener = -1;
    int m_port = 0;
    std::vector<CIndexRootEntry> m_indexed; // what the index was last brought up to
    bool m_everIndexed = false;
};
