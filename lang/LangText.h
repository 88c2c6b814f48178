#pragma once
// Every language text number the programs use, by name. The numbers are the line numbers of the language
// files (lang_*.txt beside the programs); a test checks this list against lang_english.txt both ways. To add a
// text: add its line to lang_english.txt (in number order) and its name here; a number above kLastShippedText
// also gets its English text in kBuiltInEnglish, used when a site's own language file lacks the line.
#include <utility>

namespace txt {

constexpr int AcousticLeakNoiseLoggerManagement = 104;
constexpr int ListShortened = 121;
constexpr int DuplicateQuestion = 122;
constexpr int ShowReportQuestion = 123;
constexpr int ReportCaption = 124;
constexpr int Untitled = 126;
constexpr int NoDocument = 129;
constexpr int EnterTheSerialNumberOf = 130;
constexpr int InvalidSerial = 132;
constexpr int AlreadyInList = 133;
constexpr int Removed = 134;
constexpr int NotRemoved = 135;
constexpr int NoSelection = 136;
constexpr int ChangeSerialPrompt = 137;
constexpr int SerialUnchanged = 138;
constexpr int SerialUsedStart = 139;
constexpr int SerialUsedEnd = 140;
constexpr int SerialChanged = 141;
constexpr int PasteDuplicate = 143;
constexpr int FillComplete = 145;
constexpr int FillIncomplete = 146;
constexpr int FillReportHeading = 147;
constexpr int FillReportTitle = 148;
constexpr int FindPrompt = 149;
constexpr int NothingToCopy = 150;
constexpr int VordalinLoggerDatabase = 153;
constexpr int ReadingLine = 155;
constexpr int SerialNo = 158;
constexpr int GridRef = 159;
constexpr int Comment1 = 160;
constexpr int Comment2 = 161;
constexpr int Deployed = 162;
constexpr int Received = 163;
constexpr int BadDate = 164;
constexpr int BadStatus = 165;
constexpr int BadLevel = 166;
constexpr int BadSpread = 167;
constexpr int WritingLogger = 168;
constexpr int TheOperationCompletedSuccessfully = 169;
constexpr int AnUnexpectedFileErrorOccurred = 170;
constexpr int TheFileCouldNotBe = 171;
constexpr int FileUnreadable = 172;
constexpr int FileNotWritten = 173;
constexpr int TheFileIsInUse = 174;
constexpr int TheFileIsReadOnly = 175;
constexpr int TheFileHoldsNoLoggers = 176;
constexpr int TheFileIsTooLarge = 177;
constexpr int AnUnknownFileErrorOccurred = 178;
constexpr int TheErrorOccurredAtLine = 179;
constexpr int OfTheFile = 180;
constexpr int Warning = 184;
constexpr int Leak = 185;
constexpr int NoLeak = 186;
constexpr int CheckingForRepeatedSerialNumbers = 187;
constexpr int CheckingLogger = 188;
constexpr int NoRepeatedSerialNumbersAmong = 189;
constexpr int No = 190;
constexpr int SerialPrefix = 191;
constexpr int Count = 192;
constexpr int RepeatedSerialNumbersFound = 193;
constexpr int TransferProgramMissing = 208;
constexpr int NothingReceived = 209;
constexpr int DownloadCaption = 210;
constexpr int ReceiveSelectionCaption = 211;
constexpr int SendSelectionCaption = 212;
constexpr int SameFile = 215;
constexpr int CannotLoad = 217;
constexpr int ReportHead = 218;
constexpr int UpdatedMark = 219;
constexpr int UpdatedCount = 220;
constexpr int NoneUpdated = 221;
constexpr int NewLoggers = 222;
constexpr int ReportEnd = 223;
constexpr int MergeReportCaption = 224;
constexpr int BackupSaved = 225;
constexpr int SavePrompt = 228;
constexpr int Options = 237;
constexpr int AlwaysStartTheFileDialogs = 238;
constexpr int AllowTheReadingHistoryTo = 239;
constexpr int OpenFilesThatHoldBad = 240;
constexpr int FieldUnitPortCom = 241;
constexpr int Com4 = 242;
constexpr int Com3 = 243;
constexpr int Com2 = 244;
constexpr int Com1 = 245;
constexpr int Cancel = 246;
constexpr int SerialNumberIncrementForFill = 250;
constexpr int IncrementRange = 251;
constexpr int MainCaption = 256;
constexpr int File = 258;
constexpr int New = 259;
constexpr int NewFromCurrentWindow = 260;
constexpr int Open = 262;
constexpr int AddMostRecentPatrolTo = 263;
constexpr int Save = 264;
constexpr int SaveAs = 265;
constexpr int Export = 266;
constexpr int Close = 267;
constexpr int PageSetUp = 268;
constexpr int Print = 269;
constexpr int EXit = 270;
constexpr int Edit = 271;
constexpr int CuT = 272;
constexpr int Copy = 273;
constexpr int Paste = 274;
constexpr int Search = 275;
constexpr int Find = 276;
constexpr int FindNext = 277;
constexpr int ForSerialNumberInFiles = 278;
constexpr int Logger = 279;
constexpr int Add = 280;
constexpr int Remove = 281;
constexpr int ChangeSerial = 282;
constexpr int ChangeDeployDate = 283;
constexpr int FIll = 284;
constexpr int Rovemark = 285;
constexpr int ReceiveFromRovemark = 286;
constexpr int Selection = 287;
constexpr int All = 288;
constexpr int SendToRovemark = 289;
constexpr int OptionsMenuItem = 290;
constexpr int View = 291;
constexpr int Editor = 292;
constexpr int Toolbar = 293;
constexpr int StatusBar = 294;
constexpr int RefreshList = 295;
constexpr int Autosize = 296;
constexpr int Show = 297;
constexpr int GridRefOption = 298;
constexpr int FirstCommentOption = 299;
constexpr int SecondCommentOption = 300;
constexpr int Hide = 301;
constexpr int Window = 302;
constexpr int Cascade = 303;
constexpr int TileHorizontal = 304;
constexpr int TileVertical = 305;
constexpr int ArrangeIcons = 306;
constexpr int Help = 307;
constexpr int Contents = 308;
constexpr int About = 309;
constexpr int LoggerFilter = 310;
constexpr int TextFilter = 311;
constexpr int MergeEmptyList = 313;
constexpr int MergeTitle = 314;
constexpr int MergeFileType = 316;
constexpr int NewButtonTip = 317;
constexpr int OpenTitle = 318;
constexpr int SaveTitle = 319;
constexpr int PrintCaption = 320;
constexpr int Cut = 321;
constexpr int CopyButtonTip = 322;
constexpr int PasteButtonTip = 323;
constexpr int ReceiveAllFromRovemark = 324;
constexpr int SendAllToRovemark = 325;
constexpr int PreviousPage = 326;
constexpr int NextPage = 327;
constexpr int NoHelpFile = 328;
constexpr int SaveAsTitle = 329;
constexpr int SaveEmptyList = 330;
constexpr int ExportEmptyList = 331;
constexpr int ExportTitle = 332;
constexpr int TextSaveFailed = 335;
constexpr int TextLoadFailed = 336;
constexpr int OverwriteQuestion = 337;
constexpr int NoLoggers = 338;
constexpr int LoadingLogger = 339;
constexpr int LoadingLoggerEnd = 340;
constexpr int PreparingLogger = 341;
constexpr int ModifyEmpty = 342;
constexpr int ModifyNoRecord = 343;
constexpr int ModifyNoRow = 346;
constexpr int Modified = 348;
constexpr int ListReloaded = 349;
constexpr int Pasted = 352;
constexpr int Added = 353;
constexpr int BlankComment = 354;
constexpr int RemoveQuestion = 355;
constexpr int Searching = 359;
constexpr int Found = 360;
constexpr int FoundAtRow = 361;
constexpr int NotFound = 362;
constexpr int GridRefCaption = 363;
constexpr int LoggerOf = 364;
constexpr int LoggerOfEnd = 365;
constexpr int SortedDescending = 366;
constexpr int SortedAscending = 367;
constexpr int MoveToNextLoggerAfter = 368;
constexpr int Update = 369;
constexpr int Errors = 371;
constexpr int GridNumber = 373;
constexpr int SerialNumber = 374;
constexpr int BadGridRef = 379;
constexpr int Level = 380;
constexpr int Spread = 381;
constexpr int EditReading = 384;
constexpr int TheDateIsNotValid = 385;
constexpr int TheStatusIsNotValid = 386;
constexpr int TheLevelMustBeA = 387;
constexpr int TheSpreadMustBeA = 388;
constexpr int Fill = 389;
constexpr int FillGridNumbersAsWell = 390;
constexpr int StartAt = 391;
constexpr int SerialIncrement = 392;
constexpr int NumberOfLoggers = 393;
constexpr int FirstSerialNumber = 394;
constexpr int TheNumberOfLoggersMust = 395;
constexpr int SelectDates = 405;
constexpr int SummaryReport = 406;
constexpr int ByStatus = 407;
constexpr int LeakStatusLeak = 408;
constexpr int LeakStatusWarning = 409;
constexpr int NotInLeak = 410;
constexpr int IncludeHistory = 411;
constexpr int Preview = 412;
constexpr int FontButton = 414;
constexpr int LoggerInfo = 415;
constexpr int PrinterButton = 417;
constexpr int CommentLabel = 418;
constexpr int NoDatesChosen = 422;
constexpr int DateChooserTitle = 423;
constexpr int HeaderTooWide = 430;
constexpr int NoStatusChosen = 443;
constexpr int SelectionPrefix = 444;
constexpr int SelectionAll = 445;
constexpr int SelectionWarning = 446;
constexpr int SelectionLeak = 447;
constexpr int SelectionNotInLeak = 448;
constexpr int SelectionHistory = 449;
constexpr int SelectionLatest = 450;
constexpr int HeadSerial = 451;
constexpr int HeadGridRef = 452;
constexpr int HeadDeployed = 453;
constexpr int HeadReceived = 454;
constexpr int HeadComment1 = 455;
constexpr int HeadComment2 = 456;
constexpr int HeadReadings = 458;
constexpr int HeadHistory = 459;
constexpr int TitleBeforeName = 460;
constexpr int TitleBeforeDate = 461;
constexpr int TitleBeforeSelection = 462;
constexpr int TitleBeforePage = 463;
constexpr int TitleSummary = 464;
constexpr int CommentLine = 465;
constexpr int PrintFailed = 466;
constexpr int ProgressPages = 467;
constexpr int ProgressRow = 468;
constexpr int ProgressReading = 469;
constexpr int Ok = 474;
constexpr int EditDate = 475;
constexpr int ChangeTheDateOfEvery = 476;
constexpr int CLear = 478;
constexpr int RemoveButton = 479;
constexpr int AddButton = 480;
constexpr int CatalogueSerialLabel = 481;
constexpr int ClearResults = 482;
constexpr int OpenButton = 483;
constexpr int FindButton = 485;
constexpr int CancelButton = 486;
constexpr int NoFiles = 489;
constexpr int CatalogueSearching = 490;
constexpr int Finished = 491;
constexpr int CatalogueNoneFound = 492;
constexpr int CatalogueFound = 493;
constexpr int Date = 497;
constexpr int FollowMouse = 498;
constexpr int AddLogger = 499;
constexpr int AdditionalInformation = 500;
constexpr int OtherRecordWarning = 501;
constexpr int OverwriteLoggerQuestion = 502;
constexpr int SelectionSummary = 503;
constexpr int UpdateSerial = 510;
constexpr int ChangeSerialQuestion = 511;
constexpr int BadNewSerial = 512;
constexpr int SerialNotChanged = 513;
constexpr int ConnectionType = 514;
constexpr int DirectCableConnection = 515;
constexpr int ModemConnection = 516;
constexpr int NumberToDial = 517;
constexpr int ImportAmblewayFile = 518;
constexpr int ImportFailed = 519;
constexpr int RecordImported = 522;
constexpr int InvalidSerialOnLine = 523;
constexpr int InvalidSerialLineEnd = 524;
constexpr int ImportDone = 526;
constexpr int PressOkWhenDone = 527;
constexpr int ServerNotFound = 528;
constexpr int ServerNoTask = 529;
constexpr int GraphSerialNumber = 530;
constexpr int GraphVersion = 531;
constexpr int GraphDate = 532;
constexpr int GraphStatus = 533;
constexpr int GraphLevels = 539;
constexpr int GraphSpreads = 540;
constexpr int GraphCurrent = 542;
constexpr int CopyButton = 543;
constexpr int PrintButton = 544;
constexpr int SaveButton = 545;
constexpr int CloseButton = 546;
constexpr int ReadSerialLabel = 548;
constexpr int ClockLabel = 549;
constexpr int LeakStateRate = 550;
constexpr int NoLeakStateRate = 551;
constexpr int Seconds = 552;
constexpr int LoggingDays = 553;
constexpr int DayNames = 554;
constexpr int LastResetTime = 555;
constexpr int LeakStatus = 556;
constexpr int BatteryVoltage = 557;
constexpr int UpdateButton = 558;
constexpr int LinkFailed = 561;
constexpr int Firmware = 562;
constexpr int StatusConnectFailed = 565;
constexpr int StatusNotConnected = 566;
constexpr int StatusConnected = 567;
constexpr int StatusConnecting = 568;
constexpr int UpdateDone = 569;
constexpr int BadSerial = 570;
constexpr int MessageRefused = 571;
constexpr int StatusReading = 572;
constexpr int StatusSensor = 573;
constexpr int StatusGraph = 574;
constexpr int HistoryFrame = 575;
constexpr int InformationFrame = 576;
constexpr int PortFrame = 577;
constexpr int CheckSensor = 578;
constexpr int SetupClose = 579;
constexpr int Connect = 580;
constexpr int Disconnect = 581;
constexpr int ReadLogger = 582;
constexpr int SecondaryVerification = 583;
constexpr int PasswordCaption = 584;
constexpr int WrongPassword = 585;
constexpr int GetGraph = 586;
constexpr int SetupCaption = 587;
constexpr int Sarnic = 588;
constexpr int Setup = 589;
constexpr int GraphCaption = 590;
constexpr int SensorCaption = 591;
constexpr int ReadCaption = 592;
constexpr int Sleep = 593;
constexpr int SleepDone = 594;
constexpr int SleepFailed = 595;
constexpr int PcToPda = 617;
constexpr int PdaToPc = 618;
constexpr int PdaDownloadCaption = 619;
constexpr int PdaDownloadHeading = 620;
constexpr int PdaDownloadButton = 621;
constexpr int PdaCloseButton = 622;
constexpr int PdaNothingChosen = 623;
constexpr int PdaCannotOpen = 624;
constexpr int PdaEmptyFile = 625;
constexpr int PdaReplaceQuestion = 626;
constexpr int PdaReading = 627;
constexpr int PdaReadFailed = 628;
constexpr int PdaUnexpectedError = 630;
constexpr int PdaCannotCreate = 632;
constexpr int PdaWriteFailed = 633;
constexpr int PdaFilesCopied = 634;
constexpr int RovemarkPda = 637;
constexpr int LatLongPromptStart = 643;
constexpr int LatLongPromptMiddle = 644;
constexpr int LatLongPromptEnd = 645;
constexpr int TheAdditionalInformationWasNot = 646;
constexpr int TheAdditionalInformationWasUpdated = 647;
constexpr int UpdateAllAdditionalInformation = 648;
constexpr int TheAdditionalInformationOfEvery = 649;
constexpr int ReadOnly = 650;
constexpr int MapStartFailed = 651;
constexpr int MapControlMissing = 652;
constexpr int SymbolsVersion0 = 653;
constexpr int SymbolsUnknownVersion = 654;
constexpr int MapRegionUnknown = 655;
constexpr int MapVersionUnknown = 656;
constexpr int MapNoTemplate = 657;
constexpr int PdaLibraryMissing = 658;
constexpr int SymbolsVersion2 = 659;
constexpr int StartGps = 660;
constexpr int MergeByCoordinateReference = 661;
constexpr int ShowGraph = 662;
constexpr int HideGraph = 663;
constexpr int DefaultSecondCommentCaption = 664;
constexpr int QueueCopyFailed = 665;
constexpr int ImportMoveFailed = 666;
constexpr int NothingImported = 667;
constexpr int SynchronisePda = 668;
constexpr int DiscardImportFiles = 669;
constexpr int OpenImportedFiles = 670;
constexpr int FrameAdditionalInformation = 671;
constexpr int AdditionalInfo = 672;
constexpr int AddressField1 = 673;
constexpr int AddressField2 = 674;
constexpr int LocationNumber = 675;
constexpr int SerialNumberLabel = 676;
constexpr int LabelSettings = 677;
constexpr int LabelLS = 678;
constexpr int LabelLocNumLS = 679;
constexpr int LabelSerialLS = 680;
constexpr int LeakModeOnly = 681;
constexpr int ShowAllDetails = 682;
constexpr int WaitBuilding = 683;
constexpr int WaitRestoring = 684;
constexpr int WaitClosing = 685;
constexpr int SerialInUse = 686;
constexpr int SymbolsVersion3 = 687;
constexpr int TooManyLoggers = 688;
constexpr int BackupFailed = 761;
constexpr int TooMany = 762;
constexpr int WriteFailed = 763;
constexpr int MergedSaveAsTitle = 764;
constexpr int Cancelled = 765;
constexpr int LoggerLimit = 780;
constexpr int FillLeavesSerials = 781;
constexpr int LoggerOfOtherList = 782;
constexpr int SyncUtilityMissing = 790;
constexpr int UnstorableCharacter = 795;
constexpr int HistogramSaveFailed = 796;
constexpr int TransferProgramNotStarted = 830;
constexpr int TransferProgramCrashed = 831;
constexpr int TransferResultMissing = 832;
constexpr int FieldUnitWriteFailed = 833;
constexpr int MapPrintFailed = 834;
constexpr int TransferProgramNotFound = 851; // the program is wholly absent (no other spelling of its name either)
constexpr int NothingChosenToSend = 852;
constexpr int TransferResultUnreadable = 853;
constexpr int AlreadyOpenChanged = 870; // opening a file that a window holds but that changed on disk since
constexpr int FileInOtherWindow = 871;  // saving onto a file that another window holds
constexpr int FileChangedOnDisk = 872;  // saving over a file that changed since this window read or wrote it

// The numbers every site's language file holds; the project's own texts come after.
constexpr int kLastShippedText = 687;

// The English texts of the numbers after kLastShippedText, as the language file holds them (Windows-1252).
constexpr std::pair<int, const char*> kBuiltInEnglish[] = {
    {TooManyLoggers, "The list holds more than 7000 loggers, more than a logger file can take. Nothing was written: "
                     "remove loggers or split the list first."},
    {BackupFailed, "The backup copy of the destination file could not be made, so nothing was written: "},
    {TooMany,
     "The merged list would hold more than 7000 loggers, so nothing was written. Loggers in the merged list: "},
    {WriteFailed, "The merged file could not be written; the previous file is unchanged. "},
    {MergedSaveAsTitle, "Save the merged area file as"},
    {Cancelled, "Search cancelled"},
    {LoggerLimit,
     "The list can hold at most 7000 loggers. Nothing was added: remove loggers or use another list first."},
    {FillLeavesSerials,
     "The series runs past the valid serial numbers, so no logger was added. First invalid serial number: "},
    {LoggerOfOtherList, "The logger in the editor comes from another logger list, or from a list that has been closed. "
                        "Nothing was written: select the logger in its own list and make the change there."},
    {SyncUtilityMissing, "The auto-sync utility could not be started: "},
    {UnstorableCharacter,
     "Commas, line breaks and characters outside the Windows character set cannot be kept in an area file."},
    {HistogramSaveFailed, "The histogram could not be saved in this file: "},
    {TransferProgramNotStarted, "The field-unit transfer program could not be started: "},
    {TransferProgramCrashed, "The field-unit transfer program ended abnormally. Nothing more was done: "},
    {TransferResultMissing, "The field-unit transfer program left no result file: "},
    {FieldUnitWriteFailed, "This list was not sent to the field unit: "},
    {MapPrintFailed, "The map could not be printed."},
    {TransferProgramNotFound,
     "The field-unit transfer program was not found. It must be an executable file named exactly RovemarkTalk: "},
    {NothingChosenToSend, "No list was chosen, so nothing was sent to the field unit."},
    {TransferResultUnreadable, "The field-unit transfer program left a result file that does not begin with its result "
                               "number, so it is not shown: "},
    {AlreadyOpenChanged, "This file is already open in a window, but it has changed on disk since that window read or "
                         "saved it. Open the file as it is now in a new window? No brings the open window forward."},
    {FileInOtherWindow, "This file is open in another window. Replacing it leaves that window showing what the file "
                        "held before, and saving from there would undo this save. Replace the file anyway?"},
    {FileChangedOnDisk, "The file has changed on disk since this list was read or last saved, by another window or "
                        "program. Saving replaces those changes with this list. Save anyway?"},
};

} // namespace txt
