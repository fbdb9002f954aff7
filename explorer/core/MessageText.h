#pragma once
// The design's message formats filled in: each "%s" takes the next text, "%d" and "%ld" the
// number.

#include <initializer_list>
#include <string>

std::string FillMessage(const char* format, std::initializer_list<std::string> texts,
                        long number = 0);
