#pragma once
// Numbered language texts, the message and status routines, the command-line list and small text helpers.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>

// The text of a number from the language file lang_*.txt beside the program; "" (after one message box)
// when there is no such file or number.
QString LoadLangString(int32_t id);
// The same text in the files' 8-bit encoding.
std::string LoadLangAnsi(int32_t id);

int ShowMessage(const QString& prompt, int buttons = 0, const QString& title = {}, const QString& helpFile = {},
                const QString& context = {});
void ShowStatusText(const QString& text);

extern QStringList CommandLineArgs; // element 0 unused; 1..CommandLineArgCount the arguments
extern int16_t CommandLineArgCount;
// Fills the list from the program's arguments as the system passed them (argv without the program name).
void SplitCommandLine(const QStringList& arguments);

int16_t CountOccurrences(const QString& text, const QString& sought);
QString GetDecimalSeparator();
QString ExpandNewlines(const QString& text);

QString FileTitle(const QString& path);
QString TextAfterLast(const QString& text, const QString& separator);
QString FormatGridRef(const QString& digits);
QString GridRefDigits(const QString& gridRef);
QString PadUnderscore(QString& text);
