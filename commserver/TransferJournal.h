#pragma once
#include <cstdint>
#include <string>

#include <sys/types.h>

// What a transfer changes on the way, noted on disk before the change is made, so that a server that dies in
// the middle (killed, power lost) has it undone at its next start: the hidden file an upload is received into
// before it replaces the named file, the length a file had before an upload was appended to it, and the
// write permission a file loses while it is sent under the lock-and-remove option.
//
// Each server keeps its own journal in its folder, locked while it runs. At start it undoes what the journals
// of servers that are no longer running left behind (a journal whose lock can be taken is such a one) and
// removes them. A journal is emptied as soon as the transfer has settled, whichever way it ended.
namespace comms {

// The hidden names of the server's working files: never offered to a remote unit, never listed.
constexpr const char* kUploadTemporaryPrefix = ".quendar-upload-";
constexpr const char* kJournalPrefix = ".quendar-journal-";
bool IsServerWorkFile(const std::string& fileName);

class TransferJournal {
public:
    TransferJournal() = default;
    ~TransferJournal();
    TransferJournal(const TransferJournal&) = delete;
    TransferJournal& operator=(const TransferJournal&) = delete;

    // Undoes what journals in folder left by servers that ended without settling noted, removes them, and
    // opens this server's own journal there. Returns the number of journals recovered.
    int Open(const std::string& folder);
    // Removes this server's journal when it has nothing left to undo.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Each note is on disk (synced) when it returns true; false when it could not be written.
    // A file that is to be removed unless the transfer settles.
    bool NoteTemporary(const std::string& path);
    // A file appended to: cut back to size unless the transfer settles.
    bool NoteAppend(const std::string& path, dev_t dev, ino_t ino, off_t size);
    // A file whose permissions were savedMode before they became readOnlyMode: given back unless the transfer
    // settles. The same applies to the file under its name + ".dl".
    bool NoteReadOnly(const std::string& path, dev_t dev, ino_t ino, mode_t savedMode, mode_t readOnlyMode);
    // The noted changes are made good or undone: nothing is left to undo.
    bool Settle();

    // Undoes the changes noted in a journal file; returns false when it cannot be read.
    static bool Recover(const std::string& journalPath);

private:
    bool note(const std::string& line);
    bool write();

    int fd_ = -1;
    std::string path_;
    std::string content_;
    bool onDisk_ = false; // the file holds content_ (an empty file once settled)
};

} // namespace comms
