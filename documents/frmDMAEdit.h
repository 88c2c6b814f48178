#pragma once
#include <QPoint>
// The record editor: one tool window shared by every logger list window. It shows the logger selected in the
// current list window with its 50 readings and their graph, and writes the edited logger back on Update.
// It is made once, hidden, and only ever hidden again when closed.
#include "core/DMAModule.h"
#include "documents/DocumentLinks.h"
#include "platform/FormClose.h"

#include <QKeySequence>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QAbstractButton;
class QCheckBox;
class QKeyEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class LevelSpreadGraph;
class MaskedEdit;
class frmDMA;

class frmDMAEdit : public plat::Form<QWidget>, public IRecordEditorView {
    Q_OBJECT
public:
    explicit frmDMAEdit(QWidget* parent = nullptr);
    ~frmDMAEdit() override;

    // The one editor of the program (nullptr before it is loaded).
    static frmDMAEdit* instance();
    // Keys the editor's own commands answer while it is the active window: F12 (Update) and the Alt keys of
    // its buttons. They win over a main-window shortcut or menu with the same key, which the editor, a tool
    // window of the main window, reaches too.
    QList<QKeySequence> ownKeys() const;

    int16_t NumHistories = 0;
    void toggleGraph();
    void LoadResources();
    void ConfigureAddress2EditBox();
    void SetLevelAndSpreadGraphItem(int item, const QString& date, int16_t level, int16_t spread) override;

    // The record the boxes and reading rows describe (serial, grid reference, comments, readings).
    LoggerRecord recordFromBoxes() const;
    bool ValidateEditorEntries();

    // Controls.
    QGroupBox* Frame1 = nullptr;
    MaskedEdit* txtSerNum = nullptr;
    MaskedEdit* txtGridRef = nullptr;
    MaskedEdit* txtComments1 = nullptr;
    MaskedEdit* txtComments2 = nullptr;
    QLineEdit* txtUserComments = nullptr;
    QPlainTextEdit* TxtErrors = nullptr;
    QCheckBox* CheckAutoIncrement = nullptr;
    QTreeWidget* ListViewEditBox = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdUpdateSerial = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdGraph = nullptr;
    QPushButton* Command_up = nullptr;
    QPushButton* Command_Down = nullptr;
    QLabel* lblSerNum = nullptr;
    QLabel* lblGridRef = nullptr;
    QLabel* lblComment1 = nullptr;
    QLabel* lblComment2 = nullptr;
    QLabel* lblInformation = nullptr;
    QLabel* Lbl1 = nullptr;
    LevelSpreadGraph* graph = nullptr;

    bool GraphShown = false;
    int16_t SelectedReading = 0;
    bool EditorHasFocus = false;
    QString SerialOnFocus;
    bool onTop() const;

    // Handlers.
    void Form_Activate();
    void Form_KeyDown(int& keyCode, int& shift);
    void Form_MouseMove();
    void cmdUpdate_Click();
    void cmdUpdateSerial_Click();
    void cmdClose_Click();
    void Command_up_Click();
    void Command_Down_Click();
    void cmdGraph_Click() { toggleGraph(); }
    void txtSerNum_GotFocus();
    void ListViewEditBox_ItemClick(int position);
    void ListViewEditBox_DblClick();

    // IRecordEditorView
    void setCaption(const QString& caption) override;
    void setNumHistories(int16_t count) override { NumHistories = count; }
    void clearReadings() override;
    void addReading(const QString& date, const QString& status, const QString& level, const QString& spread) override;
    void setSerialText(const QString& text) override;
    void setGridRefText(const QString& text) override;
    void setCommentTexts(const QString& comment1, const QString& comment2, const QString& userComments) override;
    void resetGraph() override;
    void setRecordSource(frmDMA* window) override;
    bool holdsChangedReadings(const frmDMA* window) const override;

    // IRecordEditorSeam
    bool editorVisible() const { return isVisible(); }
    void hideEditor() { hide(); }
    void showEditor();

protected:
    void hideEvent(QHideEvent* event) override;
    // Closing only hides the editor; it lives as long as the program.
    void Form_QueryUnload(bool& cancel) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool placed_ = false;
    QPoint place_;
    void Form_Load();
    void setOnTop(bool on);
    void sendKeyToList(int key);
    bool NoRecordsToEdit() const;
    bool isOwnKey(const QKeyEvent* key) const;
    void runOwnKey(const QKeyEvent* key);
    void clearShownReadings();
    int widthWithoutGraph() const;

    // The coordinate box: what the record holds and what the box showed for it. The Lat/Long pattern shows a
    // stored "lat/long" pair in its own form; a box left as it was shown gives the stored text back unchanged.
    void showComment2(const QString& stored);
    QString comment2ToStore() const;
    QString comment2Stored_;
    QString comment2Shown_;

    bool filling_ = false;
    // Where the shown logger came from. A window closed since leaves the pointer empty while showsRecord_
    // stays set, which tells it from an editor that shows no logger at all.
    QPointer<frmDMA> recordSource_;
    bool showsRecord_ = false;
    // A reading was changed in its dialog since the logger was loaded, and no Update has written it back.
    bool readingsChanged_ = false;
    int noGraphWidth_ = 0;
};

// Loads the editor hidden, once, and makes it the editor the list windows and messages reach.
frmDMAEdit* LoadRecordEditor(QWidget* parent);
// View, Editor: shows the record editor once it is loaded.
void ShowRecordEditor();
