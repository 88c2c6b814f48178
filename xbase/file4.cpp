#include "file4.h"

#include "code4.h"
#include "lock4.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// ---- the POSIX calls ----

int FILE4SYS::open(const char* path, int flags, int mode) {
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? -errno : fd;
}

int FILE4SYS::close(int fd) {
    return ::close(fd) < 0 ? -errno : 0;
}

long FILE4SYS::pread(int fd, void* buf, long len, long pos) {
    ssize_t n;
    do
        n = ::pread(fd, buf, size_t(len), off_t(pos));
    while (n < 0 && errno == EINTR);
    return n < 0 ? -errno : long(n);
}

long FILE4SYS::pwrite(int fd, const void* buf, long len, long pos) {
    ssize_t n;
    do
        n = ::pwrite(fd, buf, size_t(len), off_t(pos));
    while (n < 0 && errno == EINTR);
    return n < 0 ? -errno : long(n);
}

int FILE4SYS::fsync(int fd) {
    return ::fsync(fd) < 0 ? -errno : 0;
}

long FILE4SYS::size(int fd) {
    struct stat st;
    return ::fstat(fd, &st) < 0 ? -errno : long(st.st_size);
}

int FILE4SYS::truncate(int fd, long len) {
    return ::ftruncate(fd, off_t(len)) < 0 ? -errno : 0;
}

int FILE4SYS::lock(int fd, long offset, long len, int type) {
    struct flock fl {};
    fl.l_type = short(type);
    fl.l_whence = SEEK_SET;
    fl.l_start = off_t(offset);
    fl.l_len = off_t(len);
    fl.l_pid = 0;
    int r;
    do
        r = ::fcntl(fd, F_OFD_SETLK, &fl);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -errno : 0;
}

int FILE4SYS::mode(const char* path, unsigned* modeBits) {
    struct stat st;
    if (::stat(path, &st) < 0)
        return -errno;
    *modeBits = unsigned(st.st_mode);
    return 0;
}

int FILE4SYS::unlink(const char* path) {
    return ::unlink(path) < 0 ? -errno : 0;
}

time_t FILE4SYS::now() {
    return ::time(nullptr);
}

void FILE4SYS::sleepHundredths(int n) {
    if (n > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10L * n));
}

FILE4SYS* file4sysDefault() {
    static FILE4SYS sys;
    return &sys;
}

// ---- sharing ----

namespace {

// Share modes have no system equivalent here; engine users emulate them with two marker bytes beyond every lock
// range: each opener read-locks "open", each writer read-locks "writer"; deny-write write-locks "writer", exclusive
// write-locks both. Programs that do not take these locks are not held off.
constexpr long shareOpenByte = 2000000001L;
constexpr long shareWriterByte = 2000000002L;

int shareAcquire(FILE4SYS* sys, int fd, int shareMode, int writable) {
    int openType = F_RDLCK, writerType = writable ? F_RDLCK : -1;
    if (shareMode == 1 && writable)
        openType = writerType = F_WRLCK;
    else if (shareMode == 1 || shareMode == 2)
        writerType = writable ? F_WRLCK : F_RDLCK;
    if (sys->lock(fd, shareOpenByte, 1, openType) < 0)
        return e4permiss;
    if (writerType >= 0 && sys->lock(fd, shareWriterByte, 1, writerType) < 0)
        return e4permiss;
    return 0;
}

int mapOpenErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return e4fileFind;
    case EACCES:
    case EPERM:
    case EROFS:
        return e4permiss;
    case EMFILE:
    case ENFILE:
        return e4numFiles;
    default:
        return e4open;
    }
}

char* dupText(const char* s) {
    const size_t n = std::strlen(s) + 1;
    auto* p = static_cast<char*>(u4blockAlloc(n));
    if (p)
        std::memcpy(p, s, n);
    return p;
}

void clearRecord(FILEREC4* f, CODE4* c4) {
    *f = FILEREC4{};
    f->hand = -1;
    f->c4 = c4;
}

