// Keeping an NTX B-tree up to date: inserting keys with page splits (and the root split), removing keys with
// merges and redistribution between sibling pages (and the root collapse).
#include "t4internal.h"

#include <vector>

namespace {

// Walks down from the current branch key to a leaf, each block on the way positioned past its last key
// (atEnd) or on its first. 0, or the error.
int downToLeaf(TAG4FILE* t, bool atEnd) {
    for (;;) {
        const int d = tfile4down(t);
        if (d == 1)
            return 0;
        if (d != 0)
            return d == 2 ? t4corrupt(t) : d;
        B4BLOCK* c = t->path.back();
        c->keyOn = atEnd ? b4n(c) : 0;
    }
}

// A page's contents in key order: record + key of each entry, and the children (n + 1; all 0 in a leaf).
struct FLAT4 {
    std::vector<unsigned char> recKeys; // (4 + key length) bytes per key
    std::vector<long> children;
    int n = 0;
};

void flatAppendPage(TAG4FILE* t, B4BLOCK* b, FLAT4& f, bool withRight) {
    const int kl = t4keyLen(t), n = b4n(b);
    for (int i = 0; i < n; ++i) {
        const unsigned char* e = b4entry(b, i);
        f.recKeys.insert(f.recKeys.end(), e + 4, e + 8 + kl);
        f.children.push_back(b4child(b, i));
    }
    if (withRight)
        f.children.push_back(b4child(b, n));
    f.n += n;
}

void flatAppendKey(TAG4FILE* t, FLAT4& f, const unsigned char* recKey) {
    f.recKeys.insert(f.recKeys.end(), recKey, recKey + 4 + t4keyLen(t));
    ++f.n;
}

// Writes keys [from, from + count) of f with children [from, from + count] into b.
void flatBuild(TAG4FILE* t, B4BLOCK* b, const FLAT4& f, int from, int count) {
    const int kl = t4keyLen(t), gl = t->header.groupLen;
    std::vector<unsigned char> entries(static_cast<size_t>(count) * gl);
    for (int i = 0; i < count; ++i) {
        unsigned char* e = entries.data() + static_cast<size_t>(i) * gl;
        b4put32(e, static_cast<uint32_t>(f.children[static_cast<size_t>(from + i)]));
        std::memcpy(e + 4, f.recKeys.data() + static_cast<size_t>(from + i) * (4 + kl), static_cast<size_t>(4 + kl));
    }
    b4build(t, b, count, entries.data(), f.children[static_cast<size_t>(from + count)]);
}

const unsigned char* flatRecKey(TAG4FILE* t, const FLAT4& f, int i) {
    return f.recKeys.data() + static_cast<size_t>(i) * (4 + t4keyLen(t));
}

// Inserts (child, record, key) at slot i by taking the first unused entry area and rotating the slot table.
void b4insertAt(TAG4FILE* t, B4BLOCK* b, int i, long child, const unsigned char* recKey) {
    const int n = b4n(b), kl = t4keyLen(t);
    const unsigned freeSlot = b4get16(b->data + 2 + 2 * (n + 1));
    unsigned char* e = b->data + freeSlot;
    b4put32(e, static_cast<uint32_t>(child));
    std::memcpy(e + 4, recKey, static_cast<size_t>(4 + kl));
    for (int j = n + 1; j > i; --j)
        b4put16(b->data + 2 + 2 * j, b4get16(b->data + 2 + 2 * (j - 1)));
    b4put16(b->data + 2 + 2 * i, freeSlot);
    b4put16(b->data, static_cast<unsigned>(n + 1));
    if (child == 0)
        b4put32(b4entry(b, n + 1), 0);
    b->changed = 1;
}

// Removes the key at slot i by rotating the slot table; the freed entry of a leaf is cleared.
void b4removeAt(TAG4FILE* t, B4BLOCK* b, int i) {
    const int n = b4n(b);
    const unsigned slot = b4get16(b->data + 2 + 2 * i);
    for (int j = i; j < n; ++j)
        b4put16(b->data + 2 + 2 * j, b4get16(b->data + 2 + 2 * (j + 1)));
    b4put16(b->data + 2 + 2 * n, slot);
    b4put16(b->data, static_cast<unsigned>(n - 1));
    if (b4leaf(b))
        std::memset(b->data + slot, 0, t->header.groupLen);
    b->changed = 1;
}

void dropBlock(TAG4FILE* t, B4BLOCK* b) {
    // The page leaves the tree; its space in the file is abandoned.
    b->changed = 0;
    delete b;
}

// Brings the short page at path level `level` back to half fill by merging with or borrowing from a sibling.
int rebalance(TAG4FILE* t, size_t level) {
    const int half = t->header.keysHalf, max = t->header.keysMax;
    while (level > 0) {
        B4BLOCK* p = t->path[level];
        if (b4n(p) >= half)
            return 0;
        B4BLOCK* q = t->path[level - 1];
        const int ci = q->keyOn, nq = b4n(q);
        const bool siblingRight = ci < nq;
        const long siblingPos = b4child(q, siblingRight ? ci + 1 : ci - 1);
        if (!siblingRight && ci == 0)
            return t4corrupt(t);
        B4BLOCK* s = nullptr;
        int rc = tfile4getBlock(t, siblingPos, nullptr, &s);
        if (rc != 0)
            return rc < 0 ? rc : t4corrupt(t);
        if (b4leaf(s) != b4leaf(p)) {
            tfile4release(t, s);
            return t4corrupt(t);
        }
        B4BLOCK *left = siblingRight ? p : s, *right = siblingRight ? s : p;
        const int sep = siblingRight ? ci : ci - 1;
        FLAT4 all;
        flatAppendPage(t, left, all, true);
        flatAppendKey(t, all, b4entry(q, sep) + 4);
        flatAppendPage(t, right, all, true);
        FLAT4 parent;
        flatAppendPage(t, q, parent, true);
        const int total = all.n;
        if (total <= max) {
            // Merge: the separator comes down, the right page leaves the tree, the parent loses a key.
            flatBuild(t, left, all, 0, all.n);
            const long leftPos = left->fileBlock * 512L;
            FLAT4 shrunk;
            for (int i = 0; i < parent.n; ++i)
                if (i != sep)
                    flatAppendKey(t, shrunk, flatRecKey(t, parent, i));
            for (int i = 0; i <= parent.n; ++i)
                if (i != sep + 1)
                    shrunk.children.push_back(i == sep ? leftPos : parent.children[static_cast<size_t>(i)]);
            flatBuild(t, q, shrunk, 0, shrunk.n);
            q->keyOn = sep;
            t->path.pop_back();
            if (siblingRight) {
                tfile4release(t, p);
                dropBlock(t, s);
            } else {
                tfile4release(t, s);
                dropBlock(t, p);
            }
            if (level - 1 == 0 && b4n(q) == 0) {
                // The root kept only one child: that child becomes the root.
                t->header.root = static_cast<uint32_t>(leftPos);
                t->rootWrite = 1;
                t->path.pop_back();
                dropBlock(t, q);
                return 0;
            }
            --level;
            continue;
        }
        // Redistribute: both pages end with about half of the keys, the middle key goes up as separator.
        const int a = (total - 1) / 2;
        flatBuild(t, left, all, 0, a);
        FLAT4 upper;
        upper.recKeys.assign(all.recKeys.begin() + static_cast<long>(a + 1) * (4 + t4keyLen(t)), all.recKeys.end());
        upper.children.assign(all.children.begin() + a + 1, all.children.end());
        upper.n = total - a - 1;
        flatBuild(t, right, upper, 0, upper.n);
        std::memcpy(b4entry(q, sep) + 4, flatRecKey(t, all, a), static_cast<size_t>(4 + t4keyLen(t)));
        q->changed = 1;
        tfile4release(t, s);
        return 0;
    }
    return 0;
}

} // namespace

