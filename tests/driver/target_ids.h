// Resource and control identifiers of the driver's test target. The control
// numbers follow the wizard's: 1 Next, 2 Cancel, 1007 Back, 1000-1003 page texts.
#pragma once

#define IDD_TARGET_FRAME 100
#define IDD_TARGET_PAGE 101

#define IDC_TARGET_ASK 1010
#define IDC_TARGET_BACK 1007
#define IDC_TARGET_TEXT 1000
#define IDC_TARGET_EDIT 1001
#define IDC_TARGET_AGREE 1002
#define IDC_TARGET_ARGS 1003
