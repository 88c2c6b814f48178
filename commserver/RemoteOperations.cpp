// The remote unit's file, program and clock operations: the enter and run handlers of their link states.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "commserver/LinkServer.h"
#include "commserver/RequestText.h"
#include "platform/SerialPort.h"

extern char** environ;

namespace comms {

namespace {

namespace EC = HistoryEventCode;

void putU16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void putU32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

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

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string randomHex() {
    std::uint8_t bytes[8] = {};
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

// The reason the system gave, for an event: " (No space left on device)".
std::string becauseOf(int error) {
    return " (" + std::error_code(error, std::generic_category()).message() + ")";
}

// Makes a rename in the folder last through a power cut. 0, or the system's error number.
int syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int error = 0;
    if (::fsync(fd) != 0 && errno != EINVAL)
        error = errno;
    ::close(fd);
    return error;
}

int openTemporary() {
    int fd = ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    char name[] = "/tmp/quendar-XXXXXX";
    fd = ::mkstemp(name);
    if (fd >= 0)
        ::unlink(name);
    return fd;
}

} // namespace

int LinkServer::writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    FileWriter writer;
    {
        std::lock_guard lock(settingsMutex_);
        writer = writer_;
    }
    while (size > 0) {
        errno = 0;
        const ssize_t n = writer(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno != 0 ? errno : EIO;
        // A regular file that takes nothing has no room left.
        if (n == 0)
            return ENOSPC;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int LinkServer::syncFile(int fd) {
    FileSyncer syncer;
    {
        std::lock_guard lock(settingsMutex_);
        syncer = syncer_;
    }
    errno = 0;
    if (syncer(fd) == 0)
        return 0;
    // A file that cannot be synced (a pipe, a special file system) holds what it holds.
    if (errno == EINVAL)
        return 0;
    return errno != 0 ? errno : EIO;
}

void LinkServer::closeTransferFile() {
    if (transferFd_ >= 0)
        ::close(transferFd_);
    transferFd_ = -1;
}

void LinkServer::refusePath(PathRefusal refusal, const std::string& event, int code,
                            std::optional<LinkCounter> failure) {
    countRefusal(refusal);
    if (failure)
        addStat(*failure);
    logEvent(event, code);
    if (securityLevel_.load() != 0) {
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    oneShotOk_ = nullptr;
    reply(FrameType::Failed);
}

// ---------------------------------------------------------------------------------------------------------
// Clock, program run, delete, move, information

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
    const int in = ::open(src.local.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat sst {};
    if (in < 0 || ::fstat(in, &sst) != 0 || !S_ISREG(sst.st_mode)) {
        if (in >= 0)
            ::close(in);
        failed();
        return;
    }
    struct stat dstSt {};
    if (::stat(dst.local.c_str(), &dstSt) == 0 && dstSt.st_dev == sst.st_dev && dstSt.st_ino == sst.st_ino) {
        // The same file under two names: opening the destination for writing would empty the source. The
        // file already is where it was asked to go.
        ::close(in);
        addStat(LinkCounter::GoodFileMoves);
        reply(FrameType::FileMoved);
        logEvent(format("File Moved OK: From: %s To: %s", from, to), EC::FileMove | EC::Success);
        return;
    }
    const int out = ::open(dst.local.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        failed();
        return;
    }
    bool ok = true;
    std::uint8_t block[1024];
    for (;;) {
        const ssize_t n = ::read(in, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        if (writeAll(out, block, static_cast<std::size_t>(n)) != 0) {
            ok = false;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0)
        ok = false;
    if (!ok) {
        // A half copy under the destination's name would pass for the file; the source is still whole.
        ::unlink(dst.local.c_str());
        failed();
        return;
    }
    ::unlink(src.local.c_str());
    addStat(LinkCounter::GoodFileMoves);
    reply(FrameType::FileMoved);
    logEvent(format("File Moved OK: From: %s To: %s", from, to), EC::FileMove | EC::Success);
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

// ---------------------------------------------------------------------------------------------------------
// Upload to this machine

void LinkServer::enterFileReceive() {
    const auto p = link_.ReceivedPayload();
    transfer_ = TransferInfo{};
    transferPath_.clear();
    uploadTemporary_.clear();
    receiveEventPending_ = false;
    closeTransferFile();
    auto refuse = [&](const std::string& event) {
        reply(FrameType::Failed);
        addStat(LinkCounter::ReceiveFileFailures);
        transfer_.subState = 3;
        logEvent(event, EC::FileReceive | EC::Failure);
    };
    if (p.size() < 6) {
        addStat(LinkCounter::ProtocolErrors);
        refuse("File Receive Failed: Bad Request");
        return;
    }
    transfer_.mode = p[0] | (p[1] << 8);
    transfer_.size =
        static_cast<std::uint32_t>(p[2] | (p[3] << 8) | (p[4] << 16)) | (static_cast<std::uint32_t>(p[5]) << 24);
    std::string name;
    const bool clean = parseName(p.subspan(6), name);
    transfer_.fileName = name;
    // The name field holds at most 260 bytes, its NUL included.
    if (p.size() - 6 > kMaxRemoteName) {
        refuse("File Receive Failed: Bad File Name (too long)");
        return;
    }
    if (!CheckUserConnected()) {
        logEvent(format("File Receive Failed: Security Violation %s", name),
                 EC::FileReceive | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    const ResolvedPath r = clean ? CheckPathAllowed(name) : ResolvedPath{PathRefusal::BadName, {}};
    if (r.refusal == PathRefusal::BadName) {
        refuse(format("File Receive Failed: Cannot open %s", name));
        return;
    }
    if (!r.ok()) {
        refusePath(r.refusal, format("File Receive Failed: Security Violation %s", name),
                   EC::FileReceive | EC::Security | EC::Failure, LinkCounter::ReceiveFileFailures);
        if (state_ == LinkState::FileReceive)
            transfer_.subState = 3;
        return;
    }
    transferPath_ = r.local;
    if (transfer_.mode == TransferMode::Direct)
        transferFd_ = openUploadTemporary();
    else if (transfer_.mode == TransferMode::Appended)
        transferFd_ = openTemporary();
    if (transferFd_ < 0) {
        refuse(format("File Receive Failed: Cannot open %s", name));
        return;
    }
    transfer_.subState = 0;
    transfer_.nextBlock = 0;
    transfer_.bytesReceived = 0;
    receiveEventPending_ = true;
    PostLinkStatus(LinkStatus::Receiving);
}

int LinkServer::openUploadTemporary() {
    std::string target = transferPath_;
    struct stat st {};
    bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        // The upload replaces the file a link leads to, as writing through the link did; the link stays.
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
            exists = ::stat(target.c_str(), &st) == 0;
        } else {
            exists = false;
        }
    }
    if (exists) {
        if (!S_ISREG(st.st_mode))
            return -1;
        // A file this server may not write to is not replaced either.
        const int probe = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0)
            return -1;
        ::close(probe);
    }
    transferPath_ = target;
    const std::string folder = folderOf(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temporary = folder + "/" + kUploadTemporaryPrefix + randomHex();
        // Noted before it exists: a crash at any later point leaves nothing that the next start does not
        // remove. A journal that cannot be written costs only that; the earlier file is safe either way.
        journal_.NoteTemporary(temporary);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        uploadTemporary_ = temporary;
        if (exists) {
            // The new content takes the place of the old under the same permissions and, where this server
            // may give it, the same owner.
            if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
            }
            if (::fchmod(fd, st.st_mode & 07777) != 0) {
                ::close(fd);
                return -1;
            }
        }
        return fd;
    }
    return -1;
}

void LinkServer::runFileReceive() {
    const std::string& name = transfer_.fileName;
    auto failureA = [&] {
        receiveEventPending_ = false;
        abandonLink();
        lastOperationTime_ = now();
        logEvent(format("File Receive Failed: Lost DSR: %s", name), EC::FileReceive | EC::Failure);
    };
    auto timerFailure = [&](const char* event) {
        receiveEventPending_ = false;
        SetLinkState(LinkState::Idle);
        PostLinkStatus(LinkStatus::LinkFailed);
        addStat(LinkCounter::ReceiveFileFailures);
        LinkFailure();
        logEvent(format(event, name), EC::FileReceive | EC::Failure);
    };
    auto serverFailure = [&](const std::string& event, int replyType) {
        receiveEventPending_ = false;
        reply(replyType);
        addStat(LinkCounter::ReceiveFileFailures);
        transfer_.subState = 3;
        logEvent(event, EC::FileReceive | EC::Failure);
    };

    switch (transfer_.subState) {
    case 0:
        reply(FrameType::Ready);
        transfer_.subState = 1;
        break;
    case 1: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            link_.ResetReceiver();
            transfer_.subState = 2;
        } else if (r == kLinkLineLost) {
            failureA();
        } else if (r == kLinkTimerExpired) {
            // The leave step writes the event.
            abandonLink();
            lastOperationTime_ = now();
        }
        break;
    }
    case 2: {
        const int r = link_.AwaitFrame();
        if (r == kLinkLineLost) {
            addStat(LinkCounter::ReceiveFileFailures);
            failureA();
            break;
        }
        if (r == kLinkTimerExpired) {
            timerFailure("Link Failure during File Receive: %s");
            break;
        }
        if (r != kLinkOk)
            break;
        const int type = link_.ReceivedFrameType();
        const auto p = link_.ReceivedPayload();
        if (type == FrameType::Data) {
            if (p.size() < 2 || (p[0] | (p[1] << 8)) != (transfer_.nextBlock & 0xFFFF)) {
                PostLinkStatus(LinkStatus::LinkFailed);
                addStat(LinkCounter::ProtocolErrors);
                serverFailure("File Receive Failed: Protocol Error", FrameType::ProtocolError);
                break;
            }
            if (const int error = writeAll(transferFd_, p.data() + 2, p.size() - 2); error != 0) {
                // A write that fails (a full disk) ends the upload as a failure the remote unit is told of.
                PostLinkStatus(LinkStatus::LinkFailed);
                serverFailure(format("File Receive Failed: %s", name) + becauseOf(error), FrameType::Failed);
                break;
            }
            transfer_.bytesReceived += static_cast<std::uint32_t>(p.size() - 2);
            transfer_.nextBlock += 1;
            transfer_.subState = 0;
            NotifyProgress();
        } else if (type == FrameType::EndOfData) {
            const int error = transfer_.mode == TransferMode::Appended ? appendReceivedFile() : replaceWithUpload();
            if (error == 0) {
                receiveEventPending_ = false;
                transfer_.completed = true;
                reply(FrameType::Done);
                addStat(LinkCounter::GoodReceivedFiles);
                transfer_.subState = 4;
                logEvent(format("File Receive OK: %s", name), EC::FileReceive | EC::Success);
            } else {
                serverFailure(format("File Receive Failed: %s", name) + becauseOf(error), FrameType::Failed);
            }
            NotifyProgress();
        } else if (type == FrameType::Failed || type == FrameType::ProtocolError) {
            receiveEventPending_ = false;
            PostLinkStatus(LinkStatus::LinkFailed);
            SetLinkState(LinkState::Idle);
            addStat(LinkCounter::ReceiveFileFailures);
            lastOperationTime_ = now();
            logEvent(format("Remote Failed File Receive OK: %s", name), EC::FileReceive | EC::Failure);
        } else if (link_.IsRepeatOfLastFrame()) {
            link_.ResetReceiver();
        } else {
            PostLinkStatus(LinkStatus::LinkFailed);
            addStat(LinkCounter::ProtocolErrors);
            serverFailure("File Receive Failed: Protocol Error", FrameType::ProtocolError);
        }
        break;
    }
    case 3: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            SetLinkState(LinkState::Idle);
            PostLinkStatus(LinkStatus::LinkFailed);
            lastOperationTime_ = now();
        } else if (r == kLinkLineLost) {
            addStat(LinkCounter::ReceiveFileFailures);
            failureA();
        } else if (r == kLinkTimerExpired) {
            timerFailure("Link Failure during File Receive: %s");
        }
        break;
    }
    case 4: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            SetLinkState(LinkState::Idle);
            lastOperationTime_ = now();
        } else if (r == kLinkTimerExpired) {
            timerFailure("Link Failure after File Receive: %s");
        } else if (r == kLinkLineLost) {
            addStat(LinkCounter::ReceiveFileFailures);
            failureA();
        }
        break;
    }
    default:
        SetLinkState(LinkState::Idle);
        break;
    }
}

