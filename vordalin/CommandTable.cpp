#include "vordalin/CommandTable.h"

#include "documents/LoggerCommands.h"
#include "core/Startup.h"
#include "documents/MergeCommands.h"
#include "documents/frmDMAEdit.h"
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
constexpr MenuEntry Later(const char* name, const char* caption, int text, const char* key = "") {
    return {Kind::Item, name, caption, text, key, nullptr, -1, false, false};
}

} // namespace

const std::vector<MenuEntry>& menuTable() {
    static const std::vector<MenuEntry> table = {
        M("mnuFile", "&File", 258),
        I("mnuFileNew", "&New", 259, "Ctrl+N", member<&frmMain::mnuFileNew_Click>),
        I("mnuFileNewWin", "New, from current &Window...", 260, "", call<NewWindowCommand>),
        Bar("mnuFileBar11"),
        I("mnuFileOpen", "&Open...", 262, "Ctrl+O", member<&frmMain::mnuFileOpen_Click>),
        I("mnuFileMerge", "Add &most recent patrol to...", 263, "", member<&frmMain::mnuFileMerge_Click>),
        I("mnuMergeByRDGrid", "Merge by Coordinate Reference", 661, "", member<&frmMain::mnuMergeByRDGrid_Click>),
        Bar("mnuFileBar0"),
        I("mnuFileSave", "&Save", 264, "Ctrl+S", member<&frmMain::mnuFileSave_Click>),
        I("mnuFileSaveAs", "Save &As...", 265, "Ctrl+A", member<&frmMain::mnuFileSaveAs_Click>),
        I("mnuFileImport", "&Import Ambleway File", 518, "", member<&frmMain::mnuFileImport_Click>),
        I("mnuFileExport", "&Export...", 266, "", member<&frmMain::mnuFileExport_Click>),
        Bar("mnuFileBar5"),
        I("mnuFileClose", "&Close", 267, "", member<&frmMain::mnuFileClose_Click>),
        Bar("mnuFileBar1"),
        Later("mnuFilePageSetup", "Page Set&up...", 268), // printing
        Later("mnuFilePrint", "&Print...", 269, "Ctrl+P"), // printing
        Bar("mnuFileBar3"),
        I("mnuFileMRU", "", 0, "", indexed<&frmMain::mnuFileMRU_Click>, 1),
        I("mnuFileMRU", "", 0, "", indexed<&frmMain::mnuFileMRU_Click>, 2),
        I("mnuFileMRU", "", 0, "", indexed<&frmMain::mnuFileMRU_Click>, 3),
        I("mnuFileMRU", "", 0, "", indexed<&frmMain::mnuFileMRU_Click>, 4),
        Bar("mnuFileBar4"),
        I("mnuFileExit", "E&xit", 270, "", member<&frmMain::mnuFileExit_Click>),
        End(),

        M("mnuEdit", "&Edit", 271),
        I("mnuEditCut", "Cu&t", 272, "", member<&frmMain::mnuEditCut_Click>),
        I("mnuEditCopy", "&Copy", 273, "Ctrl+C", member<&frmMain::mnuEditCopy_Click>),
        I("mnuEditPaste", "&Paste", 274, "Ctrl+V", member<&frmMain::mnuEditPaste_Click>),
        End(),

        M("mnuSearch", "&Search", 275),
        I("mnuSearchrFind", "&Find...", 276, "", call<FindCommand>),
        I("mnuSearchFindNext", "Find &Next", 277, "F3", call<FindNextCommand>),
        Bar("mnuSearch0"),
        I("mnuSearchCatalogue", "For serial number in files...", 278, "", member<&frmMain::mnuSearchCatalogue_Click>),
        End(),

        M("mnuLogger", "&Logger", 279),
        I("mnuLoggerAdd", "&Add...", 280, "", call<AddLoggerCommand>),
        I("mnuLoggerRemove", "&Remove", 281, "", call<RemoveLoggerCommand>),
        I("mnuLoggerChangeSerial", "&Change Serial...", 282, "", call<ChangeSerialCommand>),
        I("mnuLoggerChangeDeployDate", "Change &Deploy date...", 283, "", call<ChangeDeployDateCommand>),
        Bar("mnuLogger0"),
        I("mnuLoggerFill", "F&ill...", 284, "", call<FillCommand>),
        I("mnuUpdateAllAddInfo", "&Update All Additional Information", 648, "", call<UpdateAllAddInfoCommand>),
        End(),

        M("mnuRovemark", "&Rovemark", 285),
        M("mnuRovemarkFrom", "&Receive from Rovemark", 286),
        Later("mnuRovemarkFromSome", "Selection", 287, "F5"),     // field-unit exchange
        Later("mnuRovemarkFromAll", "All", 288, "Shift+F5"),      // field-unit exchange
        End(),
        M("mnuRovemarkTo", "Send to Rovemark", 289),
        Later("mnuRovemarkToSome", "Selection", 287, "F9"),       // field-unit exchange
        Later("mnuRovemarkToAll", "All", 288, "Shift+F9"),        // field-unit exchange
        End(),
        Bar("mnuRovemarkBar0"),
        I("mnuRovemarkOptions", "&Options...", 290, "", call<TransferOptionsCommand>),
        Bar("mnuRovemarkBar1"),
        M("mnuRovemark2", "Rovemark PDA", 637),
        Later("mnuRovemarkUploadDMA", "PC to PDA", 617),          // PDA link
        Later("mnuRovemarkDownloadPatrol", "PDA to PC", 618),     // PDA link
        Later("mnuRovemarkSyncPDA", "Synchronise PDA", 668),      // PDA link
        End(),
        End(),

        M("mnuView", "&View", 291),
        I("mnuViewEditor", "&Editor", 292, "F8", call<ShowRecordEditor>),
        I("mnuViewLogger", "&Logger", 0, "", member<&frmMain::mnuViewLogger_Click>),
        I("mnuViewToolbar", "&Toolbar", 293, "", member<&frmMain::mnuViewToolbar_Click>, -1, true, true),
        I("mnuViewStatusBar", "Status &Bar", 294, "", member<&frmMain::mnuViewStatusBar_Click>, -1, true, true),
        Bar("mnuView2"),
        I("mnuViewRefreshList", "&Refresh List", 295, "F12", member<&frmMain::mnuViewRefreshList_Click>),
        I("mnuViewAutoSize", "AutoSize", 296, "", member<&frmMain::mnuViewAutoSize_Click>, -1, true),
        Bar("mnuView1"),
        M("mnuViewShow", "&Show", 297),
        I("mnuViewShowOption", "All", 288, "F2", indexed<&frmMain::mnuViewShowOption_Click>, 0),
        I("mnuViewShowOption", "Serial", 158, "", indexed<&frmMain::mnuViewShowOption_Click>, 1),
        I("mnuViewShowOption", "Grid ref", 298, "", indexed<&frmMain::mnuViewShowOption_Click>, 2),
        I("mnuViewShowOption", "Deployed", 162, "", indexed<&frmMain::mnuViewShowOption_Click>, 3),
        I("mnuViewShowOption", "Received", 163, "", indexed<&frmMain::mnuViewShowOption_Click>, 4),
        I("mnuViewShowOption", "Comment 1", 299, "", indexed<&frmMain::mnuViewShowOption_Click>, 5),
        I("mnuViewShowOption", "Comment 2", 300, "", indexed<&frmMain::mnuViewShowOption_Click>, 6),
        I("mnuViewShowOption", "Date", 164, "", indexed<&frmMain::mnuViewShowOption_Click>, 7),
        End(),
        M("mnuViewHide", "&Hide", 301),
        I("mnuViewHideOption", "All", 288, "", indexed<&frmMain::mnuViewHideOption_Click>, 0),
        I("mnuViewHideOption", "Serial", 158, "", indexed<&frmMain::mnuViewHideOption_Click>, 1),
        I("mnuViewHideOption", "Grid ref", 298, "", indexed<&frmMain::mnuViewHideOption_Click>, 2),
        I("mnuViewHideOption", "Deployed", 162, "", indexed<&frmMain::mnuViewHideOption_Click>, 3),
        I("mnuViewHideOption", "Received", 163, "", indexed<&frmMain::mnuViewHideOption_Click>, 4),
        I("mnuViewHideOption", "Comment 1", 299, "", indexed<&frmMain::mnuViewHideOption_Click>, 5),
        I("mnuViewHideOption", "Comment 2", 300, "", indexed<&frmMain::mnuViewHideOption_Click>, 6),
        I("mnuViewHideOption", "Date", 164, "", indexed<&frmMain::mnuViewHideOption_Click>, 7),
        End(),
        End(),

        M("mnuSarnic", "&Sarnic", 588),
        Later("mnuSarnicSetup", "&Setup...", 589), // direct logger link
        End(),

        M("mnuWindow", "&Window", 302),
        I("mnuWindowCascade", "&Cascade", 303, "", member<&frmMain::mnuWindowCascade_Click>),
        I("mnuWindowTileHorizontal", "Tile &Horizontal", 304, "", member<&frmMain::mnuWindowTileHorizontal_Click>),
        I("mnuWindowTileVertical", "Tile &Vertical", 305, "", member<&frmMain::mnuWindowTileVertical_Click>),
        I("mnuWindowArrangeIcons", "&Arrange Icons", 306, "", member<&frmMain::mnuWindowArrangeIcons_Click>),
        Bar("mnuFileBar12"),
        I("mnuWindowFollowMouse", "&Follow mouse", 498, "", member<&frmMain::mnuWindowFollowMouse_Click>, -1, true),
        End(),

        M("mnuHelp", "&Help", 307),
        I("mnuHelpContents", "&Contents", 308, "F1", member<&frmMain::mnuHelpContents_Click>),
        Bar("mnuHelpBar0"),
        I("mnuHelpAbout", "&About ", 309, "", member<&frmMain::mnuHelpAbout_Click>),
        End(),
    };
    return table;
}