int tfile4add(TAG4FILE* t, const unsigned char* key, long rec, int mode) {
    CODE4* c4 = t->c4;
    if (c4->errorLatch < 0)
        return e4context;
    const int kl = t4keyLen(t);
    const int saveDesc = t->descending;
    t->descending = 0;
    struct Restore {
        TAG4FILE* t;
        int d;
        ~Restore() {
            tfile4releaseAll(t);
            t->descending = d;
        }
    } restore{t, saveDesc};
    int rc = tfile4seek(t, key, kl);
    if (rc < 0)
        return rc;
    if (rc == 0) {
        if (mode == e4unique)
            return error4raiseText(c4, e4unique, loc4add, t->alias);
        if (mode == r4unique || mode == r4uniqueContinue)
            return mode;
        // Duplicates allowed: the new key goes after all equal keys.
        std::vector<unsigned char> after(key, key + kl);
        int i = kl - 1;
        while (i >= 0 && after[static_cast<size_t>(i)] == 0xFF)
            --i;
        if (i >= 0) {
            ++after[static_cast<size_t>(i)];
            rc = tfile4seek(t, after.data(), kl);
            if (rc < 0)
                return rc;
        }
    }
    // The mark goes on disk before the first page of the change is written or held.
    if (tfile4markChanging(t) < 0)
        return -1;
    t->header.version = static_cast<uint16_t>(t->versionOld + 1);
    if (!b4leaf(t->path.back())) {
        // Insert at the end of the leaf just before the current key.
        if (int rc = downToLeaf(t, true); rc != 0)
            return rc;
        t->path.back()->keyOn = b4n(t->path.back());
    }
    std::vector<unsigned char> recKey(static_cast<size_t>(4 + kl));
    b4put32(recKey.data(), static_cast<uint32_t>(rec));
    std::memcpy(recKey.data() + 4, key, static_cast<size_t>(kl));
    long leftChild = 0, rightChild = 0;
    const int half = t->header.keysHalf;
    for (size_t level = t->path.size() - 1;; --level) {
        B4BLOCK* b = t->path[level];
        const int at = b->keyOn;
        if (b4room(t, b)) {
            b4insertAt(t, b, at, leftChild, recKey.data());
            if (rightChild)
                b4put32(b4entry(b, at + 1), static_cast<uint32_t>(rightChild));
            return 0;
        }
        // Split: lower half stays in this page, the middle key goes up, the upper half to a new page.
        FLAT4 all;
        const bool leaf = b4leaf(b);
        FLAT4 old;
        flatAppendPage(t, b, old, true);
        for (int i = 0; i < old.n; ++i) {
            if (i == at) {
                flatAppendKey(t, all, recKey.data());
                all.children.push_back(leftChild);
            }
            flatAppendKey(t, all, flatRecKey(t, old, i));
            all.children.push_back(i == at ? (leaf ? 0 : rightChild) : old.children[static_cast<size_t>(i)]);
        }
        if (at >= old.n) {
            flatAppendKey(t, all, recKey.data());
            all.children.push_back(leftChild);
            all.children.push_back(leaf ? 0 : rightChild);
        } else {
            all.children.push_back(old.children[static_cast<size_t>(old.n)]);
        }
        const int h = half;
        int nrc = 0;
        B4BLOCK* upper = tfile4newBlock(t, &nrc);
        if (!upper)
            return -1;
        flatBuild(t, b, all, 0, h);
        FLAT4 hi;
        hi.recKeys.assign(all.recKeys.begin() + static_cast<long>(h + 1) * (4 + kl), all.recKeys.end());
        hi.children.assign(all.children.begin() + h + 1, all.children.end());
        hi.n = all.n - h - 1;
        flatBuild(t, upper, hi, 0, hi.n);
        std::memcpy(recKey.data(), flatRecKey(t, all, h), static_cast<size_t>(4 + kl));
        leftChild = b->fileBlock * 512L;
        rightChild = upper->fileBlock * 512L;
        tfile4release(t, upper);
        if (level == 0) {
            B4BLOCK* root = tfile4newBlock(t, &nrc);
            if (!root)
                return -1;
            FLAT4 r;
            flatAppendKey(t, r, recKey.data());
            r.children = {leftChild, rightChild};
            flatBuild(t, root, r, 0, 1);
            t->header.root = static_cast<uint32_t>(root->fileBlock * 512L);
            t->rootWrite = 1;
            tfile4release(t, root);
            return 0;
        }
    }
}

