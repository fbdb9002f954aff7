// dorvale-setup: Dorvale Setup, the library's configuration window.
#include "SetupProgram.h"

int main(int argc, char** argv) {
    return RunSetupProgram(argc, argv);
}
