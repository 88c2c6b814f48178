#include "commserver/UserTables.h"

#include <algorithm>
#include <cctype>

namespace comms {

namespace {

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

UserRecord clearedPolicy() {
    UserRecord p;
    p.recordNumber = -1;
    return p;
}

} // namespace

std::string UserKey(const std::string& name) {
    std::string key = upper(name);
    if (key.size() < static_cast<std::size_t>(kUserKeyLength))
        key.append(static_cast<std::size_t>(kUserKeyLength) - key.size(), ' ');
    return key;
}

void ApplyPolicy(UserRecord& user, const UserRecord& policy) {
    user.uncAllowed = user.uncAllowed && policy.uncAllowed;
    user.programRunsAllowed = user.programRunsAllowed && policy.programRunsAllowed;
    user.otherDirsAllowed = user.otherDirsAllowed && policy.otherDirsAllowed;
    user.enabled = user.enabled && policy.enabled;
    user.netDrivesAllowed = user.netDrivesAllowed && policy.netDrivesAllowed;
    if (policy.noDollarNames)
        user.noDollarNames = true;
    if (policy.maxConnectMinutes != 0 && user.maxConnectMinutes != 0 &&
        policy.maxConnectMinutes < user.maxConnectMinutes)
        user.maxConnectMinutes = policy.maxConnectMinutes;
    if (policy.autoDisable < user.autoDisable)
        user.autoDisable = policy.autoDisable;
}

UserTables::UserTables(std::unique_ptr<UserStore> store) : store_(std::move(store)), policy_(clearedPolicy()) {}

int UserTables::LoadUserTables(int securityLevel, const std::string& folder) {
    std::lock_guard lock(mutex_);
    if (store_->IsOpen())
        store_->Close();
    policy_ = clearedPolicy();
    if (securityLevel == 0)
        return 0;
    if (!store_->Open(folder))
        return 0;
    readPolicy();
    return 1;
}

void UserTables::CloseUserTables() {
    std::lock_guard lock(mutex_);
    if (store_->IsOpen())
        store_->Close();
}

bool UserTables::IsOpen() const {
    std::lock_guard lock(mutex_);
    return store_->IsOpen();
}

UserRecord UserTables::Policy() const {
    std::lock_guard lock(mutex_);
    return policy_;
}

void UserTables::readPolicy() {
    UserRecord p;
    if (store_->Read(UserKey(kPolicyUserName), p)) {
        p.FitFields();
        policy_ = p;
    }
}

int UserTables::FindUser(const std::string& name, UserRecord& out) {
    std::lock_guard lock(mutex_);
    out.recordNumber = -1;
    if (!store_->IsOpen())
        return 0;
    // The policy row is no account: with an empty password its expected response would be 0, and it
    // carries the widest rights there are.
    if (upper(trimmed(name)) == kPolicyUserName)
        return 0;
    readPolicy();
    UserRecord user;
    if (!store_->Read(UserKey(name), user))
        return 0;
    user.FitFields();
    ApplyPolicy(user, policy_);
    out = user;
    return 1;
}

bool UserTables::UpdateUserRecord(const UserRecord& record, const std::function<void(UserRecord&)>& change,
                                  UserRecord* fresh) {
    std::lock_guard lock(mutex_);
    if (!store_->IsOpen() || record.recordNumber < 1)
        return false;
    UserRecord written;
    if (!store_->Update(record.recordNumber, change, &written))
        return false;
    written.FitFields();
    if (fresh)
        *fresh = written;
    return true;
}

} // namespace comms
