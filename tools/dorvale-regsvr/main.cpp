// dorvale-regsvr: registers (or unregisters) an in-process server library by calling its
// own DllRegisterServer (or DllUnregisterServer).

#include "Com.h"
#include "Tool.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>

namespace {

const char USAGE[] =
    "usage: dorvale-regsvr [-u] [-s] LIBRARY\n"
    "\n"
    "Registers the classes of an in-process server library in the class registry\n"
    "(HKEY_CLASSES_ROOT) by calling the library's DllRegisterServer, so that programs\n"
    "can create them by ProgID.\n"
    "\n"
    "  -u        unregister instead (calls DllUnregisterServer)\n"
    "  -s        silent: print nothing on success\n"
    "  --help    show this text\n"
    "\n"
    "The registry is the one of $DORVALE_REGISTRY when set. The library is recorded\n"
    "by its absolute path; register it again after moving it.\n"
    "Exit status: 0 done, 1 the library could not be loaded or refused, 2 bad usage.\n";

// The text is short: it comes whole with a usage error.
int Usage(const tool::CTool& tool, const std::string& problem) {
    tool.Report(problem);
    std::fputs(USAGE, stderr);
    return tool::EXIT_USAGE;
}

} // namespace

int main(int argc, char** argv) {
    const tool::CTool tool("dorvale-regsvr", USAGE);
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    bool unregister = false;
    bool silent = false;
    std::string library;
    while (args.Next()) {
        if (args.Is("-u")) {
            unregister = true;
        } else if (args.Is("-s")) {
            silent = true;
        } else if (!args.IsPositional()) {
            return Usage(tool, "unknown option " + args.Current());
        } else if (!library.empty()) {
            return Usage(tool, "one library at a time");
        } else {
            library = args.Current();
        }
    }
    if (library.empty()) {
        return Usage(tool, "no library named");
    }

    // The library records where it was loaded from, so load it by its absolute path.
    char resolved[PATH_MAX];
    if (!realpath(library.c_str(), resolved)) {
        return tool.Fail("cannot find " + library + ": " + std::strerror(errno));
    }
    void* handle = dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        return tool.Fail("cannot load " + library + ": " + dlerror());
    }
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto entry = reinterpret_cast<PFN_DLLREGISTERSERVER>(dlsym(handle, entryName));
    if (!entry) {
        dlclose(handle);
        return tool.Fail(library + " does not export " + entryName);
    }
    CoInitialize(nullptr);
    const HRESULT hr = entry();
    CoUninitialize();
    dlclose(handle);
    if (FAILED(hr)) {
        return tool.Fail(std::string(entryName) + " in " + library +
                         " failed: " + ComFormatResult(hr) + " " + ComGetErrorText(hr));
    }
    if (!silent) {
        std::printf("%s in %s succeeded.\n", entryName, library.c_str());
    }
    return tool::EXIT_DONE;
}
