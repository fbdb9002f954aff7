// dorvale-regsvr: registers (or unregisters) an in-process server library by calling its
// own DllRegisterServer (or DllUnregisterServer).

#include "Com.h"

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

int Usage(const char* problem) {
    std::fprintf(stderr, "dorvale-regsvr: %s\n%s", problem, USAGE);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool silent = false;
    const char* library = nullptr;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsDone && std::strcmp(arg, "--help") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (!optionsDone && std::strcmp(arg, "--") == 0) {
            optionsDone = true;
        } else if (!optionsDone && std::strcmp(arg, "-u") == 0) {
            unregister = true;
        } else if (!optionsDone && std::strcmp(arg, "-s") == 0) {
            silent = true;
        } else if (!optionsDone && arg[0] == '-' && arg[1] != '\0') {
            return Usage((std::string("unknown option ") + arg).c_str());
        } else if (library) {
            return Usage("one library at a time");
        } else {
            library = arg;
        }
    }
    if (!library) {
        return Usage("no library named");
    }

    // The library records where it was loaded from, so load it by its absolute path.
    char resolved[PATH_MAX];
    if (!realpath(library, resolved)) {
        std::fprintf(stderr, "dorvale-regsvr: cannot find %s: %s\n", library, std::strerror(errno));
        return 1;
    }
    void* handle = dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "dorvale-regsvr: cannot load %s: %s\n", library, dlerror());
        return 1;
    }
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto entry = reinterpret_cast<PFN_DLLREGISTERSERVER>(dlsym(handle, entryName));
    if (!entry) {
        std::fprintf(stderr, "dorvale-regsvr: %s does not export %s\n", library, entryName);
        dlclose(handle);
        return 1;
    }
    CoInitialize(nullptr);
    const HRESULT hr = entry();
    CoUninitialize();
    dlclose(handle);
    if (FAILED(hr)) {
        std::fprintf(stderr, "dorvale-regsvr: %s in %s failed: %s %s\n", entryName, library,
                     ComFormatResult(hr).c_str(), ComGetErrorText(hr).c_str());
        return 1;
    }
    if (!silent) {
        std::printf("%s in %s succeeded.\n", entryName, library);
    }
    return 0;
}
