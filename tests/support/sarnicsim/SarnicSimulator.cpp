#include "sarnicsim/SarnicSimulator.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include <poll.h>
#include <unistd.h>

namespace {
std::int64_t steadySeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The PC's wall clock read as a zone-less calendar: what a technician would set the logger to.
std::int64_t localSeconds() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    return static_cast<std::int64_t>(::timegm(&tm));
}

void putBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
} // namespace

std::uint16_t SarnicSimulator::Crc(const std::uint8_t* data, std::size_t n) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= static_cast<std::uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc =
                (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

SarnicSimulator::SarnicSimulator(int masterFd) : fd_(masterFd) {
    // A logger that has been out in the field a while: a bell-shaped histogram around 30 dB, a history with a
    // few leak flags, a last reset time and a rate scale of 10 in its memory.
    for (int i = 0; i < 100; ++i)
        state_.histogram[i] = static_cast<std::uint16_t>(std::lround(1500.0 * std::exp(-((i - 30) * (i - 30)) / 60.0)));
    state_.history.fill(state_.filler);
    for (int j = 0; j < 12; ++j) {
        std::uint8_t level = static_cast<std::uint8_t>(20 + 2 * j);
        std::uint8_t spread = static_cast<std::uint8_t>(3 + j % 4);
        if (j % 5 == 1)
            level |= 0x80;
        if (j % 4 == 2)
            spread |= 0x80;
        state_.history[2 * j] = level;
        state_.history[2 * j + 1] = spread;
    }
    for (int a = 0; a < 256; ++a)
        state_.memory[a] = static_cast<std::uint8_t>(0x40 + a);
    putBe32(&state_.memory[18], static_cast<std::uint32_t>(localSeconds() - 86400 * 3));
    state_.memory[24] = 10;
    clockBase_ = localSeconds();
    clockSetAt_ = steadySeconds();
    thread_ = std::thread([this] { run(); });
}

SarnicSimulator::~SarnicSimulator() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void SarnicSimulator::with(const std::function<void(State&)>& change) {
    std::lock_guard lock(mutex_);
    change(state_);
}

SarnicSimulator::State SarnicSimulator::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::int32_t SarnicSimulator::clock() const {
    std::lock_guard lock(mutex_);
    return clockNow();
}

std::int32_t SarnicSimulator::clockNow() const {
    return static_cast<std::int32_t>(state_.clockStopped ? clockBase_ : clockBase_ + (steadySeconds() - clockSetAt_));
}

void SarnicSimulator::setClock(std::int32_t seconds) {
    std::lock_guard lock(mutex_);
    clockBase_ = seconds;
    clockSetAt_ = steadySeconds();
}

void SarnicSimulator::setFault(Fault fault, int count, int command) {
    std::lock_guard lock(mutex_);
    fault_ = fault;
    faultCount_ = count;
    faultCommand_ = command;
}

std::vector<SarnicSimulator::Request> SarnicSimulator::requests() const {
    std::lock_guard lock(mutex_);
    return log_;
}

int SarnicSimulator::attentions() const {
    std::lock_guard lock(mutex_);
    return attentions_;
}

int SarnicSimulator::badFrames() const {
    std::lock_guard lock(mutex_);
    return badFrames_;
}

void SarnicSimulator::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
    attentions_ = 0;
    badFrames_ = 0;
}

bool SarnicSimulator::waitForRequests(std::size_t n, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return log_.size() >= n; });
}

bool SarnicSimulator::waitUntilQuiet(int timeoutMs) const {
    std::unique_lock lock(mutex_);
    // A poll that began before this call may have missed the last bytes: the second one after it did not.
    const long from = quietPolls_;
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return quietPolls_ >= from + 2; });
}

void SarnicSimulator::run() {
    std::uint8_t buf[256];
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) {
            std::lock_guard lock(mutex_);
            ++quietPolls_;
            changed_.notify_all();
            continue;
        }
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) {
            // The program's side is closed (between its open and reopen): nothing to read for now.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        for (ssize_t i = 0; i < n; ++i)
            onByte(buf[i]);
    }
}

void SarnicSimulator::onByte(std::uint8_t b) {
    switch (stage_) {
    case Stage::Hunt:
        if (b == 0) {
            if (++nulRun_ == 8) {
                std::lock_guard lock(mutex_);
                ++attentions_;
                if (!state_.ignoreAttention)
                    state_.awake = true;
                changed_.notify_all();
            }
            return;
        }
        nulRun_ = 0;
        if (b == 0x02) {
            frame_.clear();
            stage_ = Stage::Length;
        }
        return;
    case Stage::Length:
        if (b < 1 || b > 5) {
            stage_ = Stage::Hunt;
            std::lock_guard lock(mutex_);
            ++badFrames_;
            return;
        }
        length_ = b;
        frame_.push_back(b);
        stage_ = Stage::Message;
        return;
    case Stage::Message:
        frame_.push_back(b);
        if (frame_.size() == length_ + 1)
            stage_ = Stage::CrcHigh;
        return;
    case Stage::CrcHigh:
        frame_.push_back(b);
        stage_ = Stage::CrcLow;
        return;
    case Stage::CrcLow: {
        frame_.push_back(b);
        stage_ = Stage::Hunt;
        const std::uint16_t crc = Crc(frame_.data(), length_ + 1);
        const std::uint16_t got = static_cast<std::uint16_t>(frame_[length_ + 1] << 8 | frame_[length_ + 2]);
        if (crc != got) {
            std::lock_guard lock(mutex_);
            ++badFrames_;
            return;
        }
        onRequest(std::vector<std::uint8_t>(frame_.begin() + 1, frame_.begin() + 1 + static_cast<long>(length_)));
        return;
    }
    }
}

