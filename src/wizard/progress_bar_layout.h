// The blocks of the progress bar: square blocks as wide as half the bar's
// height with 2-pixel gaps, starting at x = 1; the first always shows.
#pragma once

// The number of blocks a bar of width x height shows at the percentage.
int ProgressBlockCount(int width, int height, unsigned percentage);
// The left edge of block i (from 0).
int ProgressBlockLeft(int height, int i);
