// NTX index files: one tag per file, a B-tree of 1024-byte pages over the keys of one data file.
//
// Nothing in an index file is trusted: the header's page geometry must fit a page, every page read is checked
// (key count, slot offsets) before it is used, child offsets must name a page inside the file, and a descent
// deeper than t4maxDepth levels is refused. Such damage gives e4index ("Not a Correct Index File").
#pragma once

#include "d4all.h"
#include "e4expr.h"

#include <cstdint>
#include <vector>

constexpr int t4pageSize = 1024;
constexpr int t4maxDepth = 32;
constexpr int t4maxKeyLen = 338;
// Cached page buffers kept per tag file beyond the current path.
constexpr size_t t4cacheBuffers = 48;
// The header bytes the engine writes back as one piece: fields, key expression, unique, mark and descending words.
constexpr int t4headLen = 282;
// The "being changed" mark: a byte of the header that the NTX layout leaves unused (readers skip it). It is set on
// disk before the first page of a change is written or held, and cleared by the header write that ends the change,
// after every changed page is in the file. Found set at open, or by a reader with no writer holding the lock, it
// means a change was cut short: the keys are built again from the data file.
constexpr int t4markOffset = 279;
constexpr unsigned char t4markChanging = 0xC7;

// One page buffer: a page image with its place in the file and the position inside it.
struct B4BLOCK {
    long fileBlock = 0; // byte offset / 512
    int changed = 0;
    int keyOn = 0; // current slot
    unsigned char data[t4pageSize];
};

// The header fields at the start of the file.
struct T4HEADER {
    uint16_t sign = 6;
    uint16_t version = 0;
    uint32_t root = 0;
    uint32_t eof = 0;      // "next free": kept and written back with the root, never used to place pages
    uint16_t groupLen = 0; // entry size: key length + 8
    uint16_t keyLen = 0;
    uint16_t keyDec = 0;
    uint16_t keysMax = 0;
    uint16_t keysHalf = 0;
    uint16_t unique = 0;
    uint16_t descending = 0;
};

struct INDEX4;

// One open NTX file, shared by the handles of its data file (use count).
struct TAG4FILE {
    LINK4 link; // in DATA4FILE::tagfiles
    CODE4* c4 = nullptr;
    DATA4* data = nullptr; // the handle the expressions are bound to
    DATA4FILE* dataFile = nullptr;
    FILEREC4 file{};
    char alias[11] = {}; // tag name: the file's base name, upper case
    T4HEADER header;
    uint16_t versionOld = 0;
    int rootKnown = 0; // root and next free were read since the header last changed on disk
    int rootWrite = 0; // root moved: the next flush writes root and next free
    EXPR4* expr = nullptr;
    EXPR4* filter = nullptr;
    char keyType = 'C'; // C, D or N: chooses the seek conversion
    int userCount = 1;
    int descending = 0;
    std::vector<B4BLOCK*> path;         // root first, current page last
    std::vector<B4BLOCK*> saved;        // released buffers, most recently used last
    long fileLen = 0;                   // known length of the file (pages lie below it)
    unsigned char head[t4headLen] = {}; // the header as in the file, written back whole with the fields changed
    int marked = 0;                     // the being-changed mark is on disk
    int keepMark = 0;   // a change failed half way: the mark stays for the next open to rebuild the keys
    int selfLocked = 0; // locked by the tag itself while it rebuilds its keys in shared mode
    int lockHeld = 0;   // locked by the data file's index lock, being checked before it counts as locked
};

struct TAG4 {
    LINK4 link; // in INDEX4::tags
    INDEX4* index = nullptr;
    TAG4FILE* tagFile = nullptr;
    int errUnique = 0;
};

struct INDEX4 {
    LINK4 link; // in DATA4::indexes
    DATA4* data = nullptr;
    CODE4* c4 = nullptr;
    LISTHEAD4 tags{};
    char name[260] = {};
};

// --- files and tags ---
INDEX4* i4open(DATA4* d, const char* name);
int i4close(INDEX4* index);
// Makes an NTX file for `keyExpr` (and an optional filter) over every record of `d`, and opens it.
INDEX4* i4create(DATA4* d, const char* name, const char* keyExpr, const char* filter = nullptr, int unique = 0,
                 int descending = 0);
