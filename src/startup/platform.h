#pragma once

// Sets the NT flag (the NT family) and the NT 4 flag from GetVersionExA.
void ReadPlatform();
