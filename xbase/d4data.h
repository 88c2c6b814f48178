// Data files (.DBF): open, create, records, fields.
#pragma once

#include "code4.h"
#include "f4field.h"
#include "m4memo.h"

struct DATA4;
struct TAG4;   // index layer
struct INDEX4; // index layer

// One open data file, shared by every DATA4 of the context that opened it.
struct DATA4FILE {
    LINK4 link;
    CODE4* c4;
    int userCount;
    char* name; // full upper-case path: the identity of the file
    FILEREC4 file;
    int shareModeOpen;
    // header copy
    unsigned char version;
    unsigned char yy, mm, dd;
    long numRecs; // as last read from the header
    unsigned headerLen;
    unsigned recWidth;       // the header's record length: positions and buffer sizes
    unsigned recWidthFields; // 1 + the sum of the field widths
    unsigned char tableFlags;
    long minCount; // count cached while this process holds the append or file lock (-1 = none)
    int nFields;
    int nFieldsMemo;
    MEMO4FILE memoFile;
    char* descriptors; // header length - 32 bytes
    // locks
    int fileLockId;          // handle id holding the file lock, 0 = none
    int appendLockId;        // handle id holding the append byte
    LISTHEAD4 lockedRecords; // LOCK4, ascending record numbers
    int fileChanged;         // records written: the header gets the count and date at close
    long countChecked; // a record count found to agree with the file's length (-1 = none): appends at it need no check
    // Tag files open on this data file (index layer; kept here so that handles share them).
    LISTHEAD4 tagfiles;
    int indexLocked; // the index files are locked by this process
};

struct F4MEMO;

struct FIELD4 {
    char name[11];
    unsigned short len;
    unsigned short dec;
    unsigned short type;
    unsigned short offset;
    DATA4* data;
    F4MEMO* memo;
};

struct DATA4 {
    LINK4 link;
    CODE4* c4;
    DATA4FILE* dataFile;
    char alias[33];
    int clientId; // handle id
    long recNum;  // -1 none; count + 1 at end of file
    int bofFlag;
    int eofFlag;
    int recordChanged;
    char* record;    // recWidth + 1 bytes, the last one NUL
    char* recordOld; // the record as read under a lock, for the index layer's old keys
    long recNumOld;  // -1 = none
    int recordOldValid;
    long count; // cached record count
    int readOnly;
    int log;
    FIELD4* fields;
    int nFields;
    F4MEMO* fieldsMemo;
    int nFieldsMemo;
    TAG4* tagSelected; // null = record order
    LISTHEAD4 indexes; // INDEX4 of this handle (index layer)
};

// Opens a data file. The header's record count is the truth: whole records past it (left by a program stopped between
// writing a record and its count) are not part of the table, and the next append writes over them.
DATA4* d4open(CODE4* c4, const char* name);
// Writes a changed current record (with its keys), releases the handle's locks, writes the index files' changed pages
// and then their headers, and closes. Appends have nothing left to write: d4append wrote them.
int d4close(DATA4* d);

// Field list for d4create: name, type letter, width, decimals; ended by an entry with a null name.
struct FIELD4INFO {
    const char* name;
    char type;
    unsigned short len;
    unsigned short dec;
};
// Creates a data file (and its memo file when a field is a memo) and opens it.
DATA4* d4create(CODE4* c4, const char* name, const FIELD4INFO* fields);
// Appends the record buffer as record count + 1. What the result promises, in every share mode and whether or not the
// handle holds the append lock:
// - 0: the record (with the 0x1A that ends the file after it) and the header's new count are in the file when the call
//   returns, written by the call itself (one write for each; nothing is held in memory for later). Only then does any
//   index file get the record's key, so another process never meets a key whose record is not there. The handle
//   stands on the new record. A system crash may still lose what the operating system had not yet put on disk;
//   d4flush syncs.
// - anything else: nothing changed. A failed write is cut back (the file keeps its whole records and the count that
//   counts them), a unique tag's refusal (r4unique, e4unique) is found before anything is written, and a refused lock
//   (r4locked) leaves the file untouched. The record buffer keeps the values for another try; the handle then stands
//   on no record, so that no later write or close puts the rejected values over a record of the file.
// A handle that takes the append lock itself (shared mode, not held) releases it before it returns.
int d4append(DATA4* d);
// Blanks the record buffer for the field assignments of an append. The handle then stands on no record: the
// assignments change no record of the file until d4append writes them as a new one.
int d4appendStart(DATA4* d);

FIELD4* d4field(DATA4* d, const char* name);
FIELD4* d4fieldJ(DATA4* d, int j);
int d4fieldNumber(DATA4* d, const char* name);
int d4go(DATA4* d, long n);
int d4skip(DATA4* d, long n); // record order
int d4top(DATA4* d);
int d4bottom(DATA4* d);
int d4goEof(DATA4* d);
long d4recNo(DATA4* d);
long d4recCount(DATA4* d);
int d4bof(DATA4* d);
int d4eof(DATA4* d);
char* d4record(DATA4* d);
unsigned d4recWidth(DATA4* d);
const char* d4alias(DATA4* d);
int d4numFields(DATA4* d);
int d4refreshRecord(DATA4* d);
int d4blank(DATA4* d);
int d4changed(DATA4* d, int flag);
// Writes a changed current record (with its keys), syncs the data and memo files to disk, writes each index file's
// changed pages and then its header (clearing its being-changed mark), and syncs it. After d4flush returns 0, what
// the handle confirmed survives a system crash too.
int d4flush(DATA4* d);
int d4deleted(DATA4* d);
void d4delete(DATA4* d);
void d4recall(DATA4* d);

// Writes a changed current record (through d4write, which also keeps the index keys); with doUnlock, this handle's
// locks are released afterwards as seeks and skips do.
int d4updateRecord(DATA4* d, int doUnlock);
// Writes the record buffer as record n, without index keys.
int d4writeData(DATA4* d, long n);
// Writes the header's record count and date when the file changed.
int d4updateHeader(DATA4* d, int doTimeStamp, int doCount);
// Reads the record count from the header (or the cached one under the append or file lock).
long d4recCountDo(DATA4* d);

// Checks done before every field write: latch and lockBeforeWrite. 0 = write allowed.
int d4writeCheck(DATA4* d);
