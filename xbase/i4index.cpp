// Index files of a data handle: NTX tags and group files opened and closed, the handle's index files
// (opened with it, flushed, locked and unlocked together) and its tags by name.
#include "t4internal.h"

#include "d4write.h"
#include "i4internal.h"
#include "lock4.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool hasExtension(const char* name, const char* ext) {
    const char* slash = std::strrchr(name, '/');
    const char* dot = std::strrchr(name, '.');
    if (!dot || (slash && dot < slash))
        return ext == nullptr;
    return ext && std::strcmp(dot + 1, ext) == 0;
}

INDEX4* newIndex(DATA4* d, const char* name) {
    auto* index = new INDEX4;
    index->data = d;
    index->c4 = d->c4;
    u4ncpy(index->name, name, sizeof index->name);
    l4add(&d->indexes, index);
    return index;
}

void freeIndex(DATA4* d, INDEX4* index) {
    l4remove(&d->indexes, index);
    delete index;
}

int closeTags(INDEX4* index) {
    DATA4* d = index->data;
    int rc = 0;
    while (auto* tag = static_cast<TAG4*>(l4first(&index->tags))) {
        if (d->tagSelected == tag)
            d->tagSelected = nullptr;
        l4remove(&index->tags, tag);
        const int r = tfile4close(tag->tagFile);
        if (r < 0)
            rc = r;
        delete tag;
    }
    return rc;
}

} // namespace

TAG4* i4tag(INDEX4* index) {
    return index ? static_cast<TAG4*>(l4first(&index->tags)) : nullptr;
}
const char* t4alias(TAG4* t) {
    return t && t->tagFile ? t->tagFile->alias : nullptr;
}
EXPR4* t4expr(TAG4* t) {
    return t && t->tagFile ? t->tagFile->expr : nullptr;
}

int t4unique(TAG4* t) {
    if (!t)
        return error4raise(nullptr, e4parmNull, loc4index);
    if (!t->tagFile)
        return error4raise(t->index ? t->index->c4 : nullptr, e4parm, loc4index);
    return t->tagFile->header.unique ? t->errUnique : 0;
}

