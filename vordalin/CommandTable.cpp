#include "vordalin/CommandTable.h"

#include "core/Startup.h"
#include "documents/LoggerCommands.h"
#include "documents/MergeCommands.h"
#include "documents/frmDMAEdit.h"
#include "lang/LangText.h"
#include "vordalin/SubsystemCommands.h"
#include "vordalin/frmMain.h"

namespace cmd {
namespace {

constexpr MenuEntry M(const char* name, const char* caption, int text) {
    return {Kind::Menu, name, caption, text, "", nullptr, -1, false, false};
}
constexpr MenuEntry End() {
    return {Kind::EndMenu, "", "", 0, "", nullptr, -1, false, false};
}
constexpr MenuEntry Bar(const char* name) {
    return {Kind::Separator, name, "-", 0, "", nullptr, -1, false, false};
}
constexpr MenuEntry I(const char* name, const char* caption, int text, const char* key, Handler h, int index = -1,
                      bool checkable = false, bool checked = false) {
    return {Kind::Item, name, caption, text, key, h, index, checkable, checked};
}
// An item of a part that is not built yet.
[[maybe_unused]] constexpr MenuEntry Later(const char* name, const char* caption, int text, const char* key = "") {
    return {Kind::Item, name, caption, text, key, nullptr, -1, false, false};
}

} // namespace

const std::vector<MenuEntry>& menuTable() {
    static const std::vector<MenuEntry> table = {
        M("mnuFile", "&File", txt::File),
        I("mnuFileNew", "&New", txt::New, "Ctrl+N", member<&frmMain::mnuFileNew_Click>),
        I("mnuFileNewWin", "New, from current &Window...", txt::NewFromCurrentWindow, "", call<NewWindowCommand>),
        Bar("mnuFileBar11"),
        I("mnuFileOpen", "&Open...", txt::Open, "Ctrl+O", member<&frmMain::mnuFileOpen_Click>),
        I("mnuFileMerge", "Add &most recent patrol to...", txt::AddMostRecentPatrolTo, "",
          member<&frmMain::mnuFileMerge_Click>),
        I("mnuMergeByRDGrid", "Merge by Coordinate Reference", txt::MergeByCoordinateReference, "",
          member<&frmMain::mnuMergeByRDGrid_Click>),
        Bar("mnuFileBar0"),
        I("mnuFileSave", "&Save", txt::Save, "Ctrl+S", member<&frmMain::mnuFileSave_Click>),
        I("mnuFileSaveAs", "Save &As...", txt::SaveAs, "Ctrl+A", member<&frmMain::mnuFileSaveAs_Click>),
        I("mnuFileImport", "&Import Ambleway File", txt::ImportAmblewayFile, "", member<&frmMain::mnuFileImport_Click>),
        I("mnuFileExport", "&Export...", txt::Export, "", member<&frmMain::mnuFileExport_Click>),
        Bar("mnuFileBar5"),
        I("mnuFileClose", "&Close", txt::Close, "", member<&frmMain::mnuFileClose_Click>),
        Bar("mnuFileBar1"),
        I("mnuFilePageSetup", "Page Set&up...", txt::PageSetUp, "", PageSetup),
        I("mnuFilePrint", "&Print...", txt::Print, "Ctrl+P", Print),
        Bar("mnuFileBar3"),
        I("mnuFileMRU", "", 0, "", indexed<&frmMain::mnuFileMRU_Click>, 1),
        I("mnuFileMRU", "", 0, "", indexed<&frmMain::mnuFileMRU_Click>, 2),
        I("mnuFileMRU", "", 0, "", indexed<&frmMain::mnuFileMRU_Click>, 3),
        I("mnuFileMRU", "", 0, "", indexed<&frmMain::mnuFileMRU_Click>, 4),
        Bar("mnuFileBar4"),
        I("mnuFileExit", "E&xit", txt::EXit, "", member<&frmMain::mnuFileExit_Click>),
        End(),

        M("mnuEdit", "&Edit", txt::Edit),
        I("mnuEditCut", "Cu&t", txt::CuT, "", member<&frmMain::mnuEditCut_Click>),
        I("mnuEditCopy", "&Copy", txt::Copy, "Ctrl+C", member<&frmMain::mnuEditCopy_Click>),
        I("mnuEditPaste", "&Paste", txt::Paste, "Ctrl+V", member<&frmMain::mnuEditPaste_Click>),
        End(),

        M("mnuSearch", "&Search", txt::Search),
        I("mnuSearchrFind", "&Find...", txt::Find, "", call<FindCommand>),
        I("mnuSearchFindNext", "Find &Next", txt::FindNext, "F3", call<FindNextCommand>),
        Bar("mnuSearch0"),
        I("mnuSearchCatalogue", "For serial number in files...", txt::ForSerialNumberInFiles, "",
          member<&frmMain::mnuSearchCatalogue_Click>),
        End(),

        M("mnuLogger", "&Logger", txt::Logger),
        I("mnuLoggerAdd", "&Add...", txt::Add, "", call<AddLoggerCommand>),
        I("mnuLoggerRemove", "&Remove", txt::Remove, "", call<RemoveLoggerCommand>),
        I("mnuLoggerChangeSerial", "&Change Serial...", txt::ChangeSerial, "", call<ChangeSerialCommand>),
        I("mnuLoggerChangeDeployDate", "Change &Deploy date...", txt::ChangeDeployDate, "",
          call<ChangeDeployDateCommand>),
        Bar("mnuLogger0"),
        I("mnuLoggerFill", "F&ill...", txt::FIll, "", call<FillCommand>),
        I("mnuUpdateAllAddInfo", "&Update All Additional Information", txt::UpdateAllAdditionalInformation, "",
          call<UpdateAllAddInfoCommand>),
        End(),

        M("mnuRovemark", "&Rovemark", txt::Rovemark),
        M("mnuRovemarkFrom", "&Receive from Rovemark", txt::ReceiveFromRovemark),
        I("mnuRovemarkFromSome", "Selection", txt::Selection, "F5", ReceiveSomeFromRovemark),
        I("mnuRovemarkFromAll", "All", txt::All, "Shift+F5", ReceiveAllFromRovemark),
        End(),
        M("mnuRovemarkTo", "Send to Rovemark", txt::SendToRovemark),
        I("mnuRovemarkToSome", "Selection", txt::Selection, "F9", SendSomeToRovemark),
        I("mnuRovemarkToAll", "All", txt::All, "Shift+F9", SendAllToRovemark),
        End(),
        Bar("mnuRovemarkBar0"),
        I("mnuRovemarkOptions", "&Options...", txt::OptionsMenuItem, "", RovemarkOptions),
        Bar("mnuRovemarkBar1"),
        M("mnuRovemark2", "Rovemark PDA", txt::RovemarkPda),
        I("mnuRovemarkUploadDMA", "PC to PDA", txt::PcToPda, "", UploadToPda),
        I("mnuRovemarkDownloadPatrol", "PDA to PC", txt::PdaToPc, "", DownloadFromPda),
        I("mnuRovemarkSyncPDA", "Synchronise PDA", txt::SynchronisePda, "", SynchronisePda),
        End(),
        End(),

        M("mnuView", "&View", txt::View),
        I("mnuViewEditor", "&Editor", txt::Editor, "F8", call<ShowRecordEditor>),
        I("mnuViewLogger", "&Logger", 0, "", member<&frmMain::mnuViewLogger_Click>),
        I("mnuViewToolbar", "&Toolbar", txt::Toolbar, "", member<&frmMain::mnuViewToolbar_Click>, -1, true, true),
        I("mnuViewStatusBar", "Status &Bar", txt::StatusBar, "", member<&frmMain::mnuViewStatusBar_Click>, -1, true,
          true),
        Bar("mnuView2"),
        I("mnuViewRefreshList", "&Refresh List", txt::RefreshList, "F12", member<&frmMain::mnuViewRefreshList_Click>),
        I("mnuViewAutoSize", "AutoSize", txt::Autosize, "", member<&frmMain::mnuViewAutoSize_Click>, -1, true),
        Bar("mnuView1"),
        M("mnuViewShow", "&Show", txt::Show),
        I("mnuViewShowOption", "All", txt::All, "F2", indexed<&frmMain::mnuViewShowOption_Click>, 0),
        I("mnuViewShowOption", "Serial", txt::SerialNo, "", indexed<&frmMain::mnuViewShowOption_Click>, 1),
        I("mnuViewShowOption", "Grid ref", txt::GridRefOption, "", indexed<&frmMain::mnuViewShowOption_Click>, 2),
        I("mnuViewShowOption", "Deployed", txt::Deployed, "", indexed<&frmMain::mnuViewShowOption_Click>, 3),
        I("mnuViewShowOption", "Received", txt::Received, "", indexed<&frmMain::mnuViewShowOption_Click>, 4),
        I("mnuViewShowOption", "Comment 1", txt::FirstCommentOption, "", indexed<&frmMain::mnuViewShowOption_Click>, 5),
        I("mnuViewShowOption", "Comment 2", txt::SecondCommentOption, "", indexed<&frmMain::mnuViewShowOption_Click>,
          6),
        I("mnuViewShowOption", "Date", txt::BadDate, "", indexed<&frmMain::mnuViewShowOption_Click>, 7),
        End(),
        M("mnuViewHide", "&Hide", txt::Hide),
        I("mnuViewHideOption", "All", txt::All, "", indexed<&frmMain::mnuViewHideOption_Click>, 0),
        I("mnuViewHideOption", "Serial", txt::SerialNo, "", indexed<&frmMain::mnuViewHideOption_Click>, 1),
        I("mnuViewHideOption", "Grid ref", txt::GridRefOption, "", indexed<&frmMain::mnuViewHideOption_Click>, 2),
        I("mnuViewHideOption", "Deployed", txt::Deployed, "", indexed<&frmMain::mnuViewHideOption_Click>, 3),
        I("mnuViewHideOption", "Received", txt::Received, "", indexed<&frmMain::mnuViewHideOption_Click>, 4),
        I("mnuViewHideOption", "Comment 1", txt::FirstCommentOption, "", indexed<&frmMain::mnuViewHideOption_Click>, 5),
        I("mnuViewHideOption", "Comment 2", txt::SecondCommentOption, "", indexed<&frmMain::mnuViewHideOption_Click>,
          6),
        I("mnuViewHideOption", "Date", txt::BadDate, "", indexed<&frmMain::mnuViewHideOption_Click>, 7),
        End(),
        End(),

        M("mnuSarnic", "&Sarnic", txt::Sarnic),
        I("mnuSarnicSetup", "&Setup...", txt::Setup, "", SarnicSetup),
        End(),

        M("mnuWindow", "&Window", txt::Window),
        I("mnuWindowCascade", "&Cascade", txt::Cascade, "", member<&frmMain::mnuWindowCascade_Click>),
        I("mnuWindowTileHorizontal", "Tile &Horizontal", txt::TileHorizontal, "",
          member<&frmMain::mnuWindowTileHorizontal_Click>),
        I("mnuWindowTileVertical", "Tile &Vertical", txt::TileVertical, "",
          member<&frmMain::mnuWindowTileVertical_Click>),
        I("mnuWindowArrangeIcons", "&Arrange Icons", txt::ArrangeIcons, "",
          member<&frmMain::mnuWindowArrangeIcons_Click>),
        Bar("mnuFileBar12"),
        I("mnuWindowFollowMouse", "&Follow mouse", txt::FollowMouse, "", member<&frmMain::mnuWindowFollowMouse_Click>,
          -1, true),
        End(),

        M("mnuHelp", "&Help", txt::Help),
        I("mnuHelpContents", "&Contents", txt::Contents, "F1", member<&frmMain::mnuHelpContents_Click>),
        Bar("mnuHelpBar0"),
        I("mnuHelpAbout", "&About ", txt::About, "", member<&frmMain::mnuHelpAbout_Click>),
        End(),
    };
    return table;
}

const std::vector<ToolEntry>& toolTable() {
    static const std::vector<ToolEntry> table = {
        {"New", "New", txt::NewButtonTip, "document-new", ":/icons/new.png", member<&frmMain::mnuFileNew_Click>},
        {"Open", "Open", txt::OpenTitle, "document-open", ":/icons/open.png", member<&frmMain::mnuFileOpen_Click>},
        {"Save", "Save", txt::SaveTitle, "document-save", ":/icons/save.png", member<&frmMain::mnuFileSave_Click>},
        {},
        {"Print", "Print", txt::PrintCaption, "document-print", ":/icons/print.png", Print},
        {},
        {"Cut", "Cut", txt::Cut, "edit-cut", ":/icons/cut.png", member<&frmMain::mnuEditCut_Click>},
        {"Copy", "Copy", txt::CopyButtonTip, "edit-copy", ":/icons/copy.png", member<&frmMain::mnuEditCopy_Click>},
        {"Paste", "Paste", txt::PasteButtonTip, "edit-paste", ":/icons/paste.png",
         member<&frmMain::mnuEditPaste_Click>},
        {},
        {"Back", "Previous Page", txt::PreviousPage, "go-up", ":/icons/back.png", member<&frmMain::tbBack_Click>},
        {"Forward", "Next Page", txt::NextPage, "go-down", ":/icons/forward.png", member<&frmMain::tbForward_Click>},
        {},
        {"from_rovemark", "Receive all from Rovemark", txt::ReceiveAllFromRovemark, "", ":/icons/from_rovemark.png",
         ReceiveAllFromRovemark},
        {"to_rovemark", "Send all to Rovemark", txt::SendAllToRovemark, "", ":/icons/to_rovemark.png",
         SendAllToRovemark},
        {},
        {"From PDA", "From PDA", txt::PdaToPc, "", ":/icons/from_pda.png", DownloadFromPda},
        {"To PDA", "To PDA", txt::PcToPda, "", ":/icons/to_pda.png", UploadToPda},
        {"Synchronise PDA", "Synchronise PDA", txt::SynchronisePda, "", ":/icons/sync_pda.png", SynchronisePda},
        {},
        {"AddVordalin", "", txt::AddLogger, "list-add", ":/icons/add_logger.png", call<AddLoggerCommand>},
        {"gps", "Start GPS", txt::StartGps, "", ":/icons/gps.png", member<&frmMain::ShowMapOfList>},
    };
    return table;
}

} // namespace cmd
