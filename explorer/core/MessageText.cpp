#include "MessageText.h"

std::string FillMessage(const char* format, std::initializer_list<std::string> texts, long number) {
    std::string message;
    auto next = texts.begin();
    for (const char* c = format; *c != '\0'; ++c) {
        if (c[0] == '%' && c[1] == 's') {
            if (next != texts.end()) {
                message += *next++;
            }
            ++c;
        } else if (c[0] == '%' && c[1] == 'd') {
            message += std::to_string(number);
            ++c;
        } else if (c[0] == '%' && c[1] == 'l' && c[2] == 'd') {
            message += std::to_string(number);
            c += 2;
        } else {
            message += *c;
        }
    }
    return message;
}
