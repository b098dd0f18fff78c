#include "install/restart_placeholder.h"

void DeleteAtRestartPlaceholder(const char*) {}
