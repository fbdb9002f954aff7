#include "Multipart.h"

#include "FormData.h"
#include "Text.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

// Splits the parameters of a Content-Disposition value ("form-data; name="a"; filename="b"")
// and hands each name (lower case) and value (unquoted) to `take`.
template <class F> bool ForEachParameter(std::string_view value, F take) {
    std::size_t i = value.find(';');
    while (i != std::string_view::npos && i < value.size()) {
        ++i;
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) {
            ++i;
        }
        const std::size_t equals = value.find('=', i);
        if (equals == std::string_view::npos) {
            return TrimBlanks(value.substr(i)).empty();
        }
        const std::string name = base::LowerAscii(TrimBlanks(value.substr(i, equals - i)));
        std::string text;
        i = equals + 1;
        if (i < value.size() && value[i] == '"') {
            ++i;
            bool closed = false;
            for (; i < value.size(); ++i) {
                // Browsers write '"' as %22 and a backslash as itself (a whole Windows
                // path, from older ones), so a backslash escapes nothing here.
                if (value[i] == '"') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    text += value[i];
                }
            }
            if (!closed) {
                return false;
            }
            i = value.find(';', i);
        } else {
            const std::size_t end = value.find(';', i);
            text.assign(TrimBlanks(value.substr(i, end - i)));
            i = end;
        }
        take(name, std::move(text));
    }
    return true;
}

} // namespace

CMultipartParser::CMultipartParser(std::string_view boundary, IMultipartSink& sink)
    : m_sink(sink), m_delimiter("\r\n--") {
    m_delimiter += boundary;
    // The first boundary may open the body without a line end before it.
    m_buffer = CRLF;
}

bool CMultipartParser::Fail(std::string error) {
    m_error = std::move(error);
    m_state = EState::Failed;
    return false;
}

bool CMultipartParser::Feed(std::string_view data) {
    if (m_state == EState::Failed) {
        return false;
    }
    if (m_state == EState::Done) {
        return true;
    }
    m_buffer.append(data);
    const bool ok = Run();
    Compact();
    return ok;
}

bool CMultipartParser::Finish() {
    if (m_state == EState::Failed) {
        return false;
    }
    if (m_state != EState::Done) {
        return Fail("the form's data ended before its last part was complete");
    }
    return true;
}

void CMultipartParser::Compact() {
    if (m_pos > 0 && (m_pos >= m_buffer.size() / 2 || m_state == EState::Done)) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
    if (m_state == EState::Done) {
        m_buffer.clear();
    }
}

bool CMultipartParser::Run() {
    for (;;) {
        const std::string_view pending = std::string_view(m_buffer).substr(m_pos);
        switch (m_state) {
        case EState::Preamble: {
            const std::size_t found = pending.find(m_delimiter);
            if (found == std::string_view::npos) {
                // Keep only what may be the start of the boundary.
                if (pending.size() >= m_delimiter.size()) {
                    m_pos += pending.size() - (m_delimiter.size() - 1);
                }
                return true;
            }
            m_pos += found + m_delimiter.size();
            m_state = EState::AfterBoundary;
            break;
        }
        case EState::AfterBoundary: {
            if (pending.size() < 2) {
                return true;
            }
            if (pending.substr(0, 2) == "--") {
                m_state = EState::Done;
                return true;
            }
            // Spaces may follow a boundary before its line end.
            const std::size_t text = pending.find_first_not_of(" \t");
            if (text == std::string_view::npos) {
                if (pending.size() > 64) {
                    return Fail("the form's data is malformed");
                }
                return true;
            }
            if (pending.size() < text + 2) {
                return true;
            }
            if (pending.substr(text, 2) != CRLF || text > 64) {
                return Fail("the form's data is malformed");
            }
            m_pos += text + 2;
            m_state = EState::Headers;
            break;
        }
        case EState::Headers: {
            std::size_t end;
            std::size_t skip;
            if (pending.substr(0, 2) == CRLF) {
                end = 0;
                skip = 2;
            } else {
                end = pending.find("\r\n\r\n");
                skip = 4;
            }
            if (end == std::string_view::npos || pending.size() < 2) {
                if (pending.size() > MAX_HEADER_BYTES) {
                    return Fail("a part of the form's data has too long a header");
                }
                return true;
            }
            if (end > MAX_HEADER_BYTES) {
                return Fail("a part of the form's data has too long a header");
            }
            if (++m_parts > MAX_PARTS) {
                return Fail("the form's data has too many parts");
            }
            CMultipartPart part;
            if (!ParseHeaders(pending.substr(0, end), part)) {
                return Fail("a part of the form's data has a malformed header");
            }
            m_pos += end + skip;
            std::string error;
            if (!m_sink.PartBegin(part, error)) {
                return Fail(error);
            }
            m_state = EState::Body;
            break;
        }
        case EState::Body: {
            const std::size_t found = pending.find(m_delimiter);
            std::string error;
            if (found == std::string_view::npos) {
                if (pending.size() >= m_delimiter.size()) {
                    const std::size_t safe = pending.size() - (m_delimiter.size() - 1);
                    if (!m_sink.PartData(pending.substr(0, safe), error)) {
                        return Fail(error);
                    }
                    m_pos += safe;
                }
                return true;
            }
            if ((found > 0 && !m_sink.PartData(pending.substr(0, found), error)) ||
                !m_sink.PartEnd(error)) {
                return Fail(error);
            }
            m_pos += found + m_delimiter.size();
            m_state = EState::AfterBoundary;
            break;
        }
        case EState::Done:
        case EState::Failed:
            return m_state == EState::Done;
        }
    }
}

bool CMultipartParser::ParseHeaders(std::string_view block, CMultipartPart& part) {
    bool disposition = false;
    while (!block.empty()) {
        const std::size_t end = block.find(CRLF);
        const std::string_view line = block.substr(0, end);
        block = end == std::string_view::npos ? std::string_view() : block.substr(end + 2);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return false;
        }
        const std::string name = base::LowerAscii(TrimBlanks(line.substr(0, colon)));
        const std::string_view value = TrimBlanks(line.substr(colon + 1));
        if (name == "content-disposition") {
            if (base::LowerAscii(value.substr(0, value.find(';'))) != "form-data") {
                return false;
            }
            disposition = true;
            const bool ok =
                ForEachParameter(value, [&part](const std::string& key, std::string text) {
                    if (key == "name") {
                        part.name = std::move(text);
                    } else if (key == "filename") {
                        part.fileName = std::move(text);
                        part.hasFileName = true;
                    }
                });
            if (!ok) {
                return false;
            }
        } else if (name == "content-type") {
            part.contentType.assign(value);
        }
    }
    return disposition;
}
