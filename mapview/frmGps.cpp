#include "mapview/frmGps.h"

#include "core/DMAModule.h"
#include "core/ProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/LatLongText.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "lang/LangText.h"
#include "mapview/frmAddNewGPSLogger.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"
#include "platform/TextCodec.h"
#include "platform/Twips.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"
#include "platform/WindowRegistry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>

namespace mapview {

namespace {
constexpr double kMinWidthTwips = 12735;
constexpr double kMinHeightTwips = 9585;

QPointer<frmGps>& theMap() {
    static QPointer<frmGps> map;
    return map;
}

} // namespace

MapPrintJob frmGps::PrintJob;

// --- please-wait window ----------------------------------------------------------------------------------

frmWaitingStatus::frmWaitingStatus(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmWaitingStatus"));
    setWindowTitle(plat::appTitle());
    lblStatusText = new QLabel(QStringLiteral("Status text"), this);
    lblStatusText->setMinimumWidth(280);
    lblStatusText->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(lblStatusText);
}

void frmWaitingStatus::SetStatusText(const QString& StatusText) {
    lblStatusText->setText(StatusText);
}

// --- window ----------------------------------------------------------------------------------------------

frmGps* frmGps::instance() {
    return theMap();
}

frmGps::frmGps(QWidget* mainWindow) : QWidget(nullptr, Qt::Window), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("frmGps"));
    setWindowTitle(QStringLiteral("GPS"));
    setAttribute(Qt::WA_DeleteOnClose);
    theMap() = this;
    plat::windows::add(this, QStringLiteral("frmGps"));
    SerialList.assign(kMaxLoggers + 1, QString());
    buildControls();
}

frmGps::~frmGps() {
    if (!unloaded_)
        Form_Unload();
    if (auto* dialog = frmAddNewGPSLogger::existing())
        dialog->close();
    plat::windows::remove(this);
}

