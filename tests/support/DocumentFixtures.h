#pragma once
// Small area files, a status-bar recorder and the set-up every logger-window test needs.
#include "ScopedProgramWindows.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "core/DMAModule.h"
#include "documents/DocumentFiles.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

// Every member has an initializer, so that a fixture may name only its first few fields.
struct FixtureLogger {
    int32_t serial = 0;
    std::string gridRef{};
    std::string comment1{};
    std::string comment2{};
    std::string deployed{};
    std::string received{};
    std::string date1{}; // the newest reading
    std::string status1{};
    int level1 = 0;
    int spread1 = 0;
    std::string userComments{};
};

// An area file in the database layout: banner, column titles, one line per logger.
std::string areaFile(const std::vector<FixtureLogger>& loggers);

// The program's windows without a main window: the document windows, and a status bar that keeps every text.
struct StatusRecorder : DocumentWindows {
    QStringList texts;
    void setStatusText(const QString& text) override { texts << text; }
    QString last() const { return texts.isEmpty() ? QString() : texts.last(); }
};

// Program folder with the shipped English texts, empty settings, a fresh logger table and a status bar.
class DocumentTest {
public:
    DocumentTest();
    ~DocumentTest();
    TestEnv env;
    StatusRecorder status;

private:
    ScopedProgramWindows registered_{&status};
};

// Runs the deferred deletes of closed windows.
void flushDeletes();

class QWidget;
// Closes every loaded window except keep, in load order; logger lists and text documents are told first that
// their changes are not wanted, so nothing asks whether to save.
void CloseAllWindows(QWidget* keep = nullptr);