std::vector<std::uint8_t> SarnicSimulator::answer(std::uint8_t command, const std::vector<std::uint8_t>& p,
                                                  std::uint8_t* status) {
    // Called under the lock.
    State& s = state_;
    std::vector<std::uint8_t> d;
    auto expect = [&](std::size_t n) {
        if (p.size() == n)
            return true;
        *status = 2;
        return false;
    };
    *status = 0;
    switch (command) {
    case 0:
        if (expect(0)) {
            d.assign(12, s.filler);
            d[1] = s.firmwareMajor;
            d[2] = s.firmwareMinor;
            d[3] = static_cast<std::uint8_t>(s.serial >> 16);
            d[4] = static_cast<std::uint8_t>(s.serial >> 8);
            d[5] = static_cast<std::uint8_t>(s.serial);
        }
        break;
    case 1:
        if (expect(0))
            d = {s.leakCode};
        break;
    case 2:
        if (expect(0)) {
            d.resize(4);
            putBe32(d.data(), static_cast<std::uint32_t>(clockNow()));
        }
        break;
    case 3:
        if (expect(4)) {
            clockBase_ =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
            clockSetAt_ = steadySeconds();
        }
        break;
    case 4:
        if (expect(0))
            d.assign(s.rates.begin(), s.rates.end());
        break;
    case 5:
        if (expect(4))
            std::copy(p.begin(), p.end(), s.rates.begin());
        break;
    case 7:
        if (expect(0))
            d.assign(s.history.begin(), s.history.end());
        break;
    case 8:
        if (expect(0)) {
            for (std::uint16_t c : s.histogram) {
                d.push_back(static_cast<std::uint8_t>(c >> 8));
                d.push_back(static_cast<std::uint8_t>(c));
            }
        }
        break;
    case 11:
        if (expect(0)) {
            d.assign(12, s.filler);
            d[0] = s.noise;
        }
        break;
    case 13:
        expect(0);
        break;
    case 17:
        if (expect(1))
            s.days = p[0];
        break;
    case 18:
        if (expect(0))
            d = {s.days};
        break;
    case 240:
        if (expect(0))
            d = {s.battery};
        break;
    case 252:
        if (expect(3))
            s.serial = static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
        break;
    case 253:
        if (expect(2)) {
            if (p[0] != 252) {
                *status = 2;
                break;
            }
            for (int k = 0; k < 4; ++k)
                d.push_back(p[1] + k < 256 ? s.memory[p[1] + k] : 0);
        }
        break;
    default:
        *status = 1;
        break;
    }
    return d;
}

void SarnicSimulator::onRequest(const std::vector<std::uint8_t>& message) {
    std::vector<std::uint8_t> data;
    std::uint8_t status = 0;
    Fault fault = Fault::None;
    const std::uint8_t command = message[0];
    {
        std::lock_guard lock(mutex_);
        log_.push_back({command, std::vector<std::uint8_t>(message.begin() + 1, message.end())});
        changed_.notify_all();
        if (!state_.awake)
            return;
        if (faultCount_ > 0 && (faultCommand_ < 0 || faultCommand_ == command)) {
            fault = fault_;
            --faultCount_;
        }
        if (fault == Fault::Drop)
            return;
        data = answer(command, std::vector<std::uint8_t>(message.begin() + 1, message.end()), &status);
        if (command == 13 && status == 0)
            state_.awake = false;
    }
    // On a pseudo-terminal the request arrives at once; at line rate its last byte would still be on its way.
    if (const long baud = baud_.load(); baud > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(10'000'000L / baud) * (message.size() + 4));
    if (fault == Fault::ShortData)
        data.resize(data.size() / 2);
    if (fault == Fault::Refuse)
        status = 3;
    std::vector<std::uint8_t> frame{0x02, static_cast<std::uint8_t>(fault == Fault::WrongEcho ? command + 1 : command),
                                    status, static_cast<std::uint8_t>(data.size())};
    frame.reserve(frame.size() + data.size() + 2);
    frame.insert(frame.end(), data.begin(), data.end());
    const std::uint16_t crc = Crc(frame.data() + 1, frame.size() - 1);
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc));
    switch (fault) {
    case Fault::BadCrc:
        frame.back() ^= 0x5A;
        break;
    case Fault::Truncate:
        frame.resize(frame.size() / 2);
        break;
    case Fault::Garbage:
        frame.insert(frame.begin(), {0xFF, 0x13, 0x00, 0x7E, 0x11});
        break;
    case Fault::Late:
        std::this_thread::sleep_for(std::chrono::milliseconds(lateMs_.load()));
        break;
    case Fault::Noise:
        frame.assign(40, 0x55);
        break;
    default:
        break;
    }
    sendBytes(frame);
}

void SarnicSimulator::sendBytes(const std::vector<std::uint8_t>& bytes) {
    const long baud = baud_.load();
    const auto start = std::chrono::steady_clock::now();
    const auto byteTime = std::chrono::microseconds(baud > 0 ? 10'000'000L / baud : 0);
    std::size_t done = 0;
    while (done < bytes.size() && !stop_) {
        // At line rate a byte goes out each byte time; otherwise everything at once.
        const std::size_t chunk = baud > 0 ? 1 : bytes.size() - done;
        const ssize_t n = ::write(fd_, bytes.data() + done, chunk);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (baud > 0)
            std::this_thread::sleep_until(start + byteTime * done);
    }
}
