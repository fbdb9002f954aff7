#pragma once
// A multipart/form-data body taken apart as it arrives: the parser is fed the body in
// pieces of any size and hands each part's headers and data to a sink, never holding more
// than one header block and a boundary's length of data. So an upload of any size goes to
// disk in pieces, and a body that never ends costs nothing but the wait.

#include <cstddef>
#include <string>
#include <string_view>

struct CMultipartPart {
    std::string name;     // the form field's name
    std::string fileName; // as the browser sent it; only when hasFileName
    bool hasFileName = false;
    std::string contentType;
};

class IMultipartSink {
public:
    // Each returns false, with the reason in `error`, to stop the parse.
    virtual bool PartBegin(const CMultipartPart& part, std::string& error) = 0;
    virtual bool PartData(std::string_view data, std::string& error) = 0;
    virtual bool PartEnd(std::string& error) = 0;

protected:
    ~IMultipartSink() = default;
};

class CMultipartParser {
public:
    static constexpr std::size_t MAX_HEADER_BYTES = 8192;
    static constexpr std::size_t MAX_PARTS = 64;

    CMultipartParser(std::string_view boundary, IMultipartSink& sink);

    // Takes the next piece of the body; false when the body is malformed or the sink refused
    // (Error() tells). Bytes after the closing boundary are ignored.
    bool Feed(std::string_view data);
    // The body has ended; false unless the closing boundary was seen.
    bool Finish();
    bool IsDone() const { return m_state == EState::Done; }
    const std::string& Error() const { return m_error; }

private:
    enum class EState { Preamble, AfterBoundary, Headers, Body, Done, Failed };

    bool Run();
    bool Fail(std::string error);
    bool ParseHeaders(std::string_view block, CMultipartPart& part);
    void Compact();

    IMultipartSink& m_sink;
    std::string m_delimiter; // CR LF "--" boundary
    std::string m_buffer;
    std::size_t m_pos = 0;
    EState m_state = EState::Preamble;
    std::size_t m_parts = 0;
    std::string m_error;
};
