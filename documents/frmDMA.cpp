#include "documents/frmDMA.h"

#include "core/ProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/DocumentLinks.h"
#include "documents/LoggerCommands.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/TextCodec.h"
#include "platform/Twips.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"
#include "platform/WindowRegistry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetricsF>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMdiArea>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace {

// Caption text numbers of the eleven columns, in column order.
constexpr int32_t kCaptionTexts[LoggerListModel::kColumns] = {txt::SerialPrefix,
                                                              txt::GridRefCaption,
                                                              txt::Deployed,
                                                              txt::Received,
                                                              txt::Comment1,
                                                              txt::Comment2,
                                                              txt::BadDate,
                                                              txt::BadStatus,
                                                              txt::BadLevel,
                                                              txt::BadSpread,
                                                              txt::AdditionalInformation};

constexpr double kDefaultFormWidth = 9450;
constexpr double kListMargin = 10; // twips around the list

// Copying thousands of records reports its progress in the status bar. Nothing is painted while the copy
// runs, so only every few hundredth text (and the last) is worth setting.
constexpr int kProgressStep = 256;

QString coordinateCaption(const QString& code) {
    static const char* const kGrids[] = {nullptr,    "Lat/Long", "BNG Grid",  "RD Grid", "KKJ Grid",
                                         "GK Grid",  "ITM Grid", "MGRS Grid", "NZ Grid", "SG Grid",
                                         "SUI Grid", "T67 Grid", "UTM Grid",  "QNG Grid"};
    for (int i = 0; i <= 13; ++i) {
        if (code == QString::number(i))
            return i == 0 ? LoadLangString(txt::DefaultSecondCommentCaption) : QString::fromLatin1(kGrids[i]);
    }
    return QString();
}

QLocale userLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

// Stored layout numbers are written with the user's locale; a value edited by hand into something that is
// not a number counts as absent.
double settingNumber(const QString& key, double def) {
    const QString text = GetSettingText(key, QString()).trimmed();
    if (text.isEmpty())
        return def;
    bool ok = false;
    double v = userLocale().toDouble(text, &ok);
    if (!ok)
        v = QLocale::c().toDouble(text, &ok);
    return ok ? v : def;
}

QString numberText(double value) {
    return userLocale().toString(static_cast<float>(value), 'g', 7);
}

} // namespace

LoggerRecord NewBlankRecord() {
    LoggerRecord r;
    r.Serial = 99999999;
    r.GridRef = "__ ____ ____";
    r.Comment1 = LoadLangAnsi(txt::BlankComment);
    return r;
}

// ---------------------------------------------------------------------------------------------------------
// frmDMA

const char* const frmDMA::kColumnNames[LoggerListModel::kColumns] = {"SerialNo", "GridRef",  "Deployed",    "Received",
                                                                     "Comment1", "Comment2", "Date",        "Status",
                                                                     "Level",    "Spread",   "UserComments"};

