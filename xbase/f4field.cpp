// Field values of the current record: reading a field's text and numbers, and assigning them (each assignment
// checks the error latch and lockBeforeWrite first, and marks the record changed).
#include "f4field.h"

#include "c4conv.h"
#include "d4data.h"

#include <cstring>

static bool isNotNumeric(const FIELD4* f) {
    return f->type == 'D' || f->type == 'G' || f->type == 'L' || f->type == 'M';
}

int f4assignN(FIELD4* f, const char* text, unsigned len) {
    if (!f || (!text && len))
        return error4raise(nullptr, e4parmNull, 10242);
    const int rc = d4writeCheck(f->data);
    if (rc != 0)
        return rc;
    const unsigned n = len < f->len ? len : f->len;
    char* p = f->data->record + f->offset;
    if (n)
        std::memcpy(p, text, n);
    std::memset(p + n, ' ', f->len - n);
    f->data->recordChanged = 1;
    return 0;
}

int f4assign(FIELD4* f, const char* text) {
    if (!f || !text)
        return error4raise(f ? f->data->c4 : nullptr, e4parmNull, 10243);
    return f4assignN(f, text, unsigned(std::strlen(text)));
}

int f4assignDouble(FIELD4* f, double x) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10244);
    if (f->type == 'L')
        return error4raise(f->data->c4, e4parm, 10245);
    int rc = d4writeCheck(f->data);
    if (rc != 0)
        return rc;
    char* p = f->data->record + f->offset;
    if (f->type == 'D')
        date4assign(p, long(x));
    else
        c4doubleToText(x, p, f->len, f->dec); // a value too wide shows as "*" in the field
    f->data->recordChanged = 1;
    return 0;
}

int f4assignLong(FIELD4* f, long v) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10246);
    if (isNotNumeric(f))
        return error4raise(f->data->c4, e4parm, 10247);
    if (f->dec > 0)
        return f4assignDouble(f, double(v));
    const int rc = d4writeCheck(f->data);
    if (rc != 0)
        return rc;
    c4longToText(v, f->data->record + f->offset, f->len);
    f->data->recordChanged = 1;
    return 0;
}

int f4assignInt(FIELD4* f, int v) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10248);
    if (f->type == 'L')
        return error4raise(f->data->c4, e4parm, 10249);
    if (f->type == 'D') {
        const int rc = d4writeCheck(f->data);
        if (rc != 0)
            return rc;
        date4assign(f->data->record + f->offset, v);
        f->data->recordChanged = 1;
        return 0;
    }
    if (f->dec > 0)
        return f4assignDouble(f, double(v));
    return f4assignLong(f, v);
}

char* f4assignPtr(FIELD4* f) {
    if (!f)
        return nullptr;
    f->data->recordChanged = 1;
    return f->data->record + f->offset;
}

char* f4ptr(FIELD4* f) {
    return f ? f->data->record + f->offset : nullptr;
}

char* f4str(FIELD4* f) {
    if (!f) {
        error4raise(nullptr, e4parmNull, 10250);
        return nullptr;
    }
    CODE4* c4 = f->data->c4;
    if (c4->fieldBufferLen < unsigned(f->len) + 1u &&
        u4blockGrow(c4, &c4->fieldBuffer, &c4->fieldBufferLen, unsigned(f->len) + 1u) != 0) {
        error4raise(c4, e4memory, 10251);
        return nullptr;
    }
    std::memcpy(c4->fieldBuffer, f->data->record + f->offset, f->len);
    c4->fieldBuffer[f->len] = 0;
    return c4->fieldBuffer;
}

long f4long(FIELD4* f) {
    if (!f) {
        error4raise(nullptr, e4parm, 10252);
        return -1;
    }
    if (isNotNumeric(f)) {
        error4raise(f->data->c4, e4parm, 10253);
        return -1;
    }
    if (f->data->c4->errorLatch < 0)
        return -1;
    return c4textToLong(f->data->record + f->offset, f->len < 127 ? f->len : 127);
}

int f4int(FIELD4* f) {
    if (!f) {
        error4raise(nullptr, e4parm, 10254);
        return -1;
    }
    if (f->type == 'L') {
        error4raise(f->data->c4, e4parm, 10255);
        return -1;
    }
    if (f->type == 'D')
        return int(date4toJulian(f->data->record + f->offset));
    return c4textToInt(f->data->record + f->offset, f->len < 127 ? f->len : 127);
}

double f4double(FIELD4* f) {
    if (!f) {
        error4raise(nullptr, e4parm, 10256);
        return 0;
    }
    if (f->type == 'D')
        return double(date4toJulian(f->data->record + f->offset));
    return c4textToDouble(f->data->record + f->offset, f->len);
}

unsigned f4len(FIELD4* f) {
    if (!f) {
        error4raise(nullptr, e4parmNull, 10257);
        return 0;
    }
    return f->len;
}

int f4number(FIELD4* f) {
    return f ? int(f - f->data->fields) + 1 : e4parmNull;
}
int f4type(FIELD4* f) {
    return f ? int(f->type) : int(e4parmNull);
}
int f4decimals(FIELD4* f) {
    return f ? int(f->dec) : int(e4parmNull);
}
const char* f4name(FIELD4* f) {
    return f ? f->name : nullptr;
}
