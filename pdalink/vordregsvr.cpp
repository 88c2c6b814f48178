// Registers or unregisters a component library: loads it and calls its registration entry point, which
// writes (or removes) the component registry's entry naming the library.
//   vordregsvr [/s] [/u] <library>
// /s: silent (no report on success or failure); /u: unregister. Exit status 0 on success.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

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
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (!silent)
            std::fprintf(stderr, "vordregsvr: %s could not be loaded: %s\n", library, ::dlerror());
        return 1;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto fn = reinterpret_cast<int (*)()>(::dlsym(handle, entry));
    if (!fn) {
        if (!silent)
            std::fprintf(stderr, "vordregsvr: %s has no entry point %s\n", library, entry);
        return 1;
    }
    const int rc = fn();
    if (!silent)
        std::printf("vordregsvr: %s %s %s\n", entry, rc == 0 ? "succeeded for" : "failed for", library);
    return rc == 0 ? 0 : 1;
}