frmDMA::frmDMA(QWidget* parent) : plat::Form<QMdiSubWindow>(parent) {
    setObjectName(QStringLiteral("frmDMA"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    plat::windows::add(this, QStringLiteral("frmDMA"));
    LocalRecords.resize(1);

    body_ = new QWidget;
    auto* layout = new QVBoxLayout(body_);
    const int margin = std::max(1, plat::twips::toPixelsX(kListMargin));
    layout->setContentsMargins(margin, margin, margin, margin);
    ListViewDMA = new QTreeView(body_);
    ListViewDMA->setObjectName(QStringLiteral("ListViewDMA"));
    ListViewDMA->setRootIsDecorated(false);
    ListViewDMA->setItemsExpandable(false);
    ListViewDMA->setUniformRowHeights(true);
    ListViewDMA->setAllColumnsShowFocus(true);
    ListViewDMA->setAlternatingRowColors(true);
    ListViewDMA->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewDMA->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewDMA->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewDMA->setMouseTracking(true);
    ListViewDMA->viewport()->setMouseTracking(true);
    model_ = new LoggerListModel(&LocalRecords, this);
    ListViewDMA->setModel(model_);
    QHeaderView* header = ListViewDMA->header();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(0);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(ListViewDMA);
    // The body only holds the list: the focus given to the window's widget (a window just opened, or brought
    // forward by the area) is the list's, so the arrow keys and Enter work at once.
    body_->setFocusProxy(ListViewDMA);
    setWidget(body_);
    setMouseTracking(true);

    ListViewDMA->installEventFilter(this);
    ListViewDMA->viewport()->installEventFilter(this);
    connect(this, &QMdiSubWindow::aboutToActivate, this, &frmDMA::Form_Activate);
    connect(header, &QHeaderView::sectionClicked, this, [this](int logical) { ListViewDMA_ColumnClick(logical + 1); });
    connect(ListViewDMA, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { ListViewDMA_ItemClick(index.row() + 1); });
    connect(ListViewDMA->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { onCurrentRowChanged(current.row()); });

    Form_Load();
}

frmDMA::~frmDMA() {
    plat::windows::remove(this);
    if (ActiveDocument == this)
        ActiveDocument = nullptr;
}

int frmDMA::listWidthPixels() const {
    // The window is not shown yet when its columns are made: its inner width is its width less the frame.
    const int frame = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
    const int margin = std::max(1, plat::twips::toPixelsX(kListMargin));
    return std::max(0, width() - 2 * frame - 2 * margin);
}

void frmDMA::Form_Load() {
    AutoSize = false;
    const double formWidth = settingNumber(QStringLiteral("DMAForm_Width"), kDefaultFormWidth);
    const double formHeight = settingNumber(QStringLiteral("DMAForm_Height"), formWidth * 0.66);
    resize(std::max(1, plat::twips::toPixelsX(formWidth)), std::max(1, plat::twips::toPixelsY(formHeight)));

    QHeaderView* header = ListViewDMA->header();
    const double listWidth = plat::twips::fromPixelsX(listWidthPixels());
    for (int c = 0; c < LoggerListModel::kColumns; ++c) {
        model_->setCaption(c, LoadLangString(kCaptionTexts[c]));
        const double def = listWidth * (c == 0 ? 0.1 : 0.09);
        const double w = settingNumber(QString::fromLatin1(kColumnNames[c]) + QStringLiteral("_ColWidth"), def);
        header->resizeSection(c, std::max(0, plat::twips::toPixelsX(w)));
    }
    // Positions are display places 1..11. Placing the columns in the order of their stored places gives back
    // exactly the stored arrangement; a hand-edited set with gaps or repeats still gives a usable order.
    std::vector<std::pair<int, int>> places;
    for (int c = 0; c < LoggerListModel::kColumns; ++c) {
        const double p = settingNumber(QString::fromLatin1(kColumnNames[c]) + QStringLiteral("_ColPosition"), c + 1);
        places.emplace_back(static_cast<int>(p), c);
    }
    std::stable_sort(places.begin(), places.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (int visual = 0; visual < LoggerListModel::kColumns; ++visual)
        header->moveSection(header->visualIndex(places[static_cast<size_t>(visual)].second), visual);

    UpdateCommentsColumnHeader();
    model_->clearRows();
    Form_Resize();
    programWindows().AutoSizeColumns(0, true);
    MouseFocusTaken = false;
}

void frmDMA::Form_Resize() {
    // The layout keeps the list inside the window's margins; only the auto-size option needs doing here.
    if (!AutoSize)
        return;
    if (ActiveDocument == this) {
        programWindows().AutoSizeColumns(-1, true);
    } else {
        // Tiling resizes windows that are not the current one: each fits its own columns.
        bool show = true;
        AutoSizeColumnsOf(this, -1, show);
    }
}

void frmDMA::resizeEvent(QResizeEvent* event) {
    // The list gets its new size after the window's own resize event, so the auto-size step runs when the
    // list's viewport is resized (see eventFilter): column widths then come from the width the list has now.
    QMdiSubWindow::resizeEvent(event);
}

namespace {

// Text widths without shaping: the sum of the advances of a text's characters, each character measured once.
// Shaping (kerning, ligatures) only brings a Latin text's glyphs closer, so the sum is the width of the text
// or a little more.
class AdvanceSums {
public:
    explicit AdvanceSums(const QFont& font) : metrics_(font) { latin_.fill(-1.0); }
    qreal of(const QString& text) {
        qreal sum = 0;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u < latin_.size()) {
                qreal& a = latin_[u];
                if (a < 0)
                    a = metrics_.horizontalAdvance(c);
                sum += a;
            } else {
                auto it = other_.find(u);
                if (it == other_.end())
                    it = other_.insert(u, metrics_.horizontalAdvance(c));
                sum += *it;
            }
        }
        return sum;
    }

private:
    QFontMetricsF metrics_;
    std::array<qreal, 256> latin_{};
    QHash<char16_t, qreal> other_;
};

} // namespace

void frmDMA::FitColumnsToValues() {
    // A shown column is never narrower than the widest text it holds; hidden columns (width 0) are left alone.
    // The header does not stretch the last column, so it is fitted like the others.
    // Shaping every cell's text would cost more than reading the file: each text is sized by its characters'
    // advances, and only the texts with the largest sums are measured whole. A text left unmeasured counts
    // with its sum, which is never less than its width.
    constexpr size_t kMeasured = 8;
    QHeaderView* header = ListViewDMA->header();
    const QFontMetrics metrics(ListViewDMA->font());
    const int padding =
        2 * (ListViewDMA->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListViewDMA) + 1) +
        metrics.horizontalAdvance(QLatin1Char(' '));
    AdvanceSums sums(ListViewDMA->font());
    const std::vector<int>& rows = model_->rows();
    std::vector<std::pair<qreal, int>> sized; // sum, record
    sized.reserve(rows.size());
    for (int column = 0; column < LoggerListModel::kColumns; ++column) {
        if (header->sectionSize(column) <= 0 || header->isSectionHidden(column))
            continue;
        sized.clear();
        for (const int rec : rows)
            sized.emplace_back(sums.of(LoggerRowText(localRecord(rec), column)), rec);
        const size_t top = std::min(sized.size(), kMeasured + 1);
        std::partial_sort(sized.begin(), sized.begin() + static_cast<std::ptrdiff_t>(top), sized.end(),
                          [](const auto& a, const auto& b) { return a.first > b.first; });
        int widest = 0;
        for (size_t k = 0; k < top; ++k) {
            widest = std::max(
                widest, k < kMeasured ? metrics.horizontalAdvance(LoggerRowText(localRecord(sized[k].second), column))
                                      : static_cast<int>(std::ceil(sized[k].first)));
        }
        if (widest > 0 && header->sectionSize(column) < widest + padding)
            header->resizeSection(column, widest + padding);
    }
}

