#pragma once
// Language text numbers used by the printing windows and reports, each named once.
#include <cstdint>

namespace printing::txt {
// Report options dialog captions.
constexpr int32_t DialogTitle = 320;
constexpr int32_t SelectDates = 405;
constexpr int32_t SummaryReport = 406;
constexpr int32_t ByStatus = 407;
constexpr int32_t AllLoggers = 288;
constexpr int32_t Leak = 408;
constexpr int32_t Warning = 409;
constexpr int32_t NotInLeak = 410;
constexpr int32_t IncludeHistory = 411;
constexpr int32_t Preview = 412;
constexpr int32_t FontButton = 414;
constexpr int32_t LoggerInfo = 415;
constexpr int32_t Comment2 = 300;
constexpr int32_t Comment1 = 299;
constexpr int32_t Received = 163;
constexpr int32_t Deployed = 162;
constexpr int32_t GridRef = 363;
constexpr int32_t Ok = 474;
constexpr int32_t Cancel = 246;
constexpr int32_t PrinterButton = 417;
constexpr int32_t CommentLabel = 418;
constexpr int32_t Information = 500;

// Messages.
constexpr int32_t NoDatesChosen = 422;
constexpr int32_t DateChooserTitle = 423;
constexpr int32_t HeaderTooWide = 430;
constexpr int32_t NoStatusChosen = 443;
constexpr int32_t PrintFailed = 466; // followed by the printer's reason

// Status words as records hold them.
constexpr int32_t StatusWarning = 184;
constexpr int32_t StatusLeak = 185;
constexpr int32_t StatusNotInLeak = 186;

// Pieces of the selection description.
constexpr int32_t SelectionPrefix = 444;
constexpr int32_t SelectionAll = 445;
constexpr int32_t SelectionWarning = 446;
constexpr int32_t SelectionLeak = 447;
constexpr int32_t SelectionNotInLeak = 448;
constexpr int32_t SelectionHistory = 449;
constexpr int32_t SelectionLatest = 450;
constexpr int32_t SelectionSummary = 503;

// Column header cells.
constexpr int32_t HeadSerial = 451;
constexpr int32_t HeadGridRef = 452;
constexpr int32_t HeadDeployed = 453;
constexpr int32_t HeadReceived = 454;
constexpr int32_t HeadComment1 = 455;
constexpr int32_t HeadComment2 = 456;
constexpr int32_t HeadReadings = 458;
constexpr int32_t HeadHistory = 459;

// Title line of every page: 460 file 461 date 462 selection 463 page [464].
constexpr int32_t TitleBeforeName = 460;
constexpr int32_t TitleBeforeDate = 461;
constexpr int32_t TitleBeforeSelection = 462;
constexpr int32_t TitleBeforePage = 463;
constexpr int32_t TitleSummary = 464;
constexpr int32_t CommentLine = 465;

// Progress in the status bar: 467 pages 468 row [469 reading].
constexpr int32_t ProgressPages = 467;
constexpr int32_t ProgressRow = 468;
constexpr int32_t ProgressReading = 469;
} // namespace printing::txt
