#include "documents/frmDMAEdit.h"
#include "documents/FieldText.h"

#include "core/ProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/LevelSpreadGraph.h"
#include "documents/MaskedEdit.h"
#include "documents/ReadingDialogs.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/TextCodec.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"
#include "platform/WidgetNames.h"
#include "platform/WindowRegistry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QPointer<frmDMAEdit>& theEditor() {
    static QPointer<frmDMAEdit> editor;
    return editor;
}

constexpr int kKeyF12 = 123;

struct CoordinateSystem {
    const char* caption; // nullptr: language text 664
    const char* mask;
};
// Address2 codes 0..13: the title of the coordinate box and the pattern it takes.
const CoordinateSystem kCoordinateSystems[] = {
    {nullptr, ""},
    {"Lat/Long", ">?##\\.#####\\-?###\\.#####"},
    {"BNG Grid", ">??\\-#####\\-#####"},
    {"RD Grid", ">######\\-######"},
    {"KKJ Grid", ">#######\\-#######"},
    {"GK Grid", ">#######\\-#######"},
    {"ITM Grid", ">\\I?\\-#####\\-#####"},
    {"MGRS Grid", ">?##\\-??\\-#####\\-#####"},
    {"NZ Grid", ">E#######\\-N#######"},
    {"SG Grid", ">O#######\\-N#######"},
    {"SUI Grid", ">######\\-######"},
    {"T67 Grid", ">######\\-######"},
    {"UTM Grid", ">##\\-?\\-#######\\-#######"},
    {"QNG Grid", ">######\\-######"},
};

constexpr int kLatLongSystem = 1;

bool isLatLongMask(const QString& mask) {
    return mask == QLatin1String(kCoordinateSystems[kLatLongSystem].mask);
}

// A stored coordinate pair ("52.63798/-1.12702", "," also taken as the mark) in the Lat/Long box's form
// "N52.63798-W001.12702": hemisphere letter, degrees filled with zeros, five decimals. Null when the text is
// no such pair or does not fit the pattern's places.
QString latLongBoxText(const QString& stored) {
    const QStringList halves = stored.trimmed().split(u'/');
    if (halves.size() != 2)
        return {};
    auto half = [](QString text, int degreePlaces, QChar plus, QChar minus) -> QString {
        text = text.trimmed();
        text.replace(u',', u'.');
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok || !std::isfinite(value))
            return {};
        const QString digits = QString::number(std::fabs(value), 'f', 5);
        const qsizetype point = digits.indexOf(u'.');
        if (point < 0 || point > degreePlaces)
            return {};
        const bool zero = digits.count(u'0') == digits.size() - 1;
        return QString(value < 0 && !zero ? minus : plus) + QString(degreePlaces - point, u'0') + digits;
    };
    const QString latitude = half(halves[0], 2, u'N', u'S');
    const QString longitude = half(halves[1], 3, u'E', u'W');
    if (latitude.isNull() || longitude.isNull())
        return {};
    return latitude + u'-' + longitude;
}

// The Lat/Long box's text as the pair the map reads: "N52.63800-W001.12700" gives "52.63800/-1.12700". Places
// left unfilled count as zeros, a letter other than S or W as north or east; a box with nothing filled in
// gives an empty text (no coordinate). Null when the text is not in the box's form.
QString latLongFromBox(const QString& box) {
    static const QRegularExpression form(QStringLiteral("^(.)(..)\\.(.{5})-(.)(...)\\.(.{5})$"));
    const QRegularExpressionMatch m = form.match(box);
    if (!m.hasMatch())
        return {};
    auto unfilled = [](const QString& part) {
        return std::all_of(part.begin(), part.end(), [](QChar c) { return c == u'_' || c == u' '; });
    };
    bool empty = true;
    for (int i = 1; i <= 6; ++i)
        empty = empty && unfilled(m.captured(i));
    if (empty)
        return QStringLiteral("");
    auto half = [&](int first, QChar minus) -> QString {
        QString degrees = m.captured(first + 1);
        QString decimals = m.captured(first + 2);
        for (QString* part : {&degrees, &decimals}) {
            part->replace(u'_', u'0').replace(u' ', u'0');
            if (!std::all_of(part->begin(), part->end(), [](QChar c) { return c.isDigit(); }))
                return {};
        }
        const QString text = QString::number(degrees.toInt()) + u'.' + decimals;
        const bool zero = degrees.toInt() == 0 && decimals.count(u'0') == decimals.size();
        return m.captured(first).toUpper() == minus && !zero ? u'-' + text : text;
    };
    const QString latitude = half(1, u'S');
    const QString longitude = half(4, u'W');
    if (latitude.isNull() || longitude.isNull())
        return {};
    return latitude + u'/' + longitude;
}

