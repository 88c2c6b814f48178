#pragma once
// The shared record editor as the logger list windows fill it. The editor registers itself here when it is
// made; with none registered the list windows do without (tests put a recorder here).
#include <QString>

#include <cstdint>

class frmDMA;

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
    // True while the editor shows readings of this window's logger changed in their dialog and not yet
    // written back with Update: loading the logger again would throw the change away.
    virtual bool holdsChangedReadings(const frmDMA* /*window*/) const { return false; }
};

namespace documents {
extern IRecordEditorView* recordEditor;
} // namespace documents
