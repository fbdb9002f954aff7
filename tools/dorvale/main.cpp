// dorvale: the administration program's work from the command line.
#include "Commands.h"

int main(int argc, char** argv) {
    return RunDorvale(std::vector<std::string>(argv + 1, argv + argc));
}