void frmDMA::Form_Activate() {
    programWindows().setAutoSizeChecked(AutoSize);
}

void frmDMA::UpdateCommentsColumnHeader() {
    const QString caption = coordinateCaption(GetSettingText(QStringLiteral("Address2"), Address2));
    if (!caption.isNull())
        model_->setCaption(5, caption);
}

// --- records ---------------------------------------------------------------------------------------------

const LoggerRecord& frmDMA::localRecord(int index) const {
    static const LoggerRecord kEmpty;
    return index >= 0 && index < static_cast<int>(LocalRecords.size()) ? LocalRecords[static_cast<size_t>(index)]
                                                                       : kEmpty;
}

void frmDMA::GetLocalRec(int32_t serial, int16_t slot) {
    if (!validSlot(slot))
        return;
    const int16_t index = GetRecFromSerial(serial);
    LoggerTable[static_cast<size_t>(slot)] = index > 0 ? LocalRecords[static_cast<size_t>(index)] : NewBlankRecord();
}

void frmDMA::GetLocalRecByIndex(long slot, int16_t index) {
    if (!validSlot(slot) || !validIndex(index)) {
        qWarning("GetLocalRecByIndex: slot %ld or record %d out of range", slot, index);
        return;
    }
    LoggerTable[static_cast<size_t>(slot)] = LocalRecords[static_cast<size_t>(index)];
}

