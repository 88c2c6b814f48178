// Dates and value conversions. Numbers are read and written in the "C" form whatever the program's locale.
#pragma once

#include <cstdint>
#include <ctime>

struct CODE4;

// Julian day numbers: 1 January of year 1 is 1721426; 0 is the empty date; -1 an invalid one.
long date4toJulian(const char* date8);
void date4assign(char* date8, long julian);
void date4toPicture(char* out, const char* date8, const char* picture); // out: picture length + 1
void date4fromPicture(char* date8, const char* text, const char* picture);
void date4todayText(char* date8, time_t now);
void time4nowText(char* out9, time_t now); // "HH:MM:SS"
void date4headerDate(unsigned char out3[3], time_t now);
int date4isLeap(long year);

double c4textToDouble(const char* text, int len);
int c4textToInt(const char* text, int len);
long c4textToLong(const char* text, int len);
void c4longToText(long value, char* out, int width);
int c4doubleToText(double value, char* out, int width, int decimals);
int c4doubleToKey(double value, char* out, int width, int decimals);
void c4numTextToKey(char* text, int width);
void c4negateBytes(char* bytes, int len);
void c4placeByPattern(char* out, const char* values, const char* picture, const char* pattern);
void c4trimBlanks(char* text, int size);
void c4toUpper(char* text);
void c4toLower(char* text);
int c4nameChar(unsigned char c);

// Little-endian numbers as the file formats store them.
inline unsigned long c4readU32(const unsigned char* p) {
    return (unsigned long)p[0] | (unsigned long)p[1] << 8 | (unsigned long)p[2] << 16 | (unsigned long)p[3] << 24;
}
inline long c4readI32(const unsigned char* p) {
    return long(int32_t(uint32_t(c4readU32(p))));
}
inline unsigned short c4readU16(const unsigned char* p) {
    return (unsigned short)(p[0] | p[1] << 8);
}
inline void c4putU16(unsigned char* p, unsigned v) {
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}
inline void c4putU32(unsigned char* p, unsigned long v) {
    for (int i = 0; i < 4; i++)
        p[i] = (unsigned char)(v >> (8 * i));
}
