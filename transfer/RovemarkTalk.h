#pragma once
// The field-unit exchange as the main program sees it: it never talks to the field unit itself. The outside
// transfer program RovemarkTalk in the program folder does the link work; the two meet only through an
// argument list, the exchange folders rovemark/to and rovemark/from, and the result file xfer.err.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string_view>

// The transfer program's file name: it is run only when a file of exactly this name exists.
inline constexpr char kTransferProgramName[] = "RovemarkTalk";
inline constexpr char kTransferResultName[] = "xfer.err";

// Full paths the last ListReceivedFiles found, at positions 1..ReceivedCount (position 0 is unused).
extern int16_t ReceivedCount;
extern QStringList ReceivedFiles;

QString TransferProgramPath();
// Arguments after the program: "Direct" or "Modem=<NumberToDial>", "ComPort=<n>", the mode ("READ" or
// "WRITE") and the folder. The folder stays one argument whatever it holds.
QStringList FieldUnitTransferArguments(const QString& mode, const QString& folder);
// The same run written as one command line (program quoted, folder not), for the status bar.
QString FieldUnitTransferCommand(const QString& mode, const QString& folder);

enum class ExecOutcome { Finished, NotStarted, Crashed };
// Starts the program and waits for its end without a time limit. Meanwhile the windows keep painting (so
// the status line and a busy pointer show), but no user input reaches them and no timer runs: nothing else
// happens in the program until the run is over.
ExecOutcome ExecAndWait(const QString& program, const QStringList& arguments);

// Runs the transfer program in a mode on a folder and waits for it. False when it did not run to its end:
// missing (or present only under another letter case), not startable, or crashed; the user has then been
// told why in one message.
bool RunTransferProgram(const QString& mode, const QString& folder);
bool ReadFromFieldUnit();
bool WriteToFieldUnit();

// Fills ReceivedCount and ReceivedFiles with the *.pdb files of a folder in listing order.
void ListReceivedFiles(const QString& folder);

// What the transfer program left in its result file.
struct TransferResult {
    // The leading number of line 1, rounded to a whole number; 0 when there is none or it does not fit in
    // 16 bits.
    int16_t number = 0;
    // True when line 1 is a number and nothing else: only then is the file taken for the program's word and
    // its line 2 shown. A file of other bytes (or one that cannot be read) is not shown to the user.
    bool readable = false;
    QString text; // line 2 ("" when there is none)
};

// Reads folder/xfer.err and, when it is readable, shows its line 2 in the status bar. std::nullopt, changing
// nothing, when the folder holds no result file; any number line 1 holds, -999 among them, is a result.
std::optional<TransferResult> ReadTransferResult(const QString& folder);
// True when line 1 of a result file is a number as its reader takes it (sign, digits, a decimal point, an
// exponent, or &H / &O digits), with nothing but blanks around it.
bool IsResultNumberLine(std::string_view line);
// True when the folder holds a result file.
bool TransferResultExists(const QString& folder);
