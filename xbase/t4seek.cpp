// Moving a tag's position through the B-tree: top, bottom, seek, skip, and finding one (key, record) entry.
#include "t4internal.h"

#include <vector>

namespace {

// Retries after inconsistent pages met in shared mode before the file is taken as damaged.
constexpr int t4outOfDateTries = 3;

// Goes from the root to a leaf taking slot `first` (0) or n (last) at every level.
int descendEdge(TAG4FILE* t, bool last) {
    int tries = t4outOfDateTries;
    for (;;) {
        int rc = tfile4upToRoot(t);
        while (rc == 0) {
            B4BLOCK* b = t->path.back();
            b->keyOn = last ? b4n(b) : 0;
            rc = tfile4down(t);
        }
        if (rc == 1) {
            B4BLOCK* b = t->path.back();
            if (last)
                b->keyOn = b4n(b) > 0 ? b4n(b) - 1 : 0;
            return 0;
        }
        if (rc < 0)
            return rc;
        if (int r = tfile4outOfDate(t, tries))
            return r;
    }
}

// One key forward (dir > 0) or back in physical order: 1 moved, 0 at the end (position unchanged), 2 an
// inconsistent page was met, negative error.
int stepOne(TAG4FILE* t, int dir) {
    B4BLOCK* b = t->path.back();
    if (!b4leaf(b)) {
        // Within a branch, the neighbour is the edge key of the subtree beside the current key.
        if (dir > 0)
            ++b->keyOn;
        for (;;) {
            int rc = tfile4down(t);
            if (rc == 1)
                break;
            if (rc != 0)
                return rc;
            B4BLOCK* c = t->path.back();
            c->keyOn = dir > 0 ? 0 : b4n(c);
        }
        B4BLOCK* leaf = t->path.back();
        if (dir < 0)
            leaf->keyOn = b4n(leaf) - 1;
        if (leaf->keyOn >= 0 && leaf->keyOn < b4n(leaf))
            return 1;
        if (leaf->keyOn < 0)
            leaf->keyOn = 0;
        // an empty leaf (only in a damaged tree): climb as from the leaf's end
    } else if (dir > 0) {
        if (b->keyOn < b4n(b))
            ++b->keyOn;
        if (b->keyOn < b4n(b))
            return 1;
    } else {
        if (b->keyOn > 0 && b4n(b) > 0) {
            b->keyOn = std::min(b->keyOn, b4n(b)) - 1;
            return 1;
        }
    }
    // Climb to the first parent that has a key on the side we move to.
    while (t->path.size() > 1) {
        tfile4release(t, t->path.back());
        t->path.pop_back();
        B4BLOCK* p = t->path.back();
        if (dir > 0 && p->keyOn < b4n(p))
            return 1;
        if (dir < 0 && p->keyOn > 0) {
            --p->keyOn;
            return 1;
        }
    }
    // Ran off the end: stand on the physical first or last key.
    int rc = descendEdge(t, dir > 0);
    return rc < 0 ? rc : 0;
}

} // namespace

int tfile4top(TAG4FILE* t) {
    return descendEdge(t, false);
}
int tfile4bottom(TAG4FILE* t) {
    return descendEdge(t, true);
}

int tfile4eof(TAG4FILE* t) {
    if (t->path.empty())
        return 1;
    B4BLOCK* b = t->path.back();
    return b->keyOn >= b4n(b);
}

int tfile4goEof(TAG4FILE* t) {
    int rc = t->descending ? tfile4top(t) : tfile4bottom(t);
    if (rc < 0)
        return rc;
    if (!t->descending) {
        B4BLOCK* b = t->path.back();
        b->keyOn = b4n(b);
    } else {
        // Logical bottom of a descending tag is the physical first key; one past it is a position of its own.
        t->path.back()->keyOn = b4n(t->path.back());
    }
    return r4eof;
}

long tfile4recNo(TAG4FILE* t) {
    if (t->path.empty())
        return -2;
    if (tfile4eof(t))
        return -1;
    B4BLOCK* b = t->path.back();
    return b4rec(b, b->keyOn);
}

unsigned char* tfile4key(TAG4FILE* t) {
    if (!t) {
        error4raise(nullptr, e4parmNull, loc4seek);
        return nullptr;
    }
    if (tfile4eof(t))
        return nullptr;
    B4BLOCK* b = t->path.back();
    return b4key(b, b->keyOn);
}

