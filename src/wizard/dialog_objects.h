#pragma once

// The brush every page and the frame dialog paint their background with:
// the button face colour, or the stock light grey brush if none can be made.
void CreateDialogBrush();

// Deletes the shared dialog brush (only one that was made) and the shared font.
void ReleaseDialogObjects();
