#include "FastCgiServer.h"

#include "SitePage.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcgiapp.h>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class CFcgiBody : public IRequestBody {
public:
    explicit CFcgiBody(FCGX_Stream* in) : m_in(in) {}
    std::ptrdiff_t Read(char* buffer, std::size_t size) override {
        const int n =
            FCGX_GetStr(buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), m_in);
        return n < 0 ? -1 : n;
    }

private:
    FCGX_Stream* m_in;
};

std::string Param(FCGX_Request& request, const char* name) {
    const char* value = FCGX_GetParam(name, request.envp);
    return value ? value : "";
}

void Send(FCGX_Request& request, const CWebRequest& asked, const CWebResponse& response) {
    std::string head =
        "Status: " + std::to_string(response.status) + " " + StatusText(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    if (!response.location.empty()) {
        head += "Location: " + response.location + "\r\n";
    }
    if (response.noStore) {
        head += "Cache-Control: no-store\r\n";
    }
    head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n\r\n";
    FCGX_PutStr(head.data(), static_cast<int>(head.size()), request.out);
    if (asked.method != "HEAD") {
        FCGX_PutStr(response.body.data(), static_cast<int>(response.body.size()), request.out);
    }
}

std::atomic<int> g_busy{0};

void Serve(CVisitorService& service, int socket) {
    CVisitorSession session(service.Settings());
    FCGX_Request request;
    FCGX_InitRequest(&request, socket, 0);
    for (;;) {
        // No lock around it: with kept connections, a thread waits in here for the next
        // request on its own connection, and must not keep the others from accepting.
        if (FCGX_Accept_r(&request) < 0) {
            break;
        }
        ++g_busy;
        CFcgiBody body(request.in);
        CWebRequest asked;
        asked.method = Param(request, "REQUEST_METHOD");
        asked.path = Param(request, "DOCUMENT_URI");
        if (asked.path.empty()) {
            asked.path = Param(request, "SCRIPT_NAME");
        }
        asked.query = Param(request, "QUERY_STRING");
        asked.contentType = Param(request, "CONTENT_TYPE");
        const std::string length = Param(request, "CONTENT_LENGTH");
        if (!length.empty() && length.size() <= 18 &&
            length.find_first_not_of("0123456789") == std::string::npos) {
            asked.contentLength = std::stoll(length);
        }
        asked.body = &body;
        CWebResponse response;
        service.Handle(asked, response, session);
        Send(request, asked, response);
        // What the answer did not need of the body is read off, so the connection stays in step.
        char skip[65536];
        while (FCGX_GetStr(skip, sizeof skip, request.in) > 0) {
        }
        FCGX_Finish_r(&request);
        --g_busy;
    }
    FCGX_Free(&request, 1);
}

} // namespace

bool RunFastCgiServer(CVisitorService& service, const CFastCgiOptions& options,
                      std::string& error) {
    if (FCGX_Init() != 0) {
        error = "the FastCGI library cannot start";
        return false;
    }
    const bool unixSocket = !options.socket.empty() && options.socket.front() == '/';
    if (unixSocket) {
        ::unlink(options.socket.c_str()); // left by a copy that was killed
    }
    const int socket = FCGX_OpenSocket(options.socket.c_str(), 512);
    if (socket < 0) {
        error = "cannot listen on " + options.socket;
        return false;
    }
    if (unixSocket) {
        // The socket offers nothing that the public site does not: nginx's workers, whatever
        // user they run as, may connect.
        ::chmod(options.socket.c_str(), 0666);
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const CVisitorSettings& settings = service.Settings();
    CDownloadFlusher flusher(
        service.Counter(),
        [&settings]() {
            auto manager = std::make_unique<CDorvaleDatabaseManager>(false);
            manager->SetDataSourceName(settings.dataSourceName);
            manager->SetLogFilename(settings.databaseLog);
            return manager->Open(nullptr, nullptr) ? std::move(manager) : nullptr;
        },
        options.flushInterval);

    std::vector<std::thread> workers;
    for (int i = 0; i < options.threads; ++i) {
        workers.emplace_back(Serve, std::ref(service), socket);
    }
    if (!options.pidFile.empty()) {
        std::ofstream(options.pidFile, std::ios::trunc) << ::getpid() << "\n";
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    // No new requests; the ones under way get a few seconds to end.
    ::shutdown(socket, SHUT_RDWR);
    for (int wait = 0; wait < 100 && g_busy.load() > 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const bool flushed = flusher.Stop();
    if (!flushed) {
        std::fprintf(stderr, "dorvale-web: %lld download counts could not be written\n",
                     service.Counter().Pending());
    }
    if (unixSocket) {
        ::unlink(options.socket.c_str());
    }
    if (!options.pidFile.empty()) {
        ::unlink(options.pidFile.c_str());
    }
    // Workers idle on a kept-alive connection from nginx are not waited for.
    for (std::thread& worker : workers) {
        worker.detach();
    }
    return true;
}
