#pragma once

// Placeholder for deleting a file at the next restart; a relaunch copy calls
// it for itself. Until files can be replaced at restart it does nothing, so
// the copy stays in the temporary folder.
void DeleteAtRestartPlaceholder(const char* path);
