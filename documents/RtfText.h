#pragma once
// Rich-text files of the text document windows: plain text in paragraphs, written as RTF with the
// Windows-1252 code page, and read back from RTF written by us or by other programs (formatting is dropped).
#include <QString>

#include <string>
#include <string_view>

// The RTF bytes of a plain text; line breaks become paragraphs.
std::string RtfFromPlainText(const QString& text);
// The plain text of RTF bytes: paragraphs and line breaks become "\n", tabs stay tabs, escaped and hex
// characters are decoded, font tables, pictures and other hidden groups are skipped. Bytes that do not begin
// with "{\rtf" are taken as plain Windows-1252 text.
QString PlainTextFromRtf(std::string_view rtf);
