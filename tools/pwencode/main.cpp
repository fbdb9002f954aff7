// pwencode PASSWORD: prints the password encoded as hexadecimal text.
#include "PwEncode.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage : %s  password\n", argc > 0 ? argv[0] : "pwencode");
        return 1;
    }
    // Any length is encoded whole; the output is built to fit.
    std::printf("%s\n", PwEncode(argv[1]).c_str());
    return 0;
}