bool mapOpen() {
    return plat::windows::topLevelTitled(QStringLiteral("GPS"));
}

bool comment2KeyAllowed(QChar c) {
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == ' ' ||
           (u >= 44 && u <= 47) || u == 8;
}

using plat::widgets::button;
using plat::widgets::named;

} // namespace

frmDMAEdit* frmDMAEdit::instance() {
    return theEditor().data();
}

namespace {
// The button whose Alt key (its "&" letter) was pressed; nullptr when none.
QAbstractButton* buttonOfMnemonic(const QWidget* form, const QKeySequence& pressed) {
    for (QAbstractButton* b : form->findChildren<QAbstractButton*>())
        if (b->isVisible() && b->isEnabled() && !QKeySequence::mnemonic(b->text()).isEmpty() &&
            QKeySequence::mnemonic(b->text()) == pressed)
            return b;
    return nullptr;
}
} // namespace

QList<QKeySequence> frmDMAEdit::ownKeys() const {
    QList<QKeySequence> keys = {QKeySequence(Qt::Key_F12)};
    for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
        const QKeySequence key = QKeySequence::mnemonic(b->text());
        if (!key.isEmpty() && !keys.contains(key))
            keys << key;
    }
    return keys;
}

frmDMAEdit* LoadRecordEditor(QWidget* parent) {
    if (!theEditor())
        new frmDMAEdit(parent);
    return theEditor().data();
}

void ShowRecordEditor() {
    if (frmDMAEdit* editor = frmDMAEdit::instance())
        editor->showEditor();
}

