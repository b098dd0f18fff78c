#include "wizard/progress_bar_layout.h"

int ProgressBlockLeft(int height, int i) { return 1 + i * (height / 2 + 2); }

int ProgressBlockCount(int width, int height, unsigned percentage) {
  int half = height / 2;
  // The filled width in unsigned arithmetic, compared signed.
  int filled = static_cast<int>(percentage * static_cast<unsigned>(width) / 100u);
  int count = 1;
  for (int x = ProgressBlockLeft(height, 1); x + half < width && x + half < filled; x += half + 2) ++count;
  return count;
}
