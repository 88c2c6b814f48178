// Registers or unregisters a component library: loads it and calls its registration entry point, which
// writes (or removes) the component registry's entry naming the library.
//   vordregsvr [/s] [/u] <library>
// /s: silent on success; /u: unregister. A library named without a folder is the one in the current folder.
// Exit status 0 on success; a failure exits 1 with one line on standard error, /s or not, so a script or a
// program that registers the library silently still learns why it failed.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    bool silent = false;
    bool unregister = false;
    const char* library = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "/s") == 0 || std::strcmp(argv[i], "-s") == 0)
            silent = true;
        else if (std::strcmp(argv[i], "/u") == 0 || std::strcmp(argv[i], "-u") == 0)
            unregister = true;
        else
            library = argv[i];
    }
    if (!library) {
        std::fprintf(stderr, "usage: vordregsvr [/s] [/u] <library>\n");
        return 2;
    }
    // The loader would look for a bare name in the system's library folders only; the file meant is the one
    // beside the user, as with regsvr32.
    std::string path = library;
    if (path.find('/') == std::string::npos) {
        char cwd[4096];
        path = (::getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string(".")) + '/' + path;
    }
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        std::fprintf(stderr, "vordregsvr: %s could not be loaded: %s\n", path.c_str(), why ? why : "unknown error");
        return 1;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto fn = reinterpret_cast<int (*)()>(::dlsym(handle, entry));
    if (!fn) {
        std::fprintf(stderr, "vordregsvr: %s has no entry point %s\n", path.c_str(), entry);
        return 1;
    }
    const int rc = fn();
    if (rc != 0)
        std::fprintf(stderr, "vordregsvr: %s failed for %s\n", entry, path.c_str());
    else if (!silent)
        std::printf("vordregsvr: %s succeeded for %s\n", entry, path.c_str());
    return rc == 0 ? 0 : 1;
}
