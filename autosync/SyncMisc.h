#pragma once
// The utility's shared routines: its language texts, folder listing and the PDA link object.
#include "pdalink/PdaSupportClient.h"

#include <QString>
#include <QStringList>

namespace misc {

extern pda::PdaSupportObject PdaSupportObject;

// The text of a number from the first autosync_lang_*.txt of the program folder (read anew on every call);
// "" after the message "Error: Could not open Language File..." when there is no such file or number.
QString LoadSyncText(int id);
// Names of the regular files in folder, in one defined order.
QStringList ListFolderFiles(const QString& folder);
// The create-register-retry loop with the utility's own Retry/Cancel text. True once the object exists.
bool CreatePdaSupport();
void RegisterPDASupport();

} // namespace misc
