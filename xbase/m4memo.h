// Memo files (.DBT): 512-byte blocks; block 0 holds the number of the next free block (a little-endian u32); each
// entry starts at a block of its own and is its text followed by two 0x1A bytes, of which a reader needs only the
// first. A memo field's record bytes hold the number of its entry's first block as text (blanks: no entry). Blocks
// are never freed: a text that no longer fits its entry's blocks gets new ones at the next free block.
#pragma once

#include "file4.h"

struct CODE4;
struct DATA4FILE;
struct FIELD4;
struct DATA4;

// An open memo file, one per open data file that has memos (DATA4FILE::memoFile).
struct MEMO4FILE {
    FILEREC4 file;
    DATA4FILE* data; // the data file it belongs to (null for a file memo4fileCreate made)
    int blockSize;   // 512
    int isOpen;
};

// Cached memo text of one memo field of a DATA4.
struct F4MEMO {
    int isChanged;   // assigned since it was last written: the next record write puts it into the memo file
    int status;      // 1 = must be read from the memo file before use; 0 = contents holds the text
    char* contents;  // the text, NUL-terminated; owned by the handle (freed by d4memoFree, at d4close)
    unsigned len;    // the text's length
    unsigned lenMax; // bytes allocated at contents
    FIELD4* field;
};

// --- the memo file ---

// Opens the memo file `name` in the context's share mode and checks that its header can be read; the next free block
// is not checked here (memo4fileWrite checks it before it relies on it). 0, or the result of the failed open or
// header read (the file is then closed).
int memo4fileOpen(MEMO4FILE* m, DATA4FILE* d, const char* name);
// Creates the memo file `name` holding block 0 only, with block 1 as the next free one, and leaves it open. 0, or the
// result of the failed create or write (the file is then closed).
int memo4fileCreate(MEMO4FILE* m, CODE4* c4, const char* name);
// Reads the text of the entry at block n into *buf, growing *buf (of *bufLen bytes, allocated with u4blockGrow; the
// caller owns it and frees it with u4blockFree) to hold the text and a closing NUL; *textLen is set to its length.
// The text runs up to the first 0x1A; a block number of 0 or less is the empty text. 0 on success; -1 without
// raising for an entry that is damaged (a block number past 32-bit positions, or no 0x1A before the end of the file:
// *buf then holds what was read); e4memory raised when the buffer cannot grow; a latched read error.
int memo4fileRead(MEMO4FILE* m, long n, char** buf, unsigned* bufLen, unsigned* textLen);
// Writes len bytes of text as the entry whose first block is *n, and sets *n to where it went: the same blocks when
// the text and its two 0x1A fit in the blocks the old entry spans, else new blocks at the next free one (the header's
// next free block moves past them and the file grows to a whole number of blocks). An empty text writes nothing and
// sets *n to 0. The whole memo file is locked while the blocks are chosen and written (when it is shared), so two
// writers never get the same blocks. 0; r4locked when the lock is refused (nothing written); e4memoCorrupt raised when
// the header's next free block lies inside the file's used blocks or out of range (nothing written); a negative
// result for a failed read or write.
int memo4fileWrite(MEMO4FILE* m, long* n, const char* text, unsigned len);

// --- memo fields ---
// A memo field's text is read from the memo file when it is first asked for on a record and cached in the handle.
// Assigned text stays in that cache until the record is written (d4flush, d4unlock, d4append, moving to another
// record, d4close), which writes the text first and the record with the entry's block number after it; the cache is
// then dropped. d4refreshRecord drops it unwritten. A field that is not a memo field, or a memo field of a table whose
// memo file is not open, has no cache: the calls marked so then act on its record bytes.

// Assigns the NUL-terminated text (null: the empty text) to the cache; as f4memoAssignN.
int f4memoAssign(FIELD4* f, const char* text);
// Assigns len bytes of text (any byte values) to the cache and marks the record changed. Refuses as the f4assign
// calls do (e4context while the latch is negative; e4lock raised under lockBeforeWrite on a record this handle has
// not locked); e4memory raised for a text of 0xFFFFFF80 bytes or more or when the cache cannot grow. Without a cache:
// f4assignN.
int f4memoAssignN(FIELD4* f, const char* text, unsigned len);
// Sets the cached text's length to len (and a NUL after it) for the caller to fill through f4memoPtr: the bytes up to
// the old length are kept, those past it are the caller's to write. Marks the text and the record changed. No latch or
// lock check. e4parm raised without a cache; e4memory raised when the cache cannot grow (the cache then must be read
// again).
int f4memoSetLen(FIELD4* f, unsigned len);
// The text's length, read first when the cache must be read (a read that fails gives 0). Without a cache: f4len.
// 0 for a null field.
unsigned f4memoLen(FIELD4* f);
// The text, NUL-terminated (it may also hold NULs of its own: f4memoLen gives its length), read first when the cache
// must be read (a read that fails gives the empty text). It belongs to the handle: valid until the field's cache is
// read again or grows (the first use on another record, an assignment), or d4close. Without a cache: f4ptr (the
// record bytes, not NUL-terminated). Null for a null field.
char* f4memoPtr(FIELD4* f);
// As f4memoPtr; without a cache, f4str (the context's shared field buffer, NUL-terminated).
char* f4memoStr(FIELD4* f);
// Reads the text of the current record's entry into the cache, first locking the record when lockOnRead is on and
// the handle has not locked it; on no record (after d4appendStart) the text is empty. f must have a cache. 0; the
// lock's result (r4locked, or an error) with nothing read (the cache then counts the text as read with length 0 until
// it is reset); -1 for a damaged entry (not raised; the text is then empty); e4memory or a read error raised.
int f4memoRead(FIELD4* f);
// Drops the cached text, written or not: the next use reads it from the memo file. Nothing for a field without cache.
void f4memoReset(FIELD4* f);
// Same as f4memoWrite.
int f4memoFlush(FIELD4* f);
// Writes a changed cached text to the memo file (memo4fileWrite) and puts its entry's block number into the record
// buffer (blanks for the empty text); the record itself is not written. 0, also when there is nothing to write;
// r4locked when the memo file's lock is refused (nothing written, the text stays changed); negative on failure.
int f4memoWrite(FIELD4* f);

// --- all memo fields of a handle ---

// f4memoReset on each.
void d4memoReset(DATA4* d);
// f4memoFlush on each, stopping at the first that does not return 0 and returning its result.
int d4memoFlush(DATA4* d);
// Frees each cache's text buffer (d4close calls it).
void d4memoFree(DATA4* d);
