#pragma once
// A small HTTP/1.1 client for tests of servers on this machine: one connection that is kept
// alive across requests, Content-Length bodies only (what nginx sends for our pages).

#include <map>
#include <string>

namespace testsupport {

struct CHttpResponse {
    int status = 0;                             // 0 when nothing (or nothing whole) came back
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

class CHttpClient {
public:
    explicit CHttpClient(int port) : m_port(port) {}
    ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    CHttpResponse Get(const std::string& target);
    CHttpResponse Post(const std::string& target, const std::string& contentType,
                       const std::string& body);
    // Sends the request line, headers and `body` without reading an answer (for a request
    // whose end is never sent); false when the connection failed.
    bool SendOnly(const std::string& head, const std::string& body);
    void Close();

private:
    CHttpResponse Exchange(const std::string& request);
    bool Connect();

    int m_port;
    int m_fd = -1;
};

// A loopback port nothing listens on now.
int FreeLoopbackPort();

} // namespace testsupport
