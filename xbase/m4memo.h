// Memo files (.DBT): 512-byte blocks; block 0 holds the next free block; each entry is its text and one 0x1A.
#pragma once

#include "file4.h"

struct CODE4;
struct DATA4FILE;
struct FIELD4;
struct DATA4;

struct MEMO4FILE {
    FILEREC4 file;
    DATA4FILE* data;
    int blockSize;
    int isOpen;
};

// Cached memo text of one memo field of a DATA4.
struct F4MEMO {
    int isChanged;
    int status; // 1 = must be read
    char* contents;
    unsigned len;
    unsigned lenMax;
    FIELD4* field;
};

int memo4fileOpen(MEMO4FILE* m, DATA4FILE* d, const char* name);
int memo4fileCreate(MEMO4FILE* m, CODE4* c4, const char* name);
int memo4fileRead(MEMO4FILE* m, long n, char** buf, unsigned* bufLen, unsigned* textLen);
int memo4fileWrite(MEMO4FILE* m, long* n, const char* text, unsigned len);

int f4memoAssign(FIELD4* f, const char* text);
int f4memoAssignN(FIELD4* f, const char* text, unsigned len);
int f4memoSetLen(FIELD4* f, unsigned len);
unsigned f4memoLen(FIELD4* f);
char* f4memoPtr(FIELD4* f);
char* f4memoStr(FIELD4* f);
int f4memoRead(FIELD4* f);
void f4memoReset(FIELD4* f);
int f4memoFlush(FIELD4* f);
int f4memoWrite(FIELD4* f);
// All memo fields of a handle.
void d4memoReset(DATA4* d);
int d4memoFlush(DATA4* d);
void d4memoFree(DATA4* d);