frmDMAEdit::frmDMAEdit(QWidget* parent) : plat::Form<QWidget>(parent, Qt::Tool) {
    setObjectName(QStringLiteral("frmDMAEdit"));
    theEditor() = this;
    plat::windows::add(this, QStringLiteral("frmDMAEdit"));
    documents::recordEditor = this;
    // Form_Initialize: the editor floats above every other window.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    setMouseTracking(true);

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    Frame1 = named(new QGroupBox(this), "Frame1");
    Frame1->setMouseTracking(true);
    lblSerNum = named(new QLabel(Frame1), "lblSerNum");
    lblGridRef = named(new QLabel(Frame1), "lblGridRef");
    lblComment1 = named(new QLabel(Frame1), "lblComment1");
    lblComment2 = named(new QLabel(Frame1), "lblComment2");
    lblInformation = named(new QLabel(Frame1), "lblInformation");
    Lbl1 = named(new QLabel(Frame1), "Lbl1");
    for (QLabel* l : {lblSerNum, lblGridRef, Lbl1})
        l->setMouseTracking(true);
    txtSerNum = named(new MaskedEdit(Frame1), "txtSerNum");
    txtSerNum->setMask(QStringLiteral("########"));
    txtSerNum->setMaxLength(8);
    txtGridRef = named(new MaskedEdit(Frame1), "txtGridRef");
    txtGridRef->setMask(QStringLiteral("########"));
    txtGridRef->setMaxLength(8);
    txtComments1 = named(new MaskedEdit(Frame1), "txtComments1");
    txtComments1->setMaxLength(50);
    txtComments2 = named(new MaskedEdit(Frame1), "txtComments2");
    txtComments2->setMaxLength(50);
    for (MaskedEdit* box : {txtSerNum, txtGridRef, txtComments1, txtComments2})
        box->setFont(fixed);
    const int digitsWidth = QFontMetrics(fixed).horizontalAdvance(QStringLiteral("00000000")) + 16;
    txtSerNum->setFixedWidth(digitsWidth);
    txtGridRef->setFixedWidth(digitsWidth);
    // One line: the additional information is one item of the logger's line in the area file.
    txtUserComments = named(new QLineEdit(Frame1), "txtUserComments");
    txtUserComments->setMaxLength(kUserCommentsLimit);
    for (QLineEdit* box :
         {static_cast<QLineEdit*>(txtComments1), static_cast<QLineEdit*>(txtComments2), txtUserComments})
        GuardStorableField(box);
    TxtErrors = named(new QPlainTextEdit(Frame1), "TxtErrors");
    TxtErrors->setReadOnly(true);
    TxtErrors->setTabChangesFocus(true);
    TxtErrors->setFixedHeight(QFontMetrics(font()).lineSpacing() * 3 + 10);
    CheckAutoIncrement = named(new QCheckBox(Frame1), "CheckAutoIncrement");
    cmdUpdateSerial = button(Frame1, "cmdUpdateSerial");

    auto* fields = new QGridLayout(Frame1);
    fields->addWidget(lblSerNum, 0, 0);
    auto* serialRow = new QHBoxLayout;
    serialRow->addWidget(txtSerNum);
    serialRow->addWidget(cmdUpdateSerial);
    serialRow->addStretch(1);
    fields->addLayout(serialRow, 0, 1);
    fields->addWidget(lblGridRef, 1, 0);
    fields->addWidget(txtGridRef, 1, 1, Qt::AlignLeft);
    fields->addWidget(lblComment1, 2, 0);
    fields->addWidget(txtComments1, 2, 1);
    fields->addWidget(lblComment2, 3, 0);
    fields->addWidget(txtComments2, 3, 1);
    fields->addWidget(lblInformation, 4, 0, Qt::AlignTop);
    fields->addWidget(txtUserComments, 4, 1);
    fields->addWidget(Lbl1, 5, 0, Qt::AlignTop);
    fields->addWidget(TxtErrors, 5, 1);
    fields->addWidget(CheckAutoIncrement, 6, 1);
    fields->setColumnStretch(1, 1);

    ListViewEditBox = named(new QTreeWidget(this), "ListViewEditBox");
    ListViewEditBox->setRootIsDecorated(false);
    ListViewEditBox->setUniformRowHeights(true);
    ListViewEditBox->setAllColumnsShowFocus(true);
    ListViewEditBox->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewEditBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewEditBox->setMouseTracking(true);
    ListViewEditBox->installEventFilter(this);
    ListViewEditBox->viewport()->installEventFilter(this);
    ListViewEditBox->setMinimumHeight(200);

    cmdUpdate = button(this, "cmdUpdate");
    cmdUpdate->setDefault(true);
    cmdClose = button(this, "cmdClose");
    cmdGraph = button(this, "cmdGraph");
    cmdGraph->setText(QStringLiteral("&Graph"));
    Command_up = button(this, "Command_up");
    Command_up->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    Command_Down = button(this, "Command_Down");
    Command_Down->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdUpdate);
    buttons->addWidget(Command_up);
    buttons->addWidget(Command_Down);
    buttons->addStretch(1);
    buttons->addWidget(cmdGraph);
    buttons->addWidget(cmdClose);

    auto* left = new QVBoxLayout;
    left->addWidget(Frame1);
    left->addWidget(ListViewEditBox, 1);
    left->addLayout(buttons);

    graph = new LevelSpreadGraph(this);
    graph->setVisible(false);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 0);
    layout->addWidget(graph, 0, Qt::AlignTop);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(cmdUpdate, &QPushButton::clicked, this, &frmDMAEdit::cmdUpdate_Click);
    connect(cmdUpdateSerial, &QPushButton::clicked, this, &frmDMAEdit::cmdUpdateSerial_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmDMAEdit::cmdClose_Click);
    connect(cmdGraph, &QPushButton::clicked, this, &frmDMAEdit::cmdGraph_Click);
    connect(Command_up, &QPushButton::clicked, this, &frmDMAEdit::Command_up_Click);
    connect(Command_Down, &QPushButton::clicked, this, &frmDMAEdit::Command_Down_Click);
    connect(ListViewEditBox, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (!filling_ && current)
            ListViewEditBox_ItemClick(ListViewEditBox->indexOfTopLevelItem(current) + 1);
    });
    connect(ListViewEditBox, &QTreeWidget::itemDoubleClicked, this, [this] { ListViewEditBox_DblClick(); });
    txtSerNum->installEventFilter(this);
    txtComments2->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(Frame1), static_cast<QWidget*>(lblSerNum),
                       static_cast<QWidget*>(lblGridRef), static_cast<QWidget*>(Lbl1)})
        w->installEventFilter(this);
    // Every box and button passes the keyboard through the editor first (eventFilter), for its own keys.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);

    Form_Load();
}

