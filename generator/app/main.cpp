#include "Sheetforge.h"

int main(int argc, char** argv) {
    return SheetforgeMain(argc, argv);
}
