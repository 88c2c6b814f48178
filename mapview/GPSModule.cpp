#include "mapview/GPSModule.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "mapview/LatLongText.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/UiServices.h"

namespace mapview {

int16_t ValidateLatLongText(QString& text, QString& result, int16_t mode) {
    const QString sep = DecimalSeparator.isEmpty() ? QStringLiteral(".") : DecimalSeparator;
    while (!IsLatLongText(text)) {
        const QString prompt = LoadLangString(txt::LatLongPrompt1) + text + LoadLangString(txt::LatLongPrompt2) +
                               LatLongExample(sep) + LoadLangString(txt::LatLongPrompt3);
        QString answer;
        if (!plat::ui().inputBox(prompt, plat::appTitle(), text, &answer))
            answer.clear();
        if (answer.isEmpty()) {
            text = QStringLiteral("0.0/0.0");
            result.clear();
            return 0;
        }
        text = answer;
    }
    result = ConvertLatLongText(text, mode, sep);
    return 0;
}

} // namespace mapview
