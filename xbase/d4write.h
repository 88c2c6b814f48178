// The index side of the record write and of a data handle's life. The bodies in d4write.cpp serve tables
// without index files; the index layer gives them their full form.
#pragma once

struct DATA4;

// Writes record n (-1 = current) with its keys: 0, r4unique (20) or an error.
int d4write(DATA4* d, long n);
int d4writeKeys(DATA4* d, long n);
// d4writeKeys for d4write: on success the index lock it took (shared mode) is kept, so that the record's data is
// written while the index files still carry their being-changed mark; d4keysEnd then releases it.
int d4writeKeysBegin(DATA4* d, long n, int* locked);
int d4unwriteKeys(DATA4* d, long n);
// The index side of d4append, around the write of the record and its count:
// - d4appendKeysBegin: locks the index files of a shared table, marks every index file as being changed (on disk,
//   before the record is written) and checks the unique tags: 0, r4unique or e4unique (nothing changed; the lock it
//   took is released), r4locked, or an error. *locked tells d4keysEnd to release the lock.
// - d4appendKeys: adds the keys of the record buffer as record n, once the record and its count are in the file.
// - d4keysEnd: releases the lock taken by d4appendKeysBegin (or d4writeKeysBegin), which writes the changed pages
//   and then clears the mark; result keeps an earlier failure, else the release's.
int d4appendKeysBegin(DATA4* d, int* locked);
int d4appendKeys(DATA4* d, long n);
int d4keysEnd(DATA4* d, int locked, int result);
// Index files of a handle: opened with a new handle (the group file when autoOpen is on, or the index files already
// open on the data file), closed by d4close, flushed by d4flush, locked before key changes and unlocked by d4unlock.
int d4indexesOpen(DATA4* d, int firstHandle);
int d4indexesClose(DATA4* d);
int d4indexesFlush(DATA4* d);
int d4indexesLock(DATA4* d);
int d4indexesUnlock(DATA4* d);
// Skip in the order of the selected tag (d4skip with a tag selected).
int d4skipTag(DATA4* d, long n);
