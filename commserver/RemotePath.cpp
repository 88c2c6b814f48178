#include "commserver/RemotePath.h"

#include "commserver/FileSteps.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace comms {

namespace {

using filesteps::folderParts;
using filesteps::splitComponents;

std::string joinAbsolute(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool isUnder(const std::vector<std::string>& path, const std::vector<std::string>& root) {
    return path.size() >= root.size() && std::equal(root.begin(), root.end(), path.begin());
}

std::string realOf(const std::string& path) {
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

bool realUnder(const std::string& real, const std::string& realRoot) {
    if (realRoot.empty() || real.empty())
        return false;
    if (realRoot == "/")
        return true;
    return real == realRoot || (real.size() > realRoot.size() && real.compare(0, realRoot.size(), realRoot) == 0 &&
                                real[realRoot.size()] == '/');
}

// The absolute path with its existing part resolved (links followed) and the rest appended as it is.
std::string canonicalOf(const std::string& path) {
    const std::vector<std::string> parts = folderParts(path);
    for (std::size_t keep = parts.size();; --keep) {
        const std::string real =
            realOf(joinAbsolute(std::vector<std::string>(parts.begin(), parts.begin() + static_cast<long>(keep))));
        if (!real.empty()) {
            std::string out = real == "/" ? std::string() : real;
            for (std::size_t i = keep; i < parts.size(); ++i)
                out += "/" + parts[i];
            return out.empty() ? "/" : out;
        }
        if (keep == 0)
            return joinAbsolute(parts);
    }
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

void splitLast(const std::string& path, std::string& folder, std::string& name) {
    const auto slash = path.find_last_of('/');
    folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

// The existing entry of dir whose name matches without regard to case, or the name as given.
std::string matchCase(const std::string& dir, const std::string& name) {
    struct stat st {};
    if (::lstat((dir + "/" + name).c_str(), &st) == 0)
        return name;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return name;
    std::string found = name;
    while (dirent* e = ::readdir(d)) {
        if (equalNoCase(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

} // namespace

bool IsNetworkFileSystem(const std::string& localPath) {
    std::string p = localPath;
    struct statfs fs {};
    // The nearest existing ancestor tells where a file that is yet to be made would land.
    while (::statfs(p.c_str(), &fs) != 0) {
        const auto slash = p.find_last_of('/');
        if (slash == std::string::npos || p == "/")
            return false;
        p = slash == 0 ? "/" : p.substr(0, slash);
    }
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x01021997UL: // 9P
    case 0x5346414FUL: // AFS
    case 0x00C36400UL: // Ceph
    case 0x65735546UL: // FUSE
        return true;
    default:
        return false;
    }
}

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
    // "*.*" and "*" take every name, a name without a dot included, as a Windows directory search does.
    if (pattern == "*.*" || pattern == "*")
        return true;
    std::size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

RemotePathMap::RemotePathMap() : isNetwork_(IsNetworkFileSystem) {
    char cwd[PATH_MAX];
    serverFolder_ = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
}

void RemotePathMap::SetServerFolder(const std::string& folder) {
    std::lock_guard lock(mutex_);
    serverFolder_ = folder;
}

std::string RemotePathMap::ServerFolder() const {
    std::lock_guard lock(mutex_);
    return serverFolder_;
}

void RemotePathMap::MapDrive(char letter, const std::string& root) {
    std::lock_guard lock(mutex_);
    const char l = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (root.empty())
        drives_.erase(l);
    else
        drives_[l] = root;
}

void RemotePathMap::SetCurrentDrive(char letter) {
    std::lock_guard lock(mutex_);
    currentDrive_ = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

void RemotePathMap::SetNetworkTest(NetworkTest test) {
    std::lock_guard lock(mutex_);
    isNetwork_ = std::move(test);
}

void RemotePathMap::SetServerFiles(std::vector<std::string> files) {
    std::lock_guard lock(mutex_);
    serverFiles_ = std::move(files);
}

bool RemotePathMap::IsServerFile(const std::string& localPath) const {
    std::vector<std::string> files;
    {
        std::lock_guard lock(mutex_);
        files = serverFiles_;
    }
    if (files.empty())
        return false;
    std::string folder, name;
    splitLast(canonicalOf(localPath), folder, name);
    struct stat st {};
    const bool exists = ::stat(localPath.c_str(), &st) == 0;
    for (const auto& file : files) {
        if (file.empty())
            continue;
        std::string fileFolder, fileName;
        splitLast(canonicalOf(file), fileFolder, fileName);
        // The same folder by name, or by identity where a file system spells names without regard to case.
        if (equalNoCase(fileName, name) && (fileFolder == folder || sameFile(fileFolder, folder)))
            return true;
        struct stat fst {};
        if (exists && ::stat(file.c_str(), &fst) == 0 && fst.st_dev == st.st_dev && fst.st_ino == st.st_ino)
            return true;
    }
    return false;
}

std::vector<std::string> RemotePathMap::OfferedFolders() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out = {joinAbsolute(folderParts(serverFolder_))};
    for (const auto& [letter, root] : drives_)
        out.push_back(joinAbsolute(folderParts(root)));
    return out;
}

bool RemotePathMap::Offers(const std::string& localPath) const {
    const std::string path = canonicalOf(localPath);
    for (const auto& root : OfferedFolders()) {
        if (realUnder(path, realOf(root)))
            return true;
    }
    return false;
}

ResolvedPath RemotePathMap::Resolve(const std::string& remote, const PathRights& rights) const {
    return resolve(remote, rights, false, nullptr);
}

ResolvedPath RemotePathMap::ResolvePattern(const std::string& remote, const PathRights& rights,
                                           std::string& pattern) const {
    return resolve(remote, rights, true, &pattern);
}

ResolvedPath RemotePathMap::resolve(const std::string& remote, const PathRights& rights, bool lastIsPattern,
                                    std::string* pattern) const {
    std::string serverFolder;
    std::map<char, std::string> drives;
    char currentDrive;
    NetworkTest isNetwork;
    {
        std::lock_guard lock(mutex_);
        serverFolder = serverFolder_;
        drives = drives_;
        currentDrive = currentDrive_;
        isNetwork = isNetwork_;
    }
    auto refuse = [](PathRefusal r) { return ResolvedPath{r, {}}; };

    if (remote.empty() || remote.size() > kMaxRemoteName || remote.find('\0') != std::string::npos)
        return refuse(PathRefusal::BadName);
    std::string s = remote;
    std::replace(s.begin(), s.end(), '/', '\\');
    const bool unc = s.size() >= 2 && s[0] == '\\' && s[1] == '\\';
    const bool hasDrive = s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
    const bool hasDir = hasDrive || s.find('\\') != std::string::npos;

    // The user's rights first, in the order the refusals are counted.
    if (rights.check) {
        if (unc && !rights.unc)
            return refuse(PathRefusal::Unc);
        if (hasDir && !rights.otherDirs)
            return refuse(PathRefusal::OtherDir);
        if (rights.noDollar && s.find('$') != std::string::npos)
            return refuse(PathRefusal::Dollar);
    }
    // A UNC name means another machine's share, which this machine does not reach by name.
    if (unc)
        return refuse(PathRefusal::Outside);

    std::vector<std::vector<std::string>> roots;
    roots.push_back(folderParts(serverFolder));
    for (const auto& [letter, root] : drives)
        roots.push_back(folderParts(root));

    std::vector<std::string> parts;
    std::string rest = s;
    if (hasDrive) {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
        auto it = drives.find(letter);
        if (it == drives.end())
            return refuse(PathRefusal::Outside);
        parts = folderParts(it->second);
        rest = s.substr(2);
    } else if (!rest.empty() && rest[0] == '\\') {
        auto it = currentDrive ? drives.find(currentDrive) : drives.end();
        parts = folderParts(it != drives.end() ? it->second : serverFolder);
    } else {
        parts = folderParts(serverFolder);
    }

    std::vector<std::string> remoteParts = splitComponents(rest, '\\');
    if (lastIsPattern) {
        if (remoteParts.empty())
            return refuse(PathRefusal::BadName);
        *pattern = remoteParts.back();
        remoteParts.pop_back();
    }
    for (const auto& c : remoteParts) {
        if (c == ".")
            continue;
        if (c == "..") {
            if (parts.empty())
                return refuse(PathRefusal::Outside);
            parts.pop_back();
            continue;
        }
        parts.push_back(c);
    }
    if (!lastIsPattern && remoteParts.empty())
        return refuse(PathRefusal::BadName);

    const std::vector<std::string>* root = nullptr;
    for (const auto& r : roots) {
        if (isUnder(parts, r) && (!root || r.size() > root->size()))
            root = &r;
    }
    if (!root)
        return refuse(PathRefusal::Outside);

    // Names below the root are matched without regard to case, as the remote unit's file system would.
    std::vector<std::string> resolved(parts.begin(), parts.begin() + static_cast<long>(root->size()));
    for (std::size_t i = root->size(); i < parts.size(); ++i)
        resolved.push_back(matchCase(joinAbsolute(resolved), parts[i]));
    const std::string local = joinAbsolute(resolved);

    // A symbolic link inside an offered folder must not lead out of all of them.
    std::string existing = local;
    struct stat st {};
    while (::lstat(existing.c_str(), &st) != 0) {
        const auto slash = existing.find_last_of('/');
        existing = slash == 0 || slash == std::string::npos ? "/" : existing.substr(0, slash);
    }
    const std::string real = realOf(existing);
    bool inside = false;
    for (const auto& r : roots) {
        if (realUnder(real, realOf(joinAbsolute(r)))) {
            inside = true;
            break;
        }
    }
    if (!inside)
        return refuse(PathRefusal::Outside);

    if (rights.check && !rights.netDrives && isNetwork && isNetwork(local))
        return refuse(PathRefusal::NetDrive);
    if (!lastIsPattern && IsServerFile(local))
        return refuse(PathRefusal::ServerFile);
    return ResolvedPath{PathRefusal::None, local};
}

} // namespace comms
