// Font registration: a font placed in the fonts folder is made available at
// once and entered in the system's fonts key under its full name.
#pragma once

void RegisterFont(const char* path);
