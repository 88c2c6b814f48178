// Upload to this machine (FileReceive) and download from it (FileSend), each a link state whose run step goes
// through the steps of its transfer: blocks of up to 1020 bytes, each one asked for and acknowledged.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "commserver/FileSteps.h"
#include "commserver/LinkServer.h"
#include "commserver/RequestText.h"
#include "platform/SerialPort.h"

namespace comms {

namespace {

namespace EC = HistoryEventCode;

using filesteps::baseOf;
using filesteps::becauseOf;
using filesteps::folderOf;
using filesteps::randomHex;
using filesteps::sameFile;
using filesteps::syncFolder;

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

// ---------------------------------------------------------------------------------------------------------
// The transfer's file

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

// ---------------------------------------------------------------------------------------------------------
// Upload to this machine

void LinkServer::enterFileReceive() {
    const auto p = link_.ReceivedPayload();
    transfer_ = TransferInfo{};
    transferPath_.clear();
    uploadTemporary_.clear();
    receiveEventPending_ = false;
    closeTransferFile();
    if (transferDir_ >= 0)
        ::close(transferDir_);
    transferDir_ = -1;
    auto refuse = [&](const std::string& event) {
        reply(FrameType::Failed);
        addStat(LinkCounter::ReceiveFileFailures);
        setStep(ReceiveStep::AwaitRefusalAck);
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
            setStep(ReceiveStep::AwaitRefusalAck);
        return;
    }
    transferPath_ = r.local;
    if (transfer_.mode == TransferMode::Direct || transfer_.mode == TransferMode::Appended)
        transferFd_ = openUploadTemporary();
    if (transferFd_ < 0) {
        refuse(format("File Receive Failed: Cannot open %s", name));
        return;
    }
    setStep(ReceiveStep::SendReady);
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
        // The upload goes to the file a link leads to, as writing through the link did; the link stays.
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
            exists = ::lstat(target.c_str(), &st) == 0;
        } else {
            exists = false;
        }
    }
    if (exists) {
        if (!S_ISREG(st.st_mode))
            return -1;
        // A file this server may not write to is not replaced or appended to either.
        const int probe = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        if (probe < 0)
            return -1;
        const bool regular = ::fstat(probe, &st) == 0 && S_ISREG(st.st_mode);
        ::close(probe);
        if (!regular)
            return -1;
    }
    // From here on the upload acts in this folder, whatever its path comes to lead to, and on this file: the
    // end checks that the name still leads to it.
    transferPath_ = target;
    transferName_ = baseOf(target);
    transferDir_ = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (transferDir_ < 0)
        return -1;
    targetExisted_ = exists;
    targetDev_ = exists ? st.st_dev : 0;
    targetIno_ = exists ? st.st_ino : 0;
    // An append is received aside, in the server's folder, where the journal that names it can tell its bytes
    // from anyone else's after a crash; a direct upload beside the file it is to replace.
    const bool aside = transfer_.mode == TransferMode::Appended;
    const std::string folder = aside ? journal_.Folder() : folderOf(target);
    const int folderFd = aside ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : transferDir_;
    if (folderFd < 0)
        return -1;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        const std::string name = kUploadTemporaryPrefix + randomHex();
        // Noted before it exists: a crash at any later point leaves nothing that the next start does not
        // remove. A journal that cannot be written costs only that; the earlier file is safe either way.
        journal_.NoteTemporary(folder + "/" + name);
        fd = ::openat(folderFd, name.c_str(), (aside ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      aside ? 0600 : 0644);
        if (fd < 0 && errno != EEXIST)
            break;
        if (fd >= 0)
            uploadTemporary_ = folder + "/" + name;
    }
    if (aside)
        ::close(folderFd);
    if (fd >= 0 && exists && !aside) {
        // The new content takes the place of the old under the same permissions and, where this server may
        // give it, the same owner.
        if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
        }
        if (::fchmod(fd, st.st_mode & 07777) != 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

void LinkServer::runFileReceive() {
    const std::string& name = transfer_.fileName;
    switch (static_cast<ReceiveStep>(transfer_.subState)) {
    case ReceiveStep::SendReady:
        reply(FrameType::Ready);
        setStep(ReceiveStep::AwaitReadyAck);
        break;
    case ReceiveStep::AwaitReadyAck: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            link_.ResetReceiver();
            setStep(ReceiveStep::AwaitBlock);
        } else if (r == kLinkLineLost) {
            failReceiveLostDsr();
        } else if (r == kLinkTimerExpired) {
            // The leave step writes the event.
            abandonLink();
            lastOperationTime_ = now();
        }
        break;
    }
    case ReceiveStep::AwaitBlock: {
        if (!frameArrived(&LinkServer::failReceiveLineLost, &LinkServer::failReceiveTimedOut))
            break;
        const int type = link_.ReceivedFrameType();
        const auto p = link_.ReceivedPayload();
        if (type == FrameType::Data) {
            if (p.size() < 2 || (p[0] | (p[1] << 8)) != (transfer_.nextBlock & 0xFFFF)) {
                PostLinkStatus(LinkStatus::LinkFailed);
                addStat(LinkCounter::ProtocolErrors);
                failReceiveOnServer("File Receive Failed: Protocol Error", FrameType::ProtocolError);
                break;
            }
            if (const int error = writeAll(transferFd_, p.data() + 2, p.size() - 2); error != 0) {
                // A write that fails (a full disk) ends the upload as a failure the remote unit is told of.
                PostLinkStatus(LinkStatus::LinkFailed);
                failReceiveOnServer(format("File Receive Failed: %s", name) + becauseOf(error), FrameType::Failed);
                break;
            }
            transfer_.bytesReceived += static_cast<std::uint32_t>(p.size() - 2);
            transfer_.nextBlock += 1;
            setStep(ReceiveStep::SendReady);
            NotifyProgress();
        } else if (type == FrameType::EndOfData) {
            const int error = transfer_.mode == TransferMode::Appended ? appendReceivedFile() : replaceWithUpload();
            if (error == 0) {
                receiveEventPending_ = false;
                transfer_.completed = true;
                reply(FrameType::Done);
                addStat(LinkCounter::GoodReceivedFiles);
                setStep(ReceiveStep::AwaitDoneAck);
                logEvent(format("File Receive OK: %s", name), EC::FileReceive | EC::Success);
            } else if (error == kTargetChanged) {
                // Someone made the name lead elsewhere (a link, another file) while the upload came in: nothing
                // is written there.
                PostLinkStatus(LinkStatus::LinkFailed);
                failReceiveOnServer(format("File Receive Failed: %s (no longer the file the request found)", name),
                                    FrameType::Failed, EC::FileReceive | EC::Security | EC::Failure);
            } else {
                failReceiveOnServer(format("File Receive Failed: %s", name) + becauseOf(error), FrameType::Failed);
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
            failReceiveOnServer("File Receive Failed: Protocol Error", FrameType::ProtocolError);
        }
        break;
    }
    case ReceiveStep::AwaitRefusalAck: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            SetLinkState(LinkState::Idle);
            PostLinkStatus(LinkStatus::LinkFailed);
            lastOperationTime_ = now();
        } else if (r == kLinkLineLost) {
            failReceiveLineLost();
        } else if (r == kLinkTimerExpired) {
            failReceiveTimedOut();
        }
        break;
    }
    case ReceiveStep::AwaitDoneAck: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            SetLinkState(LinkState::Idle);
            lastOperationTime_ = now();
        } else if (r == kLinkTimerExpired) {
            failReceiveTimedOutAfterEnd();
        } else if (r == kLinkLineLost) {
            failReceiveLineLost();
        }
        break;
    }
    default:
        SetLinkState(LinkState::Idle);
        break;
    }
}

