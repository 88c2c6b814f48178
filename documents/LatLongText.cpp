#include "documents/LatLongText.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/UiServices.h"

#include <QStringList>

#include <cmath>

namespace {
QChar markOf(const QString& text) {
    return text.contains(u',') ? QChar(u',') : QChar(u'.');
}

QString replaceFirst(QString half, const QString& from, const QString& to) {
    const qsizetype at = from.isEmpty() ? -1 : half.indexOf(from);
    if (at >= 0)
        half.replace(at, from.size(), to);
    return half;
}
} // namespace

bool IsLatLongText(const QString& text) {
    const qsizetype commas = text.count(u',');
    const qsizetype points = text.count(u'.');
    if ((commas > 0 && points > 0) || text.count(u'/') != 1)
        return false;
    const QChar mark = markOf(text);
    const QStringList halves = text.split(u'/');
    return halves[0].count(mark) == 1 && halves[1].count(mark) == 1;
}

QString ConvertLatLongText(const QString& text, int mode, const QString& decimalSeparator) {
    const QString from = mode == 1 ? QString(markOf(text)) : decimalSeparator;
    const QString to = mode == 1 ? decimalSeparator : QStringLiteral(".");
    const QStringList halves = text.split(u'/');
    if (halves.size() != 2)
        return text;
    return replaceFirst(halves[0], from, to) + u'/' + replaceFirst(halves[1], from, to);
}

QString LatLongExample(const QString& sep) {
    return QStringLiteral("12") + sep + QStringLiteral("345678/12") + sep + QStringLiteral("345678");
}

QString FormatCoordinate(double value, const QString& sep) {
    QString text = QString::number(value, 'f', 6);
    if (text.startsWith(u'-') && QString::number(std::fabs(value), 'f', 6) == QLatin1String("0.000000"))
        text.remove(0, 1); // "-0.000000" reads as a sign nobody typed
    if (sep != QLatin1String("."))
        text.replace(u'.', sep);
    return text;
}

bool ParseLatLong(const QString& text, const QString& sep, double* latitude, double* longitude) {
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0)
        return false;
    auto read = [&](QString half, double* out) {
        half = half.trimmed();
        if (sep != QLatin1String("."))
            half.replace(sep, QStringLiteral("."));
        bool ok = false;
        *out = half.toDouble(&ok);
        return ok && std::isfinite(*out);
    };
    return read(text.left(slash), latitude) && read(text.mid(slash + 1), longitude);
}

int16_t ValidateLatLongText(QString& text, QString& result, int16_t mode, LatLongGivenUp givenUp) {
    const QString sep = DecimalSeparator.isEmpty() ? QStringLiteral(".") : DecimalSeparator;
    while (!IsLatLongText(text)) {
        const QString prompt = LoadLangString(txt::LatLongPromptStart) + text +
                               LoadLangString(txt::LatLongPromptMiddle) + LatLongExample(sep) +
                               LoadLangString(txt::LatLongPromptEnd);
        QString answer;
        if (!plat::ui().inputBox(prompt, plat::appTitle(), text, &answer))
            answer.clear();
        if (answer.isEmpty()) {
            text = QStringLiteral("0.0/0.0");
            if (givenUp == LatLongGivenUp::ZeroPair)
                result = ConvertLatLongText(text, mode, sep);
            else
                result.clear();
            return 0;
        }
        text = answer;
    }
    result = ConvertLatLongText(text, mode, sep);
    return 0;
}
