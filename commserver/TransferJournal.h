#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

// What a transfer changes on the way, noted on disk before the change is made, so that a server that dies in
// the middle (killed, power lost) has it undone at its next start: the hidden file an upload is received into
// before it replaces the named file or is appended to it, the length a file had before an upload was appended
// to it, and the write permission a file loses while it is sent under the lock-and-remove option.
//
// Each server keeps its own journal in its folder, locked while it runs. At start it undoes what the journals
// of servers that are no longer running left behind (a journal whose lock can be taken is such a one) and
// removes them. A journal is emptied as soon as the transfer has settled, whichever way it ended.
//
// A journal is acted on only when this server's user wrote it: a regular file (never followed through a link,
// never waited on), owned by the server's user, writable by nobody else, with one name and a bounded size.
// The files it names must lie in the server's folder or a folder the drive map offers, and are reached from
// that folder without following a link at any step. A recovery gives back only the write permission a
// transfer took, and cuts back only bytes that are the server's own appendix.
namespace comms {

// The hidden names of the server's working files: never offered to a remote unit, never listed.
constexpr const char* kUploadTemporaryPrefix = ".quendar-upload-";
constexpr const char* kJournalPrefix = ".quendar-journal-";
// True for a name that is, or in another letter case could be, one of the server's working files: a file
// system that ignores case would take the one for the other.
bool IsServerWorkFile(const std::string& fileName);

class TransferJournal {
public:
    // Told of each thing a start does with what dead servers left behind (what, which file); ok is false for
    // what it left alone.
    using Report = std::function<void(const std::string& text, bool ok)>;

    TransferJournal() = default;
    ~TransferJournal();
    TransferJournal(const TransferJournal&) = delete;
    TransferJournal& operator=(const TransferJournal&) = delete;

    // Undoes what journals in folder left by servers that ended without settling noted, removes them, and
    // opens this server's own journal there. The paths a journal names must lie in folder or in one of
    // offered. Returns the number of journals recovered.
    int Open(const std::string& folder, const std::vector<std::string>& offered = {}, const Report& report = {});
    // Removes this server's journal when it has nothing left to undo.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // The folder the journal lives in (where an append is received aside).
    const std::string& Folder() const { return folder_; }

    // Each note is on disk (synced) when it returns true; false when it could not be written, with the
    // system's reason in LastError().
    // A file that is to be removed unless the transfer settles.
    bool NoteTemporary(const std::string& path);
    // The file at path (dev, ino) had size bytes when length bytes began to be appended to it from copy, the
    // received upload kept in the journal's folder under that name (a file NoteTemporary noted): unless the
    // transfer settles, the file is cut back to size when what follows is a beginning of copy's bytes.
    bool NoteAppend(const std::string& path, dev_t dev, ino_t ino, off_t size, off_t length, const std::string& copy);
    // A file whose permissions were savedMode before they became readOnlyMode: its write permission is given
    // back unless the transfer settles. The same applies to the file under its name + ".dl".
    bool NoteReadOnly(const std::string& path, dev_t dev, ino_t ino, mode_t savedMode, mode_t readOnlyMode);
    int LastError() const { return error_; }
    // Where the notes stand, for SettleBackTo.
    std::size_t Mark() const { return content_.size(); }
    // The notes made since mark are settled; the earlier ones still count.
    bool SettleBackTo(std::size_t mark);
    // The noted changes are made good or undone: nothing is left to undo.
    bool Settle() { return SettleBackTo(0); }

    // Undoes the changes noted in a journal's text. folder is the journal's own folder (an append's copy lies
    // there); the paths must lie in folder or one of offered.
    static void Recover(const std::string& text, const std::string& folder, const std::vector<std::string>& offered,
                        const Report& report);

private:
    bool note(const std::string& line);
    bool write();

    int fd_ = -1;
    int error_ = 0;
    std::string folder_;
    std::string path_;
    std::string content_;
};

} // namespace comms
