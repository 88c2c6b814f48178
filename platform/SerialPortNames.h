#pragma once
// Which device stands for which COM port, and which serial devices this computer has.
#include <string>
#include <vector>

namespace plat {

// The device that stands for COM<portNumber + 1>: $VORD_COM<n> when set, else the key COM<n> of section
// [Ports] in the per-user settings of "SerialPorts" (read at every call, so a change needs no restart), else
// /dev/ttyS<portNumber>.
std::string SerialDevicePath(int portNumber);
// "COM<n> - <device>", as the port choices show a port.
std::string SerialPortLabel(int portNumber);
// The serial devices this computer has now: /dev/ttyS* with a UART behind it, /dev/ttyUSB*, /dev/ttyACM* and
// the stable names in /dev/serial/by-id, in that order.
std::vector<std::string> ExistingSerialDevices();
// One line for the port choices: the devices found, or where none was found, and how a COM port is mapped.
std::string SerialDevicesText();

} // namespace plat