int LinkServer::replaceWithUpload() {
    // Every byte is on the disk before the name changes hands: the earlier file stays as it was until the
    // new one is whole, and a failure at any step leaves it so.
    int error = syncFile(transferFd_);
    if (::close(transferFd_) != 0 && error == 0)
        error = errno;
    transferFd_ = -1;
    if (error == 0 && ::rename(uploadTemporary_.c_str(), transferPath_.c_str()) != 0)
        error = errno;
    if (error != 0)
        return error;
    uploadTemporary_.clear();
    error = syncFolder(folderOf(transferPath_));
    journal_.Settle();
    return error;
}

int LinkServer::appendReceivedFile() {
    const int target = ::open(transferPath_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (target < 0) {
        const int error = errno;
        closeTransferFile();
        return error;
    }
    int error = 0;
    struct stat st {};
    if (::fstat(target, &st) != 0)
        error = errno;
    const off_t before = st.st_size;
    // Noted first, so that even a crash half-way through gives the file back the length it had.
    if (error == 0)
        journal_.NoteAppend(transferPath_, st.st_dev, st.st_ino, before);
    std::uint8_t block[1024];
    if (error == 0 && ::lseek(transferFd_, 0, SEEK_SET) != 0)
        error = errno;
    while (error == 0) {
        const ssize_t n = ::read(transferFd_, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        error = writeAll(target, block, static_cast<std::size_t>(n));
    }
    if (error == 0)
        error = syncFile(target);
    // Half an appendix would pass for the whole: the file goes back to what it was.
    if (error != 0 && ::ftruncate(target, before) == 0)
        ::fsync(target);
    if (::close(target) != 0 && error == 0)
        error = errno;
    closeTransferFile();
    journal_.Settle();
    return error;
}

void LinkServer::leaveFileReceive() {
    if (receiveEventPending_) {
        // Whatever ended the upload (a reopen of the port, a quit, a line that went quiet before the first
        // block) is written down: an upload never ends without a trace.
        receiveEventPending_ = false;
        addStat(LinkCounter::ReceiveFileFailures);
        const bool lineLost = port_ && !link_.PhantomDSR.load() && plat::DsrOn(*port_) == 0;
        logEvent(format(lineLost ? "File Receive Failed: Lost DSR: %s" : "Link Failure during File Receive: %s",
                        transfer_.fileName),
                 EC::FileReceive | EC::Failure);
    }
    closeTransferFile();
    // Only the partial copy goes: the file it was to replace is as it was.
    if (!uploadTemporary_.empty())
        ::unlink(uploadTemporary_.c_str());
    uploadTemporary_.clear();
    journal_.Settle();
}

// ---------------------------------------------------------------------------------------------------------
// Download from this machine

void LinkServer::enterFileSend() {
    const auto p = link_.ReceivedPayload();
    transfer_ = TransferInfo{};
    transferPath_.clear();
    modeChanged_ = false;
    closeTransferFile();
    auto refuse = [&](const std::string& event) {
        addStat(LinkCounter::SendFileFailures);
        transfer_.subState = 3;
        logEvent(event, EC::FileSend | EC::Failure);
        reply(FrameType::Failed);
    };
    if (p.size() < 6) {
        addStat(LinkCounter::ProtocolErrors);
        refuse("File Send Failed: Bad Request");
        return;
    }
    transfer_.mode = p[0] | (p[1] << 8);
    transfer_.label = transfer_.mode == TransferMode::Listing ? "Directory" : "File";
    const std::string& label = transfer_.label;
    std::string name;
    const bool clean = parseName(p.subspan(6), name);
    transfer_.fileName = name;
    if (name.size() > kMaxRemoteName) {
        refuse(format("%s Send Failed: Bad File Name (too long)", label));
        return;
    }
    if (!CheckUserConnected()) {
        logEvent(format("%s Send Failed: Security Violation %s", label, name),
                 EC::FileSend | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    std::string pattern;
    ResolvedPath r{PathRefusal::BadName, {}};
    if (clean)
        r = transfer_.mode == TransferMode::Listing ? paths_.ResolvePattern(name, rights(), pattern)
                                                    : CheckPathAllowed(name);
    if (r.refusal == PathRefusal::BadName) {
        refuse(format("%s Send Failed: Cannot open %s", label, name));
        return;
    }
    if (!r.ok()) {
        refusePath(r.refusal, format("%s Send Failed: Security Violation %s", label, name),
                   EC::FileSend | EC::Security | EC::Failure, LinkCounter::SendFileFailures);
        if (state_ == LinkState::FileSend)
            transfer_.subState = 3;
        return;
    }
    transferPath_ = r.local;
    std::uint32_t size = 0;
    if (transfer_.mode == TransferMode::Listing) {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(r.local.c_str())) {
            while (dirent* e = ::readdir(d)) {
                const std::string entry = e->d_name;
                // Hidden entries (a leading dot, "." and ".." among them) and folders are left out.
                if (entry.empty() || entry[0] == '.')
                    continue;
                struct stat st {};
                if (::stat((r.local + "/" + entry).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                    continue;
                if (MatchesWildcard(pattern, entry))
                    names.push_back(entry);
            }
            ::closedir(d);
            transferFd_ = openTemporary();
        }
        std::sort(names.begin(), names.end());
        bool ok = transferFd_ >= 0;
        for (const auto& n : names) {
            if (!ok)
                break;
            const std::string line = n + "\r\n";
            ok = writeAll(transferFd_, reinterpret_cast<const std::uint8_t*>(line.data()), line.size()) == 0;
            size += static_cast<std::uint32_t>(line.size());
        }
        if (ok && ::lseek(transferFd_, 0, SEEK_SET) != 0)
            ok = false;
        if (!ok)
            closeTransferFile();
    } else {
        struct stat st {};
        if (::stat(r.local.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            if (options_ & LinkOption::LockAndRemoveSent) {
                // Read-only while it goes out; the mode it had is what it gets back, after a crash as well:
                // the change is noted before it is made, and a file whose change cannot be noted stays as it is.
                savedMode_ = st.st_mode & 07777;
                const mode_t readOnly = savedMode_ & ~static_cast<mode_t>(0222);
                modeChanged_ = readOnly != savedMode_ &&
                               journal_.NoteReadOnly(r.local, st.st_dev, st.st_ino, savedMode_, readOnly) &&
                               ::chmod(r.local.c_str(), readOnly) == 0;
            }
            transferFd_ = ::open(r.local.c_str(), O_RDONLY | O_CLOEXEC);
            size = static_cast<std::uint32_t>(std::min<off_t>(st.st_size, 0xFFFFFFFF));
        }
    }
    if (transferFd_ < 0) {
        refuse(format("%s Send Failed: Cannot open %s", label, name));
        return;
    }
    transfer_.size = size;
    transfer_.nextBlock = 0;
    // The name field goes back as it came, with one NUL added: its length is what the remote unit expects.
    const auto field = p.subspan(6);
    std::vector<std::uint8_t> out;
    putU16(out, static_cast<std::uint32_t>(transfer_.mode));
    putU32(out, size);
    out.insert(out.end(), field.begin(), field.end());
    out.push_back(0);
    reply(FrameType::FileReceive, out);
    transfer_.subState = 1;
    PostLinkStatus(LinkStatus::Sending);
}

void LinkServer::runFileSend() {
    const std::string label = transfer_.label;
    const std::string name = transfer_.fileName;
    auto failureB = [&] {
        abandonLink();
        lastOperationTime_ = now();
        logEvent(format("%s Send Failed: Lost DSR: %s", label, name), EC::FileSend | EC::Failure);
    };
    auto failureC = [&] {
        abandonLink();
        lastOperationTime_ = now();
        logEvent(format("Link Failure during %s Send: %s", label, name), EC::FileSend | EC::Failure);
    };
    auto remoteFailed = [&] {
        addStat(LinkCounter::SendFileFailures);
        logEvent(format("%s Send Failed: Remote Failed: %s", label, name), EC::FileSend | EC::Failure);
    };

    switch (transfer_.subState) {
    case 1:
    case 6: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            link_.ResetReceiver();
            transfer_.subState = transfer_.subState == 1 ? 5 : 4;
        } else if (r == kLinkLineLost) {
            failureB();
        } else if (r == kLinkTimerExpired) {
            failureC();
        }
        break;
    }
    case 5: {
        const int r = link_.AwaitFrame();
        if (r == kLinkLineLost) {
            failureB();
            break;
        }
        if (r == kLinkTimerExpired) {
            failureC();
            break;
        }
        if (r != kLinkOk)
            break;
        const int type = link_.ReceivedFrameType();
        if (type == FrameType::Ready) {
            std::uint8_t block[2 + 1020];
            block[0] = static_cast<std::uint8_t>(transfer_.nextBlock & 0xFF);
            block[1] = static_cast<std::uint8_t>((transfer_.nextBlock >> 8) & 0xFF);
            ssize_t n;
            do {
                n = ::read(transferFd_, block + 2, 1020);
            } while (n < 0 && errno == EINTR);
            if (n < 0) {
                // A read that fails is no end of the file: the remote unit is told, and nothing counts as sent.
                addStat(LinkCounter::SendFileFailures);
                PostLinkStatus(LinkStatus::LinkFailed);
                logEvent(format("%s Send Failed: %s", label, name), EC::FileSend | EC::Failure);
                reply(FrameType::Failed);
                transfer_.subState = 3;
            } else if (n > 0) {
                reply(FrameType::Data, block, static_cast<int>(n + 2));
                transfer_.nextBlock += 1;
                transfer_.bytesSent += static_cast<std::uint32_t>(n);
                transfer_.subState = 1;
            } else {
                reply(FrameType::EndOfData);
                transfer_.subState = 6;
            }
            NotifyProgress();
        } else if (type == FrameType::Failed || type == FrameType::ProtocolError) {
            PostLinkStatus(LinkStatus::LinkFailed);
            SetLinkState(LinkState::Idle);
            remoteFailed();
            lastOperationTime_ = now();
        } else if (link_.IsRepeatOfLastFrame()) {
            link_.ResetReceiver();
        } else {
            addStat(LinkCounter::ProtocolErrors);
            addStat(LinkCounter::SendFileFailures);
            logEvent(format("%s Send Failed: Protocol Error", label), EC::FileSend | EC::Failure);
            reply(FrameType::ProtocolError);
            transfer_.subState = 3;
        }
        break;
    }
    case 4: {
        const int r = link_.AwaitFrame();
        if (r == kLinkLineLost) {
            failureB();
            break;
        }
        if (r == kLinkTimerExpired) {
            failureC();
            break;
        }
        if (r != kLinkOk)
            break;
        const int type = link_.ReceivedFrameType();
        if (type == FrameType::Done) {
            addStat(LinkCounter::GoodSentFiles);
            transfer_.completed = true;
            logEvent(format("%s Send OK: %s", label, name), EC::FileSend | EC::Success);
        } else if (type == FrameType::Failed || type == FrameType::ProtocolError) {
            remoteFailed();
        } else {
            addStat(LinkCounter::ProtocolErrors);
            addStat(LinkCounter::SendFileFailures);
            logEvent(format("%s Send Failed: Protocol Error on Finish: %s", label, name), EC::FileSend | EC::Failure);
        }
        lastOperationTime_ = now();
        closeTransferFile();
        NotifyProgress();
        SetLinkState(LinkState::Idle);
        break;
    }
    case 3: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            SetLinkState(LinkState::Idle);
            PostLinkStatus(LinkStatus::LinkFailed);
            lastOperationTime_ = now();
        } else if (r == kLinkLineLost) {
            failureC();
            lastOperationTime_ = now();
            logEvent(format("%s Send Failed: Lost DSR: %s", label, name), EC::FileSend | EC::Failure);
        } else if (r == kLinkTimerExpired) {
            failureC();
        }
        break;
    }
    default:
        SetLinkState(LinkState::Idle);
        break;
    }
}

void LinkServer::leaveFileSend() {
    closeTransferFile();
    if (transfer_.mode == TransferMode::Listing || transferPath_.empty())
        return;
    std::string current = transferPath_;
    if (options_ & LinkOption::LockAndRemoveSent) {
        if (transfer_.completed) {
            // Renamed first so that nobody opens the sent file under its old name meanwhile; an existing
            // ".dl" file is not replaced.
            const std::string renamed = current + ".dl";
            if (::renameat2(AT_FDCWD, current.c_str(), AT_FDCWD, renamed.c_str(), RENAME_NOREPLACE) == 0)
                current = renamed;
        }
        if (modeChanged_)
            ::chmod(current.c_str(), savedMode_);
        modeChanged_ = false;
        if (transfer_.completed)
            ::unlink(current.c_str());
        journal_.Settle();
    } else if ((options_ & LinkOption::RemoveSent) && transfer_.completed) {
        ::unlink(current.c_str());
    }
}

} // namespace comms