TAG4* i4tag(INDEX4* index); // its first (for NTX: only) tag
TAG4* t4open(DATA4* d, INDEX4* index, const char* name);
int t4close(TAG4* t);
TAG4FILE* tfile4open(DATA4* d, const char* name);
int tfile4close(TAG4FILE* t);
// Writes every changed page, then the header (version, root, mark cleared) in one write: a reader that sees the new
// version finds every page of the change in the file.
int t4flush(TAG4FILE* t);
// Puts the being-changed mark on disk before a change (once until the next t4flush). 0 or -1.
int tfile4markChanging(TAG4FILE* t);
// Builds the tree again from the records counted in the data file (the file must be writable and held by this
// process: exclusively, or locked). 0, or negative.
int tfile4rebuild(TAG4FILE* t);
// 1 when the header on disk still has the version last seen and no mark, 0 when not, negative on error.
int tfile4current(TAG4FILE* t);
// i4create fills a new file itself: its open must not build the keys as well.
void tfile4openFresh(int on);
int t4unique(TAG4* t);
const char* t4alias(TAG4* t);
EXPR4* t4expr(TAG4* t);

// Reads the page at byte offset `pos` into b: 0, 1 (inconsistent: another process may be rewriting the file)
// or negative.
int i4readBlock(TAG4FILE* t, long pos, B4BLOCK* parent, B4BLOCK* b);
long tfile4extend(TAG4FILE* t);
int tfile4doVersionCheck(TAG4FILE* t, int keepPosition, int update);
// The file is held exclusively or locked by this process: no one else changes it.
int tfile4lockedOrExclusive(TAG4FILE* t);

// --- page access ---
// The page and header numbers are the file formats' little-endian ones.
inline unsigned b4get16(const unsigned char* p) {
    return c4readU16(p);
}
inline uint32_t b4get32(const unsigned char* p) {
    return static_cast<uint32_t>(c4readU32(p));
}
inline void b4put16(unsigned char* p, unsigned v) {
    c4putU16(p, v);
}
inline void b4put32(unsigned char* p, uint32_t v) {
    c4putU32(p, v);
}
inline int b4n(const B4BLOCK* b) {
    return static_cast<int>(b4get16(b->data));
}
inline unsigned char* b4entry(B4BLOCK* b, int i) {
    return b->data + b4get16(b->data + 2 + 2 * i);
}
inline long b4child(B4BLOCK* b, int i) {
    return static_cast<long>(b4get32(b4entry(b, i)));
}
inline long b4rec(B4BLOCK* b, int i) {
    return static_cast<long>(b4get32(b4entry(b, i) + 4));
}
inline unsigned char* b4key(B4BLOCK* b, int i) {
    return b4entry(b, i) + 8;
}
inline int b4leaf(B4BLOCK* b) {
    return b4child(b, 0) == 0;
}

// --- navigation ---
int tfile4top(TAG4FILE* t);
int tfile4bottom(TAG4FILE* t);
int tfile4eof(TAG4FILE* t);
int tfile4goEof(TAG4FILE* t);
// 0 found, r4after positioned after (or at end of file), r4eof end of file (descending tags), negative error.
int tfile4seek(TAG4FILE* t, const void* key, int len);
long tfile4skip(TAG4FILE* t, long n);
// The most entries any walk over the tag's file can meet (every page full); more means damaged pages in a circle.
long tfile4entryLimit(TAG4FILE* t);
long tfile4recNo(TAG4FILE* t);
unsigned char* tfile4key(TAG4FILE* t);
// 0 on that exact entry, 1 not present, negative error.
int tfile4go(TAG4FILE* t, const unsigned char* key, long rec);
void tfile4releaseAll(TAG4FILE* t);

// --- maintenance ---
int tfile4add(TAG4FILE* t, const unsigned char* key, long rec, int uniqueMode);
int tfile4remove(TAG4FILE* t);
// Removes the entry (key, rec): 0, r4entry when it is not there, negative error.
int tfile4removeKey(TAG4FILE* t, const unsigned char* key, long rec);
// Builds the key of the record image `record` into `out` (key length bytes); returns 1 when the record passes
// the filter, 0 when not, negative on error.
int tfile4exprKey(TAG4FILE* t, const char* record, unsigned char* out);
// Converts seek text to key form for this tag (numeric keys right-justified then in key form).
int tfile4seekConvert(TAG4FILE* t, const char* text, int len, unsigned char* out);

// --- data-file level ---
TAG4* d4tag(DATA4* d, const char* name);
TAG4* d4tagDefault(DATA4* d);
void d4tagSelect(DATA4* d, TAG4* t);
int d4seek(DATA4* d, const char* text);
int d4seekN(DATA4* d, const char* text, int len);
int d4seekDouble(DATA4* d, double value);
int d4tagTop(DATA4* d);
int d4tagBottom(DATA4* d);
