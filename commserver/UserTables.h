#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "commserver/UserRecord.h"

// The user table: who may log on and what each user may do. Users and the site-wide policy are rows of one
// dBASE table ("$$$UDb" with its index "$$$UDb.Ntx") that the administration tools keep; the server only
// looks users up and writes the logon bookkeeping back. The table is used by the worker thread (logons) and
// by the window thread (open and close after the settings change), so every call is serialised here.
namespace comms {

constexpr const char* kPolicyUserName = "$POLICY";
constexpr int kUserKeyLength = 30;

// The index key of a user: the name in upper case, padded with blanks to at least 30 characters.
std::string UserKey(const std::string& name);
// The policy's limits applied to a user's rights (a right the policy denies is denied, a shorter time limit
// or a lower auto-disable threshold wins).
void ApplyPolicy(UserRecord& user, const UserRecord& policy);

// Access to the table's rows; the table engine stands behind it in the server, a table in memory in tests.
class UserStore {
public:
    virtual ~UserStore() = default;
    // Opens the data file and its index in the folder; false (quietly) when either is missing or unreadable.
    virtual bool Open(const std::string& folder) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Seeks the key and reads the row as it is on disk now (recordNumber set); false when there is no row.
    virtual bool Read(const std::string& key, UserRecord& out) = 0;
    // Locks the row, waiting a bounded time for another program's lock; re-reads it under the lock, lets
    // change alter it and writes its bookkeeping columns (LCNCTTIME, LDISCTIME, NCONNECTS, NSEQFAIL,
    // ADISABLED) back, then unlocks. fresh receives the row as written. False when the row could not be
    // locked or written: it is then left as it was.
    virtual bool Update(int recordNumber, const std::function<void(UserRecord&)>& change, UserRecord* fresh) = 0;
};

class UserTables {
public:
    explicit UserTables(std::unique_ptr<UserStore> store);

    // 1 when the table is open, 0 when not (security off, missing or unreadable files).
    int LoadUserTables(int securityLevel, const std::string& folder);
    void CloseUserTables();
    bool IsOpen() const;
    // 1 when the user is found: out is the row, its texts cut to their fields, with the policy applied (the
    // policy is re-read on every call). 0 when not found, the table is closed, or the name is the policy's own.
    int FindUser(const std::string& name, UserRecord& out);
    // Writes a logon's bookkeeping to the user's row (see UserStore::Update). False when the table is closed
    // or the row could not be locked; fresh then stays untouched.
    bool UpdateUserRecord(const UserRecord& record, const std::function<void(UserRecord&)>& change,
                          UserRecord* fresh = nullptr);
    UserRecord Policy() const;

private:
    void readPolicy();

    mutable std::mutex mutex_;
    std::unique_ptr<UserStore> store_;
    UserRecord policy_;
};

} // namespace comms
