#pragma once
// One request of a visitor as the service sees it, and its answer; the FastCGI front end
// fills the one and sends the other, tests do the same without a web server.

#include <cstddef>
#include <string>

class IRequestBody {
public:
    // Up to `size` bytes of the body: the count, 0 at its end, -1 on a failure.
    virtual std::ptrdiff_t Read(char* buffer, std::size_t size) = 0;

protected:
    ~IRequestBody() = default;
};

struct CWebRequest {
    std::string method;           // "GET", "POST", ...
    std::string path;             // the path of the address, without the query
    std::string query;            // after '?', still encoded
    std::string contentType;      // of the body
    long long contentLength = -1; // -1 when not given
    IRequestBody* body = nullptr;
};

struct CWebResponse {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string location; // for redirects
    bool noStore = false; // the answer must not be cached (it depends on the moment)
    std::string body;
};
