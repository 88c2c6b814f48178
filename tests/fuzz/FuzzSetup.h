#pragma once
// Set-up the fuzz targets share.
#include "platform/AppInfo.h"

#include <QFile>
#include <QString>

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
