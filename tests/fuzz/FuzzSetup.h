#pragma once
// Set-up the fuzz targets share.
#include "platform/AppInfo.h"

#include <QFile>
#include <QString>

#include <stdlib.h>

#include <string>

// Makes folder the program folder ($VORD_PROGRAM_DIR included) and writes a small language file into it, so
// the texts the code under test looks up resolve without a message box.
inline void UseFuzzProgramFolder(const QString& folder) {
    qputenv("VORD_PROGRAM_DIR", QFile::encodeName(folder));
    plat::setProgramDir(folder);
    QFile lang(folder + QStringLiteral("/lang_fuzz.txt"));
    if (lang.open(QIODevice::WriteOnly)) {
        lang.write("153 Banner\r\n155 Line \r\n184 Warning\r\n185 Leak\r\n186 No leak\r\n");
        lang.close();
    }
}

// A new, empty folder for a target's files: in memory where the machine has such a folder, since every write is
// synced to disk and the runs are many; else below /tmp. Empty when neither could be made.
inline std::string MakeFuzzScratchFolder(const std::string& tag) {
    for (const char* base : {"/dev/shm/", "/tmp/"}) {
        std::string name = base + ("vord-fuzz-" + tag) + "-XXXXXX";
        if (::mkdtemp(name.data()))
            return name;
    }
    return {};
}