int keepName(FILEREC4* f, const char* name) {
    f->name = dupText(name);
    if (!f->name)
        return e4memory;
    f->doAllocFree = 1;
    return 0;
}

} // namespace

// ---- open, create, close ----

int file4open(FILEREC4* f, CODE4* c4, const char* name, int copyName) {
    if (!f || !c4 || !name)
        return error4raise(c4, e4parm, 10401);
    if (c4->errorLatch < 0)
        return e4context;
    FILE4SYS* sys = code4sys(c4);
    clearRecord(f, c4);
    char path[PATH_MAX];
    u4nameResolve(path, sizeof path, name);

    int rc = 0, fd = -1, readOnly = 0;
    unsigned modeBits = 0;
    // The read-only attribute comes from the mode bits: permission checks mean nothing to a program run as root.
    if (sys->mode(path, &modeBits) == 0 && (modeBits & 0222) == 0)
        readOnly = 2;
    else if (c4->readOnlyOpen == 1)
        readOnly = 1;
    if (c4->shareMode > 2) {
        rc = e4open;
    } else {
        fd = sys->open(path, readOnly ? O_RDONLY : O_RDWR, 0);
        if (fd < 0)
            rc = mapOpenErrno(-fd);
        else if (readOnly != 2 && (rc = shareAcquire(sys, fd, c4->shareMode, !readOnly)) != 0) {
            sys->close(fd);
            fd = -1;
        }
    }
    if (rc != 0) {
        if (c4->openErrors)
            return error4raiseText(c4, rc, 10402, name);
        c4->errorLatch = r4noOpen;
        return r4noOpen;
    }
    f->hand = fd;
    f->isReadOnly = readOnly ? 1 : 0;
    f->lowAccessMode = readOnly == 2 ? 1 : c4->shareMode;
    (void)copyName; // the resolved name always differs from the caller's text, so it is always copied
    if (keepName(f, path) != 0) {
        sys->close(fd);
        clearRecord(f, c4);
        return error4raise(c4, e4memory, 10403);
    }
    f->isOpen = 1;
    return 0;
}

static int file4createTemp(FILEREC4* f, CODE4* c4) {
    const int oldErrors = c4->createErrors;
    const unsigned char oldShare = c4->shareMode;
    c4->createErrors = 0;
    c4->shareMode = 1;
    const char* dir = std::getenv("TMPDIR");
    if (!dir || !*dir)
        dir = std::getenv("TEMP");
    if (!dir || !*dir)
        dir = std::getenv("TMP");
    if (!dir || !*dir)
        dir = ".";
    int rc = r4noCreate;
    for (int tries = 0; tries < 100 && rc != 0; tries++) {
        if (tries > 0)
            code4lockWait(c4, 50);
        char name[PATH_MAX];
        std::snprintf(name, sizeof name, "%s/TEMP%04ld.TMP", dir, long(code4sys(c4)->now() % 10000));
        rc = file4create(f, c4, name, 1);
        if (rc == r4noCreate)
            c4->errorLatch = 0;
    }
    c4->createErrors = oldErrors;
    c4->shareMode = oldShare;
    if (rc != 0)
        return error4raise(c4, e4create, 10404);
    f->isTemp = 1;
    return 0;
}

