#pragma once
// What the logger list windows reach of windows that are built around them: the main window's command state
// and the shared record editor. Each of those windows registers itself here when it is created; with nothing
// registered the list windows do without (tests, or a program that has not built that window yet).
#include <QString>

#include <cstdint>

class frmDMA;

// The main window as the logger documents see it.
struct IDocumentFrame {
    virtual ~IDocumentFrame() = default;
    // Turns the main window's menus, toolbar and the other loaded forms on or off around a long command.
    virtual void Interact(bool enable) = 0;
    // Mirrors a list window's column auto-size option into the View menu's check mark.
    virtual void setAutoSizeChecked(bool checked) = 0;
    // Sizes the columns of the active list window (column -1: all; show: unhide hidden ones).
    virtual void AutoSizeColumns(int column, bool show) = 0;
    // A logger file was saved under this path: it joins the recent-file list.
    virtual void RebuildMruMenu(const QString& path) = 0;
};

// The record editor as the list windows fill it.
struct IRecordEditorView {
    virtual ~IRecordEditorView() = default;
    virtual void setCaption(const QString& caption) = 0;
    virtual void setNumHistories(int16_t count) = 0;
    virtual void clearReadings() = 0;
    virtual void addReading(const QString& date, const QString& status, const QString& level,
                            const QString& spread) = 0;
    virtual void setSerialText(const QString& text) = 0;
    virtual void setGridRefText(const QString& text) = 0;
    virtual void setCommentTexts(const QString& comment1, const QString& comment2, const QString& userComments) = 0;
    // Draws graph item 0..49 from one reading.
    virtual void SetLevelAndSpreadGraphItem(int item, const QString& date, int16_t level, int16_t spread) = 0;
    // Empties the level/spread graph (bars at their base lines, date strips yellow).
    virtual void resetGraph() = 0;
    // The list window whose logger the editor now shows, or nullptr once it shows none.
    virtual void setRecordSource(frmDMA* window) = 0;
};

namespace documents {
extern IDocumentFrame* frame;
extern IRecordEditorView* recordEditor;
} // namespace documents
