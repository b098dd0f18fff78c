// Dialog control identifiers and page results: a contract between the stub
// and the dialog templates of every package.
#pragma once

// Frame dialog.
constexpr int kIdNext = 1;
constexpr int kIdCancel = 2;
constexpr int kIdBack = 1007;
constexpr int kIdPagePlaceholder = 1006;
constexpr int kIdSideBitmap = 1011;
constexpr int kIdFramedArea = 1012;

// Page texts 1000 to 1003 take entries 1 to 4 of the page's string group.
constexpr int kIdPageText = 1000;
constexpr int kPageTextCount = 4;

// Destination page.
constexpr int kIdFolderField = 1004;
constexpr int kIdBrowse = 1005;
constexpr int kIdSpaceNeeded = 1016;
constexpr int kIdSpaceNeededLabel = 1017;
constexpr int kIdSpaceFreeLabel = 1018;
constexpr int kIdSpaceFree = 1019;

// Progress page.
constexpr int kIdCurrentFile = 1008;
constexpr int kIdProgressBar = 1009;
constexpr int kIdPercentage = 1010;

// Finish page.
constexpr int kIdViewButton = 1014;
constexpr int kIdRunCheckBox = 1015;

// Closing page.
constexpr int kIdClosingCaption = 1005;
constexpr int kIdLinkButton = 1006;

// Page results.
constexpr int kResultRunning = 0;
constexpr int kResultNext = 1;
constexpr int kResultCancel = 2;
constexpr int kResultBack = 1007;

// Pages, also the numbers of their string groups.
enum Page {
  kPageWelcome = 0,
  kPageInformation = 1,
  kPageDestination = 2,
  kPageReady = 3,
  kPageProgress = 4,
  kPageFinish = 5,
  kPageClosing = 6,
  kPageCount = 7,
};
constexpr int kMessageGroup = 6;   // program title and every message
constexpr int kButtonGroup = 7;    // button captions

// Button state: which frame buttons a page enables.
constexpr unsigned kButtonBack = 0x1;
constexpr unsigned kButtonNext = 0x2;
constexpr unsigned kButtonCancel = 0x4;
constexpr unsigned kCancelWithoutQuestion = 0x100;
