#include "frmCatalogue.h"

#include "Catalogue.h"
#include "ProgramWindows.h"
#include "Settings.h"
#include "Shared.h"
#include "lang/LangText.h"
#include "platform/Paths.h"
#include "platform/WindowRegistry.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const QString kParentEntry = QStringLiteral("..");
} // namespace

void FillDriveList(QComboBox* drives, const QString& folder) {
    const QSignalBlocker block(drives);
    drives->clear();
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady())
            roots.append(volume.rootPath());
    }
    if (!roots.contains(QStringLiteral("/")))
        roots.append(QStringLiteral("/"));
    roots.removeDuplicates();
    std::sort(roots.begin(), roots.end());
    drives->addItems(roots);
    drives->setCurrentIndex(drives->findText(QStorageInfo(folder).rootPath()));
    if (drives->currentIndex() < 0)
        drives->setCurrentIndex(drives->findText(QStringLiteral("/")));
}

void FillFolderList(QListWidget* folders, const QString& folder) {
    const QSignalBlocker block(folders);
    folders->clear();
    if (!QDir(folder).isRoot())
        folders->addItem(kParentEntry);
    folders->addItems(plat::listSubfolders(folder));
}

QString FolderOfEntry(const QString& folder, const QListWidgetItem* entry) {
    if (entry == nullptr)
        return folder;
    if (entry->text() == kParentEntry)
        return QDir::cleanPath(folder + QStringLiteral("/.."));
    return QDir::cleanPath(folder + u'/' + entry->text());
}

