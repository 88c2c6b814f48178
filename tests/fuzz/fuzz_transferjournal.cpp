// Journals as a server that died would have left them, or as anyone who may write the server's folder could
// write them: whatever the lines say, the recovery at start touches only files in the offered folders, reached
// without a link; gives a file back no more than the write permission a transfer took (never a setuid, setgid
// or sticky bit); removes only the server's hidden upload files; and cuts an appended file back only by the
// server's own appendix.
//
// In the input "@" stands for the scratch tree's root, and "$", "%" and "^" for the device and inode numbers of
// the appended file, the file locked for a download and a private file outside, so that notes can name real
// files as a journal would.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FuzzSetup.h"
#include "commserver/TransferJournal.h"

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

struct File {
    std::string path;
    std::string content;
    mode_t mode;
};

std::string contentOf(const std::string& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return "(none)";
    char buf[256];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return out;
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::string identityOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return std::to_string(static_cast<unsigned long long>(st.st_dev)) + " " +
           std::to_string(static_cast<unsigned long long>(st.st_ino));
}

// The server's folder (an appended file, its received copy, a file locked while it was sent, a link out), a
// mapped drive, and a folder outside with files another user would aim a journal at.
struct Tree {
    Tree() : root(MakeFuzzScratchFolder("transferjournal")) {
        check(!root.empty());
        server = root + "/server";
        drive = root + "/drive";
        outside = root + "/outside";
        for (const std::string& d : {server, drive, outside})
            check(::mkdir(d.c_str(), 0700) == 0);
        check(::symlink(outside.c_str(), (server + "/link").c_str()) == 0);
        log = server + "/LOG.TXT";
        ours = {
            {log, "line 1\nline 2\n", 0644},
            {server + "/SENT.BIN", "s", 0444},
            {server + "/" + comms::kUploadTemporaryPrefix + "c", "line 2\n", 0600},
            {drive + "/DATA.TXT", "d", 0440},
        };
        theirs = {
            {outside + "/secret", "0123456789", 0600},
            {outside + "/tool", "#!/bin/sh\n", 0755},
            {outside + "/" + comms::kUploadTemporaryPrefix + "x", "t", 0600},
        };
    }
    // Every file as it was before the journal: recovery may have changed the server's own ones.
    void reset() const {
        for (const auto* files : {&ours, &theirs}) {
            for (const File& f : *files) {
                ::chmod(f.path.c_str(), 0600); // a read-only file is written back by a user other than root too
                const int fd = ::open(f.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
                check(fd >= 0);
                check(::write(fd, f.content.data(), f.content.size()) == static_cast<ssize_t>(f.content.size()));
                check(::fchmod(fd, f.mode) == 0);
                ::close(fd);
            }
        }
    }
    std::string root, server, drive, outside, log;
    std::vector<File> ours, theirs;
};

void replaceAll(std::string& s, char token, const std::string& with) {
    for (std::size_t at = s.find(token); at != std::string::npos; at = s.find(token, at + with.size()))
        s.replace(at, 1, with);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Tree tree;
    tree.reset();
    std::string text(reinterpret_cast<const char*>(data), size);
    replaceAll(text, '@', tree.root);
    replaceAll(text, '$', identityOf(tree.log));
    replaceAll(text, '%', identityOf(tree.ours[1].path));
    replaceAll(text, '^', identityOf(tree.theirs[0].path));

    comms::TransferJournal::Recover(text, tree.server, {tree.drive}, [](const std::string&, bool) {});

    // Outside: nothing changed, nothing removed, and the link still a link.
    for (const File& f : tree.theirs) {
        check(contentOf(f.path) == f.content);
        check((modeOf(f.path) & 07777) == f.mode);
    }
    check(S_ISLNK(modeOf(tree.server + "/link")));
    // Inside: at most the write bits back, and no file but a hidden upload file gone.
    for (const File& f : tree.ours) {
        const mode_t mode = modeOf(f.path);
        if (mode == 0) {
            check(f.path.find(comms::kUploadTemporaryPrefix) != std::string::npos);
            continue;
        }
        check((mode & 07000) == 0);
        check((mode & 07777 & ~(f.mode | 0222)) == 0);
    }
    // The appended file loses its appendix (the received copy's bytes) or nothing.
    const std::string log = contentOf(tree.log);
    check(log == "line 1\nline 2\n" || log == "line 1\n");
    check(contentOf(tree.ours[1].path) == "s" && contentOf(tree.ours[3].path) == "d");
    return 0;
}
