#pragma once
// Language text numbers of the field-unit exchange and the auto-import watcher.
namespace txt {
constexpr int TransferProgramMissing = 208; // found name & this & expected program path
constexpr int NothingReceived = 209;
constexpr int DownloadCaption = 210; // this & download number & " " & file name
constexpr int ReceiveSelectionCaption = 211;
constexpr int SendSelectionCaption = 212;
constexpr int ImportMoveFailed = 666; // holds \n, <SourceFileName> and <TargetFileName>
constexpr int NothingImported = 667;
constexpr int DiscardImportFiles = 669; // holds \n
constexpr int OpenImportedFiles = 670;
constexpr int TransferProgramNotStarted = 830; // this & program path
constexpr int TransferProgramCrashed = 831;    // this & program path
constexpr int TransferResultMissing = 832;     // this & result file path
constexpr int FieldUnitWriteFailed = 833;      // writer's text, then this & the file not sent
} // namespace txt
