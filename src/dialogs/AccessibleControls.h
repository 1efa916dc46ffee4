#pragma once

// Tells screen readers and voice control what the program's own controls
// are: the web link a link that can be pressed, the sample picture a
// picture. Without it they are anonymous panes. Safe to call more than once.
void InstallAccessibleControls();
