// dorvale-explorer: the administrator's desktop program.
#include "ExplorerApp.h"

int main(int argc, char** argv) {
    return ExplorerMain(argc, argv);
}
