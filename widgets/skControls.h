#pragma once
// Registers every control class of the library that is found by name (the
// button classes of button groups, the outlook panel and list), so that a
// program can list and create them. Called once at start-up.
void skRegisterControls();
