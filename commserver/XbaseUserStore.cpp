#include "commserver/XbaseUserStore.h"

#include <cctype>
#include <climits>
#include <cstdlib>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "xbase/log4.h"

namespace comms {

namespace {

const char* const kColumnNames[] = {
    "USERNAME",  "FULLNAME",  "DESCRIPT", "PASSWORD",  "PSW2CUR",    "PSW2PREV",  "AUNC",
    "APRGRUNS",  "AOTHERDIR", "ENABLED",  "CUSTOM",    "MAXTIME",    "NODOLFILE", "NETDRIVE",
    "LCNCTTIME", "LDISCTIME", "NSEQFAIL", "NCONNECTS", "AUTODISABL", "ADISABLED",
};

std::string trimmedUpper(const std::string& s) {
    std::string out;
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return out;
    const auto e = s.find_last_not_of(' ');
    for (char c : s.substr(b, e - b + 1))
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string tablePath(const std::string& folder) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += '/';
    return path + kUserTableName;
}

std::string currentFolder() {
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string();
}

// The entry of the folder named like the shared log, whatever its letter case (as the engine finds it); empty
// when there is none.
std::string sharedLogEntry(const std::string& folder) {
    std::string found;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (::strcasecmp(e->d_name, kSharedLogName) == 0) {
                found = e->d_name;
                break;
            }
        }
        ::closedir(d);
    }
    return found;
}

// Ours (or root's) and not writable by group or others.
bool ownedAndClosed(const struct stat& st) {
    return (st.st_uid == ::geteuid() || st.st_uid == 0) && (st.st_mode & 022) == 0;
}

} // namespace

std::string SharedLogPath() {
    const std::string folder = currentFolder();
    const std::string entry = sharedLogEntry(folder);
    return folder + "/" + (entry.empty() ? std::string(kSharedLogName) : entry);
}

std::vector<std::string> UserTableFiles(const std::string& folder) {
    const std::string path = tablePath(folder);
    return {path + ".DBF", path + kUserIndexExtension, path + ".DBT"};
}

XbaseUserStore::XbaseUserStore(int lockTries, int lockWaitHundredths) {
    code4init(&cb_);
    cb_.autoOpen = 0;
    // A bounded wait: a row another program keeps locked must not hold the worker (and the link) for ever.
    cb_.lockTries = lockTries < 1 ? 1 : lockTries;
    cb_.lockWaitHundredths = lockWaitHundredths;
    cb_.errorLatch = 0;
}

XbaseUserStore::~XbaseUserStore() {
    Close();
    code4initUndo(&cb_);
}

void XbaseUserStore::SetRemoteWritable(std::function<bool(const std::string&)> remoteWritable) {
    remoteWritable_ = std::move(remoteWritable);
}

void XbaseUserStore::SetNote(std::function<void(const std::string&)> note) {
    note_ = std::move(note);
}

void XbaseUserStore::note(const std::string& text) const {
    if (note_)
        note_(text);
}

