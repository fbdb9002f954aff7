#include "Output.h"

#include "CatalogStatements.h"
#include "Text.h"

#include <algorithm>

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                json += escaped;
            } else {
                json += c;
            }
        }
    }
    return json + "\"";
}

std::string JsonNumber(double value) {
    return FormatShortest(value);
}

void CJsonObject::Name(const char* name) {
    if (!m_fields.empty()) {
        m_fields += ',';
    }
    m_fields += JsonString(name) + ":";
}

CJsonObject& CJsonObject::Text(const char* name, std::string_view value) {
    Name(name);
    m_fields += JsonString(value);
    return *this;
}

CJsonObject& CJsonObject::Number(const char* name, double value) {
    Name(name);
    m_fields += JsonNumber(value);
    return *this;
}

CJsonObject& CJsonObject::Bool(const char* name, bool value) {
    Name(name);
    m_fields += value ? "true" : "false";
    return *this;
}

CJsonObject& CJsonObject::Raw(const char* name, const std::string& json) {
    Name(name);
    m_fields += json;
    return *this;
}

void CJsonArrayWriter::Add(const std::string& element) {
    if (!m_first) {
        std::fputc(',', m_out);
    }
    m_first = false;
    std::fputs(element.c_str(), m_out);
}

void CJsonArrayWriter::End() {
    std::fputs("]\n", m_out);
}

std::string JsonArray(const std::vector<std::string>& elements) {
    std::string json = "[";
    for (std::size_t i = 0; i < elements.size(); ++i) {
        json += (i == 0 ? "" : ",") + elements[i];
    }
    return json + "]";
}

namespace {

constexpr std::size_t TABLE_PAGE = 200;

// Display width of UTF-8 text: continuation bytes take no column.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return !base::IsUtf8Continuation(c); }));
}

} // namespace

CTextTable::CTextTable(std::FILE* out, std::vector<std::string> headers)
    : m_out(out), m_headers(std::move(headers)) {}

void CTextTable::Add(std::vector<std::string> row) {
    for (std::string& cell : row) {
        std::replace(cell.begin(), cell.end(), '\n', ' ');
        std::replace(cell.begin(), cell.end(), '\r', ' ');
        std::replace(cell.begin(), cell.end(), '\t', ' ');
    }
    m_rows.push_back(std::move(row));
    if (m_rows.size() >= TABLE_PAGE) {
        Flush();
    }
}

void CTextTable::Flush() {
    std::vector<std::size_t> widths(m_headers.size());
    for (std::size_t c = 0; c < m_headers.size(); ++c) {
        widths[c] = Width(m_headers[c]);
        for (const auto& row : m_rows) {
            if (c < row.size()) {
                widths[c] = std::max(widths[c], Width(row[c]));
            }
        }
    }
    auto print = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t c = 0; c < m_headers.size(); ++c) {
            const std::string cell = c < row.size() ? row[c] : std::string();
            line += cell;
            if (c + 1 < m_headers.size()) {
                line += std::string(widths[c] - Width(cell) + 2, ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        std::fprintf(m_out, "%s\n", line.c_str());
    };
    if (!m_headerDone) {
        print(m_headers);
        m_headerDone = true;
    }
    for (const auto& row : m_rows) {
        print(row);
    }
    m_rows.clear();
}

void CTextTable::End() {
    Flush();
}
