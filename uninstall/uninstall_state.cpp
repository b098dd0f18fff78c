#include "uninstall_state.h"

#include "common/setup_state.h"

// Compiled without data sections (see CMakeLists.txt): the compiler then
// keeps this zero-filled state out of the file instead of writing it as
// zeros. The setup state is the uninstaller's own instance of it: the shared
// pieces read the platform flag from it, and defining it here keeps the
// stub's path buffers out of the uninstaller.
UninstallState g_uninstall;
SetupState g_setup;
