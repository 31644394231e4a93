// Texts shown by controls that take "&" as the mark of a mnemonic (menus,
// buttons, tooltips), escaped so that every "&" shows as itself.
#pragma once

#include <string>

// Every "&" doubled, as menus and buttons want it.
std::string escape_ampersands(const char* text);

// Tooltips strip one level of escaping before the control does its own: in
// every run of n "&" the first becomes "&&&" and each further one "&&".
std::string escape_ampersands_for_tooltip(const char* text);
