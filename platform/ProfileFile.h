#pragma once
#include <mutex>
#include <string>
#include <string_view>

// A settings file of "[Section]" headers and "Key=Value" lines, read and written the way Windows programs
// expect of their INI files: section and key names compare without regard to ASCII case, the first matching
// section and key win, values are trimmed of blanks (and of one pair of enclosing quotes), a missing file or
// key gives the default, and a write changes only its own line, keeping every other line and comment as it
// stands. The file is read again for every lookup, because an operator or another program may edit it while
// we run. One object may be used from several threads; a write replaces the file in one step, so a reader
// never sees half a file. No Qt here: the server's engine uses it too.
namespace plat {

class ProfileFile {
public:
    ProfileFile() = default;
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    void SetPath(std::string path);
    std::string Path() const;

    // The trimmed value, or def when the file, the section or the key is missing.
    std::string GetString(std::string_view section, std::string_view key, std::string_view def = {}) const;
    // The value's leading integer ("12abc" gives 12, a value without digits 0), or def when the key is missing.
    // An optional sign is honoured; values beyond the int range are clamped.
    int GetInt(std::string_view section, std::string_view key, int def) const;
    bool HasKey(std::string_view section, std::string_view key) const;

    // Replaces the first matching key's value in place, or adds the key at the end of its section, or adds
    // the section at the end of the file; creates the file when missing. Line breaks in the value become
    // blanks (a value can never add lines of its own). False when the file could not be written, or when it
    // exists but cannot be read: such a file is never replaced, since its other lines are unknown. The file
    // keeps its mode; it is replaced in one step by a rename.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInt(std::string_view section, std::string_view key, int value);

    // Why the last failed write failed (empty after a write that succeeded).
    std::string LastError() const;

    // The integer rule of GetInt, for values that come from elsewhere.
    static int ParseInt(std::string_view text);

private:
    mutable std::mutex mutex_;
    std::string path_;
    std::string lastError_;
};

} // namespace plat
