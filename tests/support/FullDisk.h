#pragma once
// Real full disks for tests of the file writers: a small tmpfs (where the test may mount one), and a file size
// limit in a forked child (always available: a write past the limit fails as on a full disk).
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <functional>

// A tmpfs of the given size mounted on a fresh folder for the object's lifetime. Mounting needs root (as the
// CI runs); where it is not allowed, mounted() is false and whyNot() says why, for GTEST_SKIP.
class SmallTmpfs {
public:
    explicit SmallTmpfs(size_t bytes);
    ~SmallTmpfs();
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    QString whyNot() const { return whyNot_; }
    QString path(const QString& relative = QString()) const;
    // Takes every free byte with one file, as dd does; true when the file system is then full.
    bool fill() const;

private:
    QTemporaryDir folder_;
    bool mounted_ = false;
    QString whyNot_;
};

// Runs body in a forked child whose files may not grow beyond limit bytes (RLIMIT_FSIZE with SIGXFSZ ignored,
// so the write fails with EFBIG instead of ending the process). Returns body's result, or -1 when the child
// did not end normally.
int runWithFileSizeLimit(size_t limit, const std::function<int()>& body);
