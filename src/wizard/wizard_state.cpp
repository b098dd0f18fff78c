#include "wizard/wizard_state.h"

WizardState g_wizard;
