// The shared log file "C4.LOG": users join it with a slot lock and record data-file opens and closes.
#pragma once

#include "code4.h"

struct DATA4;

int code4logOpen(CODE4* c4, const char* name, const char* userId);
int code4logClose(CODE4* c4);
int log4openEntry(DATA4* d);  // type 1
int log4closeEntry(DATA4* d); // type 3
