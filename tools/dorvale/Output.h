#pragma once
// How dorvale prints listings: aligned text for people, or JSON for programs (--json).

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// A JSON string literal of `text` (UTF-8 passed through, control characters escaped).
std::string JsonString(std::string_view text);
// A number as JSON: whole numbers without a fraction.
std::string JsonNumber(double value);

// One JSON object written field by field: {"a":1,"b":"x"}.
class CJsonObject {
public:
    CJsonObject& Text(const char* name, std::string_view value);
    CJsonObject& Number(const char* name, double value);
    CJsonObject& Bool(const char* name, bool value);
    // An already formatted JSON value (an array, an object, null).
    CJsonObject& Raw(const char* name, const std::string& json);
    std::string Str() const { return "{" + m_fields + "}"; }

private:
    void Name(const char* name);
    std::string m_fields;
};

// Writes a JSON array one element at a time, so long listings need no memory.
class CJsonArrayWriter {
public:
    explicit CJsonArrayWriter(std::FILE* out) : m_out(out) { std::fputc('[', m_out); }
    void Add(const std::string& element);
    void End();

private:
    std::FILE* m_out;
    bool m_first = true;
};

std::string JsonArray(const std::vector<std::string>& elements);

// A text table: the columns' headers, then rows; every column but the last padded to its
// widest cell (the cells of one page of rows at a time, so long listings stream).
class CTextTable {
public:
    CTextTable(std::FILE* out, std::vector<std::string> headers);
    void Add(std::vector<std::string> row);
    void End();

private:
    void Flush();
    std::FILE* m_out;
    std::vector<std::string> m_headers;
    std::vector<std::vector<std::string>> m_rows;
    bool m_headerDone = false;
};
