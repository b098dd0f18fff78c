#include "default_texts.h"

#include <string.h>

namespace {

constexpr TextFormat kPlain = TextFormat::kPlain;
constexpr TextFormat kString = TextFormat::kString;
constexpr TextFormat kInteger = TextFormat::kInteger;

// Group p (0 to 6) belongs to wizard page p: entry 0 is its caption, entries 1
// to 4 go to the page's controls 1000 to 1003 where its dialog has them. Group
// 6 also holds the program title and every message; group 7 the buttons.
// The default dialogs place the page texts so that an empty entry leaves no
// odd gap; entries that the default dialogs do not show stay empty.
const DefaultText kTexts[] = {
    // ---- 0: welcome page -----------------------------------------------------
    {0, 0, kPlain, false, "", "welcome page caption", "Welcome"},
    {0, 1, kPlain, false, "", "welcome page, first paragraph (1000)",
     "Welcome to the {title} Setup program. This program will install {title} on your computer."},
    {0, 2, kPlain, false, "", "welcome page, second paragraph (1001)",
     "It is strongly recommended that you exit all Windows programs before running this Setup program."},
    {0, 3, kPlain, false, "", "welcome page, third paragraph (1002)",
     "Click Cancel to quit Setup and close any programs you have running. Click Next to continue with the "
     "Setup program."},
    {0, 4, kPlain, false, "", "welcome page, fourth paragraph (1003)", ""},

    // ---- 1: information page ---------------------------------------------------
    {1, 0, kPlain, false, "", "information page caption", "Information"},
    {1, 1, kPlain, false, "", "information text (1000, a scrolling box; lines end in CR LF); empty skips the page", ""},
    {1, 2, kPlain, false, "", "information page, line above the text (1001)",
     "Please read the following information before continuing."},
    {1, 3, kPlain, false, "", "information page, line below the text (1002)",
     "When you are ready to continue with Setup, click Next."},
    {1, 4, kPlain, false, "", "information page, fourth text (1003; not in the default dialog)", ""},

    // ---- 2: destination page ---------------------------------------------------
    {2, 0, kPlain, false, "", "destination page caption", "Choose Destination Location"},
    {2, 1, kPlain, false, "", "destination page, first paragraph (1000)",
     "Setup will install {title} in the following folder."},
    {2, 2, kPlain, false, "", "destination page, second paragraph (1001); restored after a failed check",
     "To install in this folder, click Next. To install in a different folder, type its name below or click "
     "Browse and select another folder."},
    {2, 3, kPlain, false, "", "destination page, third paragraph (1002); restored after a failed check",
     "You can choose not to install {title} by clicking Cancel to exit Setup."},
    {2, 4, kPlain, true, "", "destination page, label of the folder field (1003); restored after a failed check",
     "&Destination folder:"},
    {2, 5, kPlain, false, "", "destination page, label of the space needed (1017)", "Space required:"},
    {2, 6, kPlain, false, "", "destination page, label of the space free (1018)", "Space available:"},
    {2, 7, kInteger, false, "megabytes", "destination page, both space figures (1016, 1019)", "%u MB"},

    // ---- 3: ready page (the welcome page's dialog) -----------------------------
    {3, 0, kPlain, false, "", "ready page caption", "Ready to Install"},
    {3, 1, kPlain, false, "", "ready page, first paragraph (1000)",
     "Setup now has enough information to begin installing {title} on your computer."},
    {3, 2, kString, false, "destination folder", "ready page, destination line (1001)",
     "{title} will be installed in:\n%s"},
    {3, 3, kPlain, false, "", "ready page, third paragraph (1002)",
     "Click Install to begin copying files. If you want to review or change the destination folder, click "
     "Back."},
    {3, 4, kPlain, false, "", "ready page, fourth paragraph (1003)", ""},

    // ---- 4: progress page ------------------------------------------------------
    {4, 0, kPlain, false, "", "progress page caption", "Installing"},
    {4, 1, kPlain, false, "", "progress page, first paragraph (1000)",
     "Please wait while Setup installs {title} on your computer."},
    {4, 2, kPlain, false, "", "progress page, label above the file name (1001)", "Installing file:"},
    {4, 3, kPlain, false, "", "progress page, text below the progress bar (1002)",
     "To stop the installation, click Cancel."},
    {4, 4, kPlain, false, "", "progress page, fourth text (1003)", ""},

    // ---- 5: finish page --------------------------------------------------------
    {5, 0, kPlain, false, "", "finish page caption", "Setup Complete"},
    {5, 1, kPlain, false, "", "finish page, main text (1000)",
     "Setup has finished installing {title} on your computer.\n\nClick Next to close Setup."},
    {5, 2, kPlain, false, "",
     "finish page, text above the view button (1001); empty lets the check box move up", ""},
    {5, 3, kPlain, false, "",
     "finish page, text below the view button and check box (1002); moves up to 1001 with the check box", ""},
    {5, 4, kString, false, "error message",
     "finish page, text after an error (1000), wrapping the error message",
     "Setup could not complete the installation of {title}.\n\n%s\n\nThe files installed before the error "
     "remain on your computer."},
    {5, 5, kPlain, true, "", "finish page, view button (1014); empty opens the file at once", "&View Read Me"},
    {5, 6, kPlain, true, "", "finish page, check box to run the program (1015); empty hides it",
     "&Start {title} when Setup closes"},
    {5, 7, kPlain, false, "", "finish page, notice that Windows must restart",
     "Some files were in use and will be replaced when Windows restarts. Click Restart to restart Windows "
     "now, or restart it yourself later."},

    // ---- 6: program title, folder browser and messages -------------------------
    {6, 0, kPlain, false, "", "program title: background window and every message box", "{title} Setup"},
    {6, 1, kPlain, false, "", "folder browser caption", "Choose Folder"},
    {6, 2, kPlain, true, "", "folder browser, label of the folder field (1009)", "&Folder:"},
    {6, 3, kPlain, true, "", "folder browser, label of the drive list (1091)", "Dri&ves:"},
    {6, 4, kPlain, false, "", "destination page, status while the folder is checked (1001)",
     "Checking the destination folder and the space available. Please wait..."},
    {6, 5, kPlain, false, "", "message: the destination folder could not be created",
     "Setup could not create the destination folder. Please choose another folder."},
    {6, 6, kPlain, false, "", "question: create the missing destination folder? empty creates it without asking",
     "The destination folder does not exist.\n\nDo you want Setup to create it?"},
    {6, 7, kPlain, false, "", "question on the ready page when files to be replaced are read-only; empty skips it",
     "Some of the files that Setup will replace are marked read-only. Setup will replace them all the "
     "same.\n\nDo you want to continue?"},
    {6, 8, kPlain, false, "", "message heading when the destination check fails",
     "Setup cannot install into the selected folder."},
    {6, 9, kString, false, "error file name", "error 9: an existing file in the destination cannot be written",
     "The existing file %s is read-only, and Setup cannot change it. Please choose another folder."},
    {6, 11, kPlain, false, "", "question: not enough free disk space; Yes installs anyway",
     "There is not enough free space on the destination disk to install {title}.\n\nDo you want to continue "
     "anyway?"},
    {6, 13, kPlain, false, "", "question: stop the installation (progress page and disk prompt)",
     "Do you want to stop installing {title}?\n\nThe files installed so far will not be removed."},
    {6, 14, kPlain, false, "", "question: quit Setup (Cancel button)",
     "Setup is not complete. If you quit now, {title} will not be installed.\n\nDo you want to quit Setup?"},
    {6, 15, kPlain, false, "", "message after a cancel (also error 15 on the finish page)",
     "Setup was cancelled before {title} was completely installed. You can run Setup again at any time."},
    {6, 16, kString, false, "error file name", "error 16: the setup file or a temporary file cannot be opened",
     "Setup could not open the file %s. The file may be missing, damaged or in use."},
    {6, 17, kString, false, "error file name", "error 17: a temporary file cannot be created",
     "Setup could not create the file %s. The disk may be full or write-protected, or you may not have "
     "permission to write to this folder."},
    {6, 21, kString, false, "error file name", "error 21: an installed file does not match its checksum",
     "The file %s was not installed correctly: its contents do not match the original. The setup files may "
     "be damaged; please obtain a new copy of Setup."},
    {6, 22, kString, false, "error file name", "error 22: a file in use cannot be replaced",
     "Setup could not replace the file %s. Close all other programs and run Setup again."},
    {6, 28, kInteger, false, "disk number", "prompt for the next disk",
     "Please insert {title} Setup disk %u and click OK."},
    {6, 29, kString, false, "file path", "question: replace a newer file? No keeps it; empty keeps it without asking",
     "The file %s on your computer is newer than the one Setup is about to install.\n\nDo you want to replace "
     "it with the older file?"},
    {6, 30, kString, false, "file path", "question: replace a file of another language?",
     "The file %s on your computer is in a different language from the one Setup is about to install.\n\nDo "
     "you want to replace it?"},
    {6, 31, kPlain, false, "", "message: the setup file is incomplete",
     "This Setup program is incomplete or damaged. Please obtain a complete copy of Setup and run it again."},

    // ---- 7: buttons ------------------------------------------------------------
    {7, 0, kPlain, true, "", "Back button", "< &Back"},
    {7, 1, kPlain, true, "", "Next button", "&Next >"},
    {7, 2, kPlain, true, "", "Cancel button", "Cancel"},
    {7, 3, kPlain, true, "", "Next button on the ready page", "&Install"},
    {7, 4, kPlain, true, "", "folder browser OK button", "OK"},
    {7, 5, kPlain, true, "", "folder browser Cancel button; Cancel button on the progress page", "Cancel"},
    {7, 6, kPlain, true, "", "Back button on the finish page when Windows must restart", "&Restart"},
};

std::string Replace(const char* text, const std::string& value) {
  static const char kPlaceholder[] = "{title}";
  constexpr size_t kLength = sizeof(kPlaceholder) - 1;
  std::string out;
  for (const char* p = text; *p;) {
    if (strncmp(p, kPlaceholder, kLength) == 0) {
      out += value;
      p += kLength;
    } else {
      out += *p++;
    }
  }
  return out;
}

std::string Doubled(const std::string& text, char c) {
  std::string out;
  for (char ch : text) {
    out += ch;
    if (ch == c) out += c;
  }
  return out;
}

// A text as one table cell: pipes escaped, line feeds shown as \n.
std::string Cell(const char* text) {
  if (!*text) return "*(empty)*";
  std::string out = "`";
  for (const char* p = text; *p; ++p) {
    if (*p == '\n') out += "\\n";
    else if (*p == '|') out += "\\|";
    else out += *p;
  }
  return out + "`";
}

std::string Argument(const DefaultText& t) {
  switch (t.format) {
    case TextFormat::kString: return std::string(t.argument) + ", `%s`";
    case TextFormat::kInteger: return std::string(t.argument) + ", `%u`";
    case TextFormat::kPlain: break;
  }
  return "";
}

}  // namespace

std::string DefaultTextsMarkdownTable() {
  std::string out = "| Group | Entry | Purpose | Default text | Argument |\n|---|---|---|---|---|\n";
  for (const DefaultText& t : kTexts) {
    out += "| " + std::to_string(t.group) + " | " + std::to_string(t.entry) + " | " + t.purpose + " | " + Cell(t.text) +
           " | " + Argument(t) + " |\n";
  }
  return out;
}

const DefaultText* DefaultTexts(size_t* count) {
  *count = sizeof(kTexts) / sizeof(kTexts[0]);
  return kTexts;
}

const DefaultText* FindDefaultText(int group, int entry) {
  for (const DefaultText& t : kTexts)
    if (t.group == group && t.entry == entry) return &t;
  return nullptr;
}

std::string ExpandDefaultText(const char* text, const std::string& title) { return Replace(text, title); }

std::string ExpandDefaultText(const DefaultText& text, const std::string& title) {
  std::string value = title;
  if (text.format != TextFormat::kPlain) value = Doubled(value, '%');
  if (text.mnemonic) value = Doubled(value, '&');
  return Replace(text.text, value);
}
