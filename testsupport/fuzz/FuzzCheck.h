#pragma once
// The fuzz targets' assertion: a property that does not hold ends the run, so that libFuzzer
// keeps the input that broke it. Every fuzz target has this directory on its include path.

#include <cstdlib>

inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}