void frmGps::buildControls() {
    menuBar = new QMenuBar(this);
    QMenu* mnuFile = menuBar->addMenu(QStringLiteral("File"));
    mnuPrint = mnuFile->addAction(QStringLiteral("&Print"));
    QMenu* settings = mnuFile->addMenu(QStringLiteral("Print Settings"));
    mnuLandscape = settings->addAction(QStringLiteral("Landscape"));
    mnuPortrait = settings->addAction(QStringLiteral("Portrait"));
    mnuLandscape->setCheckable(true);
    mnuPortrait->setCheckable(true);
    mnuFile->addSeparator();
    mnuClose = mnuFile->addAction(QStringLiteral("&Close"));
    mnuZoom = menuBar->addMenu(QStringLiteral("Zoom"));
    mnuZoomIn = mnuZoom->addAction(QStringLiteral("Zoom In"));
    mnuZoomOut = mnuZoom->addAction(QStringLiteral("Zoom Out"));
    mnuGpsRightClick = new QMenu(QStringLiteral("Right Click Menu"), this);
    mnuGpsEdit = mnuGpsRightClick->addAction(QStringLiteral("Edit"));
    MnuGpsDelete = mnuGpsRightClick->addAction(QStringLiteral("Delete"));

    connect(mnuPrint, &QAction::triggered, this, [this] { mnuPrint_Click(); });
    connect(mnuLandscape, &QAction::triggered, this, [this] {
        mnuLandscape->setChecked(true);
        mnuPortrait->setChecked(false);
    });
    connect(mnuPortrait, &QAction::triggered, this, [this] {
        mnuPortrait->setChecked(true);
        mnuLandscape->setChecked(false);
    });
    connect(mnuClose, &QAction::triggered, this, [this] { close(); });
    connect(mnuZoomIn, &QAction::triggered, this, [this] {
        if (m_MapPointControl)
            m_MapPointControl->ActiveMap().ZoomIn();
    });
    connect(mnuZoomOut, &QAction::triggered, this, [this] {
        if (m_MapPointControl)
            m_MapPointControl->ActiveMap().ZoomOut();
    });
    connect(mnuGpsEdit, &QAction::triggered, this, [this] { mnuGpsEdit_Click(); });
    connect(MnuGpsDelete, &QAction::triggered, this, [this] { MnuGpsDelete_Click(); });

    auto box = [this](const QString& caption) {
        auto* b = new QCheckBox(caption, this);
        return b;
    };
    Frame2 = new QGroupBox(QStringLiteral("Actions"), this);
    rdoSelect = new QRadioButton(QStringLiteral("Select"), Frame2);
    rdoAddLogger = new QRadioButton(QStringLiteral("Add Logger"), Frame2);
    auto* actions = new QVBoxLayout(Frame2);
    actions->addWidget(rdoSelect);
    actions->addWidget(rdoAddLogger);

    Frame1_0 = new QGroupBox(QStringLiteral("Camera"), this);
    cmdPanUp = new QPushButton(QStringLiteral("Up"), Frame1_0);
    cmdPanDown = new QPushButton(QStringLiteral("Down"), Frame1_0);
    cmdLeft = new QPushButton(QStringLiteral("Left"), Frame1_0);
    cmdPanRight = new QPushButton(QStringLiteral("Right"), Frame1_0);
    cmdZoomIn = new QPushButton(QStringLiteral("Zoom In"), Frame1_0);
    cmdZoomOut = new QPushButton(QStringLiteral("Zoom Out"), Frame1_0);
    auto* camera = new QGridLayout(Frame1_0);
    camera->addWidget(cmdPanUp, 0, 1);
    camera->addWidget(cmdLeft, 1, 0);
    camera->addWidget(cmdPanRight, 1, 2);
    camera->addWidget(cmdPanDown, 2, 1);
    camera->addWidget(cmdZoomIn, 3, 0, 1, 2);
    camera->addWidget(cmdZoomOut, 3, 2);
    connect(cmdPanUp, &QPushButton::clicked, this, [this] { cmdPan_Click(8); });
    connect(cmdPanDown, &QPushButton::clicked, this, [this] { cmdPan_Click(2); });
    connect(cmdLeft, &QPushButton::clicked, this, [this] { cmdPan_Click(4); });
    connect(cmdPanRight, &QPushButton::clicked, this, [this] { cmdPan_Click(6); });
    connect(cmdZoomIn, &QPushButton::clicked, mnuZoomIn, &QAction::trigger);
    connect(cmdZoomOut, &QPushButton::clicked, mnuZoomOut, &QAction::trigger);

    Frame3 = new QGroupBox(QStringLiteral("Display"), this);
    chkLeakOnly = box(QStringLiteral("Show Loggers in Leak Mode Only"));
    chkShowDetails = box(QStringLiteral("Show All Details"));
    chkLeakDetails = box(QStringLiteral("Show Leak Details"));
    auto* display = new QVBoxLayout(Frame3);
    for (QCheckBox* b : {chkLeakOnly, chkShowDetails, chkLeakDetails}) {
        b->setParent(Frame3);
        display->addWidget(b);
    }

    Frame1_1 = new QGroupBox(QStringLiteral("Label Settings"), this);
    optDisplayLS = new QRadioButton(QStringLiteral("L && S"), Frame1_1);
    optDisplayLSLocNum = new QRadioButton(QStringLiteral("Location Number + L && S"), Frame1_1);
    optDisplayLSSerialNo = new QRadioButton(QStringLiteral("Serial Number + L && S"), Frame1_1);
    auto* labels = new QVBoxLayout(Frame1_1);
    for (QRadioButton* b : {optDisplayLS, optDisplayLSLocNum, optDisplayLSSerialNo}) {
        labels->addWidget(b);
        connect(b, &QRadioButton::clicked, this, [this] { ApplyNameMode(); });
    }

    Frame4 = new QGroupBox(QStringLiteral("Additional Information"), this);
    chkDisplaySerialNo = box(QStringLiteral("Serial Number"));
    chkDisplayLocNum = box(QStringLiteral("Location Number"));
    chkDisplayAddress1 = box(QStringLiteral("Address Field 1"));
    chkDisplayAddress2 = box(QStringLiteral("Address Field 2"));
    chkAdditionalInfo = box(QStringLiteral("Additional Info"));
    auto* details = new QVBoxLayout(Frame4);
    for (QCheckBox* b :
         {chkDisplaySerialNo, chkDisplayLocNum, chkDisplayAddress1, chkDisplayAddress2, chkAdditionalInfo}) {
        b->setParent(Frame4);
        details->addWidget(b);
        connect(b, &QCheckBox::clicked, this, [this] { ApplyDetailOptions(); });
    }
    connect(chkShowDetails, &QCheckBox::clicked, this, [this] { chkShowDetails_Click(); });
    connect(chkLeakDetails, &QCheckBox::clicked, this, [this] { chkLeakDetails_Click(); });
    connect(chkLeakOnly, &QCheckBox::clicked, this, [this] { chkLeakOnly_Click(); });

    auto* side = new QVBoxLayout;
    for (QGroupBox* g : {Frame2, Frame1_0, Frame3, Frame1_1, Frame4})
        side->addWidget(g);
    side->addStretch(1);
    auto* body = new QHBoxLayout;
    body->setObjectName(QStringLiteral("MappointCtrlGuideLine"));
    body->addLayout(side, 0);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 0, 6, 6);
    outer->setMenuBar(menuBar);
    outer->addLayout(body, 1);

    Timer1 = new QTimer(this);
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    clearTimer = new QTimer(this);
    clearTimer->setInterval(1);
    connect(clearTimer, &QTimer::timeout, this, [this] { clearTimer_Timer(); });

    setMinimumSize(plat::twips::toPixelsX(kMinWidthTwips), plat::twips::toPixelsY(kMinHeightTwips));
    resize(minimumSize());
}