const std::vector<ToolEntry>& toolTable() {
    static const std::vector<ToolEntry> table = {
        {"New", "New", 317, "document-new", ":/icons/new.png", member<&frmMain::mnuFileNew_Click>},
        {"Open", "Open", 318, "document-open", ":/icons/open.png", member<&frmMain::mnuFileOpen_Click>},
        {"Save", "Save", 319, "document-save", ":/icons/save.png", member<&frmMain::mnuFileSave_Click>},
        {},
        {"Print", "Print", 320, "document-print", ":/icons/print.png", nullptr}, // printing
        {},
        {"Cut", "Cut", 321, "edit-cut", ":/icons/cut.png", member<&frmMain::mnuEditCut_Click>},
        {"Copy", "Copy", 322, "edit-copy", ":/icons/copy.png", member<&frmMain::mnuEditCopy_Click>},
        {"Paste", "Paste", 323, "edit-paste", ":/icons/paste.png", member<&frmMain::mnuEditPaste_Click>},
        {},
        {"Back", "Previous Page", 326, "go-up", ":/icons/back.png", member<&frmMain::tbBack_Click>},
        {"Forward", "Next Page", 327, "go-down", ":/icons/forward.png", member<&frmMain::tbForward_Click>},
        {},
        {"from_rovemark", "Receive all from Rovemark", 324, "", ":/icons/from_rovemark.png", nullptr}, // exchange
        {"to_rovemark", "Send all to Rovemark", 325, "", ":/icons/to_rovemark.png", nullptr},          // exchange
        {},
        {"From PDA", "From PDA", 618, "", ":/icons/from_pda.png", nullptr},                   // PDA link
        {"To PDA", "To PDA", 617, "", ":/icons/to_pda.png", nullptr},                         // PDA link
        {"Synchronise PDA", "Synchronise PDA", 668, "", ":/icons/sync_pda.png", nullptr},     // PDA link
        {},
        {"AddVordalin", "", 499, "list-add", ":/icons/add_logger.png", call<AddLoggerCommand>},
        {"gps", "Start GPS", 660, "", ":/icons/gps.png", nullptr}, // map view
    };
    return table;
}

} // namespace cmd
