// The remote unit's one-shot operations on this machine: the date and time for its clock, a program run, and
// a file's delete, move and information. Each is the enter step of its link state; the reply's acknowledgement
// is the worker's common run step.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <functional>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "commserver/FileSteps.h"
#include "commserver/LinkServer.h"
#include "commserver/RequestText.h"

extern char** environ;

namespace comms {

namespace {

namespace EC = HistoryEventCode;

// Words of a command line: blanks and tabs separate; a word that begins with a double quote runs to the next
// double quote, the quotes dropped. At most maxWords words (0 = no limit).
std::vector<std::string> splitCommand(const std::string& line, std::size_t maxWords) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size() && (maxWords == 0 || words.size() < maxWords)) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size())
            break;
        std::string w;
        if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            w = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? line.size() : end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                w += line[i++];
        }
        words.push_back(w);
    }
    return words;
}

void localTimeOf(std::time_t t, std::tm& out) {
    localtime_r(&t, &out);
}

// What a move needs; a namespace of its own, as the transfers' helpers go into the same unity source.
namespace moving {

using filesteps::becauseOf;
using filesteps::folderOf;
using filesteps::syncFolder;

// True when this process may remove a file from the folder: it may write there, and a sticky folder leaves
// the file to its owner, the folder's owner and root.
bool mayRemoveFrom(const std::string& folder, const struct stat& file) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    const uid_t me = ::geteuid();
    return (st.st_mode & S_ISVTX) == 0 || me == 0 || file.st_uid == me || st.st_uid == me;
}

// A move to another file system: a copy, then the source removed. 0, or the system's error number; on an error
// the source is as it was.
int moveAcross(int in, const struct stat& sst, const std::string& source, const std::string& target,
               TransferJournal& journal, const std::function<int(int, const std::uint8_t*, std::size_t)>& writeAll,
               const std::function<int(int)>& syncFile) {
    // The source must be removable before anything is copied: a move that could only copy is no move.
    const std::string sourceFolder = folderOf(source);
    if (!mayRemoveFrom(sourceFolder, sst))
        return EACCES;
    // The copy is made beside the target under a hidden name and takes the target's name only when it is
    // whole and on the disk, so that a failure at any step leaves the target's folder as it was.
    const std::string folder = folderOf(target);
    std::string temporary;
    int out = -1;
    for (int attempt = 0; attempt < 16 && out < 0; ++attempt) {
        temporary = folder + "/" + kUploadTemporaryPrefix + filesteps::randomHex();
        // Noted before it exists, so that a crash leaves nothing the next start does not remove.
        journal.NoteTemporary(temporary);
        out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0 && errno != EEXIST)
            break;
    }
    if (out < 0) {
        const int error = errno;
        journal.Settle();
        return error;
    }
    // The source's owner where this server may give it; permissions never wider than the source's, and without
    // the set-id and sticky bits. A copy that keeps another group loses the group's rights.
    mode_t mode = sst.st_mode & 0777;
    if (::fchown(out, sst.st_uid, sst.st_gid) != 0 && ::fchown(out, static_cast<uid_t>(-1), sst.st_gid) != 0)
        mode &= ~static_cast<mode_t>(070);
    int error = ::fchmod(out, mode) != 0 ? errno : 0;
    std::uint8_t block[65536];
    while (error == 0) {
        const ssize_t n = ::read(in, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        error = writeAll(out, block, static_cast<std::size_t>(n));
    }
    if (error == 0)
        error = syncFile(out);
    if (error == 0) {
        const timespec times[2] = {sst.st_atim, sst.st_mtim};
        ::futimens(out, times);
    }
    if (::close(out) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    journal.Settle();
    if (error != 0)
        return error;
    // The copy is whole under its name; the source goes only once that is on the disk.
    if ((error = syncFolder(folder)) != 0)
        return error;
    if (::unlink(source.c_str()) != 0) {
        error = errno;
        ::unlink(target.c_str());
        syncFolder(folder);
        return error;
    }
    syncFolder(sourceFolder);
    return 0;
}

} // namespace moving

} // namespace

