// Intrusive circular lists and fixed-unit memory pools of the table engine.
#pragma once

#include <cstddef>

// Every listed object starts with this link (next, previous).
struct LINK4 {
    LINK4* n;
    LINK4* p;
};

// A circular list: the first element is the last one's next.
struct LISTHEAD4 {
    LINK4* lastNode;
    void* selected;
    int nLink;
};

void l4add(LISTHEAD4* list, void* item);
void l4addAfter(LISTHEAD4* list, void* anchor, void* item);
void l4addBefore(LISTHEAD4* list, void* anchor, void* item);
void* l4first(const LISTHEAD4* list);
void* l4last(const LISTHEAD4* list);
void* l4next(const LISTHEAD4* list, const void* item);
void* l4prev(const LISTHEAD4* list, const void* item);
void* l4pop(LISTHEAD4* list);
void l4remove(LISTHEAD4* list, void* item);
int l4seek(const LISTHEAD4* list, const void* item);

struct CODE4;

// A pool of zeroed units of one size; pools of the same unit size are shared between contexts.
struct POOL4 {
    LINK4 link;
    LISTHEAD4 chunks;
    LISTHEAD4 pieces; // free units
    int start;
    int unitSize;
    int expand;
    int shareCount; // users of a shared pool, -1 for a private one
    int inUse;
    int chunksMade;
};

POOL4* pool4create(CODE4* c4, int start, int unitSize, int expand, int makePrivate);
void* pool4take(POOL4* pool, CODE4* c4 = nullptr);
int pool4give(POOL4* pool, void* unit);
void pool4drop(POOL4* pool);

// Raw zeroed memory.
void* u4blockAlloc(size_t n);
void* u4blockAllocEr(CODE4* c4, size_t n);
int u4blockFree(void* block);
// Grows *ptr (of *size bytes) to at least needed bytes, keeping its contents.
int u4blockGrow(CODE4* c4, char** ptr, unsigned* size, unsigned needed);

// Number of contexts initialised in this process (set up by code4init).
void pool4processStart();
