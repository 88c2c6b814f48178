#pragma once
// A program folder with a blank in its name, the fake transfer program in it, fresh exchange folders, and
// helpers for field-unit files and list windows.
#include "ScopedProgramWindows.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "documents/DocumentFiles.h"

#include <QString>
#include <QStringList>

#include <map>
#include <string>
#include <vector>

class frmDMA;

struct StatusLog final : DocumentWindows {
    QStringList texts;
    void setStatusText(const QString& text) override { texts << text; }
    QString last() const { return texts.isEmpty() ? QString() : texts.last(); }
};

class TransferTest {
public:
    TransferTest();
    ~TransferTest();

    // The program folder ("<temp>/Vord Program", with the English texts).
    QString programDir() const { return program_; }
    QString path(const QString& relative) const { return program_ + u'/' + relative; }

    // Puts the fake transfer program into the program folder under a name, with its configuration.
    void installFakeProgram(const std::map<std::string, std::string>& config = {},
                            const QString& name = QStringLiteral("RovemarkTalk"));
    // Runs logged by the fake: one entry per run, each the arguments and the files found in its folder.
    struct Run {
        QStringList args;
        QStringList files;
    };
    std::vector<Run> runs() const;

    // A folder of files the fake hands over on READ.
    QString deliveryFolder() const { return path(QStringLiteral("delivery")); }
    // Writes a field-unit file of loggers with these serials into the delivery folder.
    void deliver(const QString& name, const std::vector<int32_t>& serials) const;

    // A list window holding loggers with these serials, named as if opened from file name.
    static frmDMA* openWindow(const QString& name, const std::vector<int32_t>& serials);
    static QStringList files(const QString& folder);
    static void closeAllWindows();

    TestEnv env;
    StatusLog status;
    ScopedProgramWindows registered_{&status};

private:
    QString program_;
};

// Bytes a window gives when written in the field-unit layout, through the same writer the send uses.
std::string fieldUnitBytes(frmDMA* window, const QString& scratchPath);
