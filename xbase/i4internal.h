// Helpers shared by the files of a data handle's index side (i4*.cpp).
#pragma once

#include "t4tag.h"

// The tag's expressions evaluate for the handle that uses it (several handles may share one tag file).
inline void tfile4bind(TAG4FILE* t, DATA4* d) {
    if (t->data == d)
        return;
    expr4context(t->expr, d);
    if (t->filter)
        expr4context(t->filter, d);
    t->data = d;
}

template <class F> void forEachTag(DATA4* d, F f) {
    for (void* ip = l4first(&d->indexes); ip; ip = l4next(&d->indexes, ip)) {
        auto* index = static_cast<INDEX4*>(ip);
        for (void* tp = l4first(&index->tags); tp; tp = l4next(&index->tags, tp))
            f(static_cast<TAG4*>(tp));
    }
}
