// What the user hears: the one confirmation, the shared-file question, the
// closing message, and the list of what was refused or left behind. In quiet
// mode nothing is shown and every question counts as answered Yes.
#pragma once

#include <stdint.h>

// Adds "- what: why" to the list (why may be null). A full list ends with a
// line saying that more were left out.
void NoteProblem(const char* what, const char* why);
bool HasProblems();
const char* ProblemList();

// A message box titled "<product> Uninstall"; returns the button pressed.
int ShowUninstallMessage(const char* text, unsigned type);
// Formats a text with the product name for its %s and shows it.
int ShowAboutProduct(const char* format, const char* more, unsigned type);