void LinkServer::failReceiveLostDsr() {
    receiveEventPending_ = false;
    abandonLink();
    lastOperationTime_ = now();
    logEvent(format("File Receive Failed: Lost DSR: %s", transfer_.fileName), EC::FileReceive | EC::Failure);
}

void LinkServer::failReceiveLineLost() {
    addStat(LinkCounter::ReceiveFileFailures);
    failReceiveLostDsr();
}

void LinkServer::failReceiveTimedOut() {
    failReceiveLink("Link Failure during File Receive: %s");
}

void LinkServer::failReceiveTimedOutAfterEnd() {
    failReceiveLink("Link Failure after File Receive: %s");
}

void LinkServer::failReceiveLink(const char* event) {
    receiveEventPending_ = false;
    SetLinkState(LinkState::Idle);
    PostLinkStatus(LinkStatus::LinkFailed);
    addStat(LinkCounter::ReceiveFileFailures);
    LinkFailure();
    logEvent(format(event, transfer_.fileName), EC::FileReceive | EC::Failure);
}

void LinkServer::failReceiveOnServer(const std::string& event, int replyType, int code) {
    receiveEventPending_ = false;
    reply(replyType);
    addStat(LinkCounter::ReceiveFileFailures);
    setStep(ReceiveStep::AwaitRefusalAck);
    logEvent(event, code);
}