frmDMAEdit::~frmDMAEdit() {
    plat::windows::remove(this);
    if (documents::recordEditor == this)
        documents::recordEditor = nullptr;
}

void frmDMAEdit::Form_Load() {
    LoadResources();
    TxtErrors->clear();
    const QStringList titles = {LoadLangString(txt::BadDate), LoadLangString(txt::BadStatus),
                                LoadLangString(txt::BadLevel), LoadLangString(txt::BadSpread)};
    ListViewEditBox->setHeaderLabels(titles);
    const double w = 330;
    ListViewEditBox->setMinimumWidth(static_cast<int>(w) + 24);
    ListViewEditBox->header()->resizeSection(0, static_cast<int>(w / 3.2));
    for (int c = 1; c <= 3; ++c)
        ListViewEditBox->header()->resizeSection(c, static_cast<int>(w / 5));
    ListViewEditBox->clear();
    txtComments1->setMaxLength(50);
    lblInformation->setText(LoadLangString(txt::AdditionalInformation));
    ConfigureAddress2EditBox();
    graph->reset();
    GraphShown = false;
    adjustSize();
    noGraphWidth_ = width();
}

void frmDMAEdit::LoadResources() {
    cmdClose->setText(LoadLangString(txt::Close));
    CheckAutoIncrement->setText(LoadLangString(txt::MoveToNextLoggerAfter));
    cmdUpdate->setText(LoadLangString(txt::Update));
    cmdUpdateSerial->setText(LoadLangString(txt::UpdateSerial));
    Lbl1->setText(LoadLangString(txt::Errors));
    lblComment1->setText(LoadLangString(txt::Comment1));
    lblComment2->setText(LoadLangString(txt::Comment2));
    lblGridRef->setText(LoadLangString(txt::GridNumber));
    lblSerNum->setText(LoadLangString(txt::SerialNumber));
    graph->setTitles(LoadLangString(txt::Level), LoadLangString(txt::Spread));
    txtSerNum->setBoxText(QStringLiteral("00000000"));
}

void frmDMAEdit::ConfigureAddress2EditBox() {
    const QString code = GetSettingText(QStringLiteral("Address2"), Address2);
    for (int i = 0; i <= 13; ++i) {
        if (code != QString::number(i))
            continue;
        const CoordinateSystem& system = kCoordinateSystems[i];
        lblComment2->setText(system.caption ? QString::fromLatin1(system.caption)
                                            : LoadLangString(txt::DefaultSecondCommentCaption));
        const QString stored = comment2ToStore();
        txtComments2->setMask(QString::fromLatin1(system.mask));
        showComment2(stored);
        break;
    }
    if (plat::vb::Val(code) == 0)
        txtComments2->setMaxLength(50);
    else
        txtComments2->setMaxLength(static_cast<int>(txtComments2->Mask().size()));
}

// --- what the list windows fill ------------------------------------------------------------------------

void frmDMAEdit::setCaption(const QString& caption) {
    setWindowTitle(caption);
}

void frmDMAEdit::clearReadings() {
    // A logger is being loaded: what was changed in the shown one is given up.
    readingsChanged_ = false;
    filling_ = true;
    ListViewEditBox->clear();
    filling_ = false;
}

void frmDMAEdit::addReading(const QString& date, const QString& status, const QString& level, const QString& spread) {
    filling_ = true;
    auto* item = new QTreeWidgetItem(ListViewEditBox, {date, status, level, spread});
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    filling_ = false;
}

void frmDMAEdit::setSerialText(const QString& text) {
    txtSerNum->setBoxText(text);
}

void frmDMAEdit::setGridRefText(const QString& text) {
    txtGridRef->setBoxText(text);
}

void frmDMAEdit::setCommentTexts(const QString& comment1, const QString& comment2, const QString& userComments) {
    txtComments1->setBoxText(comment1);
    showComment2(comment2);
    txtUserComments->setText(userComments);
}

void frmDMAEdit::showComment2(const QString& stored) {
    const QString inBoxForm = isLatLongMask(txtComments2->Mask()) ? latLongBoxText(stored) : QString();
    txtComments2->setBoxText(inBoxForm.isNull() ? stored : inBoxForm);
    comment2Stored_ = stored;
    comment2Shown_ = txtComments2->Text();
}

