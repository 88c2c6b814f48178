#include "l4list.h"

#include "code4.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

void l4add(LISTHEAD4* list, void* item) {
    l4addAfter(list, list->lastNode, item);
}

namespace {

// Links an item into the ring after prev, or, in an empty list, as its only item (prev is then unused).
// True when the list was empty.
bool linkIn(LISTHEAD4* list, LINK4* link, LINK4* prev) {
    list->nLink++;
    if (!list->lastNode) {
        link->n = link->p = link;
        list->lastNode = link;
        return true;
    }
    link->p = prev;
    link->n = prev->n;
    prev->n->p = link;
    prev->n = link;
    return false;
}

} // namespace

void l4addAfter(LISTHEAD4* list, void* anchor, void* item) {
    auto* link = static_cast<LINK4*>(item);
    auto* a = static_cast<LINK4*>(anchor);
    if (!linkIn(list, link, a) && a == list->lastNode)
        list->lastNode = link;
}

void l4addBefore(LISTHEAD4* list, void* anchor, void* item) {
    auto* a = static_cast<LINK4*>(anchor);
    linkIn(list, static_cast<LINK4*>(item), list->lastNode ? a->p : nullptr);
}

void* l4first(const LISTHEAD4* list) {
    return list->lastNode ? list->lastNode->n : nullptr;
}
void* l4last(const LISTHEAD4* list) {
    return list->lastNode;
}

void* l4next(const LISTHEAD4* list, const void* item) {
    if (!item)
        return l4first(list);
    if (item == list->lastNode)
        return nullptr;
    return static_cast<const LINK4*>(item)->n;
}

void* l4prev(const LISTHEAD4* list, const void* item) {
    if (!item)
        return list->lastNode;
    if (item == l4first(list))
        return nullptr;
    return static_cast<const LINK4*>(item)->p;
}

void* l4pop(LISTHEAD4* list) {
    void* last = list->lastNode;
    if (last)
        l4remove(list, last);
    return last;
}

void l4remove(LISTHEAD4* list, void* item) {
    if (!item)
        return;
    auto* link = static_cast<LINK4*>(item);
    if (list->selected == item)
        list->selected = link->p == link ? nullptr : link->p;
    if (link->n == link) {
        list->lastNode = nullptr;
    } else {
        link->p->n = link->n;
        link->n->p = link->p;
        if (list->lastNode == link)
            list->lastNode = link->p;
    }
    link->n = link->p = nullptr;
    list->nLink--;
}

int l4seek(const LISTHEAD4* list, const void* item) {
    for (void* p = l4first(list); p; p = l4next(list, p))
        if (p == item)
            return 1;
    return 0;
}

// ---- pools ----

namespace {

// Pools are shared by unit size among the contexts of a process, so their lists live under one process-wide lock.
struct PoolState {
    std::mutex lock;
    LISTHEAD4 inUse{};
    int contexts = 0;
};

PoolState& poolState() {
    static PoolState* s = new PoolState; // lives as long as the process, like the pools it guards
    return *s;
}

// A chunk: its link, then the units.
struct Chunk {
    LINK4 link;
};

constexpr size_t chunkHeader = sizeof(LINK4) < 16 ? 16 : sizeof(LINK4);

} // namespace

void pool4processStart() {
    auto& s = poolState();
    std::lock_guard g(s.lock);
    s.contexts++;
}

POOL4* pool4create(CODE4* c4, int start, int unitSize, int expand, int makePrivate) {
    if (start <= 0 || expand <= 0) {
        error4raise(c4, e4parm, 10501);
        return nullptr;
    }
    auto& s = poolState();
    {
        std::lock_guard g(s.lock);
        if (s.contexts == 0)
            return nullptr;
    }
    if (c4 && c4->errorLatch < 0)
        return nullptr;
    // A free unit holds its list link, and every unit is aligned for the structs placed in it.
    if (unitSize < int(sizeof(LINK4)))
        unitSize = int(sizeof(LINK4));
    unitSize = (unitSize + 7) & ~7;
    std::lock_guard g(s.lock);
    if (!makePrivate) {
        for (void* p = l4first(&s.inUse); p; p = l4next(&s.inUse, p)) {
            auto* pool = static_cast<POOL4*>(p);
            if (pool->unitSize == unitSize && pool->shareCount > 0) {
                if (start > pool->start)
                    pool->start = start;
                if (expand > pool->expand)
                    pool->expand = expand;
                pool->shareCount++;
                return pool;
            }
        }
    }
    auto* pool = static_cast<POOL4*>(std::calloc(1, sizeof(POOL4)));
    if (!pool) {
        if (c4)
            c4->errorLatch = e4memory;
        return nullptr;
    }
    pool->start = start;
    pool->unitSize = unitSize;
    pool->expand = expand;
    pool->shareCount = makePrivate ? -1 : 1;
    l4add(&s.inUse, pool);
    return pool;
}

void* pool4take(POOL4* pool, CODE4* c4) {
    if (!pool)
        return nullptr;
    if (c4 && c4->errorLatch < 0)
        return nullptr;
    auto& s = poolState();
    void* unit = nullptr;
    {
        std::lock_guard g(s.lock);
        unit = l4pop(&pool->pieces);
        if (!unit) {
            const int n = pool->chunksMade == 0 ? pool->start : pool->expand;
            auto* chunk = static_cast<char*>(std::calloc(1, chunkHeader + size_t(n) * pool->unitSize));
            if (chunk) {
                l4add(&pool->chunks, chunk);
                pool->chunksMade++;
                for (int i = 0; i < n; i++)
                    l4add(&pool->pieces, chunk + chunkHeader + size_t(i) * pool->unitSize);
                unit = l4pop(&pool->pieces);
            }
        }
        if (unit)
            pool->inUse++;
    }
    if (!unit) {
        if (c4)
            c4->errorLatch = e4memory;
        return nullptr;
    }
    std::memset(unit, 0, pool->unitSize);
    return unit;
}

int pool4give(POOL4* pool, void* unit) {
    if (!unit)
        return 0;
    if (!pool)
        return e4parmNull;
    std::lock_guard g(poolState().lock);
    l4add(&pool->pieces, unit);
    pool->inUse--;
    return 0;
}

void pool4drop(POOL4* pool) {
    if (!pool)
        return;
    auto& s = poolState();
    std::lock_guard g(s.lock);
    if (pool->shareCount > 1) {
        pool->shareCount--;
        return;
    }
    while (void* chunk = l4pop(&pool->chunks))
        std::free(chunk);
    l4remove(&s.inUse, pool);
    std::free(pool);
}

void* u4blockAlloc(size_t n) {
    if (n == 0)
        return nullptr;
    return std::calloc(1, n);
}

void* u4blockAllocEr(CODE4* c4, size_t n) {
    void* p = u4blockAlloc(n);
    if (!p)
        error4raise(c4, e4memory, 10502);
    return p;
}

int u4blockFree(void* block) {
    std::free(block);
    return 0;
}

int u4blockGrow(CODE4* c4, char** ptr, unsigned* size, unsigned needed) {
    if (!*ptr && *size != 0)
        return e4parm;
    if (*size >= needed)
        return 0;
    auto* grown = static_cast<char*>(u4blockAlloc(needed));
    if (!grown)
        return e4memory;
    if (*ptr)
        std::memcpy(grown, *ptr, *size);
    std::free(*ptr);
    *ptr = grown;
    *size = needed;
    return 0;
}
