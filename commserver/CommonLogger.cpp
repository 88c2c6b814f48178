#include "commserver/CommonLogger.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <QProcess>
#include <QString>
#include <unistd.h>

#include "commserver/HistoryLog.h"
#include "platform/Paths.h"

namespace comms {

namespace {

void putU16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void putU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Copies text into a NUL-terminated field of the given size, cut to fit.
void putText(std::uint8_t* field, std::size_t size, const std::string& text) {
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), n);
    field[n] = 0;
}

std::string nameOrUnknown(const std::string& name) {
    return name.size() > 30 ? std::string("Unknown") : name;
}

bool startDetached(const std::string& program, const std::string& workingFolder) {
    return QProcess::startDetached(QString::fromStdString(program), {}, QString::fromStdString(workingFolder));
}

} // namespace

HistoryEventRecord BuildHistoryEventRecord(const std::string& message, int code, const std::string& userName,
                                           const std::string& fullName, int portNumber, std::int64_t eventTime,
                                           int milliseconds, const std::string& computerName) {
    HistoryEventRecord r{};
    r[0] = 1;
    putU16(&r[2], 0);
    putU32(&r[4], static_cast<std::uint32_t>(eventTime));
    putU16(&r[8], static_cast<std::uint32_t>(milliseconds));
    r[10] = static_cast<std::uint8_t>(code & HistoryEventCode::OutcomeMask);
    // "COM1" .. "COM99" fit the six bytes; anything else would be a wrong name, so the field stays empty.
    if (portNumber >= 0 && portNumber + 1 <= 99)
        putText(&r[11], 6, "COM" + std::to_string(portNumber + 1));
    putText(&r[17], 31, PlainText(nameOrUnknown(userName)));
    putText(&r[48], 31, PlainText(nameOrUnknown(fullName)));
    putU32(&r[100], static_cast<std::uint32_t>(code & ~HistoryEventCode::OutcomeMask));
    putText(&r[104], 256, PlainText(message));
    putText(&r[360], 36, computerName.substr(0, 15));
    return r;
}

std::string ComputerName() {
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0')
        return "Unknown";
    return std::string(buf).substr(0, 15);
}

CommonLoggerLink::CommonLoggerLink() : starter_(startDetached), computerName_(ComputerName()) {}

CommonLoggerLink::~CommonLoggerLink() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueChanged_.notify_all();
    if (sender_.joinable())
        sender_.join();
}

void CommonLoggerLink::Configure(const std::string& exePath, const std::string& databasePath, bool dontStart) {
    std::lock_guard lock(mutex_);
    exePath_ = exePath;
    databasePath_ = databasePath;
    dontStart_ = dontStart;
    linkOn_ = !exePath.empty() || !databasePath.empty();
}

bool CommonLoggerLink::LinkOn() const {
    std::lock_guard lock(mutex_);
    return linkOn_;
}

void CommonLoggerLink::SetServerWindow(plat::winmsg::WindowHandle window) {
    std::lock_guard lock(mutex_);
    serverWindow_ = window;
}

void CommonLoggerLink::SetProgramStarter(ProgramStarter starter) {
    std::lock_guard lock(mutex_);
    starter_ = std::move(starter);
}

void CommonLoggerLink::SetSendTimeout(int milliseconds) {
    std::lock_guard lock(mutex_);
    sendTimeoutMs_ = milliseconds;
}

bool CommonLoggerLink::LoggerMissing() const {
    std::lock_guard lock(mutex_);
    return loggerMissing_;
}

plat::winmsg::WindowHandle CommonLoggerLink::findLogger() const {
    return plat::winmsg::findWindow(std::nullopt, kWindowTitle);
}

void CommonLoggerLink::ConnectCommonLogger() {
    bool dontStart;
    ProgramStarter starter;
    QString program, folder;
    {
        std::lock_guard lock(mutex_);
        if (!linkOn_)
            return;
        dontStart = dontStart_;
        starter = starter_;
        program = plat::resolveIn(QString::fromStdString(exePath_), QString::fromLatin1(kProgramName));
        folder = plat::toLocalPath(QString::fromStdString(databasePath_));
    }
    // No lock is held while the logger is looked for or started: both may take their time.
    plat::winmsg::WindowHandle window = findLogger();
    if (window == 0 && !dontStart && starter && starter(program.toStdString(), folder.toStdString()))
        window = findLogger();
    std::lock_guard lock(mutex_);
    loggerWindow_ = window;
    loggerMissing_ = window == 0;
}

bool CommonLoggerLink::SendToCommonLogger(const std::string& message, int code, const std::string& userName,
                                          const std::string& fullName, int portNumber, std::int64_t eventTime) {
    plat::winmsg::WindowHandle window, server;
    int timeoutMs;
    bool missing;
    {
        std::lock_guard lock(mutex_);
        if (!linkOn_)
            return false;
        window = loggerWindow_;
        server = serverWindow_;
        timeoutMs = sendTimeoutMs_;
        missing = loggerMissing_;
    }
    auto remember = [this](plat::winmsg::WindowHandle w) {
        std::lock_guard lock(mutex_);
        loggerWindow_ = w;
        loggerMissing_ = w == 0;
    };
    if (missing) {
        window = findLogger();
        remember(window);
        if (window == 0)
            return false;
    }
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    const HistoryEventRecord record = BuildHistoryEventRecord(message, code, userName, fullName, portNumber, eventTime,
                                                              static_cast<int>(ts.tv_nsec / 1000000), computerName_);
    // The send blocks up to its time-out; no lock is held meanwhile.
    auto send = [&](plat::winmsg::WindowHandle w) {
        const auto result = plat::winmsg::sendMessage(w, plat::winmsg::WM_COPYDATA, server, 0, record, timeoutMs);
        return result.value_or(0) != 0;
    };
    if (send(window))
        return true;
    window = findLogger();
    remember(window);
    return window != 0 && send(window);
}

void CommonLoggerLink::Forward(const std::string& message, int code, const std::string& userName,
                               const std::string& fullName, int portNumber, std::int64_t eventTime) {
    if (!LinkOn())
        return;
    {
        std::lock_guard lock(queueMutex_);
        if (stopping_)
            return;
        if (queue_.size() >= kQueueLimit)
            queue_.pop_front();
        queue_.push_back(Queued{message, code, userName, fullName, portNumber, eventTime});
        if (!sender_.joinable())
            sender_ = std::thread([this] { senderLoop(); });
    }
    queueChanged_.notify_all();
}

bool CommonLoggerLink::Flush(int timeoutMs) {
    std::unique_lock lock(queueMutex_);
    return queueChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return queue_.empty() && !sending_; });
}

void CommonLoggerLink::senderLoop() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        queueChanged_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        Queued q = std::move(queue_.front());
        queue_.pop_front();
        sending_ = true;
        lock.unlock();
        SendToCommonLogger(q.message, q.code, q.userName, q.fullName, q.portNumber, q.eventTime);
        lock.lock();
        sending_ = false;
        queueChanged_.notify_all();
    }
}

} // namespace comms
