#include "Text.h"

#include <algorithm>

namespace base {

namespace {

// How many bytes a sequence led by `lead` has; 1 for anything that does not lead one.
std::size_t SequenceLength(char lead) {
    const auto b = static_cast<unsigned char>(lead);
    return b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
}

} // namespace

std::size_t Utf8CompleteLength(std::string_view text) {
    // A sequence is at most four bytes: a lead further back than three is complete.
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const char c = text[text.size() - back];
        if (IsUtf8Continuation(c)) {
            continue;
        }
        return SequenceLength(c) > back ? text.size() - back : text.size();
    }
    // Only continuation bytes at the end: no lead to cut before.
    return text.size();
}

std::size_t Utf8CutBefore(std::string_view kept, char next) {
    return IsUtf8Continuation(next) ? Utf8CompleteLength(kept) : kept.size();
}

std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text.size();
    }
    return Utf8CutBefore(text.substr(0, maxBytes), text[maxBytes]);
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
    return text.substr(0, Utf8CutLength(text, maxBytes));
}

std::string_view CutUtf8Field(std::string_view text, std::size_t maxBytes) {
    return CutUtf8(text.substr(0, text.find('\0')), maxBytes);
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = LowerAscii(c);
    }
    return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool PercentDecode(std::string_view text, std::string& out, bool plusIsSpace) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return false;
            }
            const int high = HexDigitValue(text[i + 1]);
            const int low = HexDigitValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return false;
            }
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            decoded += ' ';
        } else {
            decoded += c;
        }
    }
    out = std::move(decoded);
    return true;
}

std::string EncodeBase64(std::string_view bytes) {
    static constexpr char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t left = bytes.size() - at;
        unsigned group = static_cast<unsigned char>(bytes[at]) << 16;
        if (left > 1) {
            group |= static_cast<unsigned char>(bytes[at + 1]) << 8;
        }
        if (left > 2) {
            group |= static_cast<unsigned char>(bytes[at + 2]);
        }
        encoded += ALPHABET[(group >> 18) & 63];
        encoded += ALPHABET[(group >> 12) & 63];
        encoded += left > 1 ? ALPHABET[(group >> 6) & 63] : '=';
        encoded += left > 2 ? ALPHABET[group & 63] : '=';
    }
    return encoded;
}

} // namespace base
