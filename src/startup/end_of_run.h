// What happens after the wizard: the screen saver is installed and, once the
// windows are closed, the product is started, as the installation recorded
// and the finish page left them. A cancel or an error cleared both.
#pragma once

void InstallScreenSaver();
void StartProgramToRun();
