#pragma once
// Language text numbers of the PDA commands and the auto-sync launch.
namespace txt {
constexpr int PdaDownloadCaption = 619; // download window caption
constexpr int PdaDownloadHeading = 620; // above the device file list
constexpr int PdaDownloadButton = 621;
constexpr int PdaCloseButton = 622;
constexpr int PdaNothingChosen = 623;   // Download pressed with no file chosen
constexpr int PdaCannotOpen = 624;      // a device file cannot be opened
constexpr int PdaEmptyFile = 625;       // a device file is empty
constexpr int PdaReplaceQuestion = 626; // after the file name: replace the existing copy?
constexpr int PdaReading = 627;         // status while a file is read
constexpr int PdaReadFailed = 628;
constexpr int PdaUnexpectedError = 630;
constexpr int PdaCannotCreate = 632;    // a device file cannot be created
constexpr int PdaWriteFailed = 633;     // a block could not be written to the device
constexpr int PdaFilesCopied = 634;     // after a run that copied at least one file
constexpr int PdaLibraryMissing = 658;  // the PDA link library cannot be created ("\n" line breaks)
constexpr int SyncUtilityMissing = 790; // the auto-sync utility could not be started; the path follows
} // namespace txt
