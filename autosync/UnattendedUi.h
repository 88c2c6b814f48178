#pragma once
// Message boxes of an unattended run: with $VORD_MESSAGE_LOG set, every message box (the utility's and the
// PDA link library's) is appended to that file as one line "style|title|prompt" (line breaks in the prompt
// written as \r\n) instead of being shown. Answers come from $VORD_MESSAGE_ANSWERS, a comma-separated list
// of button numbers taken in order; once it runs out, OK boxes answer OK and the others Cancel.
#include "platform/UiServices.h"

#include <QList>
#include <QString>

#include <memory>

class UnattendedUi final : public plat::CancellingUi {
public:
    // Null when the environment asks for no unattended run.
    static std::unique_ptr<UnattendedUi> fromEnvironment();

    int messageBox(const QString& prompt, int style, const QString& title) override;

private:
    QString log_;
    QList<int> answers_;
};