void frmDMA::PutLocalRecByIndex(long slot, int16_t index) {
    if (!validSlot(slot) || !validIndex(index)) {
        qWarning("PutLocalRecByIndex: slot %ld or record %d out of range", slot, index);
        return;
    }
    LocalRecords[static_cast<size_t>(index)] = LoggerTable[static_cast<size_t>(slot)];
}

bool frmDMA::GetLocalRecBySelection() {
    if (RecordCount < 1 || SelLine < 1 || SelLine > rowCount())
        return false;
    MakeVisibleListLine(SelLine);
    ListViewDMA->setFocus();
    const double serial = plat::vb::Val(rowText(SelLine, 0));
    GetLocalRec(static_cast<int32_t>(serial), static_cast<int16_t>(kMaxLoggers));
    return true;
}

void frmDMA::CopyFrom_DMAModule() {
    if (LoggerCount < 1) {
        ShowStatusText(LoadLangString(txt::NoLoggers));
        return;
    }
    const int count = std::min<int>(LoggerCount, kMaxLoggers);
    LocalRecords.assign(LoggerTable.begin(), LoggerTable.begin() + count + 1);
    LocalRecords[0] = LoggerRecord();
    RecordCount = static_cast<int16_t>(count);
    const QString before = LoadLangString(txt::LoadingLogger);
    const QString after = LoadLangString(txt::LoadingLoggerEnd);
    for (int i = 1; i <= count; ++i)
        if (i % kProgressStep == 0 || i == count)
            ShowStatusText(before + QString::number(i) + after);
    model_->fillRows(count);
    FitColumnsToValues();
    SelLine = 1;
    MakeVisibleListLine(1);
    MakeActiveDocument();
    LoadRecordIntoEditor(1);
    ShowStatusText(QString());
}

bool frmDMA::CopyTo_DMAModule() {
    // The table and the file formats hold 7000 loggers; a longer list is refused as a whole rather than
    // written past the table or cut short.
    if (RecordCount > kMaxLoggers) {
        ShowMessage(LoadLangString(txt::TooManyLoggers), 0);
        return false;
    }
    if (LoggerTable.size() < static_cast<size_t>(kMaxLoggers + 1))
        LoggerTable.resize(static_cast<size_t>(kMaxLoggers + 1));
    LoggerCount = RecordCount;
    const QString prefix = LoadLangString(txt::PreparingLogger);
    const int histories = std::clamp<int>(NumHistories, 0, kMaxReadings);
    for (int i = 1; i <= RecordCount; ++i) {
        LoggerRecord r = LocalRecords[static_cast<size_t>(i)];
        for (int j = 1; j <= histories; ++j) {
            r.ReadingDate[static_cast<size_t>(j)] =
                plat::toAnsi(plat::fromAnsi(r.ReadingDate[static_cast<size_t>(j)]).trimmed());
            r.ReadingStatus[static_cast<size_t>(j)] =
                plat::toAnsi(plat::fromAnsi(r.ReadingStatus[static_cast<size_t>(j)]).trimmed().toUpper());
        }
        LoggerTable[static_cast<size_t>(i)] = std::move(r);
        if (i % kProgressStep == 0 || i == RecordCount)
            ShowStatusText(prefix + QString::number(i));
    }
    return true;
}

void frmDMA::ReLoad() {
    model_->clearRows();
    if (RecordCount < 1)
        return;
    model_->fillRows(RecordCount);
    SelLine = 1;
    MakeVisibleListLine(1);
    MakeActiveDocument();
    if (!plat::windows::topLevelTitled(QStringLiteral("GPS")))
        LoadRecordIntoEditor(1);
    ShowStatusText(LoadLangString(txt::ListReloaded));
}

