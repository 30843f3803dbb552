// What assistive technology learns of the drive list. On Linux Qt names a
// drop-down by its current text and expects a label beside it to say what it
// is; the drive list has no label, so it is named by its accessible name and
// its current text becomes its value.
#pragma once

namespace vm {

// Installs the accessible interface for vm::DriveListBox (once).
void installDriveListAccessibility();

} // namespace vm