QString frmDMAEdit::comment2ToStore() const {
    const QString text = txtComments2->Text();
    if (text == comment2Shown_)
        return comment2Stored_;
    if (isLatLongMask(txtComments2->Mask())) {
        const QString pair = latLongFromBox(text);
        if (!pair.isNull())
            return pair;
    }
    return text;
}

void frmDMAEdit::SetLevelAndSpreadGraphItem(int item, const QString& date, int16_t level, int16_t spread) {
    graph->SetLevelAndSpreadGraphItem(item, date, level, spread);
}

void frmDMAEdit::resetGraph() {
    graph->reset();
}

void frmDMAEdit::setRecordSource(frmDMA* window) {
    recordSource_ = window;
    showsRecord_ = window != nullptr;
}

bool frmDMAEdit::holdsChangedReadings(const frmDMA* window) const {
    return readingsChanged_ && showsRecord_ && window && recordSource_.data() == window;
}

void frmDMAEdit::showEditor() {
    // The editor comes back where the user left it. The first time it goes to the right-hand side of the
    // screen, clear of the main window's menus and toolbar.
    if (!placed_) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect free = screen->availableGeometry();
            const QSize size = sizeHint().expandedTo(this->size());
            place_ = QPoint(std::max(free.left(), free.right() - size.width() - 24), free.top() + free.height() / 8);
            placed_ = true;
        }
    }
    if (placed_)
        move(place_);
    show();
    raise();
    // Opened from the list (Enter or a double-click) the editor takes the keyboard.
    activateWindow();
}

void frmDMAEdit::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) {
        place_ = pos();
        placed_ = true;
    }
    QWidget::hideEvent(event);
}

// --- reading the boxes -----------------------------------------------------------------------------------

LoggerRecord frmDMAEdit::recordFromBoxes() const {
    LoggerRecord r;
    int32_t serial = 0;
    plat::vb::toInt32(plat::vb::Val(txtSerNum->Text()), &serial);
    r.Serial = serial;
    r.GridRef = plat::toAnsi(FormatGridRef(txtGridRef->Text()));
    r.Comment1 = plat::toAnsi(txtComments1->Text());
    r.Comment2 = plat::toAnsi(comment2ToStore());
    r.UserComments = plat::toAnsi(txtUserComments->text());
    const int rows = std::min<int>({NumHistories, kMaxReadings, ListViewEditBox->topLevelItemCount()});
    for (int j = 1; j <= rows; ++j) {
        const QTreeWidgetItem* item = ListViewEditBox->topLevelItem(j - 1);
        r.ReadingDate[static_cast<size_t>(j)] = plat::toAnsi(item->text(0));
        r.ReadingStatus[static_cast<size_t>(j)] = plat::toAnsi(item->text(1));
        int16_t v = 0;
        plat::vb::toInt16(plat::vb::Val(item->text(2)), &v);
        r.Level[static_cast<size_t>(j)] = v;
        v = 0;
        plat::vb::toInt16(plat::vb::Val(item->text(3)), &v);
        r.Spread[static_cast<size_t>(j)] = v;
    }
    return r;
}

bool frmDMAEdit::ValidateEditorEntries() {
    QString report;
    bool result = true;
    int32_t value = 0;
    plat::vb::toInt32(plat::vb::Val(txtSerNum->Text()), &value);
    txtSerNum->setBoxText(plat::vb::formatSerialQ(value));
    if (!IsValidSerial(value)) {
        result = false;
        report += LoadLangString(txt::SerialPrefix) + u'\n';
    }
    if (txtGridRef->Text().size() != 8) {
        result = false;
        report += LoadLangString(txt::BadGridRef) + u'\n';
    }
    const int rows = std::min<int>({NumHistories, kMaxReadings, ListViewEditBox->topLevelItemCount()});
    for (int i = 1; i <= rows; ++i) {
        const QTreeWidgetItem* item = ListViewEditBox->topLevelItem(i - 1);
        const struct {
            bool ok;
            int32_t text;
        } checks[] = {
            {IsValidReadingValue(plat::toAnsi(item->text(2))), txt::BadLevel},
            {IsValidReadingValue(plat::toAnsi(item->text(3))), txt::BadSpread},
            {IsValidStatus(plat::toAnsi(item->text(1))), txt::BadStatus},
            {IsValidDate(plat::toAnsi(item->text(0).trimmed())), txt::BadDate},
        };
        for (const auto& check : checks) {
            if (!check.ok) {
                result = false;
                report += LoadLangString(check.text) + u' ' + QString::number(i) + u'\n';
            }
        }
    }
    TxtErrors->setPlainText(report);
    return result;
}

