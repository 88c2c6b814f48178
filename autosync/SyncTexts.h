#pragma once
// Text numbers of the auto-sync utility's own language file autosync_lang_*.txt.
namespace synctxt {
constexpr int Searching = 101;      // status at start, before the device is looked for
constexpr int Pending = 102;        // status while files wait, and again after the transfer
constexpr int Transferring = 104;   // status during the transfer
constexpr int UploadFailed = 106;   // a PC file could not be copied to the PDA; the path follows
constexpr int DownloadFailed = 107; // a PDA file could not be copied to the PC; the path follows
constexpr int UploadCaption = 108;
constexpr int DownloadCaption = 109;
constexpr int TransferButton = 110;
constexpr int WindowTitle = 111;    // followed by " v" and the version
constexpr int LibraryMissing = 112; // the PDA link library cannot be created ("\n" line breaks)
constexpr int NameRefused = 113;    // a queued name no PDA file can hold, moved out of the queue; its new path follows
constexpr int NameRefusedStays = 114; // the same, when it could not be moved; its path follows
} // namespace synctxt
