// Row numbers and ids of the expression table (e4functions.cpp) that the parser and the type pass refer to.
#pragma once

#include "e4expr.h"

extern const int v4functionCount;

// Value-pushing rows: their position in the table is fixed.
enum E4ROW : short {
    E4ROW_FIELD_STR = 0,      // character field, read in place
    E4ROW_FIELD_STR_CAT = 1,  // character field, copied (for functions that alter their parameter)
    E4ROW_FIELD_LOG = 2,
    E4ROW_FIELD_DATE_D = 3,   // date field as a day number
    E4ROW_FIELD_DATE_S = 4,   // date field as "CCYYMMDD", read in place
    E4ROW_FIELD_NUM_D = 5,    // numeric field as a double
    E4ROW_FIELD_NUM_S = 6,    // numeric field as text, read in place
    E4ROW_FIELD_MEMO = 13,
    E4ROW_CONST_NUM = 14,
    E4ROW_CONST_STR = 15,
};

// Ids of operators and functions; the parser finds the first row of an id.
enum E4ID : short {
    E4ID_TRUE = 14, E4ID_FALSE = 16, E4ID_NOT = 18, E4ID_OR = 20, E4ID_AND = 22,
    E4ID_ADD = 25, E4ID_SUB = 30, E4ID_EQ = 40, E4ID_NE = 50, E4ID_GE = 60, E4ID_LE = 70, E4ID_GT = 80,
    E4ID_LT = 90, E4ID_POWER = 100, E4ID_MULTIPLY = 102, E4ID_DIVIDE = 105, E4ID_CONTAIN = 110,
    E4ID_CHR = 120, E4ID_DEL = 125, E4ID_STR = 130, E4ID_SUBSTR = 140, E4ID_LEFT = 145, E4ID_RIGHT = 147,
    E4ID_TIME = 150, E4ID_UPPER = 160, E4ID_DTOS = 170, E4ID_DTOC = 180, E4ID_TRIM = 190, E4ID_LTRIM = 200,
    E4ID_ALLTRIM = 205, E4ID_IIF = 210, E4ID_STOD = 220, E4ID_CTOD = 230, E4ID_DATE = 240,
    E4ID_VAL = 310, E4ID_DESCEND = 330, E4ID_ASCEND = 340,
};

// First row of `id`, or -1.
int e4rowOfId(int id);
