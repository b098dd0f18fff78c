// The project file an installer author writes: what the setup is called, how it
// looks, where it installs and which files it carries. LoadProject turns the
// TOML text into this model and checks everything that can be checked without
// reading the source files.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

struct ProjectFile {
  std::string source;        // host path; empty for an external entry without a source
  std::string destination;   // relative Windows path, backslashes
  std::string origin;        // "project.toml:12" for messages
  uint8_t destinationKind = 0;
  uint8_t finishAction = 0;
  uint8_t shared = 0;
  uint8_t entryKind = 1;     // listed for removal unless the project says otherwise
  uint8_t special = 0;
  uint8_t options = 0;
  uint16_t iconIndex = 0;
  std::string menuFolders;
  std::string menuShortcut;
  std::string menuArguments;
  std::string desktopShortcut;
  std::string desktopArguments;
  bool builtIn = false;      // the uninstaller quorin adds itself: no source, its bytes come from quorin
};

struct TitleStyle {
  uint32_t firstColour = 0x000000;    // COLORREF of the shadow pass, drawn first
  uint32_t secondColour = 0xFFFFFF;   // COLORREF of the pass on top
  std::string face = "Times New Roman";
  int32_t height = 48;                // pixels
  int32_t weight = 700;
  bool italic = true;
  uint8_t charset = 0;                // ANSI_CHARSET
};

struct Project {
  std::string path;                   // the project file
  std::string baseDir;                // sources are relative to it
  bool parsed = false;                // read as TOML with a [setup] table, so further checks make sense
  std::string outputPath;             // the setup file LoadProject kept every input apart from, if given
  uint32_t codepage = 1252;           // ANSI code page of every text and name in the package
  std::string title;
  std::string uninstallName;
  std::string uninstallNameOrigin;    // "project.toml:3" when the project sets it
  std::string uninstallerName = "uninst.exe";  // the uninstaller quorin adds; empty: none
  std::string uninstallerNameOrigin;  // where the project names it, if it does
  bool pacing = true;                 // write the install pacing record
  uint32_t pacingMs = 0;              // set by LoadProject (the default pacing unless the project says)
  std::string displayVersion;         // values of the uninstall entry, texts in the code page
  std::string publisher;
  std::string displayIcon;
  std::string defaultFolder;
  uint32_t flags = 0;
  uint16_t startPage = 0xFFFF;
  std::string sideBitmap;             // host paths, empty when absent
  std::string backgroundBitmap;
  std::string backgroundTitle;
  bool hasTitleStyle = false;
  TitleStyle titleStyle;
  bool hasRegistryLocation = false;
  uint32_t registryRoot = 2;
  std::string registryKey;
  std::string registryValue;
  bool hasIniLocation = false;
  std::string iniFile;
  std::string iniSection;
  std::string iniKey;
  std::string dialogs;                // .rc or .res, empty for the default dialogs
  std::string dialogsOrigin;
  std::map<std::pair<int, int>, std::string> texts;   // (group, entry) -> text
  std::map<std::pair<int, int>, std::string> textOrigins;  // "project.toml:12"
  std::string informationFile;        // host path of 'information_file', empty when absent
  std::string informationFileOrigin;
  std::vector<ProjectFile> files;
  std::vector<std::string> warnings;  // "file:line: warning: ..." found while reading
};

// Reads and checks the project file. Every problem found is appended to errors
// as "file:line: problem"; the result is true only when there are none.
// outputPath, when given, is the setup file the build will write: patterns
// leave it and its volume files out, and naming it as a source is an error.
bool LoadProject(const std::string& path, Project* project, std::vector<std::string>* errors,
                 const std::string& outputPath = std::string());

// Puts messages in the order an author reads the project: those of the
// project file by line, then the others in the order they came; drops repeats.
void OrderMessages(const std::string& projectPath, std::vector<std::string>* messages);

// A friendly text name ("information") to its group and entry; false if unknown.
bool LookupTextName(const std::string& name, int* group, int* entry);

// Names and values of the friendly text names, for the documentation and messages.
const std::vector<std::pair<std::string, std::pair<int, int>>>& TextNames();

// Where the stub puts a folder macro at the start of a folder text, for length
// checks: the text with a macro replaced by a typical expansion.
std::string TypicalFolder(const std::string& folder);

constexpr size_t kMaxPathChars = 259;
constexpr size_t kMaxTextChars = 1023;     // the stub formats texts into 1,024-byte buffers
// The information page's texts go to their controls whole; its text field is
// an edit control, which on the Windows 9x family holds at most 65,535 characters.
constexpr size_t kMaxControlTextChars = 65535;

// The longest text a (group, entry) may hold.
size_t TextLimit(int group, int entry);
