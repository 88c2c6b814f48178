// Helpers shared by the files of the index layer.
#pragma once

#include "t4tag.h"

#include <cstring>

// Location numbers passed with raised errors.
enum {
    loc4tagOpen = 92101,
    loc4readBlock = 92102,
    loc4flush = 92103,
    loc4down = 92201,
    loc4seek = 92202,
    loc4add = 92301,
    loc4remove = 92302,
    loc4write = 92303,
    loc4index = 92304,
};

inline int t4keyCmp(const unsigned char* a, const unsigned char* b, int len) {
    return len <= 0 ? 0 : std::memcmp(a, b, static_cast<size_t>(len));
}
inline int t4keyLen(const TAG4FILE* t) {
    return t->header.keyLen;
}
inline int t4isRoot(const TAG4FILE* t, const B4BLOCK* b) {
    return b->fileBlock * 512L == static_cast<long>(t->header.root);
}

// Raises e4index with the file's name.
int t4corrupt(TAG4FILE* t);
// A page buffer holding the page at byte offset `pos` (taken from the cache when it is there, else read with
// the order check against `parent`). Result through *out; 0, 1 inconsistent, or negative.
int tfile4getBlock(TAG4FILE* t, long pos, B4BLOCK* parent, B4BLOCK** out);
// A blank buffer for a page appended at the end of the file.
B4BLOCK* tfile4newBlock(TAG4FILE* t, int* rc);
// Gives a buffer back to the cache (written later when changed).
void tfile4release(TAG4FILE* t, B4BLOCK* b);
int tfile4writeBlock(TAG4FILE* t, B4BLOCK* b);
// Goes down one level: 0 moved, 1 the current entry has no child, 2 inconsistent page, negative error.
int tfile4down(TAG4FILE* t);
int tfile4upToRoot(TAG4FILE* t);
// Waits for the next clock second and drops the cached pages; e4index when the file is exclusive or locked, or
// when `tries` has run out.
int tfile4outOfDate(TAG4FILE* t, int& tries);
// Writes a fresh page layout holding the given entries (child, record, key) and the right-most child.
void b4build(TAG4FILE* t, B4BLOCK* b, int n, const unsigned char* entries, long rightChild);
// Binary search in a page: slot of the first key >= key over len; 0 when equal, 2 otherwise.
int b4seek(TAG4FILE* t, B4BLOCK* b, const unsigned char* key, int len);
int b4room(TAG4FILE* t, B4BLOCK* b);
