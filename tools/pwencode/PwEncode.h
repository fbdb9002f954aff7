#pragma once
#include <string>
#include <string_view>

// The key every encoded password is XORed with.
constexpr unsigned char PWENCODE_KEY = 0x5A;

// Two lowercase hexadecimal digits per byte of `password`, each byte XORed with the key.
std::string PwEncode(std::string_view password);