void LinkServer::enterClockSet() {
    const auto p = link_.ReceivedPayload();
    oneShotLinkFail_ = "Link Failed during Clock Set";
    oneShotLinkFailCode_ = EC::ClockSet | EC::Failure;
    if (p.empty() || p[0] > p.size() - 1) {
        refuseBadRequest("Clock Set Failed: Bad Request", EC::ClockSet | EC::Failure, std::nullopt);
        return;
    }
    if (!CheckUserConnected()) {
        logEvent("Clock Set Failed: Security Violation", EC::ClockSet | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    const std::size_t n = p[0];
    std::vector<std::uint8_t> out(p.begin(), p.begin() + static_cast<long>(n + 1));
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm t{};
    localTimeOf(ts.tv_sec, t);
    out.push_back(static_cast<std::uint8_t>(t.tm_mday));
    out.push_back(static_cast<std::uint8_t>(t.tm_mon + 1));
    putU16(out, static_cast<std::uint32_t>(t.tm_year + 1900));
    out.push_back(static_cast<std::uint8_t>(t.tm_wday));
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(t.tm_hour));
    out.push_back(static_cast<std::uint8_t>(t.tm_min));
    out.push_back(static_cast<std::uint8_t>(t.tm_sec));
    out.push_back(static_cast<std::uint8_t>(ts.tv_nsec / 10'000'000));
    oneShotOk_ = [this] {
        addStat(LinkCounter::ClockSets);
        logEvent("Clock Set OK", EC::ClockSet | EC::Success);
    };
    reply(FrameType::ClockReply, out);
}

void LinkServer::enterProgramRun() {
    const auto p = link_.ReceivedPayload();
    oneShotLinkFail_ = "Link Failed during Program Run";
    oneShotLinkFailCode_ = EC::ProgramRun | EC::Failure;
    std::string line;
    if (!parseName(p, line) || line.empty()) {
        refuseBadRequest(format("Program Run Failure: %s", line), EC::ProgramRun | EC::Failure,
                         LinkCounter::FailedProgramRuns);
        return;
    }
    if (!CheckUserConnected()) {
        logEvent(format("Prog Run Failed: Security Violation %s", line), EC::ProgramRun | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    if (securityLevel_.load() != 0 && !session_.user.programRunsAllowed) {
        addSecurity(SecurityCounter::ProgramRunRefusals);
        addStat(LinkCounter::FailedProgramRuns);
        logEvent(format("File PrgRun Failed: Security Violation %s", line),
                 EC::ProgramRun | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }

    const bool direct = (options_ & LinkOption::SpawnDirectly) != 0;
    std::vector<std::string> words = splitCommand(line, direct ? 10 : 0);
    oneShotOk_ = nullptr;
    auto failed = [&] {
        addStat(LinkCounter::FailedProgramRuns);
        reply(FrameType::Failed);
        logEvent(format("Program Run Failure: %s", line), EC::ProgramRun | EC::Failure);
    };
    if (words.empty()) {
        failed();
        return;
    }
    // A program named with a folder or drive is found like any other remote path; a bare name is looked for
    // in the server's folder first and then on the search path.
    std::string program = words[0];
    const std::string serverFolder = paths_.ServerFolder();
    if (program.find_first_of("\\/:") != std::string::npos) {
        const ResolvedPath r = CheckPathAllowed(program);
        if (!r.ok()) {
            if (r.refusal == PathRefusal::BadName) {
                failed();
            } else {
                refusePath(r.refusal, format("File PrgRun Failed: Security Violation %s", line),
                           EC::ProgramRun | EC::Security | EC::Failure, LinkCounter::FailedProgramRuns);
            }
            return;
        }
        program = r.local;
    } else {
        const ResolvedPath r = paths_.Resolve(program, PathRights{});
        struct stat st {};
        if (r.ok() && ::stat(r.local.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            program = r.local;
    }
    if (direct)
        words[0] = "Quendar_Spawned_Program";
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, serverFolder.c_str());
    // The child gets no part of the serial line.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        failed();
        return;
    }
    if (direct) {
        children_.push_back(pid);
    } else {
        // Waited for, as the command interpreter's run is; a quit stops the wait (the program runs on and is
        // collected later).
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid || (r < 0 && errno != EINTR))
                break;
            if (quitRequested()) {
                children_.push_back(pid);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    addStat(LinkCounter::GoodProgramRuns);
    reply(FrameType::ProgramStarted);
    logEvent(format("Program Run OK: %s", line), EC::ProgramRun | EC::Success);
}

void LinkServer::enterFileDelete() {
    const auto p = link_.ReceivedPayload();
    oneShotLinkFail_ = "Link Failed during File Delete";
    oneShotLinkFailCode_ = EC::FileDelete | EC::Failure;
    oneShotOk_ = nullptr;
    std::string name;
    const bool clean = parseName(p, name);
    auto failed = [&] {
        addStat(LinkCounter::FailedFileDeletes);
        reply(FrameType::Failed);
        logEvent(format("File Delete Failed: %s", name), EC::FileDelete | EC::Failure);
    };
    if (!CheckUserConnected()) {
        logEvent(format("File Delete Failed: Security Violation %s", name),
                 EC::FileDelete | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    const ResolvedPath r = clean ? CheckPathAllowed(name) : ResolvedPath{PathRefusal::BadName, {}};
    if (r.refusal == PathRefusal::BadName) {
        failed();
        return;
    }
    if (!r.ok()) {
        refusePath(r.refusal, format("File Delete Failed: Security Violation %s", name),
                   EC::FileDelete | EC::Security | EC::Failure, LinkCounter::FailedFileDeletes);
        return;
    }
    struct stat st {};
    if (::lstat(r.local.c_str(), &st) == 0) {
        // Only files: a folder is never removed by a file delete.
        if (S_ISDIR(st.st_mode)) {
            failed();
            return;
        }
    } else {
        // A file that is not there is made first, so the delete answers as it always has: done.
        const int fd = ::open(r.local.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            failed();
            return;
        }
        const std::uint8_t one = 0;
        const bool wrote = ::write(fd, &one, 1) == 1;
        ::close(fd);
        if (!wrote) {
            ::unlink(r.local.c_str());
            failed();
            return;
        }
    }
    if (::unlink(r.local.c_str()) != 0) {
        failed();
        return;
    }
    addStat(LinkCounter::GoodFileDeletes);
    reply(FrameType::FileDeleted);
    logEvent(format("File Delete OK: %s", name), EC::FileDelete | EC::Success);
}

void LinkServer::enterFileMove() {
    const auto p = link_.ReceivedPayload();
    oneShotLinkFail_ = "Link Failed during File Move";
    oneShotLinkFailCode_ = EC::FileMove | EC::Failure;
    oneShotOk_ = nullptr;
    // Source, NUL, destination, NUL; the destination must end within the payload.
    const auto nul = std::find(p.begin(), p.end(), 0);
    std::string from(p.begin(), nul);
    std::string to;
    bool clean = nul != p.end();
    if (clean)
        clean = parseName(p.subspan(static_cast<std::size_t>(nul - p.begin()) + 1), to);
    auto failed = [&] {
        addStat(LinkCounter::FailedFileMoves);
        reply(FrameType::Failed);
        logEvent(format("File Move Failed: From: %s To: %s", from, to), EC::FileMove | EC::Failure);
    };
    if (!CheckUserConnected()) {
        logEvent(format("File Move Failed: Security Violation %s->%s", from, to),
                 EC::FileMove | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    if (!clean) {
        failed();
        return;
    }
    const ResolvedPath src = CheckPathAllowed(from);
    const ResolvedPath dst = src.ok() ? CheckPathAllowed(to) : src;
    if (src.refusal == PathRefusal::BadName || dst.refusal == PathRefusal::BadName) {
        failed();
        return;
    }
    if (!src.ok() || !dst.ok()) {
        refusePath(src.ok() ? dst.refusal : src.refusal,
                   format("File Move Failed: Security Violation %s->%s", from, to),
                   EC::FileMove | EC::Security | EC::Failure, LinkCounter::FailedFileMoves);
        return;
    }
    // Only a regular file is moved, and the name is not followed: a link in its place is not what was checked.
    const int in = ::open(src.local.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat sst {};
    if (in < 0 || ::fstat(in, &sst) != 0 || !S_ISREG(sst.st_mode)) {
        if (in >= 0)
            ::close(in);
        failed();
        return;
    }
    auto moved = [&] {
        addStat(LinkCounter::GoodFileMoves);
        reply(FrameType::FileMoved);
        logEvent(format("File Moved OK: From: %s To: %s", from, to), EC::FileMove | EC::Success);
    };
    struct stat dstSt {};
    if (::stat(dst.local.c_str(), &dstSt) == 0 && dstSt.st_dev == sst.st_dev && dstSt.st_ino == sst.st_ino) {
        // The same file under two names (another spelling, a second link): a rename would keep both names
        // and a copy would empty it. The file already is where it was asked to go.
        ::close(in);
        moved();
        return;
    }
    // Within one file system the file itself changes its name: its content, owner and permissions go with it.
    if (::rename(src.local.c_str(), dst.local.c_str()) == 0) {
        ::close(in);
        moving::syncFolder(moving::folderOf(dst.local));
        if (moving::folderOf(dst.local) != moving::folderOf(src.local))
            moving::syncFolder(moving::folderOf(src.local));
        moved();
        return;
    }
    int error = errno;
    if (error == EXDEV)
        error = moving::moveAcross(
            in, sst, src.local, dst.local, journal_,
            [this](int fd, const std::uint8_t* data, std::size_t size) { return writeAll(fd, data, size); },
            [this](int fd) { return syncFile(fd); });
    ::close(in);
    if (error != 0) {
        addStat(LinkCounter::FailedFileMoves);
        reply(FrameType::Failed);
        logEvent(format("File Move Failed: From: %s To: %s", from, to) + moving::becauseOf(error),
                 EC::FileMove | EC::Failure);
        return;
    }
    moved();
}

void LinkServer::enterFileInfo() {
    const auto p = link_.ReceivedPayload();
    oneShotLinkFail_ = "Link Failed during File Info";
    oneShotLinkFailCode_ = EC::FileInfo | EC::Failure;
    std::string name;
    const bool clean = parseName(p, name);
    if (!CheckUserConnected()) {
        logEvent("Get File Info Failed: Security Violation", EC::FileInfo | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    const ResolvedPath r = clean ? CheckPathAllowed(name) : ResolvedPath{PathRefusal::BadName, {}};
    if (r.refusal == PathRefusal::BadName) {
        refuseBadRequest(format("Get File Info Failed: %s", name), EC::FileInfo | EC::Failure, std::nullopt);
        return;
    }
    if (!r.ok()) {
        refusePath(r.refusal, format("Get File Info Failed: Security Violation %s", name),
                   EC::FileInfo | EC::Security | EC::Failure, std::nullopt);
        return;
    }
    std::vector<std::uint8_t> out(16, 0);
    const int fd = ::open(r.local.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        out[0] = 1;
        // Exclusive use is approximated by an advisory lock: only cooperating programs show up.
        const int probe = ::open(r.local.c_str(), O_RDONLY | O_CLOEXEC);
        if (probe >= 0) {
            out[1] = ::flock(probe, LOCK_EX | LOCK_NB) == 0 ? 1 : 0;
            ::close(probe);
        }
        const auto size = static_cast<std::uint32_t>(std::min<off_t>(st.st_size, 0xFFFFFFFF));
        for (int i = 0; i < 4; ++i)
            out[static_cast<std::size_t>(2 + i)] = static_cast<std::uint8_t>(size >> (8 * i));
        std::tm t{};
        localTimeOf(st.st_mtime, t);
        out[6] = static_cast<std::uint8_t>(t.tm_mday);
        out[7] = static_cast<std::uint8_t>(t.tm_mon + 1);
        out[8] = static_cast<std::uint8_t>((t.tm_year + 1900) & 0xFF);
        out[9] = static_cast<std::uint8_t>((t.tm_year + 1900) >> 8);
        out[12] = static_cast<std::uint8_t>(t.tm_hour);
        out[13] = static_cast<std::uint8_t>(t.tm_min);
        out[14] = static_cast<std::uint8_t>(t.tm_sec);
    }
    if (fd >= 0)
        ::close(fd);
    oneShotOk_ = [this] { addStat(LinkCounter::FileInfoRequests); };
    reply(FrameType::FileInfoReply, out);
}

} // namespace comms
