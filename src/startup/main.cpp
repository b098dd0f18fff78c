#include <windows.h>

#include "startup/config_block.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return StubSize() ? 0 : -1;
}
