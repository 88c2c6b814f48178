#pragma once
#include <array>
#include <functional>
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

// The table engine's shared log: a file of this name in the current folder, found whatever its letter case, is
// joined by every table the engine opens. A log that fails the engine's check makes the open fail.
constexpr const char* kSharedLogName = "C4.LOG";
// Where the engine would look for it: the shared log's path in the current folder.
std::string SharedLogPath();

class XbaseUserStore final : public UserStore {
public:
    // lockTries: attempts at a row lock, lockWaitHundredths apart.
    explicit XbaseUserStore(int lockTries = 3, int lockWaitHundredths = 30);
    ~XbaseUserStore() override;

    // Whether remote units may write in a folder (the server's own folder, a mapped drive): a shared log there is
    // anybody's to plant or break, so the table is opened without it. Unset, no folder is.
    void SetRemoteWritable(std::function<bool(const std::string& folder)> remoteWritable);
    // Told once per open why the shared log was left out, for the history.
    void SetNote(std::function<void(const std::string& text)> note);

    // The shared log is joined only where it can be trusted: a regular file of this user's (or root's) that
    // others may not write, in a folder others may not write and remote units cannot reach. Otherwise, and when
    // the log fails the engine's check, the table is opened without it and the note says why.
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

    // Whether the shared log may be joined; why not when it exists but may not.
    bool sharedLogTrusted(std::string& why) const;
    void note(const std::string& text) const;

    CODE4 cb_;
    std::function<bool(const std::string&)> remoteWritable_;
    std::function<void(const std::string&)> note_;
    DATA4* data_ = nullptr;
    INDEX4* index_ = nullptr;
    std::array<FIELD4*, ColumnCount> fields_{};
};

} // namespace comms
