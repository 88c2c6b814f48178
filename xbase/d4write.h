// The index side of the record write and of a data handle's life. The bodies in d4write.cpp serve tables
// without index files; the index layer gives them their full form.
#pragma once

struct DATA4;

// Writes record n (-1 = current) with its keys: 0, r4unique (20) or an error.
int d4write(DATA4* d, long n);
int d4writeKeys(DATA4* d, long n);
int d4unwriteKeys(DATA4* d, long n);
// Adds the keys of the record buffer as new record n (d4append, before the record is written).
int d4appendKeys(DATA4* d, long n);
// Index files of a handle: opened with a new handle (the group file when autoOpen is on, or the index files already
// open on the data file), closed by d4close, flushed by d4flush, locked before key changes and unlocked by d4unlock.
int d4indexesOpen(DATA4* d, int firstHandle);
int d4indexesClose(DATA4* d);
int d4indexesFlush(DATA4* d);
int d4indexesLock(DATA4* d);
int d4indexesUnlock(DATA4* d);
// Skip in the order of the selected tag (d4skip with a tag selected).
int d4skipTag(DATA4* d, long n);
