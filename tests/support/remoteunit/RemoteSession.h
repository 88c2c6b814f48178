#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "remoteunit/RemoteUnit.h"

// The remote unit's side of whole operations: logon, upload, download and the one-shot requests, each as the
// frames, acknowledgements and replies a unit in the field would exchange with the server. Results are the
// server's final reply type (1007 done, 1005 refused, ...), or -1 when the server went quiet.
class RemoteSession {
public:
    explicit RemoteSession(RemoteUnit& unit, int timeoutMs = 8000) : unit_(unit), timeoutMs_(timeoutMs) {}

    // Sends a request, waits for its acknowledgement and for the server's reply (acknowledged).
    std::optional<RemoteUnit::Frame> Request(int type, const std::vector<std::uint8_t>& payload);
    int RequestType(int type, const std::vector<std::uint8_t>& payload);

    // The response the server expects, computed here on our own: sum of upper-cased password characters
    // times challenge bytes; the secondary one from the CRC of the secondary password.
    static std::uint32_t Response(const std::string& password, const std::vector<std::uint8_t>& challenge);
    static std::uint32_t Secondary(const std::string& psw2, const std::vector<std::uint8_t>& challenge);

    // 1007 when accepted. wrongBy changes the primary response; psw2 adds a secondary response.
    int Logon(const std::string& user, const std::string& password, std::uint32_t wrongBy = 0,
              const std::optional<std::string>& psw2 = std::nullopt);
    // Upload in blocks of up to blockSize bytes. stopAfterBlocks >= 0: the unit goes silent after that many.
    int Upload(const std::string& name, const std::vector<std::uint8_t>& data, int mode = 2001,
               std::size_t blockSize = 1020, int stopAfterBlocks = -1);
    // Download (mode 2001) or listing (2003) into out. stopAfterBlocks >= 0: the unit goes silent after that
    // many data blocks.
    int Download(const std::string& name, std::vector<std::uint8_t>& out, int mode = 2001, int stopAfterBlocks = -1);

    static std::vector<std::uint8_t> Name(const std::string& name);
    static std::vector<std::uint8_t> TransferHeader(int mode, std::uint32_t size, const std::string& name);

    RemoteUnit& Unit() { return unit_; }
    // The last reply frame of the last operation.
    RemoteUnit::Frame last;

private:
    RemoteUnit& unit_;
    int timeoutMs_;
};
