// File layer of the table engine: every data, memo, index and log file goes through it.
#pragma once

#include <cstdint>
#include <ctime>

struct CODE4;

// The operating-system calls under the file layer. The engine uses one instance per context (the POSIX one by
// default); tests put a fault-injecting or counting one in its place. Every call returns -errno on failure.
struct FILE4SYS {
    virtual ~FILE4SYS() = default;
    virtual int open(const char* path, int flags, int mode);
    virtual int close(int fd);
    virtual long pread(int fd, void* buf, long len, long pos);
    virtual long pwrite(int fd, const void* buf, long len, long pos);
    virtual int fsync(int fd);
    virtual long size(int fd); // file length
    virtual int truncate(int fd, long len);
    // One attempt at a byte-range lock that belongs to the open file description, so that it neither vanishes when
    // another descriptor of the file is closed nor is granted twice inside one process. type: F_RDLCK, F_WRLCK or
    // F_UNLCK. A range held by someone else gives -EAGAIN (or -EACCES).
    virtual int lock(int fd, long offset, long len, int type);
    // Permission bits of a file (for the read-only attribute), or -errno.
    virtual int mode(const char* path, unsigned* modeBits);
    virtual int unlink(const char* path);
    virtual time_t now();                // seconds since 1970
    virtual void sleepHundredths(int n); // the lock wait
};

// The process-wide POSIX instance.
FILE4SYS* file4sysDefault();

struct FILEREC4 {
    int hand; // -1 = closed
    int isReadOnly;
    CODE4* c4;
    char* name;        // as used on disk (resolved without regard to case)
    int lowAccessMode; // share mode at open (1 also for a read-only file)
    int isTemp;
    int doAllocFree; // owns name
    int isOpen;
    int blockSize; // memo files: 512
};

int file4open(FILEREC4* f, CODE4* c4, const char* name, int copyName);
int file4create(FILEREC4* f, CODE4* c4, const char* name, int copyName);
int file4close(FILEREC4* f);
long file4len(FILEREC4* f);
int file4lenSet(FILEREC4* f, long len);
unsigned file4read(FILEREC4* f, long pos, void* buf, unsigned len);
int file4readAll(FILEREC4* f, long pos, void* buf, unsigned len);
unsigned file4readLow(FILEREC4* f, long pos, void* buf, unsigned len);
int file4readError(FILEREC4* f, long pos, unsigned len, const char* operation);
int file4write(FILEREC4* f, long pos, const void* data, unsigned len);
int file4flush(FILEREC4* f);

// Sequential reader in 1024-aligned chunks.
struct FILE4SEQ_READ {
    FILEREC4* file;
    long pos;
    char* buffer;
    unsigned total;   // buffer size
    unsigned working; // bytes filled
    unsigned avail;   // bytes not yet handed out
    unsigned nextReadLen;
};

int file4seqReadInit(FILE4SEQ_READ* r, FILEREC4* f, long pos, void* buf, unsigned size);
unsigned file4seqRead(FILE4SEQ_READ* r, void* dest, unsigned len);
int file4seqReadAll(FILE4SEQ_READ* r, void* dest, unsigned len);

// Names. Full paths use '/', and accept '\' from settings written on Windows. u4nameCurrent upper-cases (the identity
// of an open file); u4nameFull keeps the case for the disk.
int u4nameCurrent(char* out, int size, const char* name);
int u4nameFull(char* out, int size, const char* name);
void u4nameExt(char* name, int size, const char* ext, int replace);
void u4nameExtKeepCase(char* name, int size, const char* ext, int replace);
void u4namePiece(char* out, int size, const char* name, int keepPath, int keepExt);
int u4nameRetExt(char* out, int size, const char* name);
char* u4environ(CODE4* c4, const char* name, int required);
int u4ncpy(char* dst, const char* src, unsigned size);
// Finds a path on disk without regard to case of each part; out receives the name as it is on disk, or the
// name as given when no entry matches. Returns 1 when found.
int u4nameResolve(char* out, int size, const char* path);
