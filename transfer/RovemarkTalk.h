#pragma once
// The field-unit exchange as the main program sees it: it never talks to the field unit itself. The outside
// transfer program RovemarkTalk in the program folder does the link work; the two meet only through an
// argument list, the exchange folders rovemark/to and rovemark/from, and the result file xfer.err.
#include <QString>
#include <QStringList>

#include <cstdint>

// The transfer program's file name: it is run only when a file of exactly this name exists.
inline constexpr char kTransferProgramName[] = "RovemarkTalk";
inline constexpr char kTransferResultName[] = "xfer.err";
// ReadTransferResult when the folder holds no result file.
inline constexpr int16_t kNoTransferResult = -999;

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
// Starts the program and waits for its end without a time limit; the caller's thread does nothing meanwhile.
ExecOutcome ExecAndWait(const QString& program, const QStringList& arguments);

// Runs the transfer program in a mode on a folder and waits for it. False when it did not run to its end:
// missing (or present only under another letter case), not startable, or crashed; the user has then been
// told why in one message.
bool RunTransferProgram(const QString& mode, const QString& folder);
bool ReadFromFieldUnit();
bool WriteToFieldUnit();

// Fills ReceivedCount and ReceivedFiles with the *.pdb files of a folder in listing order.
void ListReceivedFiles(const QString& folder);

// Reads folder/xfer.err: shows line 2 in the status bar (a missing line 2 shows "") and returns the number
// of line 1 rounded to a whole number (0 when it is not a number or does not fit in 16 bits). Returns
// kNoTransferResult, changing nothing, when the file is absent.
int16_t ReadTransferResult(const QString& folder);
// True when the folder holds a result file.
bool TransferResultExists(const QString& folder);
