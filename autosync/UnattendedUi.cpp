#include "autosync/UnattendedUi.h"

#include "platform/AppInfo.h"

#include <QFile>

std::unique_ptr<UnattendedUi> UnattendedUi::fromEnvironment() {
    const QString log = qEnvironmentVariable("VORD_MESSAGE_LOG");
    if (log.isEmpty())
        return nullptr;
    auto ui = std::make_unique<UnattendedUi>();
    ui->log_ = log;
    for (const QString& a : qEnvironmentVariable("VORD_MESSAGE_ANSWERS").split(u',', Qt::SkipEmptyParts))
        ui->answers_ << a.trimmed().toInt();
    return ui;
}

int UnattendedUi::messageBox(const QString& prompt, int style, const QString& title) {
    QString flat = prompt;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
    QFile f(log_);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append))
        f.write((QString::number(style) + u'|' + (title.isEmpty() ? plat::appTitle() : title) + u'|' + flat + u'\n')
                    .toUtf8());
    if (!answers_.isEmpty())
        return answers_.takeFirst();
    return (style & 7) == plat::MB_OK ? plat::IDOK : plat::IDCANCEL;
}