int tfile4remove(TAG4FILE* t) {
    CODE4* c4 = t->c4;
    if (c4->errorLatch < 0)
        return e4context;
    if (tfile4eof(t))
        return t4corrupt(t);
    if (tfile4markChanging(t) < 0)
        return -1;
    t->header.version = static_cast<uint16_t>(t->versionOld + 1);
    B4BLOCK* b = t->path.back();
    if (!b4leaf(b)) {
        // A branch key is replaced by its successor, the first key of the subtree to its right.
        const int i = b->keyOn;
        b->keyOn = i + 1;
        if (int rc = downToLeaf(t, false); rc != 0)
            return rc;
        B4BLOCK* leaf = t->path.back();
        if (b4n(leaf) == 0)
            return t4corrupt(t);
        std::memcpy(b4entry(b, i) + 4, b4entry(leaf, 0) + 4, static_cast<size_t>(4 + t4keyLen(t)));
        b->changed = 1;
        leaf->keyOn = 0;
        b = leaf;
    }
    b4removeAt(t, b, b->keyOn);
    const int saveChecks = c4->indexChecks;
    c4->indexChecks = 0;
    int rc = rebalance(t, t->path.size() - 1);
    c4->indexChecks = saveChecks;
    tfile4releaseAll(t);
    return rc;
}

int tfile4removeKey(TAG4FILE* t, const unsigned char* key, long rec) {
    int rc = tfile4go(t, key, rec);
    if (rc < 0)
        return rc;
    if (rc != 0)
        return r4entry;
    return tfile4remove(t);
}
