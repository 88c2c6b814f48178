#include "autosync/SyncMisc.h"

#include "autosync/SyncTexts.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/UiServices.h"

namespace misc {

pda::PdaSupportObject PdaSupportObject;

QString LoadSyncText(int id) {
    const QString folder = plat::programDir();
    const QStringList files = plat::listFiles(folder, QStringLiteral("autosync_lang_*.txt"));
    std::string bytes;
    if (!files.isEmpty() && plat::readFileBytes(folder + u'/' + files.front(), bytes)) {
        // A line is three digits, one separator and the text; the number is read from its field, so a text
        // that happens to hold other digits is never taken for another number's line.
        const std::string wanted = std::to_string(id);
        for (std::string_view line : plat::splitLines(bytes)) {
            if (line.size() < 4)
                continue;
            size_t digits = 0;
            while (digits < line.size() && digits < 3 && line[digits] >= '0' && line[digits] <= '9')
                ++digits;
            if (line.substr(0, digits) == wanted)
                return plat::fromAnsi(line.substr(4));
        }
    }
    plat::ui().messageBox(QStringLiteral("Error: Could not open Language File..."), plat::MB_OK, QString());
    return {};
}

QStringList ListFolderFiles(const QString& folder) {
    return plat::listFiles(folder, QStringLiteral("*.*"));
}

void RegisterPDASupport() {
    pda::RegisterPDASupport();
}

bool CreatePdaSupport() {
    return pda::CreatePdaSupport(PdaSupportObject, [] {
        QString text = LoadSyncText(synctxt::LibraryMissing);
        text.replace(QStringLiteral("\\n"), QStringLiteral("\r\n"));
        return plat::ui().messageBox(text, plat::MB_RETRYCANCEL | plat::MB_ICONEXCLAMATION, QString());
    });
}

} // namespace misc
