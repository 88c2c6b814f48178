#pragma once
#include <array>
#include <string>
#include <vector>

#include "commserver/UserTables.h"
#include "xbase/d4all.h"

// The user table on disk: "$$$UDb" (a dBASE data file) with its NTX index "$$$UDb.Ntx", tag "$$$UDB", through
// the table engine. The engine's own error latch is cleared after every call, so one failure never blocks the
// next; errors are seen only in the results. A row held by another program is waited for a few times and
// then left as it is.
namespace comms {

constexpr const char* kUserTableName = "$$$UDb";
constexpr const char* kUserIndexExtension = ".Ntx";
constexpr const char* kUserTagName = "$$$UDB";

// The files of the user table in a folder (data, index and memo file), as Open names them.
std::vector<std::string> UserTableFiles(const std::string& folder);

class XbaseUserStore final : public UserStore {
public:
    // lockTries: attempts at a row lock, lockWaitHundredths apart.
    explicit XbaseUserStore(int lockTries = 3, int lockWaitHundredths = 30);
    ~XbaseUserStore() override;

    bool Open(const std::string& folder) override;
    void Close() override;
    bool IsOpen() const override { return data_ != nullptr; }
    bool Read(const std::string& key, UserRecord& out) override;
    bool Update(int recordNumber, const std::function<void(UserRecord&)>& change, UserRecord* fresh) override;

private:
    enum Column {
        USERNAME,
        FULLNAME,
        DESCRIPT,
        PASSWORD,
        PSW2CUR,
        PSW2PREV,
        AUNC,
        APRGRUNS,
        AOTHERDIR,
        ENABLED,
        CUSTOM,
        MAXTIME,
        NODOLFILE,
        NETDRIVE,
        LCNCTTIME,
        LDISCTIME,
        NSEQFAIL,
        NCONNECTS,
        AUTODISABL,
        ADISABLED,
        ColumnCount
    };
    // Every engine call goes through here: the latch is cleared afterwards.
    template <class F> auto call(F f) {
        auto r = f();
        cb_.errorLatch = 0;
        return r;
    }
    std::string text(Column c);
    long number(Column c);
    // The current row into a record, its texts cut to their fields.
    void ReadUserRecord(UserRecord& out);

    CODE4 cb_;
    DATA4* data_ = nullptr;
    INDEX4* index_ = nullptr;
    std::array<FIELD4*, ColumnCount> fields_{};
};

} // namespace comms