void frmDMA::NextLine() {
    ListViewDMA->setFocus();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
    QCoreApplication::sendEvent(ListViewDMA, &key);
}

void frmDMA::PrevLine() {
    ListViewDMA->setFocus();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QCoreApplication::sendEvent(ListViewDMA, &key);
}

void frmDMA::ChangeSerialByRec(long index, int32_t serial) {
    if (!validIndex(index))
        return;
    LocalRecords[static_cast<size_t>(index)].Serial = serial;
}

int16_t frmDMA::GetRecFromSerial(int32_t serial) const {
    for (int i = 1; i <= RecordCount; ++i)
        if (LocalRecords[static_cast<size_t>(i)].Serial == serial)
            return static_cast<int16_t>(i);
    return 0;
}

int16_t frmDMA::GetLineFromSerial(int32_t serial) const {
    // A row's text is its record's serial in eight digits, whose value is the serial itself: comparing the
    // numbers finds the same row without writing and reading back a text per row.
    const int rows = std::min<int>(RecordCount, rowCount());
    for (int p = 1; p <= rows; ++p) {
        const int rec = model_->recordAt(p);
        if (rec > 0 && localRecord(rec).Serial == serial)
            return static_cast<int16_t>(p);
    }
    return 0;
}

int16_t frmDMA::lineOfRecord(int recordIndex) const {
    const auto& rows = model_->rows();
    const auto at = std::find(rows.begin(), rows.end(), recordIndex);
    return at == rows.end() ? int16_t(0) : static_cast<int16_t>(at - rows.begin() + 1);
}

// --- rows ------------------------------------------------------------------------------------------------

int frmDMA::rowCount() const {
    return model_->rowCount();
}
int frmDMA::rowRecordIndex(int position) const {
    return model_->recordAt(position);
}

QString frmDMA::rowKey(int position) const {
    const int rec = model_->recordAt(position);
    return rec > 0 ? QString::number(rec) + u'x' : QString();
}

QString frmDMA::rowText(int position, int column) const {
    const int rec = model_->recordAt(position);
    return rec > 0 ? LoggerRowText(localRecord(rec), column) : QString();
}

QString frmDMA::columnCaption(int column) const {
    return model_->caption(column - 1);
}