bool XbaseUserStore::sharedLogTrusted(std::string& why) const {
    const std::string folder = currentFolder();
    if (folder.empty())
        return false;
    const std::string entry = sharedLogEntry(folder);
    // A one-byte file sent up from the line would otherwise stop every logon at the next start.
    if (remoteWritable_ && remoteWritable_(folder)) {
        if (!entry.empty())
            why = "remote units may write to its folder";
        return false;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !ownedAndClosed(st)) {
        if (!entry.empty())
            why = "other users may write to its folder";
        return false;
    }
    if (entry.empty())
        return true;
    if (::lstat((folder + "/" + entry).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        why = "it is not a regular file";
    else if (!ownedAndClosed(st))
        why = "it belongs to another user or others may write to it";
    return why.empty();
}

bool XbaseUserStore::Open(const std::string& folder) {
    Close();
    const std::string path = tablePath(folder);
    std::string why;
    const bool logTrusted = sharedLogTrusted(why);
    if (!logTrusted && cb_.log.isOpen)
        call([&] { return code4logClose(&cb_); });
    cb_.logOpen = logTrusted ? 1 : 0;
    data_ = call([&] { return d4open(&cb_, path.c_str()); });
    if (!data_ && cb_.logOpen && !cb_.log.isOpen) {
        // The log failed the engine's check: the users must still be able to log on.
        cb_.logOpen = 0;
        data_ = call([&] { return d4open(&cb_, path.c_str()); });
        if (data_)
            why = "the table engine cannot use it";
    }
    if (!why.empty())
        note("User Tables Opened Without The Shared Log: " + SharedLogPath() + " (" + why + ")");
    if (!data_)
        return false;
    index_ = call([&] { return i4open(data_, (path + kUserIndexExtension).c_str()); });
    TAG4* tag = index_ ? call([&] { return d4tag(data_, kUserTagName); }) : nullptr;
    if (!tag) {
        Close();
        return false;
    }
    call([&] {
        d4tagSelect(data_, tag);
        return 0;
    });
    // Columns a table made elsewhere lacks read as empty.
    for (int c = 0; c < ColumnCount; ++c)
        fields_[static_cast<std::size_t>(c)] = call([&] { return d4field(data_, kColumnNames[c]); });
    return true;
}

void XbaseUserStore::Close() {
    if (index_)
        call([&] { return i4close(index_); });
    if (data_)
        call([&] { return d4close(data_); });
    index_ = nullptr;
    data_ = nullptr;
    fields_.fill(nullptr);
}

std::string XbaseUserStore::text(Column c) {
    FIELD4* f = fields_[static_cast<std::size_t>(c)];
    if (!f)
        return {};
    const char* s = call([&] { return f4str(f); });
    return s ? std::string(s) : std::string();
}

long XbaseUserStore::number(Column c) {
    FIELD4* f = fields_[static_cast<std::size_t>(c)];
    return f ? call([&] { return f4long(f); }) : 0;
}

void XbaseUserStore::ReadUserRecord(UserRecord& out) {
    out = UserRecord{};
    out.userName = text(USERNAME);
    out.fullName = text(FULLNAME);
    out.description = text(DESCRIPT);
    out.password = text(PASSWORD);
    out.psw2Current = text(PSW2CUR);
    out.psw2Previous = text(PSW2PREV);
    out.custom = text(CUSTOM);
    out.uncAllowed = FlagValue(text(AUNC));
    out.programRunsAllowed = FlagValue(text(APRGRUNS));
    out.otherDirsAllowed = FlagValue(text(AOTHERDIR));
    out.enabled = FlagValue(text(ENABLED));
    out.noDollarNames = FlagValue(text(NODOLFILE));
    out.netDrivesAllowed = FlagValue(text(NETDRIVE));
    out.maxConnectMinutes = static_cast<int>(number(MAXTIME));
    out.autoDisable = static_cast<int>(number(AUTODISABL));
    out.disabled = FlagValue(text(ADISABLED));
    out.consecutiveFailures = static_cast<int>(number(NSEQFAIL));
    out.lastConnect = text(LCNCTTIME);
    out.lastDisconnect = text(LDISCTIME);
    out.connectCount = static_cast<int>(number(NCONNECTS));
    out.recordNumber = static_cast<int>(call([&] { return d4recNo(data_); }));
    out.FitFields();
}

bool XbaseUserStore::Read(const std::string& key, UserRecord& out) {
    if (!data_)
        return false;
    call([&] { return d4go(data_, 1); });
    if (call([&] { return d4seek(data_, key.c_str()); }) != 0)
        return false;
    // A row marked deleted is no user; a row of the same name after it (the user made again) is.
    for (;;) {
        if (call([&] { return d4refreshRecord(data_); }) != 0)
            return false;
        UserRecord row;
        ReadUserRecord(row);
        // The seek matches a leading part of a longer key too: only the whole name counts.
        if (trimmedUpper(row.userName) != trimmedUpper(key))
            return false;
        if (!call([&] { return d4deleted(data_); })) {
            out = row;
            return true;
        }
        if (call([&] { return d4skip(data_, 1); }) != 0 || call([&] { return d4eof(data_); }))
            return false;
    }
}

bool XbaseUserStore::Update(int recordNumber, const std::function<void(UserRecord&)>& change, UserRecord* fresh) {
    if (!data_ || recordNumber < 1)
        return false;
    if (call([&] { return d4go(data_, recordNumber); }) != 0)
        return false;
    if (call([&] { return d4lock(data_, recordNumber); }) != 0)
        return false;
    bool ok = call([&] { return d4refreshRecord(data_); }) == 0;
    UserRecord row;
    if (ok) {
        ReadUserRecord(row);
        change(row);
        auto assignText = [&](Column c, const std::string& v) {
            if (FIELD4* f = fields_[static_cast<std::size_t>(c)])
                ok = call([&] { return f4assign(f, v.c_str()); }) == 0 && ok;
        };
        auto assignLong = [&](Column c, long v) {
            if (FIELD4* f = fields_[static_cast<std::size_t>(c)])
                ok = call([&] { return f4assignLong(f, v); }) == 0 && ok;
        };
        assignText(LCNCTTIME, row.lastConnect);
        assignText(LDISCTIME, row.lastDisconnect);
        assignLong(NCONNECTS, row.connectCount);
        assignLong(NSEQFAIL, row.consecutiveFailures);
        assignText(ADISABLED, row.disabled ? "Y" : "N");
        if (ok)
            ok = call([&] { return d4flush(data_); }) == 0;
    }
    call([&] { return d4unlock(data_); });
    if (ok && fresh)
        *fresh = row;
    return ok;
}

} // namespace comms