int LinkServer::replaceWithUpload() {
    // Every byte is on the disk before the name changes hands: the earlier file stays as it was until the
    // new one is whole, and a failure at any step leaves it so.
    int error = syncFile(transferFd_);
    if (::close(transferFd_) != 0 && error == 0)
        error = errno;
    transferFd_ = -1;
    if (error != 0)
        return error;
    // The name goes to the new file only while it still leads to the file the request found (or to none, or
    // a plain file, when it found none): never in place of what someone put there since.
    struct stat now {};
    if (::fstatat(transferDir_, transferName_.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(now.st_mode) || (targetExisted_ && !sameFile(now, targetDev_, targetIno_)))
            return kTargetChanged;
    } else if (errno != ENOENT || targetExisted_) {
        return errno == ENOENT ? kTargetChanged : errno;
    }
    if (::renameat(transferDir_, baseOf(uploadTemporary_).c_str(), transferDir_, transferName_.c_str()) != 0)
        return errno;
    uploadTemporary_.clear();
    error = syncFolder(transferDir_);
    journal_.Settle();
    return error;
}

int LinkServer::appendReceivedFile() {
    // The received copy is whole on the disk before the journal names it.
    int error = syncFile(transferFd_);
    struct stat copy {};
    if (error == 0 && ::fstat(transferFd_, &copy) != 0)
        error = errno;
    if (error != 0)
        return error;
    // The file the request found, reached from its folder without following a link; when it found none, a
    // new file of that name, or a plain file someone made meanwhile (a link put there since is not followed).
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    bool created = false;
    int target = -1;
    if (!targetExisted_) {
        target = ::openat(transferDir_, transferName_.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
        created = target >= 0;
    }
    if (target < 0 && (targetExisted_ || errno == EEXIST))
        target = ::openat(transferDir_, transferName_.c_str(), kFlags);
    if (target < 0)
        return errno == ELOOP || errno == ENXIO || errno == ENOENT ? kTargetChanged : errno;
    struct stat st {};
    if (::fstat(target, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode) || (targetExisted_ && !sameFile(st, targetDev_, targetIno_)))
        error = kTargetChanged;
    const off_t before = st.st_size;
    // Noted first, so that even a crash half-way through gives the file back the length it had, and only that
    // much: what is cut back after a crash must be a beginning of the received copy. A note that cannot be
    // written stops the append.
    const std::size_t mark = journal_.Mark();
    if (error == 0 &&
        !journal_.NoteAppend(transferPath_, st.st_dev, st.st_ino, before, copy.st_size, baseOf(uploadTemporary_)))
        error = journal_.LastError() != 0 ? journal_.LastError() : EIO;
    std::uint8_t block[1024];
    off_t done = 0;
    while (error == 0 && done < copy.st_size) {
        const ssize_t n = ::pread(transferFd_, block, sizeof block, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        error = writeAll(target, block, static_cast<std::size_t>(n));
        if (error == 0)
            done += n;
    }
    if (error == 0)
        error = syncFile(target);
    // Half an appendix would pass for the whole: the file goes back to what it was, unless someone else has
    // appended since.
    if (error != 0 && error != kTargetChanged) {
        struct stat after {};
        if (::fstat(target, &after) == 0 && after.st_size > before && after.st_size <= before + done &&
            ::ftruncate(target, before) == 0)
            ::fsync(target);
    }
    // A file made for the append and left empty goes again.
    struct stat empty {};
    if (error != 0 && created && ::fstat(target, &empty) == 0 && empty.st_size == 0 &&
        ::fstatat(transferDir_, transferName_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(st, empty.st_dev, empty.st_ino))
        ::unlinkat(transferDir_, transferName_.c_str(), 0);
    if (::close(target) != 0 && error == 0)
        error = errno;
    closeTransferFile();
    // The append is settled; the received copy goes, noted until it has gone.
    journal_.SettleBackTo(mark);
    if (::unlink(uploadTemporary_.c_str()) == 0)
        uploadTemporary_.clear();
    journal_.Settle();
    return error;
}

void LinkServer::leaveFileReceive() {
    if (receiveEventPending_) {
        // Whatever ended the upload (a reopen of the port, a quit, a line that went quiet before the first
        // block) is written down: an upload never ends without a trace.
        receiveEventPending_ = false;
        addStat(LinkCounter::ReceiveFileFailures);
        const bool lineLost = port() && !link_.PhantomDSR.load() && plat::DsrOn(*port()) == 0;
        logEvent(format(lineLost ? "File Receive Failed: Lost DSR: %s" : "Link Failure during File Receive: %s",
                        transfer_.fileName),
                 EC::FileReceive | EC::Failure);
    }
    closeTransferFile();
    // Only the partial copy goes: the file it was to replace is as it was.
    if (!uploadTemporary_.empty())
        ::unlink(uploadTemporary_.c_str());
    uploadTemporary_.clear();
    if (transferDir_ >= 0)
        ::close(transferDir_);
    transferDir_ = -1;
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
        setStep(SendStep::AwaitRefusalAck);
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
            setStep(SendStep::AwaitRefusalAck);
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
        // Opened before anything else is done, without waiting on it: the permissions change on the file that is
        // sent, whatever its name comes to lead to.
        struct stat st {};
        transferFd_ = ::open(r.local.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (transferFd_ >= 0 && (::fstat(transferFd_, &st) != 0 || !S_ISREG(st.st_mode)))
            closeTransferFile();
        if (transferFd_ >= 0) {
            if (options_ & LinkOption::LockAndRemoveSent) {
                // Read-only while it goes out; the mode it had is what it gets back, after a crash as well:
                // the change is noted before it is made, and a file whose change cannot be noted stays as it is.
                savedMode_ = st.st_mode & 07777;
                const mode_t readOnly = savedMode_ & ~static_cast<mode_t>(0222);
                modeChanged_ = readOnly != savedMode_ &&
                               journal_.NoteReadOnly(r.local, st.st_dev, st.st_ino, savedMode_, readOnly) &&
                               ::fchmod(transferFd_, readOnly) == 0;
            }
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
    setStep(SendStep::AwaitHeaderOrBlockAck);
    PostLinkStatus(LinkStatus::Sending);
}

void LinkServer::runFileSend() {
    const std::string label = transfer_.label;
    const std::string name = transfer_.fileName;
    switch (static_cast<SendStep>(transfer_.subState)) {
    case SendStep::AwaitHeaderOrBlockAck:
    case SendStep::AwaitEndAck: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            link_.ResetReceiver();
            setStep(static_cast<SendStep>(transfer_.subState) == SendStep::AwaitHeaderOrBlockAck
                        ? SendStep::AwaitReady
                        : SendStep::AwaitFinish);
        } else if (r == kLinkLineLost) {
            failSendLineLost();
        } else if (r == kLinkTimerExpired) {
            failSendLinkFailure();
        }
        break;
    }
    case SendStep::AwaitReady: {
        if (!frameArrived(&LinkServer::failSendLineLost, &LinkServer::failSendLinkFailure))
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
                setStep(SendStep::AwaitRefusalAck);
            } else if (n > 0) {
                reply(FrameType::Data, block, static_cast<int>(n + 2));
                transfer_.nextBlock += 1;
                transfer_.bytesSent += static_cast<std::uint32_t>(n);
                setStep(SendStep::AwaitHeaderOrBlockAck);
            } else {
                reply(FrameType::EndOfData);
                setStep(SendStep::AwaitEndAck);
            }
            NotifyProgress();
        } else if (type == FrameType::Failed || type == FrameType::ProtocolError) {
            PostLinkStatus(LinkStatus::LinkFailed);
            SetLinkState(LinkState::Idle);
            sendRemoteFailed();
            lastOperationTime_ = now();
        } else if (link_.IsRepeatOfLastFrame()) {
            link_.ResetReceiver();
        } else {
            addStat(LinkCounter::ProtocolErrors);
            addStat(LinkCounter::SendFileFailures);
            logEvent(format("%s Send Failed: Protocol Error", label), EC::FileSend | EC::Failure);
            reply(FrameType::ProtocolError);
            setStep(SendStep::AwaitRefusalAck);
        }
        break;
    }
    case SendStep::AwaitFinish: {
        if (!frameArrived(&LinkServer::failSendLineLost, &LinkServer::failSendLinkFailure))
            break;
        const int type = link_.ReceivedFrameType();
        if (type == FrameType::Done) {
            addStat(LinkCounter::GoodSentFiles);
            transfer_.completed = true;
            logEvent(format("%s Send OK: %s", label, name), EC::FileSend | EC::Success);
        } else if (type == FrameType::Failed || type == FrameType::ProtocolError) {
            sendRemoteFailed();
        } else {
            addStat(LinkCounter::ProtocolErrors);
            addStat(LinkCounter::SendFileFailures);
            logEvent(format("%s Send Failed: Protocol Error on Finish: %s", label, name), EC::FileSend | EC::Failure);
        }
        lastOperationTime_ = now();
        NotifyProgress();
        // The leave step closes the file, once it has given it its permissions back.
        SetLinkState(LinkState::Idle);
        break;
    }
    case SendStep::AwaitRefusalAck: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            SetLinkState(LinkState::Idle);
            PostLinkStatus(LinkStatus::LinkFailed);
            lastOperationTime_ = now();
        } else if (r == kLinkLineLost) {
            failSendLineLostAfterRefusal();
        } else if (r == kLinkTimerExpired) {
            failSendLinkFailure();
        }
        break;
    }
    default:
        SetLinkState(LinkState::Idle);
        break;
    }
}

