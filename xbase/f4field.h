// Field values of a data handle's current record (the field handles are made by d4open, see d4data.h).
//
// A field is a slice of the handle's record buffer: every call here reads or changes those bytes only, never the
// file. An assignment reaches the file when the record is written (d4flush, d4unlock, moving to another record,
// d4append, d4close). The record buffer belongs to the handle and lives until d4close; its contents change whenever
// the handle moves. A null field has no context to latch an error in: the calls then give e4parmNull (f4long and
// f4int -1, f4double and f4len 0, the calls returning a pointer null).
#pragma once

struct FIELD4;

// --- assigning ---
// Each assignment first refuses when the error latch holds a negative code (e4context) or when lockBeforeWrite is
// on and the handle stands on a record it has not locked (e4lock, raised). On success it marks the record changed
// and returns 0. A memo field's record bytes hold its block number: assign its text with f4memoAssign (m4memo.h).

// Copies the NUL-terminated text into the field: cut at the field's width, or padded with blanks to it.
int f4assign(FIELD4* f, const char* text);
// As f4assign for len bytes of text, which may hold any byte values (NULs included); text may be null when len is 0.
int f4assignN(FIELD4* f, const char* text, unsigned len);
// The number as text, right-aligned and padded with blanks; a field with decimals takes it as f4assignDouble does. A
// number wider than the field fills it with '*' and still returns 0. Date, logical and memo (M, G) fields refuse it
// (e4parm, raised).
int f4assignLong(FIELD4* f, long v);
// As f4assignLong; for a date field, v is a Julian day number (0 or less: the blank date). Logical and memo fields
// refuse it (e4parm, raised).
int f4assignInt(FIELD4* f, int v);
// The number as text with the field's decimals, right-aligned, or '*' throughout (returning 0) when it does not fit;
// for a date field, x is a Julian day number (as f4assignInt). Logical fields refuse it (e4parm, raised).
int f4assignDouble(FIELD4* f, double x);
// The field's bytes in the record buffer (f4len of them, not NUL-terminated), for the caller to write into; the record
// is marked changed at once. No latch or lock check is made. Null for a null field (nothing raised).
char* f4assignPtr(FIELD4* f);

// --- reading ---

// The field's text as it stands in the record, trailing blanks kept, NUL-terminated, in the context's field buffer.
// That buffer belongs to the context (CODE4), never to the caller: do not free it. It holds one field at a time: the
// next f4str (or f4memoStr of a field without memo) on any field of any handle of the context overwrites it, and may
// move it when a wider field needs more room. Copy the text to keep it. The buffer is freed by code4initUndo. No
// latch check and no lock: two threads reading fields of one context share the one buffer. Null with e4memory raised
// when the buffer cannot grow. A memo field gives its block number, not its text (f4memoStr gives the text).
char* f4str(FIELD4* f);
// The whole number the field's text starts with, after leading blanks and a sign: " 12.75" gives 12, text that is
// no number gives 0; values past the 32-bit range saturate. -1 with e4parm raised for a date, logical or memo (M, G)
// field, and -1 while the error latch is negative.
long f4long(FIELD4* f);
// As f4long, without the latch check, and memo fields give their block number; a date field gives its Julian day
// number (0 blank, -1 invalid). Logical fields give -1 with e4parm raised.
int f4int(FIELD4* f);
// The number the field's text holds, read with "." as the decimal point whatever the locale; 0 when the text is no
// number (a logical field's "T" included). A date field gives its Julian day number. No latch check.
double f4double(FIELD4* f);
// The field's width in bytes as its descriptor gives it (a character field's up to 65535).
unsigned f4len(FIELD4* f);
// The field's position in its data file, counting from 1 (d4fieldJ finds it again).
int f4number(FIELD4* f);
// The field's bytes in the record buffer: f4len of them, not NUL-terminated, for reading. Valid until d4close; the
// bytes are those of whatever record the handle stands on when they are read.
char* f4ptr(FIELD4* f);
// The type letter in upper case: C, N, F, D, L, M, G or B.
int f4type(FIELD4* f);
// The decimals of a numeric field (N, F, and B in files of version 0x30); 0 for every other type.
int f4decimals(FIELD4* f);
// The field's name, upper case, NUL-terminated, at most 10 characters; owned by the handle, valid until d4close.
const char* f4name(FIELD4* f);
