#include "platform/SerialPortNames.h"
#include "platform/SettingsStore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <glob.h>

namespace plat {

std::string SerialDevicePath(int portNumber) {
    const std::string name = "COM" + std::to_string(portNumber + 1);
    if (const char* mapped = std::getenv(("VORD_" + name).c_str()); mapped && *mapped)
        return mapped;
    const QString set = plat::settings::get(QLatin1String(plat::settings::kSerialPortsTitle), QStringLiteral("Ports"),
                                            QString::fromStdString(name))
                            .trimmed();
    if (!set.isEmpty())
        return set.toStdString();
    return "/dev/ttyS" + std::to_string(portNumber);
}

std::string SerialPortLabel(int portNumber) {
    return "COM" + std::to_string(portNumber + 1) + " - " + SerialDevicePath(portNumber);
}

std::vector<std::string> ExistingSerialDevices() {
    std::vector<std::string> out;
    auto add = [&out](const char* pattern, bool byNumber) {
        glob_t g{};
        if (::glob(pattern, 0, nullptr, &g) == 0) {
            std::vector<std::string> found(g.gl_pathv, g.gl_pathv + g.gl_pathc);
            if (byNumber)
                std::stable_sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
                    return a.size() != b.size() ? a.size() < b.size() : a < b;
                });
            out.insert(out.end(), found.begin(), found.end());
        }
        ::globfree(&g);
    };
    add("/dev/ttyS*", true);
    // The kernel makes ttyS nodes for UARTs that are not there; their type reads 0.
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](const std::string& dev) {
                                 const std::string type = "/sys/class/tty/" + dev.substr(5) + "/type";
                                 FILE* f = std::fopen(type.c_str(), "r");
                                 if (!f)
                                     return false;
                                 int value = -1;
                                 const int got = std::fscanf(f, "%d", &value);
                                 std::fclose(f);
                                 return got == 1 && value == 0;
                             }),
              out.end());
    add("/dev/ttyUSB*", true);
    add("/dev/ttyACM*", true);
    add("/dev/serial/by-id/*", false);
    return out;
}

std::string SerialDevicesText() {
    const std::vector<std::string> devices = ExistingSerialDevices();
    std::string text;
    if (devices.empty()) {
        text = "No serial device was found (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*, /dev/serial/by-id).";
    } else {
        text = "Serial devices on this computer: ";
        for (size_t i = 0; i < devices.size(); ++i)
            text += (i ? ", " : "") + devices[i];
        text += '.';
    }
    return text + " A port is mapped to a device with COMn=<device> in section [Ports] of the SerialPorts "
                  "settings, or with $VORD_COMn.";
}

} // namespace plat
