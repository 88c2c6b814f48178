// Remote names from a hostile unit: whatever comes in, a name the resolver accepts lies inside the offered
// folders (lexically and after symbolic links), and nothing else happens.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "commserver/RemotePath.h"

namespace {

namespace fs = std::filesystem;

struct Tree {
    Tree() {
        char tmpl[] = "/tmp/fuzz-remotepath-XXXXXX";
        root = ::mkdtemp(tmpl);
        fs::create_directories(root + "/server/Sub");
        fs::create_directories(root + "/drive_c/data");
        fs::create_directories(root + "/outside");
        fs::create_directory_symlink(root + "/outside", root + "/server/link");
        fs::create_symlink(root + "/outside/x", root + "/drive_c/dangling");
        map.SetServerFolder(root + "/server");
        map.MapDrive('C', root + "/drive_c");
        map.SetNetworkTest([](const std::string&) { return false; });
        server = fs::canonical(root + "/server").string();
        driveC = fs::canonical(root + "/drive_c").string();
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    bool inside(const std::string& p) const {
        auto under = [&](const std::string& r) { return p == r || p.rfind(r + "/", 0) == 0; };
        return under(server) || under(driveC);
    }
    std::string root, server, driveC;
    comms::RemotePathMap map;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Tree tree;
    if (size == 0)
        return 0;
    comms::PathRights rights;
    rights.check = data[0] & 1;
    rights.unc = data[0] & 2;
    rights.otherDirs = data[0] & 4;
    rights.noDollar = data[0] & 8;
    rights.netDrives = data[0] & 16;
    const std::string name(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string pattern;
    for (const comms::ResolvedPath& r :
         {tree.map.Resolve(name, rights), tree.map.ResolvePattern(name, rights, pattern)}) {
        if (!r.ok())
            continue;
        if (!tree.inside(r.local))
            __builtin_trap();
        // After symbolic links too: the deepest part that exists must be inside.
        std::string existing = r.local;
        std::error_code ec;
        while (!fs::exists(fs::symlink_status(existing, ec)) && existing.size() > 1)
            existing = fs::path(existing).parent_path().string();
        const fs::path real = fs::canonical(existing, ec);
        if (ec || !tree.inside(real.string()))
            __builtin_trap();
    }
    return 0;
}
