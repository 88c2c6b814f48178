#pragma once
#include <map>
#include <mutex>

#include "commserver/UserTables.h"

// The user table in memory, for tests of the logon logic that need no files. Rows are keyed like the index:
// the upper-cased name padded to 30 blanks. A row can be held locked as another program would.
class MemoryUserStore final : public comms::UserStore {
public:
    struct Shared {
        std::mutex mutex;
        std::map<std::string, comms::UserRecord> rows; // by key
        bool present = true;
        bool locked = false;
        int opens = 0;
    };
    explicit MemoryUserStore(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    bool Open(const std::string&) override {
        std::lock_guard lock(shared_->mutex);
        ++shared_->opens;
        open_ = shared_->present;
        return open_;
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool Read(const std::string& key, comms::UserRecord& out) override {
        std::lock_guard lock(shared_->mutex);
        auto it = shared_->rows.find(key);
        if (it == shared_->rows.end())
            return false;
        out = it->second;
        return true;
    }
    bool Update(int recordNumber, const std::function<void(comms::UserRecord&)>& change,
                comms::UserRecord* fresh) override {
        std::lock_guard lock(shared_->mutex);
        if (shared_->locked)
            return false;
        for (auto& [key, row] : shared_->rows) {
            if (row.recordNumber != recordNumber)
                continue;
            change(row);
            if (fresh)
                *fresh = row;
            return true;
        }
        return false;
    }

    static void Add(Shared& s, comms::UserRecord r) {
        std::lock_guard lock(s.mutex);
        r.recordNumber = static_cast<int>(s.rows.size()) + 1;
        s.rows[comms::UserKey(r.userName)] = r;
    }

private:
    std::shared_ptr<Shared> shared_;
    bool open_ = false;
};