void frmDMA::selectRow(int position) {
    if (position < 1 || position > rowCount() || model_->batching())
        return;
    const QModelIndex index = model_->index(position - 1, 0);
    programmatic_ = true;
    ListViewDMA->selectionModel()->setCurrentIndex(index,
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ListViewDMA->scrollTo(index);
    scrollIntoSight(index);
    programmatic_ = false;
}

void frmDMA::scrollIntoSight(const QModelIndex& index) {
    // The list shows its rows in its viewport, but a window taller than the document area has its lower part
    // hidden below the area's edge, where the list's own scrolling counts a row as shown.
    QWidget* viewport = ListViewDMA->viewport();
    QRect seen = viewport->rect();
    for (QWidget* w = viewport->parentWidget(); w != nullptr; w = w->parentWidget()) {
        seen &= QRect(viewport->mapFrom(w, QPoint(0, 0)), w->size());
        if (w->isWindow())
            break;
    }
    QScrollBar* bar = ListViewDMA->verticalScrollBar();
    if (seen.isEmpty())
        return;
    // One step at a time, as far as the list can go: row heights are the list's business.
    for (QRect row = ListViewDMA->visualRect(index);
         row.bottom() > seen.bottom() && row.top() > seen.top() && bar->value() < bar->maximum();
         row = ListViewDMA->visualRect(index))
        bar->setValue(bar->value() + bar->singleStep());
    for (QRect row = ListViewDMA->visualRect(index); row.top() < seen.top() && bar->value() > bar->minimum();
         row = ListViewDMA->visualRect(index))
        bar->setValue(bar->value() - bar->singleStep());
}

void frmDMA::MakeVisibleListLine(int16_t line) {
    SelLine = line;
    selectRow(line);
}

// --- document and editor ---------------------------------------------------------------------------------

void frmDMA::MakeActiveDocument() {
    if (documents::recordEditor) {
        documents::recordEditor->setCaption(DMAName);
        documents::recordEditor->setNumHistories(NumHistories);
    }
    ActiveDocument = this;
}

void frmDMA::ReleaseActiveDocument() {
    if (documents::recordEditor) {
        documents::recordEditor->setCaption(QString());
        documents::recordEditor->setNumHistories(0);
    }
    ActiveDocument = nullptr;
}

void frmDMA::LoadRecordIntoEditor(int16_t index) {
    IRecordEditorView* editor = documents::recordEditor;
    if (editor)
        editor->clearReadings();
    if (index >= 1 && validIndex(index)) {
        const LoggerRecord& r = LocalRecords[static_cast<size_t>(index)];
        if (editor) {
            for (int j = 1; j <= kMaxReadings; ++j) {
                const QString date = plat::fromAnsi(r.ReadingDate[static_cast<size_t>(j)]).trimmed();
                editor->addReading(date.isEmpty() ? QStringLiteral(" ") : date,
                                   plat::fromAnsi(r.ReadingStatus[static_cast<size_t>(j)]),
                                   QString::number(r.Level[static_cast<size_t>(j)]),
                                   QString::number(r.Spread[static_cast<size_t>(j)]));
            }
            editor->setSerialText(plat::vb::formatSerialQ(r.Serial));
            // A record without a grid reference shows an empty one: keeping the previous record's digits
            // would write them into this record at the next Update.
            editor->setGridRefText(r.GridRef.empty() ? QStringLiteral("________")
                                                     : GridRefDigits(plat::fromAnsi(r.GridRef)));
            editor->setCommentTexts(plat::fromAnsi(r.Comment1), plat::fromAnsi(r.Comment2),
                                    plat::fromAnsi(r.UserComments));
            editor->setRecordSource(this);
        }
        MakeActiveDocument();
        if (editor)
            for (int j = 1; j <= kMaxReadings; ++j)
                editor->SetLevelAndSpreadGraphItem(j - 1, plat::fromAnsi(r.ReadingDate[static_cast<size_t>(j)]),
                                                   r.Level[static_cast<size_t>(j)], r.Spread[static_cast<size_t>(j)]);
    } else if (index < 1 && ActiveDocument == this) {
        if (editor) {
            editor->setSerialText(QStringLiteral("00000000"));
            editor->setGridRefText(QStringLiteral("________"));
            editor->setCommentTexts(QString(), QString(), QString());
            editor->setRecordSource(nullptr);
        }
        ReleaseActiveDocument();
    }
}

// --- list events -----------------------------------------------------------------------------------------

void frmDMA::ListViewDMA_ItemClick(int position) {
    SelLine = static_cast<int16_t>(position);
    LoadRecordIntoEditor(static_cast<int16_t>(rowRecordIndex(position)));
    ShowStatusText(LoadLangString(txt::LoggerOf) + QString::number(SelLine) + LoadLangString(txt::LoggerOfEnd) +
                   QString::number(RecordCount));
}

void frmDMA::onCurrentRowChanged(int row) {
    // Moving through the list with the keys follows the selection as a click does; selections the program
    // makes itself, and the press of a mouse click (the click follows), do not.
    if (programmatic_ || row < 0 || QApplication::mouseButtons() != Qt::NoButton)
        return;
    ListViewDMA_ItemClick(row + 1);
}

void frmDMA::ListViewDMA_DblClick() {
    programWindows().showEditor();
    if (WindowFollowMouse) {
        MouseFocusTaken = true;
        if (mdiArea())
            mdiArea()->setActiveSubWindow(this);
        ListViewDMA->setFocus();
    }
}

void frmDMA::ListViewDMA_ColumnClick(int column) {
    const QString caption = columnCaption(column);
    Qt::SortOrder order;
    QString status;
    if (!model_->sorted() || model_->sortOrder() == Qt::AscendingOrder) {
        order = Qt::DescendingOrder;
        status = caption + LoadLangString(txt::SortedDescending);
    } else {
        order = Qt::AscendingOrder;
        status = caption + LoadLangString(txt::SortedAscending);
    }
    // The selected logger stays the one the commands act on, wherever the sort puts its row.
    const int selected = rowRecordIndex(SelLine);
    model_->sortBy(column - 1, order);
    if (selected > 0)
        SelLine = lineOfRecord(selected);
    ListViewDMA->header()->setSortIndicatorShown(true);
    ListViewDMA->header()->setSortIndicator(column - 1, order);
    ShowStatusText(status);
}

void frmDMA::ListViewDMA_GotFocus() {
    MakeActiveDocument();
    if (SelLine > 0) {
        MakeVisibleListLine(SelLine);
        // The list gets the focus back whenever a dialog of the editor closes (the window manager gives it
        // to the main window): a reading changed in that dialog stays in the editor until Update writes it
        // or the user moves to another logger.
        IRecordEditorView* editor = documents::recordEditor;
        if (!editor || !editor->holdsChangedReadings(this))
            LoadRecordIntoEditor(static_cast<int16_t>(rowRecordIndex(SelLine)));
    }
}

void frmDMA::ListViewDMA_LostFocus() {
    MouseFocusTaken = false;
}

void frmDMA::Form_MouseMove() {
    if (!WindowFollowMouse || MouseFocusTaken)
        return;
    if (mdiArea())
        mdiArea()->setActiveSubWindow(this);
    ListViewDMA->setFocus();
    MouseFocusTaken = true;
}

bool frmDMA::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListViewDMA) {
        switch (event->type()) {
        case QEvent::FocusIn:
            ListViewDMA_GotFocus();
            break;
        case QEvent::FocusOut:
            ListViewDMA_LostFocus();
            break;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                ListViewDMA_DblClick();
                return true;
            }
            break;
        }
        default:
            break;
        }
    } else if (watched == ListViewDMA->viewport()) {
        if (event->type() == QEvent::Resize)
            Form_Resize();
        else if (event->type() == QEvent::MouseMove)
            Form_MouseMove();
        else if (event->type() == QEvent::MouseButtonDblClick) {
            ListViewDMA_DblClick();
            return true;
        }
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

// --- closing ---------------------------------------------------------------------------------------------

void frmDMA::Form_QueryUnload(bool& cancel) {
    if (!AskForSave)
        return;
    const QString prompt = LoadLangString(txt::SavePrompt) + (NeverBeenSaved ? DMAName : windowTitle()) + u'?';
    const int answer =
        ShowMessage(prompt, plat::MB_YESNOCANCEL | plat::MB_ICONEXCLAMATION | plat::MB_DEFBUTTON2, plat::appTitle());
    if (answer == plat::IDYES) {
        // The window closes only once its records are in its file: a cancelled or failed save keeps it.
        cancel = !SaveLoggerDocument(this);
    } else if (answer != plat::IDNO) {
        cancel = true;
    }
}

void frmDMA::Form_Unload() {
    if (ActiveDocument == this) {
        SaveSettingText(QStringLiteral("DMAForm_Width"), numberText(plat::twips::fromPixelsX(width())));
        SaveSettingText(QStringLiteral("DMAForm_Height"), numberText(plat::twips::fromPixelsY(height())));
        QHeaderView* header = ListViewDMA->header();
        for (int c = 0; c < LoggerListModel::kColumns; ++c)
            SaveSettingText(QString::fromLatin1(kColumnNames[c]) + QStringLiteral("_ColWidth"),
                            numberText(plat::twips::fromPixelsX(header->sectionSize(c))));
        for (int c = 0; c < LoggerListModel::kColumns; ++c)
            SaveSettingText(QString::fromLatin1(kColumnNames[c]) + QStringLiteral("_ColPosition"),
                            QString::number(header->visualIndex(c) + 1));
        LoadRecordIntoEditor(0);
        model_->clearRows();
        if (documents::recordEditor)
            documents::recordEditor->resetGraph();
        ReleaseActiveDocument();
    }
}