void frmGps::LoadMapCaptions() {
    auto doubled = [](QString s) { return s.replace(u'&', QStringLiteral("&&")); };
    Frame4->setTitle(LoadLangString(txt::FrameAdditionalInformation));
    chkAdditionalInfo->setText(LoadLangString(txt::AdditionalInfo));
    chkDisplayAddress1->setText(LoadLangString(txt::AddressField1));
    chkDisplayAddress2->setText(LoadLangString(txt::AddressField2));
    chkDisplayLocNum->setText(LoadLangString(txt::LocationNumber));
    chkDisplaySerialNo->setText(LoadLangString(txt::SerialNumberLabel));
    Frame1_1->setTitle(LoadLangString(txt::LabelSettings));
    optDisplayLS->setText(doubled(LoadLangString(txt::LabelLS)));
    optDisplayLSLocNum->setText(doubled(LoadLangString(txt::LabelLocNumLS)));
    optDisplayLSSerialNo->setText(doubled(LoadLangString(txt::LabelSerialLS)));
    chkLeakOnly->setText(LoadLangString(txt::LeakModeOnly));
    chkShowDetails->setText(LoadLangString(txt::ShowAllDetails));
}

frmDMA* frmGps::document() const {
    return ActiveDocument.data();
}

// --- opening ---------------------------------------------------------------------------------------------

void frmGps::LoadMapPointControl() {
    m_MapPointControl = MapControl::create(MapConfig::load(), this);
}

void frmGps::PlaceMapControl() {
    if (!m_MapPointControl)
        throw MapError(1, LoadLangString(txt::MapControlMissing));
    auto* body = findChild<QHBoxLayout*>(QStringLiteral("MappointCtrlGuideLine"));
    body->insertWidget(0, m_MapPointControl, 1);
    m_MapPointControl->setVisible(true);
    layout()->activate();
    connect(m_MapPointControl, &MapControl::SelectionChange, this,
            [this](Pushpin* now, Pushpin* before) { m_MapPointControl_SelectionChange(now, before); });
    connect(m_MapPointControl, &MapControl::MapChange, this, [this] { m_MapPointControl_MapChange(); });
    connect(m_MapPointControl, &MapControl::MouseButton, this,
            [this](int b, int s, int x, int y) { m_MapPointControl_MouseButton(b, s, x, y); });
    connect(m_MapPointControl, &MapControl::PointerPressed, this,
            [this](int b, int s, int x, int y, bool& c) { m_MapPointControl_PointerPressed(b, s, x, y, c); });
    connect(m_MapPointControl, &MapControl::PointerDoubleClicked, this,
            [this](int b, int s, int x, int y, bool& c) { m_MapPointControl_PointerDoubleClicked(b, s, x, y, c); });
}

