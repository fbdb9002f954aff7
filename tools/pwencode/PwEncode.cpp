#include "PwEncode.h"

std::string PwEncode(std::string_view password) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string out;
    out.reserve(password.size() * 2);
    for (const char c : password) {
        const unsigned char b = static_cast<unsigned char>(c) ^ PWENCODE_KEY;
        out += DIGITS[b >> 4];
        out += DIGITS[b & 0x0F];
    }
    return out;
}