// --- Update ----------------------------------------------------------------------------------------------

void frmDMAEdit::clearShownReadings() {
    if (ListViewEditBox->topLevelItemCount() > 0) {
        const int rows = std::min<int>(NumHistories, ListViewEditBox->topLevelItemCount());
        for (int j = 0; j < rows; ++j)
            for (int c = 0; c < 4; ++c)
                ListViewEditBox->topLevelItem(j)->setText(c, QString());
    } else {
        for (int j = 0; j < NumHistories; ++j)
            addReading(QString(), QString(), QStringLiteral("0"), QStringLiteral("0"));
    }
}

void frmDMAEdit::cmdUpdate_Click() {
    const bool map = mapOpen();
    if (!IsDocumentValid(ActiveDocument)) {
        ShowMessage(LoadLangString(txt::NoDocument), 0);
    } else {
        frmDMA* doc = ActiveDocument.data();
        // A list that takes the focus without a selected row becomes current but leaves the editor showing the
        // logger of the list it came from. Written here, that logger would land in a list it does not belong
        // to, as a new logger or over one with its serial; it goes back only into its own list.
        if (showsRecord_ && recordSource_.data() != doc) {
            ShowMessage(LoadLangString(txt::LoggerOfOtherList), 0);
            return;
        }
        const QString serialText = txtSerNum->Text();
        int32_t serial = 0;
        const bool fits = plat::vb::toInt32(plat::vb::Val(serialText), &serial);
        if (!fits || !IsValidSerial(serial)) {
            bool digitsOnly = !serialText.isEmpty();
            for (QChar c : serialText)
                digitsOnly = digitsOnly && c.isDigit();
            ShowMessage((digitsOnly && fits ? plat::vb::formatSerialQ(serial) : serialText) +
                            LoadLangString(txt::InvalidSerial),
                        0);
            return;
        }
        const int16_t index = doc->GetRecFromSerial(serial);
        if (index == 0) {
            // A serial the window lacks makes a new logger after the selected row. The entries are checked
            // first, so an Update that reports errors leaves no half-made logger behind.
            clearShownReadings();
            if (!ValidateEditorEntries())
                return;
            if (!doc->CreateNewRecord2(serial, static_cast<int16_t>(doc->SelLine + 1)))
                return;
        } else {
            // With no row selected there is no other logger the user might overwrite by mistake.
            const bool rowSelected = doc->SelLine >= 1 && doc->SelLine <= doc->rowCount();
            if (!map && rowSelected && serialText != doc->rowText(doc->SelLine, 0)) {
                const QString question = LoadLangString(txt::OtherRecordWarning) + QStringLiteral("\r\n") +
                                         LoadLangString(txt::OverwriteLoggerQuestion) + plat::vb::formatSerialQ(serial);
                if (ShowMessage(question, plat::MB_YESNO) == plat::IDNO)
                    return;
            }
            if (!ValidateEditorEntries())
                return;
        }
        doc->ModifyRecordBySerialNo(recordFromBoxes());
        readingsChanged_ = false;
        if (!map && CheckAutoIncrement->isChecked())
            sendKeyToList(Qt::Key_Down);
    }
    if (map) {
        programWindows().mapRefreshLoggers();
    } else {
        txtSerNum->setFocus();
    }
}

void frmDMAEdit::sendKeyToList(int key) {
    frmDMA* doc = ActiveDocument.data();
    if (!doc)
        return;
    doc->ListViewDMA->setFocus();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(doc->ListViewDMA, &press);
}

// --- Update Serial ---------------------------------------------------------------------------------------

