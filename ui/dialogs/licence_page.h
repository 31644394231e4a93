// The licence and credits page: an HTML file that the program writes from
// its own resources into "<profile>\about\", with the translators' credits of
// the loaded language inserted, and opens in the user's browser.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The credits as HTML text: line feeds become "<br />", carriage returns go,
// and the five characters that HTML gives meaning are escaped; every other
// byte passes, so UTF-8 stays intact.
std::string escape_credits_html(const char* credits);

// The page with its credits paragraph: "<p>" + the escaped credits + "</p>"
// in place of the marker paragraph, or nothing there when there are no
// credits. A page without the marker stays as it is.
std::string insert_credits(const std::string& html, const char* credits);

// Writes "license.html" and "license-apache-2.0.txt" into "about" under the
// profile folder (a "file://" path), replacing earlier copies, and answers
// the page's native path. Failures throw the file layer's exceptions; files
// are replaced whole or not at all.
std::string write_licence_page(const char* profile_path, const char* credits);

// How the page reaches the browser: the shell's "open" by default, a
// recorder in tests.
using shell_opener = std::function<void(HWND owner, const char* target)>;
void open_with_shell(HWND owner, const char* target);

// Writes the page and opens it. A failure is shown to the user in the
// information popup, never passed on: this runs from a link click.
void show_licence_page(HWND owner, const shell_opener& open = open_with_shell);
