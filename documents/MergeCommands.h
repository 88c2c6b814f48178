#pragma once
// Connects the readings merge, the serial search and the options dialog of the core to the real windows: the
// logger list windows, the text document window for the merge report and the main window's commands.
class IMergeHost;

// Registers the merge host and fills the main window's merge, serial-search and options commands.
void RegisterMergeCommands();
// The host the merge uses over the real windows (for callers that run a merge directly).
IMergeHost& DocumentMergeHost();
