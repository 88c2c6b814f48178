// Field values of a data handle's current record (the field handles are made by d4open, see d4data.h).
#pragma once

struct FIELD4;

int f4assign(FIELD4* f, const char* text);
int f4assignN(FIELD4* f, const char* text, unsigned len);
int f4assignLong(FIELD4* f, long v);
int f4assignInt(FIELD4* f, int v);
int f4assignDouble(FIELD4* f, double x);
char* f4assignPtr(FIELD4* f);
char* f4str(FIELD4* f);
long f4long(FIELD4* f);
int f4int(FIELD4* f);
double f4double(FIELD4* f);
unsigned f4len(FIELD4* f);
int f4number(FIELD4* f);
char* f4ptr(FIELD4* f);
int f4type(FIELD4* f);
int f4decimals(FIELD4* f);
const char* f4name(FIELD4* f);