void LinkServer::failSendLineLost() {
    abandonLink();
    lastOperationTime_ = now();
    logEvent(format("%s Send Failed: Lost DSR: %s", transfer_.label, transfer_.fileName), EC::FileSend | EC::Failure);
}

void LinkServer::failSendLinkFailure() {
    abandonLink();
    lastOperationTime_ = now();
    logEvent(format("Link Failure during %s Send: %s", transfer_.label, transfer_.fileName),
             EC::FileSend | EC::Failure);
}

void LinkServer::failSendLineLostAfterRefusal() {
    failSendLinkFailure();
    lastOperationTime_ = now();
    logEvent(format("%s Send Failed: Lost DSR: %s", transfer_.label, transfer_.fileName), EC::FileSend | EC::Failure);
}

void LinkServer::sendRemoteFailed() {
    addStat(LinkCounter::SendFileFailures);
    logEvent(format("%s Send Failed: Remote Failed: %s", transfer_.label, transfer_.fileName),
             EC::FileSend | EC::Failure);
}

void LinkServer::leaveFileSend() {
    if (transfer_.mode == TransferMode::Listing || transferPath_.empty()) {
        closeTransferFile();
        return;
    }
    std::string current = transferPath_;
    if (options_ & LinkOption::LockAndRemoveSent) {
        if (transfer_.completed) {
            // Renamed first so that nobody opens the sent file under its old name meanwhile; an existing
            // ".dl" file is not replaced.
            const std::string renamed = current + ".dl";
            if (::renameat2(AT_FDCWD, current.c_str(), AT_FDCWD, renamed.c_str(), RENAME_NOREPLACE) == 0)
                current = renamed;
        }
        if (modeChanged_ && transferFd_ >= 0)
            ::fchmod(transferFd_, savedMode_);
        modeChanged_ = false;
        if (transfer_.completed)
            ::unlink(current.c_str());
        journal_.Settle();
    } else if ((options_ & LinkOption::RemoveSent) && transfer_.completed) {
        ::unlink(current.c_str());
    }
    closeTransferFile();
}

} // namespace comms