int file4create(FILEREC4* f, CODE4* c4, const char* name, int copyName) {
    if (!f || !c4)
        return error4raise(c4, e4parmNull, 10405);
    if (c4->errorLatch < 0)
        return e4context;
    clearRecord(f, c4);
    if (!name)
        return file4createTemp(f, c4);
    FILE4SYS* sys = code4sys(c4);
    char path[PATH_MAX];
    u4nameResolve(path, sizeof path, name);
    int fd = -1;
    unsigned modeBits = 0;
    const bool exists = sys->mode(path, &modeBits) == 0;
    if (c4->shareMode <= 2 && !(exists && c4->createSafety)) {
        if (exists) {
            // Replace only a file that nobody else has open: it must open exclusively first.
            int probe = sys->open(path, O_RDWR, 0);
            bool alone = probe >= 0 && shareAcquire(sys, probe, 1, 1) == 0;
            if (probe >= 0 && alone)
                fd = sys->open(path, O_RDWR | O_TRUNC, 0666);
            if (probe >= 0)
                sys->close(probe);
        } else {
            fd = sys->open(path, O_RDWR | O_CREAT | O_EXCL, 0666);
        }
        if (fd >= 0 && shareAcquire(sys, fd, c4->shareMode, 1) != 0) {
            sys->close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        if (c4->createErrors)
            return error4raiseText(c4, e4create, 10406, name);
        c4->errorLatch = r4noCreate;
        return r4noCreate;
    }
    f->hand = fd;
    f->lowAccessMode = c4->shareMode;
    (void)copyName;
    if (keepName(f, path) != 0) {
        sys->close(fd);
        clearRecord(f, c4);
        return error4raise(c4, e4memory, 10407);
    }
    f->isOpen = 1;
    return 0;
}

int file4close(FILEREC4* f) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10408);
    if (f->hand < 0)
        return 0;
    CODE4* c4 = f->c4;
    FILE4SYS* sys = code4sys(c4);
    if (sys->close(f->hand) < 0)
        error4raiseText(c4, e4close, 10409, f->name);
    if (f->isTemp && f->name)
        sys->unlink(f->name);
    if (f->doAllocFree)
        u4blockFree(f->name);
    clearRecord(f, c4);
    return c4 && c4->errorLatch < 0 ? -1 : 0;
}

long file4len(FILEREC4* f) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10410);
    const long n = code4sys(f->c4)->size(f->hand);
    if (n < 0 || n > INT_MAX)
        return error4raiseText(f->c4, e4len, 10411, f->name);
    return n;
}

int file4lenSet(FILEREC4* f, long len) {
    if (!f || len < 0)
        return error4raise(f ? f->c4 : nullptr, e4parmNull, 10412);
    CODE4* c4 = f->c4;
    if (c4->errorLatch < 0)
        return e4context;
    if (c4->errorLatch > 0 && c4->errorLatch < 200)
        return -1;
    if (f->isReadOnly)
        return error4raise(c4, e4parm, 10413);
    if (code4sys(c4)->truncate(f->hand, len) < 0)
        return error4raiseText(c4, e4lenSet, 10414, f->name);
    return 0;
}

// ---- reading and writing ----

int file4readError(FILEREC4* f, long pos, unsigned len, const char* operation) {
    char text[48];
    std::snprintf(text, sizeof text, "%19ld %19u", pos, len);
    return error4raiseText(f->c4, e4read, 10415, f->name, text, operation);
}

unsigned file4readLow(FILEREC4* f, long pos, void* buf, unsigned len) {
    FILE4SYS* sys = code4sys(f->c4);
    unsigned done = 0;
    while (done < len) {
        const long n = sys->pread(f->hand, static_cast<char*>(buf) + done, long(len - done), pos + long(done));
        if (n < 0) {
            file4readError(f, pos, len, "file4readLow");
            break;
        }
        if (n == 0)
            break;
        done += unsigned(n);
    }
    return done;
}

unsigned file4read(FILEREC4* f, long pos, void* buf, unsigned len) {
    if (!f || !buf || pos < 0) {
        error4raise(f ? f->c4 : nullptr, e4parmNull, 10416);
        return 0;
    }
    if (f->c4->errorLatch < 0 || len == 0)
        return 0;
    return file4readLow(f, pos, buf, len);
}

int file4readAll(FILEREC4* f, long pos, void* buf, unsigned len) {
    if (!f || !buf || pos < 0)
        return error4raise(f ? f->c4 : nullptr, e4parmNull, 10417);
    if (f->c4->errorLatch < 0)
        return -1;
    if (len == 0)
        return 0;
    if (f->hand < 0)
        return error4raise(f->c4, e4opt, 10418);
    if (file4readLow(f, pos, buf, len) != len) {
        if (f->c4->errorLatch < 0)
            return f->c4->errorLatch;
        return file4readError(f, pos, len, "file4readAllLow");
    }
    return 0;
}

