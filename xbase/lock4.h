// Record and file locks: one byte far beyond the file's content per record, arbitrated by the system.
#pragma once

#include "code4.h"

struct DATA4;
struct DATA4FILE;

struct LOCK4 {
    LINK4 link;
    int id1;
    int id2;
    long recNum;
};

constexpr long lock4appendOffset = lock4base;
constexpr long lock4fileLen = 1000000000L;
constexpr long lock4logSlot = 1000001001L; // + slot 0..999
constexpr long lock4logVerify = 1000002001L;
constexpr long lock4logScanStart = 1000001000L;
constexpr long lock4logScanEnd = 1000002000L;

int file4lock(FILEREC4* f, long offset, long len);
int file4unlock(FILEREC4* f, long offset, long len);
void code4lockWait(CODE4* c4, int hundredths);

int d4lock(DATA4* d, long n);
// Takes the append lock: while it is held, appends of other programs wait and this handle's appends need neither
// lock nor count read. Each append is still written, with its count, before d4append returns.
int d4lockAppend(DATA4* d);
int d4lockFile(DATA4* d);
// Writes a changed current record and releases the handle's locks. Nothing of the appends made under the append
// lock is left to write here.
int d4unlock(DATA4* d);
int d4lockTest(DATA4* d, long n);
// Releases this handle's locks without writing the record (unlockAuto steps).
int d4unlockLow(DATA4* d);
// Releases per unlockAuto (1: every handle of the context; 2: this one).
int d4unlockAuto(DATA4* d);
int d4lockTestAppend(DATA4* d);
int d4lockTestFile(DATA4* d);
// A file not opened shared (exclusive, deny-write, read-only) needs no locks.
int dfile4isShared(DATA4FILE* f);
