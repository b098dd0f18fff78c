#include "wizard/dialog_objects.h"

#include "wizard/wizard_state.h"

void CreateDialogBrush() {
  g_wizard.dialogBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  g_wizard.dialogBrushCreated = g_wizard.dialogBrush != nullptr;
  if (!g_wizard.dialogBrushCreated) g_wizard.dialogBrush = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
}

void ReleaseDialogObjects() {
  if (g_wizard.dialogBrushCreated) DeleteObject(g_wizard.dialogBrush);
  g_wizard.dialogBrush = nullptr;
  g_wizard.dialogBrushCreated = false;
  if (g_wizard.dialogFont) DeleteObject(g_wizard.dialogFont);
  g_wizard.dialogFont = nullptr;
}