int file4write(FILEREC4* f, long pos, const void* data, unsigned len) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10419);
    CODE4* c4 = f->c4;
    if (pos < 0 || (!data && len) || f->hand < 0)
        return error4raise(c4, e4parm, 10420);
    if (c4->errorLatch < 0)
        return e4context;
    if (f->isReadOnly)
        return error4raiseText(c4, e4write, 10421, f->name);
    FILE4SYS* sys = code4sys(c4);
    unsigned done = 0;
    while (done < len) {
        const long n = sys->pwrite(f->hand, static_cast<const char*>(data) + done, long(len - done), pos + long(done));
        if (n <= 0)
            return error4raiseText(c4, e4write, 10422, f->name);
        done += unsigned(n);
    }
    if (c4->flushEachWrite)
        return file4flush(f);
    return 0;
}

int file4flush(FILEREC4* f) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10423);
    if (f->isReadOnly || f->hand < 0)
        return 0;
    if (code4sys(f->c4)->fsync(f->hand) < 0)
        return error4raiseText(f->c4, e4optFlush, 10424, f->name);
    return 0;
}

// ---- sequential reader ----

int file4seqReadInit(FILE4SEQ_READ* r, FILEREC4* f, long pos, void* buf, unsigned size) {
    if (!r || !f || pos < 0 || (!buf && size))
        return error4raise(f ? f->c4 : nullptr, e4parm, 10425);
    *r = FILE4SEQ_READ{};
    r->file = f;
    r->pos = pos;
    r->buffer = static_cast<char*>(buf);
    r->total = buf ? size - size % 1024 : 0;
    if (r->total)
        r->nextReadLen = r->total - unsigned(pos % 1024);
    return 0;
}

unsigned file4seqRead(FILE4SEQ_READ* r, void* dest, unsigned len) {
    auto* out = static_cast<char*>(dest);
    unsigned done = 0;
    while (done < len) {
        if (r->avail == 0) {
            if (!r->total) {
                const unsigned n = file4readLow(r->file, r->pos, out + done, len - done);
                r->pos += n;
                return done + n;
            }
            const unsigned n = file4readLow(r->file, r->pos, r->buffer, r->nextReadLen);
            r->pos += n;
            r->working = r->avail = n;
            r->nextReadLen = r->total;
            if (n == 0)
                break;
        }
        const unsigned take = r->avail < len - done ? r->avail : len - done;
        std::memcpy(out + done, r->buffer + (r->working - r->avail), take);
        r->avail -= take;
        done += take;
    }
    return done;
}

int file4seqReadAll(FILE4SEQ_READ* r, void* dest, unsigned len) {
    const long pos = r->pos - long(r->avail);
    if (file4seqRead(r, dest, len) != len)
        return file4readError(r->file, pos, len, "file4seqReadAll");
    return 0;
}

// ---- names ----

static void upperAscii(char* s) {
    for (; *s; s++)
        if (*s >= 'a' && *s <= 'z')
            *s = char(*s - 'a' + 'A');
}

int u4nameFull(char* out, int size, const char* name) {
    if (!out || !name || size <= 0)
        return e4parm;
    std::string path;
    if (name[0] != '/' && name[0] != '\\') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return e4parm;
        path = cwd;
        path += '/';
    }
    path += name;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    // Fold "." and ".." steps lexically, as the identity of a file must not depend on how it was reached.
    std::string result;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        const std::string part = path.substr(i, j - i);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            const size_t k = result.rfind('/');
            result.erase(k == std::string::npos ? 0 : k);
        } else {
            result += '/';
            result += part;
        }
        i = j + 1;
    }
    if (result.empty())
        result = "/";
    if (result.size() + 1 > size_t(size))
        return e4parm;
    std::memcpy(out, result.c_str(), result.size() + 1);
    return 0;
}

