#include "commserver/ModemControl.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "commserver/RequestText.h"
#include "platform/SerialPort.h"

namespace comms {

namespace EC = HistoryEventCode;

ModemControl::ModemControl(LinkLayer& link, HistoryLog& history, LinkClock& clock, Host host)
    : link_(link), history_(history), clock_(clock), host_(std::move(host)) {
    portOpener_ = [](int portNumber, long baud) { return plat::PortOpen(portNumber, baud, 'N', 8, 1); };
}

void ModemControl::SetModemSettings(const ModemSettings& modem) {
    std::lock_guard lock(settingsMutex_);
    modemSettings_ = modem;
}

void ModemControl::SetModemSettingsSource(std::function<ModemSettings()> source) {
    std::lock_guard lock(settingsMutex_);
    modemSource_ = std::move(source);
}

void ModemControl::SetPortOpener(PortOpener opener) {
    std::lock_guard lock(settingsMutex_);
    portOpener_ = std::move(opener);
}

bool ModemControl::sendModemString(const std::string& command) {
    // The line before a command may have left a failure in the port's status; each command starts clean.
    port_->ClearStatus();
    for (int waited = 0; waited < modem_.interCommandDelayMs; waited += 10) {
        if (abortWaitsOnQuit_ && host_.quitRequested())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, modem_.interCommandDelayMs - waited)));
    }
    if (plat::WriteStringTerm(*port_, command.c_str(), '\r') < 0)
        return false;
    link_.statistics.Add(LinkCounter::TxBytes, static_cast<std::uint32_t>(command.size() + 1));
    // Lines are read until one says OK: an echo of the command or a blank line may come first.
    for (int lines = 0; lines < 64; ++lines) {
        char line[256];
        const int r = plat::ReadLineTimed(*port_, line, sizeof line, '\r', modem_.responseDelayMs);
        if (r < 0)
            return false;
        link_.statistics.Add(LinkCounter::RxBytes, static_cast<std::uint32_t>(std::strlen(line) + 1));
        if (std::strstr(line, "OK"))
            return true;
    }
    return false;
}

void ModemControl::OpenPortAndInitModem(int portNumber, int comms) {
    long baud;
    switch (comms) {
    case 1:
    case 2:
        baud = 9600;
        break;
    case 3:
        baud = 38400;
        break;
    case 4:
        baud = 57600;
        break;
    default:
        baud = 19200;
        break;
    }
    PortOpener opener;
    {
        std::lock_guard lock(settingsMutex_);
        modem_ = modemSource_ ? modemSource_() : modemSettings_;
        opener = portOpener_;
    }
    if (modem_.type != 0)
        baud = modem_.baud;
    link_.ModemInUse = modem_.type != 0;
    link_.timers.InactivityHangUp = modem_.inactivityHangUpS;

    if (portNumber < 0) {
        host_.postStatus(LinkStatus::NoPort);
        return;
    }
    history_.PortNumber = portNumber;
    previousPort_ = portNumber;
    plat::SerialPort* port = opener(portNumber, baud);
    if (!port || port->status() != 0) {
        // Only the port object goes: a port that never opened has no modem to hang up or de-initialise.
        if (port)
            port->Close();
        host_.logEvent("Com Port Open Failed", EC::Initialise | EC::Failure);
        host_.postStatus(LinkStatus::OpenFailed);
        return;
    }
    port_ = port;
    port_->SetHardwareHandshake(true);
    port_->SetSoftwareHandshake(false);
    link_.SetPort(port_);
    host_.portOpened(*port_);
    host_.logEvent("Com Port Opened OK", EC::Initialise | EC::Success);

    if (modem_.type != 0) {
        host_.postStatus(LinkStatus::ModemInitialise);
        abortWaitsOnQuit_ = true;
        for (const auto& command : modem_.init) {
            if (command.empty())
                continue;
            if (!sendModemString(command)) {
                abortWaitsOnQuit_ = false;
                host_.logEvent(format("Modem Init Failed: %s", command), EC::Initialise | EC::Failure);
                CloseModemAndPort();
                host_.postStatus(LinkStatus::OpenFailed);
                return;
            }
        }
        abortWaitsOnQuit_ = false;
        host_.logEvent("Modem Initialised", EC::Initialise | EC::Success);
    }
    host_.postStatus(LinkStatus::Ready);
}

void ModemControl::CloseModemAndPort() {
    if (!port_)
        return;
    if (modem_.type != 0) {
        const int remembered = host_.uiStatus();
        host_.postStatus(LinkStatus::ModemDeInitialise);
        HangUpModem();
        bool ok = true;
        for (const auto& command : modem_.deInit) {
            if (command.empty())
                continue;
            if (!sendModemString(command)) {
                host_.logEvent(format("Modem De-Init Failed: %s", command), EC::Initialise | EC::Failure);
                ok = false;
                break;
            }
        }
        if (ok)
            host_.logEvent("Modem De-Initialised", EC::Initialise | EC::Success);
        host_.postStatus(remembered);
    }
    host_.portClosing();
    link_.SetPort(nullptr);
    port_->Close();
    port_ = nullptr;
    history_.PortNumber = previousPort_;
    host_.logEvent("Com Port Closed", EC::Initialise | EC::Neither);
}

void ModemControl::HangUpModem() {
    if (!port_ || modem_.type == 0 || plat::DcdOn(*port_) <= 0)
        return;
    port_->SetDtr(false);
    const std::int64_t start = clock_.Now();
    // Bounded by rounds as well as by the clock, so a clock that stands still cannot hold the worker.
    const int rounds = (std::max(0, modem_.hangUpTimeOutS) + 2) * 10;
    // A quit does not wait for the carrier to go: DTR is down, the modem hangs up by itself.
    for (int i = 0; i < rounds && plat::DcdOn(*port_) > 0 && clock_.Now() <= start + modem_.hangUpTimeOutS + 1 &&
                    !host_.quitRequested();
         ++i)
        clock_.SleepMs(100);
    clock_.SleepMs(100);
    port_->SetDtr(true);
}

} // namespace comms
