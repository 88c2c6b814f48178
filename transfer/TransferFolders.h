#pragma once
#include <QString>

// Folders of the field-unit exchange below the program folder.
extern QString TransferToFolder;
extern QString TransferFromFolder;

// Creates rovemark/, rovemark/from and rovemark/to (errors ignored) and clears both exchange folders.
void InitTransferFolders();
// Deletes every *.pdb and the file xfer.err in the folder; every error is ignored.
void ClearToFolder();
void ClearFromFolder();
