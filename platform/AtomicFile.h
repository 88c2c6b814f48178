#pragma once
#include <QString>

#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

// Writing a user's file so that it is either wholly replaced or left exactly as it was.
//
// The new contents go into a temporary file beside the target (same folder, so the rename cannot cross file
// systems); every byte is written, the file is synced to the disk and closed, each step checked, and only
// then is it renamed over the target and the folder synced. A full disk, a quota or an I/O error at any of
// these steps removes the temporary file and leaves the old one byte for byte; the caller gets the reason the
// system gave (errno and its text). A write buffered in memory and flushed at the end would report success
// and put an empty file in place of the old one, so nothing here is buffered.
//
// Where no temporary file can be made beside the target (a folder the user may not create files in, a sticky
// shared folder where the rename would be refused) but the target itself may be written, or where the target
// has other hard links that a rename would cut off, the file is written in place instead: its old contents
// are first copied where the user may write (savedCopiesFolder()), then the new contents are written over it,
// synced, cut to their length and synced again, and the copy is dropped. A failure puts the old contents back
// when it can; when it cannot, the message says where the copy is.
//
// A temporary file is held under an flock while it is written, so leftovers of a killed save (hidden
// ".NAME.<id>.tmp" files beside NAME) can be told from a save in progress: the next save of NAME removes
// them.
namespace plat {

// The system calls through which files are written. The writers below use the real ones; a test installs
// its own to make a chosen step fail (a full disk at the third write, an I/O error at sync) and so proves the
// old file survives each of them. Results and errno as the system calls give them.
class FileCalls {
public:
    virtual ~FileCalls() = default;
    virtual int open(const char* path, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void* data, size_t size);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int rename(const char* from, const char* to);
    // A rename that fails with EEXIST when the target exists.
    virtual int renameNoReplace(const char* from, const char* to);
};

// Installs the calls every writer uses from now on (nullptr: the system's). Returns the ones in force before.
FileCalls* setFileCalls(FileCalls* calls);
// The calls in force: the system's, or those a test installed.
FileCalls& fileCalls();

// The system's text for an errno value ("No space left on device", "Permission denied").
QString systemErrorText(int error);

// One file being written. open(), write() as often as needed, then commit(); an object destroyed without a
// successful commit() removes its temporary file and the target stays as it was.
class AtomicFile {
public:
    explicit AtomicFile(const QString& path = QString());
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void setFileName(const QString& path);
    // The target's name as given.
    QString fileName() const { return path_; }
    // The permission bits a file gets that did not exist before (by default those a plain create gives:
    // 0666 less the creation mask). A copy takes its source's, so a file only its owner may read stays so.
    // Set before open(); a file that exists keeps its own.
    void setNewFileMode(mode_t mode) { newFileMode_ = static_cast<int>(mode & 07777); }

    // Refuses what a rename must not replace: a folder, a device or pipe, a file whose mode bits forbid
    // writing (whoever runs the program: root could otherwise replace it) and a file we may not write (another
    // user's). A link is followed, so the file it names gets the new contents and the link stays, but only a
    // link that belongs to the program's user or to the owner of the folder holding it, as the kernel's
    // protected links allow: another user's link is refused (EACCES, with a text that says so).
    bool open();
    bool write(std::string_view data);
    bool write(const char* data, qint64 size) { return write(std::string_view(data, static_cast<size_t>(size))); }
    // Puts the new file in place. With keepExisting a file that has appeared under the name meanwhile is not
    // replaced: the commit fails with EEXIST.
    bool commit(bool keepExisting = false);
    // Drops what was written; the target stays as it was.
    void cancel();

    // True after open() when the file is written in place (see above) rather than replaced by a rename.
    bool writesInPlace() const { return inPlace_; }

    // errno of the first failure (0 while none) and its text: the system's, or one that says more (a link
    // not followed, where the old contents of a file written in place were kept).
    int error() const { return error_; }
    QString errorText() const;

private:
    bool fail(int error, const QString& reason = QString());
    void discard();
    bool openInPlace(const struct ::stat& st);
    bool commitInPlace(bool keepExisting);

    QString path_;
    QByteArray target_;
    QByteArray temp_;
    int fd_ = -1;
    int lockFd_ = -1; // a second descriptor of the temporary file, holding its flock until the rename
    int error_ = 0;
    QString reason_;
    int newFileMode_ = -1;
    bool inPlace_ = false;
    QByteArray buffer_; // what is to be written in place
};

// The folder where the old contents of a file written in place are kept until the save is done:
// $XDG_STATE_HOME/vordalin, else ~/.local/state/vordalin (made for the user alone), else the temporary folder.
QString savedCopiesFolder();

// Removes the leftovers of killed saves of the file at path: hidden ".NAME.<id>.tmp" files beside it, of our
// naming and owned by the program's user, that no running process holds (each save holds an flock on its
// temporary file). Returns how many were removed. Every save calls it for its own target.
int removeSaveLeftovers(const QString& path);
// The same for every file of a folder (a queue folder, say).
int removeSaveLeftoversInFolder(const QString& folder);

// Writes a whole file through AtomicFile. errorText gets the system's reason on failure.
bool writeFileAtomically(const QString& path, std::string_view data, QString* errorText = nullptr);

} // namespace plat
