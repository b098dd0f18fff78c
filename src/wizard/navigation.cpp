#include "wizard/navigation.h"

#include "common/controls.h"

int NextPageIndex(int index, int result) {
  switch (result) {
    case kResultNext: return index >= kPageClosing ? -1 : index + 1;
    case kResultCancel: return index >= kPageClosing ? -1 : kPageClosing;
    case kResultBack: return index > 0 ? index - 1 : index;
    default: return index;
  }
}