void frmGps::ProbeMapPointInstallation() {
    const MapConfig config = MapConfig::load();
    if (!config.automation)
        throw MapError(429, QStringLiteral("ActiveX component can't create object"));
    const int region = MapRegionFromProduct(config.region);
    if (region < 0)
        throw MapError(kErrDescriptionShown, LoadLangString(txt::MapRegionUnknown) + QString::number(config.region));
    MapRegion = region;
    const QString version = m_MapPointControl->Version();
    const int code = MapVersionCode(version);
    if (code < 0)
        throw MapError(kErrDescriptionShown, LoadLangString(txt::MapVersionUnknown) + version);
    MapVersion = code;
}

void frmGps::OpenMapTemplate() {
    const QString folder = plat::programDir();
    const QString working = folder + QStringLiteral("/WorkingVordalinMap.ptt");
    if (QFileInfo(working).isFile())
        QFile::remove(working);
    const QString name = MapTemplateName(MapRegion, MapVersion);
    if (name.isEmpty())
        throw MapError(1, LoadLangString(txt::MapNoTemplate));
    if (!QFile::copy(folder + u'/' + name, working))
        throw MapError(53, QStringLiteral("File not found: ") + name);
    m_MapPointControl->OpenMap(working);
}

bool frmGps::Form_Load() {
    LoadMapCaptions();
    Loading = true;
    EventsEnabled = false;
    try {
        LoadMapPointControl();
        PlaceMapControl();
        ProbeMapPointInstallation();
        SerialCount = 0;
        registry_.Reset();
        setMainEnabled(false);
        mnuLandscape->setChecked(true);
        mnuPortrait->setChecked(false);
        frmDMA* doc = document();
        if (!doc)
            throw MapError(91, QStringLiteral("Object variable not set"));
        SerialCount = static_cast<int16_t>(std::min(doc->rowCount(), kMaxLoggers));
        OpenMapTemplate();
        rdoSelect->setChecked(true);
        m_MapPointControl->ActiveMap().Units = 1;
        LoadLoggerPushpins(false);
        LoadMapOptions();
        SavedAddress2 = static_cast<int>(plat::vb::Val(Address2));
        Address2 = QStringLiteral("0");
        address2Forced_ = true;
        programWindows().ConfigureAddress2EditBox();
        SaveSettingText(QStringLiteral("Address2"), QStringLiteral("0"));
    } catch (const MapError& e) {
        HideWaitStatus();
        const bool own = e.number == kErrDescriptionShown || e.number == kErrProductShown;
        plat::ui().messageBox(own ? e.description : LoadLangString(txt::MapStartFailed), 0, QString());
        Form_Unload();
        close();
        return false;
    } catch (const std::exception&) {
        HideWaitStatus();
        plat::ui().messageBox(LoadLangString(txt::MapStartFailed), 0, QString());
        Form_Unload();
        close();
        return false;
    }
    programWindows().UpdateCommentsColumnHeader();
    Loading = false;
    EventsEnabled = true;
    loaded_ = true;
    return true;
}

// --- closing ---------------------------------------------------------------------------------------------

void frmGps::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmGps::resizeEvent(QResizeEvent* event) {
    // The minimum size keeps the window from shrinking below the room its controls need.
    QWidget::resizeEvent(event);
}