int u4nameCurrent(char* out, int size, const char* name) {
    const int rc = u4nameFull(out, size, name);
    if (rc == 0)
        upperAscii(out);
    return rc;
}

static char* extStart(char* name) {
    char* slash = std::strrchr(name, '/');
    char* back = std::strrchr(name, '\\');
    char* base = slash > back ? slash : back;
    char* dot = std::strrchr(base ? base : name, '.');
    return dot;
}

void u4nameExtKeepCase(char* name, int size, const char* ext, int replace) {
    int len = int(std::strlen(name));
    while (len > 0 && name[len - 1] == ' ')
        name[--len] = 0;
    if (*ext == '.')
        ext++;
    char* dot = extStart(name);
    if (dot && !replace)
        return;
    if (dot)
        *dot = 0;
    len = int(std::strlen(name));
    if (len + 1 + int(std::strlen(ext)) + 1 > size)
        return;
    name[len] = '.';
    std::strcpy(name + len + 1, ext);
}

void u4nameExt(char* name, int size, const char* ext, int replace) {
    u4nameExtKeepCase(name, size, ext, replace);
    upperAscii(name);
}

void u4namePiece(char* out, int size, const char* name, int keepPath, int keepExt) {
    if (size <= 0)
        return;
    const char* start = name;
    if (!keepPath) {
        for (const char* p = name; *p; p++)
            if (*p == '/' || *p == '\\' || *p == ':')
                start = p + 1;
    }
    std::string s(start);
    if (!keepExt) {
        const size_t slash = s.find_last_of("/\\");
        const size_t dot = s.rfind('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            s.erase(dot);
    }
    u4ncpy(out, s.c_str(), unsigned(size));
    upperAscii(out);
}

int u4nameRetExt(char* out, int size, const char* name) {
    std::string s(name);
    const size_t slash = s.find_last_of("/\\");
    const size_t dot = s.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        if (size > 0)
            out[0] = 0;
        return 0;
    }
    std::string ext = s.substr(dot + 1);
    while (!ext.empty() && ext.back() == ' ')
        ext.pop_back();
    u4ncpy(out, ext.c_str(), unsigned(size));
    return int(std::strlen(out));
}

char* u4environ(CODE4* c4, const char* name, int required) {
    char* v = std::getenv(name);
    if (!v && required)
        error4raiseText(c4, e4info, 10426, name);
    return v;
}

int u4ncpy(char* dst, const char* src, unsigned size) {
    if (size == 0)
        return error4raise(nullptr, e4parm, 10427);
    unsigned i = 0;
    for (; i + 1 < size && src[i]; i++)
        dst[i] = src[i];
    dst[i] = 0;
    return int(i);
}

int u4nameResolve(char* out, int size, const char* path) {
    struct stat st;
    u4ncpy(out, path, unsigned(size));
    if (::stat(path, &st) == 0)
        return 1;
    // Files made on Windows keep whatever case their makers chose; look each part up without regard to case.
    std::string p(path), built;
    size_t i = 0;
    if (!p.empty() && p[0] == '/') {
        built = "/";
        i = 1;
    }
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos)
            j = p.size();
        const std::string part = p.substr(i, j - i);
        i = j + 1;
        if (part.empty())
            continue;
        const std::string dir = built.empty() ? "." : built;
        std::string exact = built + (built.empty() || built.back() == '/' ? "" : "/") + part;
        if (::stat(exact.c_str(), &st) == 0 || part == "." || part == "..") {
            built = exact;
            continue;
        }
        std::string found;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                if (::strcasecmp(e->d_name, part.c_str()) == 0) {
                    found = e->d_name;
                    break;
                }
            }
            ::closedir(d);
        }
        if (found.empty())
            return 0;
        built += (built.empty() || built.back() == '/' ? "" : "/") + found;
    }
    u4ncpy(out, built.c_str(), unsigned(size));
    return 1;
}
