#pragma once
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// Paths that remote units send are Windows paths ("X.TXT", "DATA\X.TXT", "C:\DATA\X.TXT"). One resolver turns
// them into a path on this machine inside the folders the server offers: the server's own folder (where bare
// names land) and the roots that drive letters are mapped to. Both separators count, ".." is folded, names
// are matched without regard to case where the exact spelling does not exist, and a path that would leave the
// offered folders (by "..", an unmapped drive, a UNC name or a symbolic link that points outside) is refused
// before anything is touched. The path that comes back is the one to open.
namespace comms {

constexpr std::size_t kMaxRemoteName = 260;

// What the logged-on user may do; rights are checked only when security is on and a user is connected.
struct PathRights {
    bool check = false;
    bool unc = false;       // AUNC
    bool otherDirs = false; // AOTHERDIR
    bool noDollar = false;  // NODOLFILE
    bool netDrives = false; // NETDRIVE
};

enum class PathRefusal {
    None,
    BadName,    // empty, longer than 260 bytes, or with a NUL inside
    Unc,        // a UNC name without the right
    OtherDir,   // a drive or folder part without the right
    Dollar,     // a "$" in the name while "$" names are barred
    NetDrive,   // on a network file system without the right
    Outside,    // leaves the offered folders, names an unmapped drive, or is a UNC name
    ServerFile, // one of the server's own files (its settings, the user table, the history log)
};

struct ResolvedPath {
    PathRefusal refusal = PathRefusal::None;
    std::string local;
    bool ok() const { return refusal == PathRefusal::None; }
};

class RemotePathMap {
public:
    // A file system the server must treat as a network drive; statfs's file system magic numbers by default.
    using NetworkTest = std::function<bool(const std::string& localPath)>;

    RemotePathMap();
    void SetServerFolder(const std::string& folder);
    std::string ServerFolder() const;
    // Drive letter (any case) -> a folder on this machine; an empty root removes the mapping.
    void MapDrive(char letter, const std::string& root);
    // The drive a rooted path without a drive letter ("\DATA\X.TXT") belongs to; 0 = the server's folder.
    void SetCurrentDrive(char letter);
    void SetNetworkTest(NetworkTest test);
    // The server's own files: no remote operation reaches them, whatever the user's rights. A path is one of
    // them when it leads (links followed) to the same file, or names a file of the same folder whose name
    // differs only in letter case; a file that does not exist yet is protected all the same.
    void SetServerFiles(std::vector<std::string> files);
    // True when the local path is one of the server's own files.
    bool IsServerFile(const std::string& localPath) const;

    // The offered folders: the server's folder, then the root of each mapped drive, absolute and lexically clean.
    std::vector<std::string> OfferedFolders() const;
    // True when a local folder or file lies in one of the offered folders (links followed), so that a remote
    // unit with the rights may write there.
    bool Offers(const std::string& localPath) const;

    ResolvedPath Resolve(const std::string& remote, const PathRights& rights) const;
    // For a listing: the folder part resolved like a path and the last component kept as the pattern.
    ResolvedPath ResolvePattern(const std::string& remote, const PathRights& rights, std::string& pattern) const;

private:
    ResolvedPath resolve(const std::string& remote, const PathRights& rights, bool lastIsPattern,
                         std::string* pattern) const;

    mutable std::mutex mutex_;
    std::string serverFolder_;
    std::map<char, std::string> drives_;
    std::vector<std::string> serverFiles_;
    char currentDrive_ = 0;
    NetworkTest isNetwork_;
};

// The usual network file systems (NFS, SMB, CIFS, 9P, AFS, Ceph, FUSE mounts) by statfs.
bool IsNetworkFileSystem(const std::string& localPath);
// Windows wildcard match without regard to case: "*" any run, "?" one character, "*.*" every name.
bool MatchesWildcard(const std::string& pattern, const std::string& name);

} // namespace comms
