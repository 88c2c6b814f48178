#pragma once
// The port driver for the operating system's serial devices, through termios. Only PortOpen creates it; the
// rest of the program reaches it through SerialPort.
#include "platform/SerialPort.h"

#include <string>

namespace plat {

// Opens the device for exclusive use as port portNumber and sets its framing. nullptr when the device cannot
// be opened, with the reason (a SerialResult code) in *status.
SerialPort* OpenTermiosPort(int portNumber, const std::string& device, long baud, char parity, int dataBits,
                            int stopBits, int* status);

} // namespace plat
