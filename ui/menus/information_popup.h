// Reporting a failure to the user without a modal box, and asking whether a
// window or shell action may be opened right now.
#pragma once

// False off the main thread and while a modal window is open; that window is
// then brought forward with a beep instead. Any thread.
bool ui_interaction_allowed();

// The caption of information popups ("Information").
const char* dialog_information_caption();

// Any thread: shows the text in the popup message window under the
// information caption.
void show_information_popup(const char* text);
// Shows label + ": " + detail.
void show_labelled_information_popup(const char* label, const char* detail);
