// The remote unit's one-shot operations on this machine: the date and time for its clock, a program run, and
// a file's delete, move and information. Each is the enter step of its link state; the reply's acknowledgement
// is the worker's common run step.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace comms