QString ExistingFolder(const QString& anyPath) {
    QString folder = QDir::cleanPath(QFileInfo(plat::resolvePath(anyPath)).absoluteFilePath());
    while (!folder.isEmpty()) {
        if (QFileInfo(folder).isDir())
            return folder;
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    return QDir::homePath();
}

namespace {
// What the window shows survives its closing for the rest of the run: the main window makes a new window on
// each showing, and the user expects the serials and results of the last search to be there.
struct CatalogueState {
    bool loaded = false;
    QString entry;
    QStringList serials;
    QStringList found;
    bool openEnabled = false;
    QString status;
};
CatalogueState& SavedState() {
    static CatalogueState state;
    return state;
}
} // namespace

void ForgetCatalogueState() {
    SavedState() = CatalogueState{};
}

QString CatalogueTitle(const QString& folder) {
    // "Search for serial number in files - <folder>", from the menu's own captions: the folder alone, often
    // just "/", does not say what the window is for.
    QString search = LoadLangString(txt::Search);
    search.remove(u'&');
    QString what = LoadLangString(txt::ForSerialNumberInFiles);
    what.remove(u'&');
    while (what.endsWith(u'.'))
        what.chop(1);
    if (!what.isEmpty())
        what[0] = what[0].toLower();
    return search + u' ' + what.trimmed() + QStringLiteral(" - ") + QDir::toNativeSeparators(folder);
}

frmCatalogue::frmCatalogue(QWidget* parent) : plat::Form<QDialog>(parent) {
    setObjectName(QStringLiteral("frmCatalogue"));
    TxtSerial = new QLineEdit(this);
    ListSer = new QListWidget(this);
    cmdAddSerial = new QPushButton(this);
    cmdRemoveSer = new QPushButton(this);
    cmdClearSer = new QPushButton(this);
    LblSerial = new QLabel(this);
    Drive1 = new QComboBox(this);
    Dir1 = new QListWidget(this);
    File1 = new QListWidget(this);
    cmdFind = new QPushButton(this);
    List_found = new QListWidget(this);
    CmdOpen = new QPushButton(this);
    Command1 = new QPushButton(this);
    cmdCancel = new QPushButton(this);
    Label1 = new QLabel(this);
    Frame1 = new QGroupBox(this);
    Frame2 = new QGroupBox(this);

    List_found->setSelectionMode(QAbstractItemView::ExtendedSelection);
    File1->setSelectionMode(QAbstractItemView::NoSelection);
    Label1->setFrameShape(QFrame::StyledPanel);
    Label1->setTextFormat(Qt::PlainText);

    auto* serialBox = new QGridLayout(Frame1);
    serialBox->addWidget(LblSerial, 0, 0);
    serialBox->addWidget(TxtSerial, 0, 1);
    serialBox->addWidget(cmdAddSerial, 0, 2);
    serialBox->addWidget(ListSer, 1, 0, 3, 2);
    serialBox->addWidget(cmdRemoveSer, 1, 2);
    serialBox->addWidget(cmdClearSer, 2, 2);
    serialBox->setRowStretch(3, 1);

    auto* folderBox = new QVBoxLayout(Frame2);
    folderBox->addWidget(Drive1);
    auto* lists = new QHBoxLayout;
    lists->addWidget(Dir1);
    lists->addWidget(File1);
    folderBox->addLayout(lists);

    auto* results = new QVBoxLayout;
    results->addWidget(cmdFind);
    results->addWidget(List_found, 1);
    auto* resultButtons = new QHBoxLayout;
    resultButtons->addWidget(CmdOpen);
    resultButtons->addWidget(Command1);
    resultButtons->addWidget(cmdCancel);
    results->addLayout(resultButtons);

    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(Frame1);
    left->addWidget(Frame2, 1);
    top->addLayout(left, 1);
    top->addLayout(results, 1);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top, 1);
    outer->addWidget(Label1);
    resize(760, 480);

    connect(TxtSerial, &QLineEdit::textChanged, this, [this] { TxtSerial_Change(); });
    connect(TxtSerial, &QLineEdit::returnPressed, this, [this] { cmdAddSerial_Click(); });
    connect(cmdAddSerial, &QPushButton::clicked, this, [this] { cmdAddSerial_Click(); });
    connect(cmdRemoveSer, &QPushButton::clicked, this, [this] { cmdRemoveSer_Click(); });
    connect(cmdClearSer, &QPushButton::clicked, this, [this] { cmdClearSer_Click(); });
    connect(cmdFind, &QPushButton::clicked, this, [this] { cmdFind_Click(); });
    connect(CmdOpen, &QPushButton::clicked, this, [this] { CmdOpen_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
    connect(Dir1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { Dir1_Change(FolderOfEntry(folder_, item)); });
    // Buttons must not turn Enter in the serial box into a Find.
    for (QPushButton* b : {cmdAddSerial, cmdRemoveSer, cmdClearSer, cmdFind, CmdOpen, Command1, cmdCancel})
        b->setAutoDefault(false);

    plat::windows::add(this, QStringLiteral("frmCatalogue"));
    CatalogueState& state = SavedState();
    if (!state.loaded) {
        Form_Load();
        state.loaded = true;
        return;
    }
    LoadResources();
    Dir1_Change(ExistingFolder(CataloguePath));
    {
        const QSignalBlocker block(TxtSerial);
        TxtSerial->setText(state.entry);
    }
    ListSer->addItems(state.serials);
    found_ = state.found;
    showFound();
    CmdOpen->setEnabled(state.openEnabled);
    Label1->setText(state.status);
}

frmCatalogue::~frmCatalogue() {
    CatalogueState& state = SavedState();
    state.entry = TxtSerial->text();
    state.serials = serials();
    state.found = found_;
    state.openEnabled = CmdOpen->isEnabled();
    state.status = Label1->text();
    plat::windows::remove(this);
}

void frmCatalogue::LoadResources() {
    cmdClearSer->setText(LoadLangString(txt::CLear));
    cmdRemoveSer->setText(LoadLangString(txt::RemoveButton));
    cmdAddSerial->setText(LoadLangString(txt::AddButton));
    LblSerial->setText(LoadLangString(txt::CatalogueSerialLabel));
    Command1->setText(LoadLangString(txt::ClearResults));
    CmdOpen->setText(LoadLangString(txt::OpenButton));
    cmdFind->setText(LoadLangString(txt::FindButton));
    cmdCancel->setText(LoadLangString(txt::CancelButton));
}

void frmCatalogue::Form_Load() {
    LoadResources();
    List_found->clear();
    found_.clear();
    CmdOpen->setEnabled(false);
    // A stored folder that has gone since is replaced by its nearest existing parent.
    Dir1_Change(ExistingFolder(CataloguePath));
    {
        const QSignalBlocker block(TxtSerial);
        TxtSerial->setText(FormatSerialEntry(
            SerialEntryValue(GetSettingText(QStringLiteral("TxtSerial_FIF"), QStringLiteral("9000000")))));
    }
    ListSer->clear();
}

void frmCatalogue::TxtSerial_Change() {
    SaveSettingText(QStringLiteral("TxtSerial_FIF"), TxtSerial->text());
}

QStringList frmCatalogue::serials() const {
    QStringList list;
    for (int i = 0; i < ListSer->count(); ++i)
        list.append(ListSer->item(i)->text());
    return list;
}

void frmCatalogue::cmdAddSerial_Click() {
    QStringList list = serials();
    const bool wasEmpty = list.isEmpty();
    if (!AddSerialEntry(list, TxtSerial->text()))
        return;
    ListSer->addItem(list.last());
    if (!wasEmpty)
        TxtSerial->setText(list.last());
}

void frmCatalogue::cmdRemoveSer_Click() {
    const int row = ListSer->currentRow();
    if (row >= 0 && ListSer->item(row)->isSelected())
        delete ListSer->takeItem(row);
}

void frmCatalogue::cmdClearSer_Click() {
    ListSer->clear();
}

void frmCatalogue::setListButtonsEnabled(bool enabled) {
    cmdAddSerial->setEnabled(enabled);
    cmdRemoveSer->setEnabled(enabled);
    cmdClearSer->setEnabled(enabled);
}

void frmCatalogue::showFound() {
    for (int i = List_found->count(); i < found_.size(); ++i)
        List_found->addItem(found_.at(i));
}

void frmCatalogue::cmdFind_Click() {
    // Window events run during the search; a second Find would start a search inside the running one.
    if (searching_)
        return;
    cmdAddSerial_Click();
    CmdOpen->setEnabled(false);
    setListButtonsEnabled(false);

    QStringList files;
    for (int i = 0; i < File1->count(); ++i)
        files.append(File1->item(i)->text());
    if (files.isEmpty()) {
        ShowMessage(LoadLangString(txt::NoFiles));
        setListButtonsEnabled(true);
        return;
    }

    searching_ = true;
    cancelRequested_ = false;
    cmdFind->setEnabled(false);
    Dir1->setEnabled(false);
    Drive1->setEnabled(false);
    const QString searchingText = LoadLangString(txt::CatalogueSearching);
    const CatalogueOutcome outcome =
        FindSerialsInFiles(folder_, files, serials(), found_, [&](int, int, const QString& path) {
            if (!path.isEmpty()) {
                showFound();
                Label1->setText(searchingText + path);
                Label1->repaint();
            }
            QCoreApplication::processEvents();
            return !cancelRequested_;
        });
    showFound();
    searching_ = false;
    cmdFind->setEnabled(true);
    Dir1->setEnabled(true);
    Drive1->setEnabled(true);

    Label1->setText(LoadLangString(outcome.cancelled ? txt::Cancelled : txt::Finished));
    setListButtonsEnabled(true);
    if (outcome.found) {
        Label1->setText(Label1->text() + LoadLangString(txt::CatalogueFound));
        CmdOpen->setEnabled(true);
    } else {
        Label1->setText(Label1->text() + LoadLangString(txt::CatalogueNoneFound));
    }
}

void frmCatalogue::CmdOpen_Click() {
    if (List_found->count() == 0)
        return;
    const bool savedIgnore = IgnoreFileErrs;
    IgnoreFileErrs = true;
    QStringList chosen;
    for (int i = 0; i < List_found->count(); ++i) {
        if (List_found->item(i)->isSelected())
            chosen.append(List_found->item(i)->text());
    }
    for (const QString& path : chosen) {
        hide();
        programWindows().openDocument(path);
    }
    IgnoreFileErrs = savedIgnore;
}

void frmCatalogue::Command1_Click() {
    CmdOpen->setEnabled(false);
    List_found->clear();
    found_.clear();
}

void frmCatalogue::cmdCancel_Click() {
    // During a search Cancel stops it and the window stays, showing what was found so far.
    if (searching_) {
        cancelRequested_ = true;
        return;
    }
    hide();
}

void frmCatalogue::Form_Unload() {
    cancelRequested_ = true;
}

void frmCatalogue::Drive1_Change() {
    const QString root = Drive1->currentText();
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return;
    Dir1_Change(root);
}

void frmCatalogue::Dir1_Change(const QString& folder) {
    folder_ = folder;
    FillFolderList(Dir1, folder_);
    FillDriveList(Drive1, folder_);
    File1->clear();
    File1->addItems(plat::listFiles(folder_, QStringLiteral("*.pdb;*.csv")));
    setWindowTitle(CatalogueTitle(folder_));
    CataloguePath = folder_;
}
