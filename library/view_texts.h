// The user-visible texts of the library views, in the current language, with
// the English text where the language lacks one.
#pragma once

// An id this file does not know reads as the empty text.
const char* view_text(const char* id);
