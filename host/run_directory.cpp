#include "run_directory.h"

#include <windows.h>

std::string runDirectory() {
    // A path longer than MAX_PATH is possible; grow until it fits.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::string::size_type slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