void frmGps::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    EventsEnabled = false;
    Timer1->stop();
    clearTimer->stop();
    if (auto* dialog = frmAddNewGPSLogger::existing())
        dialog->close();
    if (m_MapPointControl)
        m_MapPointControl->ActiveMap().Saved = true;
    setMainEnabled(true);
    if (loaded_)
        SyncAllPushpins();
    if (loaded_ && document())
        document()->ReLoad();
    // The coordinate system goes back to what it was, in memory and in the store, and only when this window
    // changed it: a map that never opened leaves the user's choice alone.
    if (address2Forced_) {
        Address2 = QString::number(SavedAddress2);
        SaveSettingText(QStringLiteral("Address2"), Address2);
        programWindows().ConfigureAddress2EditBox();
        address2Forced_ = false;
    }
    CloseMapControl();
    programWindows().UpdateCommentsColumnHeader();
    // Options are stored only when they were read at opening; a failed opening keeps the stored ones.
    if (loaded_)
        SaveMapOptions();
    setMainEnabled(true);
    HideWaitStatus();
}

void frmGps::CloseMapControl() {
    if (!m_MapPointControl)
        return;
    SyncSuppressed = true;
    ClearAllPushpins();
    m_MapPointControl->ActiveMap().Saved = true;
    ShowWaitStatus(LoadLangString(txt::WaitClosing));
    m_MapPointControl->CloseMap();
    HideWaitStatus();
    registry_.Reset();
    MapControl* control = m_MapPointControl;
    m_MapPointControl = nullptr;
    control->hide();
    control->deleteLater();
}

void frmGps::ShowWaitStatus(const QString& text) {
    waitTexts << text;
    if (!waiting_)
        waiting_ = new frmWaitingStatus(nullptr);
    waiting_->SetStatusText(text);
    waiting_->show();
}

void frmGps::HideWaitStatus() {
    if (waiting_) {
        waiting_->close();
        delete waiting_.data();
    }
}

void frmGps::setMainEnabled(bool enabled) {
    // The main window's own parts (menus, toolbar, document area) are switched rather than the window
    // itself, so the windows it owns (the record editor above all) stay usable while the map is open.
    if (!mainWindow_)
        return;
    if (!enabled && !mainWindow_->property("mapDisabled").toBool())
        listBefore_ = ActiveDocument.data();
    for (QWidget* part : mainWindow_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!part->isWindow())
            part->setEnabled(enabled);
    mainWindow_->setProperty("mapDisabled", !enabled);
    if (!enabled)
        return;
    // Switched off, the document area let go of its current list; when the main window is active again it
    // would take up another one (the first it finds). The list keeps the keyboard focus of the main window,
    // so it is the one taken up, and the commands go on acting on it.
    frmDMA* list = listBefore_.data();
    listBefore_.clear();
    if (list == nullptr || list->unloaded())
        return;
    if (QMdiArea* area = list->mdiArea())
        area->setActiveSubWindow(list);
    list->ListViewDMA->setFocus(Qt::OtherFocusReason);
    list->MakeActiveDocument();
}

// --- menus, buttons and timers ---------------------------------------------------------------------------

void frmGps::cmdPan_Click(int direction) {
    if (m_MapPointControl)
        m_MapPointControl->ActiveMap().Pan(direction, 0);
}

void frmGps::mnuPrint_Click() {
    if (!m_MapPointControl || !PrintJob)
        return;
    const QString title = document() ? document()->DMAName : QString();
    const MapControl* control = m_MapPointControl;
    // The job tells the user itself when it fails.
    PrintJob(title, 1, mnuLandscape->isChecked() ? 1 : 0,
             [control, &title](QPainter& painter, const QRectF& page) { control->PrintPage(painter, page, title); });
}

void frmGps::Timer1_Timer() {
    // The notes are rebuilt here rather than in the press handler, after the map has finished its click.
    if (NoteRefreshPending) {
        if (!SelectedSerial.isEmpty())
            BuildPushpinNote(SelectedSerial);
        NoteRefreshPending = false;
    }
    Timer1->stop();
}

void frmGps::clearTimer_Timer() {
    ClearTickCount += 1;
    if (ClearTickCount >= 2) {
        ClearTickCount = 0;
        SyncSuppressed = false;
        clearTimer->stop();
    }
}

} // namespace mapview
