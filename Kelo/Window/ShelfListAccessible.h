#pragma once

namespace kelo {

// Makes the shelf list speak to assistive technology as it shows itself: a list whose rows are
// list items named by their files and described by what the row shows beside the name, with
// the row's actions ("Open", the menu); section headers are headings, the expired one holding
// its "Opruimen…" button. Installed once per process, before the first list is made.
void installShelfListAccessibility();

} // namespace kelo
