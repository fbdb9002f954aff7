#pragma once
// The generator's settings: read from the settings key when the program starts, the last
// run's stamp and file count written back when it ends.

#include "GenerationRun.h"

#include <cstdint>
#include <string>

struct CSheetforgeConfig {
    CGenerationSettings generation;
    std::string lastDateProcessed = "None"; // "None" when absent or empty
    std::uint32_t lastFilesProcessed = 0;

    // Reads the settings; the output directory stays empty when the key cannot be opened.
    void Load();
    // Without an output directory the program cannot run.
    bool IsConfigured() const { return !generation.httpPath.empty(); }
    // Writes LastDateProcessed and LastFilesProcessed to the key when it can be opened.
    bool SaveLastRun() const;
};

// One trailing directory separator removed ('/', or '\\' as the setup program may write).
std::string StripTrailingSeparator(std::string path);