TAG4* t4open(DATA4* d, INDEX4* index, const char* name) {
    if (!d || !name) {
        error4raise(d ? d->c4 : nullptr, e4parmNull, loc4index);
        return nullptr;
    }
    CODE4* c4 = d->c4;
    char base[260];
    u4namePiece(base, sizeof base, name, 0, 0);
    for (char* p = base; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    base[10] = 0;
    const int saveErrors = c4->tagNameErrors;
    c4->tagNameErrors = 0;
    TAG4* existing = d4tag(d, base);
    c4->tagNameErrors = saveErrors;
    if (existing) {
        error4raiseText(c4, e4instance, loc4index, name);
        return nullptr;
    }
    const bool madeIndex = index == nullptr;
    if (madeIndex)
        index = newIndex(d, name);
    TAG4FILE* tf = tfile4open(d, name);
    if (!tf) {
        if (madeIndex)
            freeIndex(d, index);
        return nullptr;
    }
    auto* tag = new TAG4;
    tag->index = index;
    tag->tagFile = tf;
    tag->errUnique = tf->header.unique ? c4->errDefaultUnique : 0;
    l4add(&index->tags, tag);
    return tag;
}

int t4close(TAG4* t) {
    if (!t)
        return error4raise(nullptr, e4parmNull, loc4index);
    INDEX4* index = t->index;
    if (l4first(&index->tags) == t && l4last(&index->tags) == t)
        return i4close(index);
    DATA4* d = index->data;
    int rc = d4updateRecord(d, 0);
    if (d->tagSelected == t)
        d->tagSelected = nullptr;
    l4remove(&index->tags, t);
    const int r = tfile4close(t->tagFile);
    delete t;
    return rc < 0 ? rc : r;
}

INDEX4* i4open(DATA4* d, const char* nameIn) {
    if (!d) {
        error4raise(nullptr, e4parmNull, loc4index);
        return nullptr;
    }
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return nullptr;
    char name[260];
    if (nameIn) {
        u4ncpy(name, nameIn, sizeof name);
        for (char* p = name; *p; ++p)
            if (*p >= 'a' && *p <= 'z')
                *p = static_cast<char>(*p - 'a' + 'A');
        if (hasExtension(name, "NTX")) {
            TAG4* tag = t4open(d, nullptr, name);
            return tag ? tag->index : nullptr;
        }
        if (hasExtension(name, nullptr))
            u4nameExt(name, sizeof name, "CGP", 0);
    } else {
        u4ncpy(name, d->dataFile->name, sizeof name);
        u4nameExt(name, sizeof name, "CGP", 1);
    }
    // A group file: a list of NTX files, as text or as counted names.
    INDEX4* index = newIndex(d, name);
    FILEREC4 group{};
    if (file4open(&group, c4, name, 1) != 0) {
        freeIndex(d, index);
        if (c4->openErrors && c4->errorLatch >= 0)
            error4raiseText(c4, e4open, loc4index, name);
        return nullptr;
    }
    char folder[260];
    u4ncpy(folder, name, sizeof folder);
    char* slash = std::strrchr(folder, '/');
    if (slash)
        slash[1] = 0;
    else
        folder[0] = 0;
    const long len = file4len(&group);
    std::string bytes;
    bool ok = len >= 0 && len <= 65536;
    if (ok) {
        bytes.resize(static_cast<size_t>(len));
        ok = len == 0 || file4readAll(&group, 0, bytes.data(), static_cast<unsigned>(len)) == 0;
    }
    std::vector<std::string> names;
    if (ok && !bytes.empty() && static_cast<unsigned char>(bytes[0]) >= 'A') {
        std::string cur;
        for (char ch : bytes) {
            if (ch == '\t' || ch == '\n' || ch == '\r' || ch == 0x1A || ch == ' ') {
                if (!cur.empty())
                    names.push_back(cur);
                cur.clear();
            } else {
                cur += ch;
            }
        }
        if (!cur.empty())
            names.push_back(cur);
    } else if (ok && !bytes.empty()) {
        const size_t n = static_cast<unsigned char>(bytes[0]);
        size_t pos = 1;
        for (size_t i = 0; i < n && ok; ++i) {
            if (pos + 4 > bytes.size()) {
                ok = false;
                break;
            }
            const uint32_t l = b4get32(reinterpret_cast<const unsigned char*>(bytes.data() + pos));
            pos += 4;
            if (l > 257 || pos + l > bytes.size()) {
                ok = false;
                break;
            }
            names.emplace_back(bytes.data() + pos, l);
            pos += l;
        }
    }
    for (const std::string& n : names) {
        if (!ok)
            break;
        std::string full = std::string(folder) + n;
        if (full.size() > 257 || !t4open(d, index, full.c_str()))
            ok = false;
    }
    file4close(&group);
    if (!ok) {
        closeTags(index);
        freeIndex(d, index);
        if (c4->openErrors && c4->errorLatch >= 0)
            error4raiseText(c4, e4info, loc4index, name);
        return nullptr;
    }
    return index;
}

int i4close(INDEX4* index) {
    if (!index)
        return error4raise(nullptr, e4parmNull, loc4index);
    DATA4* d = index->data;
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    const int saved = error4set(c4, 0);
    int rc = 0;
    if (int r = d4updateRecord(d, 0); r < 0)
        rc = r;
    const int saveTries = c4->lockTries;
    c4->lockTries = -1;
    if (int r = d4indexesUnlock(d); r < 0)
        rc = r;
    c4->lockTries = saveTries;
    if (int r = closeTags(index); r < 0)
        rc = r;
    freeIndex(d, index);
    if (rc == 0 && saved < 0)
        rc = saved;
    error4set(c4, rc < 0 ? rc : saved);
    return rc;
}

// --- the data handle's index files ---

int d4indexesOpen(DATA4* d, int firstHandle) {
    CODE4* c4 = d->c4;
    DATA4FILE* df = d->dataFile;
    if (!firstHandle) {
        // Another handle has the data file open: this one uses the same tag files.
        for (void* p = l4first(&df->tagfiles); p; p = l4next(&df->tagfiles, p)) {
            auto* tf = static_cast<TAG4FILE*>(p);
            INDEX4* index = newIndex(d, tf->file.name);
            auto* tag = new TAG4;
            tag->index = index;
            tag->tagFile = tf;
            tag->errUnique = tf->header.unique ? c4->errDefaultUnique : 0;
            ++tf->userCount;
            l4add(&index->tags, tag);
        }
        return 0;
    }
    if (!c4->autoOpen)
        return 0;
    // Only a group file that is there is opened: a table without one opens without indexes.
    char name[260], found[260];
    u4ncpy(name, df->name, sizeof name);
    u4nameExt(name, sizeof name, "CGP", 1);
    if (!u4nameResolve(found, sizeof found, name))
        return 0;
    return i4open(d, name) ? 0 : (c4->errorLatch < 0 ? c4->errorLatch : -1);
}

int d4indexesClose(DATA4* d) {
    int rc = 0;
    while (auto* index = static_cast<INDEX4*>(l4first(&d->indexes))) {
        if (int r = closeTags(index); r < 0 && rc == 0)
            rc = r;
        freeIndex(d, index);
    }
    d->tagSelected = nullptr;
    return rc;
}

int d4indexesFlush(DATA4* d) {
    int rc = 0;
    forEachTag(d, [&](TAG4* tag) {
        if (t4flush(tag->tagFile) < 0 || file4flush(&tag->tagFile->file) < 0)
            rc = -1;
    });
    return rc;
}

int d4indexesLock(DATA4* d) {
    CODE4* c4 = d->c4;
    DATA4FILE* df = d->dataFile;
    if (df->indexLocked)
        return df->indexLocked == d->clientId ? 0 : r4locked;
    int attempts = c4->lockTries == 0 ? 1 : c4->lockTries;
    const int saveTries = c4->lockTries;
    for (;;) {
        std::vector<TAG4FILE*> locked;
        int rc = 0;
        c4->lockTries = 0; // one attempt each; the retry is for the whole set
        for (void* p = l4first(&df->tagfiles); p && rc == 0; p = l4next(&df->tagfiles, p)) {
            auto* t = static_cast<TAG4FILE*>(p);
            rc = file4lock(&t->file, lock4base, lock4fileLen);
            if (rc == 0)
                locked.push_back(t);
        }
        c4->lockTries = saveTries;
        if (rc == 0) {
            // Pages cached before the lock may be out of date: check each file's version now (under the lock, a mark
            // left by a writer that stopped half way has its keys built again).
            for (TAG4FILE* t : locked) {
                t->lockHeld = 1;
                // A rebuild reads the records through the handle the tag is bound to: this one, not one of the same
                // table that may have closed since.
                tfile4bind(t, d);
                if (int r = tfile4doVersionCheck(t, 0, 1); r < 0)
                    rc = r;
                t->lockHeld = 0;
            }
            if (rc == 0) {
                df->indexLocked = d->clientId;
                return 0;
            }
        }
        for (TAG4FILE* t : locked)
            file4unlock(&t->file, lock4base, lock4fileLen);
        if (rc != r4locked || attempts == 1)
            return rc;
        if (attempts > 1)
            --attempts;
        code4lockWait(c4, c4->lockWaitHundredths);
    }
}

int d4indexesUnlock(DATA4* d) {
    DATA4FILE* df = d->dataFile;
    if (!df->indexLocked || df->indexLocked != d->clientId)
        return 0;
    int rc = 0;
    for (void* p = l4first(&df->tagfiles); p; p = l4next(&df->tagfiles, p)) {
        auto* t = static_cast<TAG4FILE*>(p);
        if (t4flush(t) < 0)
            rc = -1;
        if (file4unlock(&t->file, lock4base, lock4fileLen) < 0)
            rc = -1;
    }
    df->indexLocked = 0;
    return rc;
}

// --- tags of a handle ---

TAG4* d4tag(DATA4* d, const char* nameIn) {
    if (!d || !nameIn) {
        error4raise(d ? d->c4 : nullptr, e4parmNull, loc4index);
        return nullptr;
    }
    char name[11];
    u4ncpy(name, nameIn, sizeof name);
    for (char* p = name; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    TAG4* found = nullptr;
    forEachTag(d, [&](TAG4* tag) {
        if (!found && std::strcmp(tag->tagFile->alias, name) == 0)
            found = tag;
    });
    if (!found && d->c4->tagNameErrors)
        error4raiseText(d->c4, e4tagName, loc4index, nameIn);
    return found;
}

TAG4* d4tagDefault(DATA4* d) {
    if (!d)
        return nullptr;
    if (d->tagSelected)
        return d->tagSelected;
    auto* index = static_cast<INDEX4*>(l4first(&d->indexes));
    return index ? i4tag(index) : nullptr;
}

void d4tagSelect(DATA4* d, TAG4* t) {
    if (d)
        d->tagSelected = t;
}