int tfile4seek(TAG4FILE* t, const void* keyIn, int lenIn) {
    if (t->c4->errorLatch < 0)
        return e4context;
    const int kl = t4keyLen(t);
    const int len = lenIn < kl ? (lenIn < 0 ? 0 : lenIn) : kl;
    std::vector<unsigned char> key(static_cast<const unsigned char*>(keyIn),
                                   static_cast<const unsigned char*>(keyIn) + len);
    int incremented = -1;
    if (t->descending)
        for (int i = len - 1; i >= 0; --i)
            if (key[static_cast<size_t>(i)] != 0xFF) {
                ++key[static_cast<size_t>(i)];
                incremented = i;
                break;
            }
    int tries = t4outOfDateTries;
    int rc;
    for (;;) {
        rc = tfile4upToRoot(t);
        if (rc == 2) {
            if (int r = tfile4outOfDate(t, tries))
                return r;
            continue;
        }
        if (rc < 0)
            return rc;
        int match = 0, greater = 0;
        bool restart = false;
        for (;;) {
            B4BLOCK* b = t->path.back();
            rc = b4seek(t, b, key.data(), len);
            if (b4leaf(b))
                break;
            if (rc == 0) {
                match = 1;
                greater = 0;
            } else if (match == 0 && b->keyOn < b4n(b)) {
                greater = 1;
            }
            int d = tfile4down(t);
            if (d == 2) {
                if (int r = tfile4outOfDate(t, tries))
                    return r;
                restart = true;
                break;
            }
            if (d < 0)
                return d;
            if (d == 1)
                break;
            if (match)
                ++match;
            if (greater)
                ++greater;
        }
        if (restart)
            continue;
        B4BLOCK* leaf = t->path.back();
        if (leaf->keyOn >= b4n(leaf) && greater)
            for (int i = 0; i < greater - 1; ++i) {
                tfile4release(t, t->path.back());
                t->path.pop_back();
            }
        if (rc != 0 && match) {
            for (int i = 0; i < match - 1; ++i) {
                tfile4release(t, t->path.back());
                t->path.pop_back();
            }
            rc = 0;
        }
        break;
    }
    if (!t->descending)
        return rc;
    if (incremented >= 0) {
        // Positioned after every key that starts with the search key: the one before it is the first in
        // descending order.
        long moved = 0;
        const int save = t->descending;
        t->descending = 0;
        moved = tfile4skip(t, -1);
        t->descending = save;
        if (moved == 1) // a skip of -1 that failed
            return -1;
        if (moved == -1) {
            const unsigned char* k = tfile4key(t);
            return k && t4keyCmp(k, static_cast<const unsigned char*>(keyIn), len) == 0 ? 0 : r4after;
        }
        tfile4goEof(t);
        return r4eof;
    }
    if (rc == 0) {
        int r = tfile4bottom(t); // the logical top of a descending tag
        return r < 0 ? r : 0;
    }
    tfile4goEof(t);
    return r4eof;
}

long tfile4entryLimit(TAG4FILE* t) {
    const long pages = (t->fileLen > 0 ? t->fileLen / 1024 : 0) + 1;
    return pages * (static_cast<long>(t->header.keysMax) + 1) + 1;
}

long tfile4skip(TAG4FILE* t, long n) {
    if (t->c4->errorLatch < 0)
        return -n;
    if (t->path.empty()) {
        int rc = t->descending ? tfile4bottom(t) : tfile4top(t);
        if (rc < 0)
            return -n;
    }
    const int dir = (n > 0) != (t->descending != 0) ? 1 : -1;
    long count = n < 0 ? -n : n, moved = 0;
    int tries = t4outOfDateTries;
    std::vector<unsigned char> saved;
    // A walk that meets more entries than the file's pages can hold goes round in a circle of damaged pages.
    const long limit = tfile4entryLimit(t);
    while (moved < count) {
        if (moved > limit) {
            t4corrupt(t);
            return -n;
        }
        if (tfile4eof(t) && dir > 0) {
            B4BLOCK* b = t->path.back();
            if (b4leaf(b))
                break;
        }
        const unsigned char* k = tfile4key(t);
        long savedRec = tfile4recNo(t);
        if (k)
            saved.assign(k, k + t4keyLen(t));
        int rc = stepOne(t, dir);
        if (rc == 1) {
            ++moved;
            continue;
        }
        if (rc == 0)
            break;
        if (rc == 2) {
            if (tfile4outOfDate(t, tries) != 0)
                return -n;
            // Find the saved key again and count on from there.
            if (saved.empty() || tfile4go(t, saved.data(), savedRec) < 0)
                return -n;
            continue;
        }
        return -n;
    }
    return n < 0 ? -moved : moved;
}

int tfile4go(TAG4FILE* t, const unsigned char* key, long rec) {
    const int saveDesc = t->descending;
    t->descending = 0;
    int rc = tfile4seek(t, key, t4keyLen(t));
    if (rc != 0) {
        t->descending = saveDesc;
        return rc < 0 ? rc : 1;
    }
    const long limit = tfile4entryLimit(t);
    for (long steps = 0;; ++steps) {
        if (tfile4recNo(t) == rec)
            break;
        if (steps > limit) {
            t->descending = saveDesc;
            return t4corrupt(t);
        }
        long moved = tfile4skip(t, 1);
        if (moved < 0) {
            t->descending = saveDesc;
            return -1;
        }
        if (moved == 0) {
            tfile4goEof(t);
            rc = 1;
            break;
        }
        const unsigned char* k = tfile4key(t);
        if (!k || t4keyCmp(k, key, t4keyLen(t)) != 0) {
            rc = 1;
            break;
        }
    }
    t->descending = saveDesc;
    return rc;
}
