#pragma once

// Registers the pictures and the help pages compiled into the GUI library
// (a static library's resources are not registered on their own).
void InitGuiResources();