bool frmDMAEdit::onTop() const {
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void frmDMAEdit::setOnTop(bool on) {
    if (onTop() == on)
        return;
    // Changing the flag hides the window: only a window that was shown is shown again.
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (wasVisible)
        show();
}

void frmDMAEdit::cmdUpdateSerial_Click() {
    const QString newText = txtSerNum->Text();
    setOnTop(false);
    if (ShowMessage(LoadLangString(txt::ChangeSerialQuestion), plat::MB_YESNO) != plat::IDYES) {
        ShowMessage(LoadLangString(txt::SerialNotChanged), plat::MB_SETFOREGROUND);
    } else if (!IsDocumentValid(ActiveDocument)) {
        ShowMessage(LoadLangString(txt::NoDocument), 0);
    } else {
        frmDMA* doc = ActiveDocument.data();
        int32_t serial = -1;
        if (!plat::vb::toInt32(plat::vb::Val(newText), &serial))
            serial = -1;
        // The serial of exactly the selected logger changes, and only to one that no other logger of this
        // list has.
        const bool rowSelected = doc->SelLine >= 1 && doc->SelLine <= doc->rowCount();
        const int index = rowSelected ? doc->rowRecordIndex(doc->SelLine) : 0;
        const int16_t holder = doc->GetRecFromSerial(serial);
        if (index < 1) {
            ShowMessage(LoadLangString(txt::NoSelection), 0);
        } else if (holder != 0 && holder != index) {
            ShowMessage(ExpandNewlines(LoadLangString(txt::SerialInUse)), plat::MB_ICONEXCLAMATION);
        } else if (!IsValidSerial(serial)) {
            ShowMessage(LoadLangString(txt::BadNewSerial), 0);
        } else {
            QString oldText = plat::vb::formatSerialQ(doc->localRecord(index).Serial);
            QString shownNew = plat::vb::formatSerialQ(serial);
            doc->ChangeSerialByRec(index, serial);
            doc->listModel()->recordChanged(index);
            doc->AskForSave = true;
            ShowMessage(oldText + LoadLangString(txt::SerialChanged) + shownNew, 0);
            if (mapOpen()) {
                programWindows().mapUpdateSerial(oldText, shownNew);
                doc->ListViewDMA->viewport()->update();
            }
        }
    }
    setOnTop(true);
}

// --- window rules ----------------------------------------------------------------------------------------

void frmDMAEdit::Form_KeyDown(int& keyCode, int& shift) {
    if (IsDocumentValid(ActiveDocument) && keyCode == kKeyF12) {
        cmdUpdate_Click();
        keyCode = 0;
        shift = 0;
    }
}

void frmDMAEdit::Form_Activate() {
    const bool map = mapOpen();
    txtSerNum->setEnabled(!map);
    txtComments2->setEnabled(!map);
    if (isVisible())
        EditorHasFocus = true;
}

void frmDMAEdit::Form_MouseMove() {
    if (!EditorHasFocus && isVisible())
        activateWindow();
}

void frmDMAEdit::cmdClose_Click() {
    txtSerNum->setEnabled(true);
    txtComments2->setEnabled(true);
    hide();
}

void frmDMAEdit::Form_QueryUnload(bool& cancel) {
    hide();
    cancel = true;
}

void frmDMAEdit::Command_up_Click() {
    if (IsDocumentValid(ActiveDocument) && !mapOpen())
        sendKeyToList(Qt::Key_Up);
}

void frmDMAEdit::Command_Down_Click() {
    if (IsDocumentValid(ActiveDocument) && !mapOpen())
        sendKeyToList(Qt::Key_Down);
}

void frmDMAEdit::txtSerNum_GotFocus() {
    SerialOnFocus = txtSerNum->Text();
    txtSerNum->setSelection(0, 8);
}

int frmDMAEdit::widthWithoutGraph() const {
    return noGraphWidth_;
}

void frmDMAEdit::toggleGraph() {
    GraphShown = !GraphShown;
    graph->setVisible(GraphShown);
    if (GraphShown) {
        const int spacing = layout() ? layout()->spacing() : 6;
        resize(widthWithoutGraph() + graph->sizeHint().width() + spacing, height());
        cmdGraph->setText(LoadLangString(txt::HideGraph));
    } else {
        resize(widthWithoutGraph(), height());
        cmdGraph->setText(LoadLangString(txt::ShowGraph));
    }
}

// --- readings --------------------------------------------------------------------------------------------

void frmDMAEdit::ListViewEditBox_ItemClick(int position) {
    if (position < 1)
        return;
    SelectedReading = static_cast<int16_t>(position);
    graph->markStrip(position - 1);
}

bool frmDMAEdit::NoRecordsToEdit() const {
    return !IsDocumentValid(ActiveDocument) || ActiveDocument->RecordCount < 1;
}

void frmDMAEdit::ListViewEditBox_DblClick() {
    if (NoRecordsToEdit() || !EnHistEdit || SelectedReading < 1 || SelectedReading > kMaxReadings ||
        SelectedReading > ListViewEditBox->topLevelItemCount())
        return;
    QTreeWidgetItem* row = ListViewEditBox->topLevelItem(SelectedReading - 1);
    HistoryDialog dialog(this);
    dialog.TxtDate->setText(row->text(0).trimmed());
    dialog.TxtStatus->setText(row->text(1));
    dialog.TxtLevel->setText(row->text(2));
    dialog.TxtSpread->setText(row->text(3));
    plat::ui().execDialog(&dialog);
    if (dialog.Result) {
        row->setText(0, dialog.TxtDate->text());
        row->setText(1, dialog.TxtStatus->text());
        row->setText(2, dialog.TxtLevel->text());
        row->setText(3, dialog.TxtSpread->text());
        readingsChanged_ = true;
    }
}

// --- events ----------------------------------------------------------------------------------------------

bool frmDMAEdit::isOwnKey(const QKeyEvent* key) const {
    const QKeySequence pressed(key->keyCombination());
    return pressed == QKeySequence(Qt::Key_F12) || buttonOfMnemonic(this, pressed);
}

bool frmDMAEdit::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::ShortcutOverride:
        // The main window's shortcuts and menu keys reach its tool windows too: a key of the editor's own
        // would then be two shortcuts at once, and Qt runs neither (or the main window's menu opens).
        // Claimed here, it comes as a key press (eventFilter, keyPressEvent).
        if (isOwnKey(static_cast<QKeyEvent*>(e))) {
            e->accept();
            return true;
        }
        break;
    case QEvent::WindowActivate:
        Form_Activate();
        break;
    case QEvent::WindowDeactivate:
        EditorHasFocus = false;
        break;
    case QEvent::MouseMove:
        Form_MouseMove();
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

void frmDMAEdit::runOwnKey(const QKeyEvent* e) {
    const QKeySequence pressed(e->keyCombination());
    if (pressed == QKeySequence(Qt::Key_F12)) {
        int keyCode = kKeyF12;
        int shift = 0;
        Form_KeyDown(keyCode, shift);
    } else if (QAbstractButton* b = buttonOfMnemonic(this, pressed)) {
        b->setFocus(Qt::ShortcutFocusReason);
        b->click();
    }
}

void frmDMAEdit::keyPressEvent(QKeyEvent* e) {
    if (isOwnKey(e)) {
        runOwnKey(e);
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool frmDMAEdit::eventFilter(QObject* watched, QEvent* e) {
    // The editor's own keys are claimed before the shortcuts are looked at, and taken before the box or
    // button with the focus can use them (a box would take Alt+S, the readings list would search for "s").
    if (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (isOwnKey(key)) {
            if (e->type() == QEvent::KeyPress)
                runOwnKey(key);
            e->accept();
            return true;
        }
    }
    if (e->type() == QEvent::KeyPress && watched == txtComments2) {
        const QString typed = static_cast<QKeyEvent*>(e)->text();
        if (!typed.isEmpty() && typed[0].isPrint() && !comment2KeyAllowed(typed[0]))
            return true;
    } else if (e->type() == QEvent::FocusIn && watched == txtSerNum) {
        txtSerNum_GotFocus();
    } else if (e->type() == QEvent::FocusIn && watched == ListViewEditBox) {
        // Entering the list marks the reading under its cursor, as a blank key typed into it would.
        QKeyEvent* space = new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QCoreApplication::postEvent(ListViewEditBox, space);
    } else if (e->type() == QEvent::KeyPress && watched == ListViewEditBox) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ListViewEditBox_DblClick();
            return true;
        }
    } else if (e->type() == QEvent::MouseMove) {
        if (watched == ListViewEditBox->viewport()) {
            if (!EditorHasFocus && isVisible()) {
                activateWindow();
                EditorHasFocus = true;
            }
        } else if (watched == Frame1 || watched == lblSerNum || watched == lblGridRef || watched == Lbl1) {
            Form_MouseMove();
        }
    }
    return QWidget::eventFilter(watched, e);
}
