#pragma once

namespace kelo {

// Makes the bundled symbols and the application icon (":/icons/…") available to Qt. Kelo is
// built as static libraries, so the compiled-in resources have to be registered by hand; any
// code that loads one calls this first. Calls after the first do nothing.
void initKeloResources();

} // namespace kelo
