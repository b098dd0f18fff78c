// The setup stubs and the uninstallers built for i686 and x86_64, carried
// inside the quorin binary so that one file is all an installer author needs.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum class StubArch { kI686, kX64 };

void EmbeddedStub(StubArch arch, const uint8_t** data, size_t* size);
// The uninstaller of the same architecture, ending with its 8-byte placeholder.
void EmbeddedUninstaller(StubArch arch, const uint8_t** data, size_t* size);
