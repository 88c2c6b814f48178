#pragma once
#include <functional>
#include <mutex>
#include <string>

#include "commserver/HistoryLog.h"
#include "commserver/LinkClock.h"
#include "commserver/LinkLayer.h"
#include "commserver/LinkTypes.h"

namespace plat {
class SerialPort;
}

// The serial port and the modem on it, for the worker thread: the port is opened at the speed the settings
// give, a modem is initialised with its commands (each one answered by a line that says OK) and de-initialised
// before the port closes, and a call is hung up by dropping DTR until the carrier goes.
namespace comms {

class ModemControl {
public:
    using PortOpener = std::function<plat::SerialPort*(int portNumber, long baud)>;

    // What the control tells the server it works for, and asks of it.
    struct Host {
        std::function<void(const std::string& text, int code)> logEvent;
        std::function<void(int status)> postStatus;
        std::function<int()> uiStatus;
        std::function<bool()> quitRequested;
        // The port has just opened (before a modem is initialised): the per-second figures start again.
        std::function<void(plat::SerialPort& port)> portOpened;
        // The port is about to close.
        std::function<void()> portClosing;
    };

    ModemControl(LinkLayer& link, HistoryLog& history, LinkClock& clock, Host host);
    ModemControl(const ModemControl&) = delete;
    ModemControl& operator=(const ModemControl&) = delete;

    // --- settings (any thread) ---
    void SetModemSettings(const ModemSettings& modem);
    // Read again each time the port opens, so that a changed modem type takes effect with the reopen.
    void SetModemSettingsSource(std::function<ModemSettings()> source);
    void SetPortOpener(PortOpener opener);

    // --- the worker thread ---
    // Opens the port (Comms 1 or 2: 9600 baud, 3: 38400, 4: 57600, anything else 19200; a modem's own Baud
    // wins) and initialises the modem; the status posted says how it went.
    void OpenPortAndInitModem(int portNumber, int comms);
    // De-initialises the modem and closes the port; nothing to do without a port.
    void CloseModemAndPort();
    // Drops DTR until the carrier goes (bounded by the modem's HangUpTimeOut); only with a modem and a carrier.
    void HangUpModem();
    plat::SerialPort* Port() const { return port_; }
    // True while the modem dialogue of an open runs: a quit then ends the serial layer's waits at once.
    bool AbortsWaitsOnQuit() const { return abortWaitsOnQuit_; }

private:
    bool sendModemString(const std::string& command);

    LinkLayer& link_;
    HistoryLog& history_;
    LinkClock& clock_;
    Host host_;

    mutable std::mutex settingsMutex_;
    ModemSettings modemSettings_;
    std::function<ModemSettings()> modemSource_;
    PortOpener portOpener_;

    // Worker-only state.
    plat::SerialPort* port_ = nullptr;
    int previousPort_ = -1;
    ModemSettings modem_;
    bool abortWaitsOnQuit_ = false;
};

} // namespace comms
