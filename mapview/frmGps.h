#pragma once
// The map window "GPS": the loggers of the active logger list as pushpins on a map, with display options,
// and editing of those loggers by mouse. One at a time; while it is open the main window is disabled and the
// coordinate system is latitude/longitude.
#include "mapview/MapCommands.h"
#include "mapview/MapControl.h"
#include "mapview/clsPushpinInfo.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTimer;
class frmDMA;
struct LoggerRecord;

namespace mapview {

class frmWaitingStatus : public QWidget {
    Q_OBJECT
public:
    explicit frmWaitingStatus(QWidget* parent = nullptr);
    void SetStatusText(const QString& StatusText);
    QLabel* lblStatusText = nullptr;
};

class frmGps : public QWidget {
    Q_OBJECT
public:
    explicit frmGps(QWidget* mainWindow = nullptr);
    ~frmGps() override;

    // The one map window, or null.
    static frmGps* instance();
    // Where printing goes: a job on the program's current printer (set by the program; empty prints nothing).
    static MapPrintJob PrintJob;

    // Runs the opening steps; false when they failed (the user was told, and the window closes again).
    bool Form_Load();
    void Form_Unload();

    // Called by the record editor while the map is open.
    void frmGPS_refreshLoggers();
    void frmGPS_UpdateSerial(QString& oldSerial, QString& newSerial);
    void frmGPS_NewLogger(int X, int Y, const QString& strSerial);

    // Controls.
    MapControl* m_MapPointControl = nullptr;
    QGroupBox* Frame4 = nullptr;
    QCheckBox* chkAdditionalInfo = nullptr;
    QCheckBox* chkDisplayAddress1 = nullptr;
    QCheckBox* chkDisplayAddress2 = nullptr;
    QCheckBox* chkDisplayLocNum = nullptr;
    QCheckBox* chkDisplaySerialNo = nullptr;
    QGroupBox* Frame1_1 = nullptr;
    QRadioButton* optDisplayLS = nullptr;
    QRadioButton* optDisplayLSLocNum = nullptr;
    QRadioButton* optDisplayLSSerialNo = nullptr;
    QGroupBox* Frame3 = nullptr;
    QCheckBox* chkLeakOnly = nullptr;
    QCheckBox* chkShowDetails = nullptr;
    QCheckBox* chkLeakDetails = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* rdoSelect = nullptr;
    QRadioButton* rdoAddLogger = nullptr;
    QGroupBox* Frame1_0 = nullptr;
    QPushButton* cmdPanUp = nullptr;
    QPushButton* cmdPanDown = nullptr;
    QPushButton* cmdLeft = nullptr;
    QPushButton* cmdPanRight = nullptr;
    QPushButton* cmdZoomIn = nullptr;
    QPushButton* cmdZoomOut = nullptr;
    QMenuBar* menuBar = nullptr;
    QAction* mnuPrint = nullptr;
    QAction* mnuLandscape = nullptr;
    QAction* mnuPortrait = nullptr;
    QAction* mnuClose = nullptr;
    QAction* mnuZoomIn = nullptr;
    QAction* mnuZoomOut = nullptr;
    QMenu* mnuZoom = nullptr;
    QMenu* mnuGpsRightClick = nullptr;
    QAction* mnuGpsEdit = nullptr;
    QAction* MnuGpsDelete = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* clearTimer = nullptr;

    // Handlers.
    void cmdPan_Click(int direction);
    void mnuPrint_Click();
    void mnuGpsEdit_Click();
    void MnuGpsDelete_Click();
    void chkShowDetails_Click();
    void chkLeakDetails_Click();
    void chkLeakOnly_Click();
    void ApplyDetailOptions();
    void ApplyNameMode();
    void Timer1_Timer();
    void clearTimer_Timer();
    // Map notifications.
    void m_MapPointControl_SelectionChange(Pushpin* now, Pushpin* before);
    void m_MapPointControl_MapChange();
    void m_MapPointControl_MouseButton(int button, int shift, int x, int y);
    void m_MapPointControl_PointerPressed(int button, int shift, int x, int y, bool& cancel);
    void m_MapPointControl_PointerDoubleClicked(int button, int shift, int x, int y, bool& cancel);

    // State the tests and the record editor look at.
    int MapRegion = 0;
    int MapVersion = 3;
    QString SelectedSerial;
    QString SelectionTypeName;
    bool Loading = false;
    bool EventsEnabled = false;
    bool SyncSuppressed = false;
    bool NoteRefreshPending = false;
    double ClearTickCount = 0;
    int16_t SerialCount = 0;
    const QString& serialAt(int position) const { return SerialList[static_cast<size_t>(position)]; }
    const clsPushpinInfo& registry() const { return registry_; }
    bool loaded() const { return loaded_; }
    // The menu the last right click opened (tests look instead of waiting on it).
    QMenu* lastPopup() const { return lastPopup_; }
    // Every please-wait text shown, in order (for tests).
    QStringList waitTexts;

    int PushpinSymbol(int noLeak) const;
    static QString DigitsOnly(const QString& text);
    QString BuildPushpinNote(const QString& serial);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void LoadMapCaptions();
    void LoadMapPointControl();
    void PlaceMapControl();
    void ProbeMapPointInstallation();
    void OpenMapTemplate();
    void CloseMapControl();
    void ShowWaitStatus(const QString& text);
    void HideWaitStatus();
    void setMainEnabled(bool enabled);

    void LoadLoggerPushpins(bool leakOnly);
    void AddLoggerPushpin(double latitude, double longitude, QString serial, int position, double levelMinusSpread);
    void ApplyPushpinName(const QString& serial);
    void SetPushpinNote(const PushpinRef& pin, const QString& text);
    void ApplyBalloonState(const QString& serial);
    void OpenDetailBalloons();
    void CloseAllBalloons();
    void RemoveNoLeakPushpins();
    void RestoreNoLeakPushpins();
    bool ForgetSerial(const QString& serial);
    void ClearAllPushpins();
    void GroupPushpinsAndZoom();
    void LoadMapOptions();
    void SaveMapOptions();
    void reapplyBalloons();

    void PromptNewLoggerAt(int X, int Y);
    void PlaceNewLoggerPushpin(int X, int Y, const QString& serial);
    void DeleteSelectedPushpin();
    void FillRecordEditor(int16_t index);
    void SyncSelectedPushpin();
    void SyncAllPushpins();
    void syncSerial(const QString& entry, bool full);

    // Row reading: the document the map shows, a row's coordinate text, its level minus spread.
    frmDMA* document() const;
    const LoggerRecord* recordOfSerial(const QString& serialText, int16_t* index = nullptr) const;
    QString levelAndSpread(const LoggerRecord& r) const;
    void setBox(QCheckBox* box, bool ticked);

    QPointer<QWidget> mainWindow_;
    // The list that was the current one when the map switched the main window off: it is the current one
    // again when the main window is switched back on, whatever the main window would take up by itself.
    QPointer<frmDMA> listBefore_;
    QPointer<frmWaitingStatus> waiting_;
    QMenu* lastPopup_ = nullptr;
    clsPushpinInfo registry_;
    std::vector<QString> SerialList;
    int SavedAddress2 = 0;
    bool address2Forced_ = false;
    bool loaded_ = false;
    bool unloaded_ = false;
};

} // namespace mapview
