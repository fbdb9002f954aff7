#include "UploadLink.h"

#include "Text.h"

namespace {

constexpr char HEX[] = "0123456789ABCDEF";

bool Decode(std::string_view text, std::string& out, std::string& error) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\0') {
            error = "a NUL character";
            return false;
        }
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? base::HexDigitValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? base::HexDigitValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            error = "a '%' not followed by two hexadecimal digits";
            return false;
        }
        const char c = static_cast<char>(high * 16 + low);
        if (c == '\0') {
            error = "an encoded NUL character";
            return false;
        }
        out += c;
        i += 2;
    }
    return true;
}

} // namespace

std::string PercentEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += HEX[byte >> 4];
            out += HEX[byte & 0x0F];
        }
    }
    return out;
}

std::string BuildUploadLink(std::string_view ftpAddress, std::string_view areas,
                            std::string_view username) {
    std::string link = std::string(UPLOAD_LINK_SCHEME) + ":?" + PercentEncode("FTP Address") + "=" +
                       PercentEncode(ftpAddress);
    if (!username.empty()) {
        link += "&" + PercentEncode("User Name") + "=" + PercentEncode(username);
    }
    link += "&" + PercentEncode("File Areas") + "=" + PercentEncode(areas);
    return link;
}

bool ParseUploadLink(std::string_view link, CUploadLinkParameters& parameters,
                     std::string& error) {
    parameters.clear();
    const std::size_t colon = link.find(':');
    if (colon == std::string_view::npos ||
        !base::EqualsNoCase(link.substr(0, colon), UPLOAD_LINK_SCHEME)) {
        error = "not a " + std::string(UPLOAD_LINK_SCHEME) + ": link";
        return false;
    }
    std::string_view rest = link.substr(colon + 1);
    while (!rest.empty() && rest.front() == '/') {
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        return true;
    }
    if (rest.front() != '?') {
        error = "text before the link's parameters";
        return false;
    }
    rest.remove_prefix(1);
    // A fragment is the browser's own business.
    rest = rest.substr(0, rest.find('#'));
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view item = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        if (item.empty()) {
            continue;
        }
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            error = "a parameter without '='";
            return false;
        }
        std::string name;
        std::string value;
        if (!Decode(item.substr(0, equals), name, error) ||
            !Decode(item.substr(equals + 1), value, error)) {
            return false;
        }
        parameters.emplace_back(std::move(name), std::move(value));
    }
    return true;
}
