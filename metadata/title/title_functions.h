// The built-in title-formatting functions, grouped by family in the
// title_functions_*.cpp files; the function table points at them.
#pragma once

#include "metadata/title/title_call.h"

// Conditions and truth logic.
bool title_if(title_call& call);
bool title_if2(title_call& call);
bool title_if3(title_call& call);
bool title_iflonger(title_call& call);
bool title_ifgreater(title_call& call);
bool title_ifequal(title_call& call);
bool title_and(title_call& call);
bool title_or(title_call& call);
bool title_xor(title_call& call);
bool title_not(title_call& call);
bool title_greater(title_call& call);
bool title_longer(title_call& call);
bool title_select(title_call& call);
bool title_null(title_call& call);

// Text.
bool title_upper(title_call& call);
bool title_lower(title_call& call);
bool title_caps(title_call& call);
bool title_caps2(title_call& call);
bool title_trim(title_call& call);
bool title_pad(title_call& call);
bool title_pad_right(title_call& call);
bool title_padcut(title_call& call);
bool title_padcut_right(title_call& call);
bool title_repeat(title_call& call);
bool title_abbr(title_call& call);
bool title_ansi(title_call& call);
bool title_ascii(title_call& call);
bool title_longest(title_call& call);
bool title_shortest(title_call& call);
bool title_strchr(title_call& call);
bool title_strrchr(title_call& call);
bool title_strstr(title_call& call);
bool title_len(title_call& call);
bool title_len2(title_call& call);
bool title_replace(title_call& call);
bool title_strcmp(title_call& call);
bool title_stricmp(title_call& call);
bool title_rot13(title_call& call);
bool title_left(title_call& call);
bool title_right(title_call& call);
bool title_substr(title_call& call);
bool title_insert(title_call& call);
bool title_fix_eol(title_call& call);
bool title_char(title_call& call);
bool title_crlf(title_call& call);
bool title_tab(title_call& call);
bool title_crc32(title_call& call);
bool title_stripprefix(title_call& call);
bool title_swapprefix(title_call& call);

// Numbers.
bool title_num(title_call& call);
bool title_hex(title_call& call);
bool title_add(title_call& call);
bool title_sub(title_call& call);
bool title_mul(title_call& call);
bool title_div(title_call& call);
bool title_mod(title_call& call);
bool title_min(title_call& call);
bool title_max(title_call& call);
bool title_muldiv(title_call& call);
bool title_roman(title_call& call);
bool title_progress(title_call& call);
bool title_progress2(title_call& call);

// Paths.
bool title_directory(title_call& call);
bool title_directory_path(title_call& call);
bool title_filename(title_call& call);
bool title_ext(title_call& call);

// Colour codes.
bool title_rgb(title_call& call);
bool title_hsl(title_call& call);
bool title_blend(title_call& call);
bool title_transition(title_call& call);

// Dates and times.
bool title_year(title_call& call);
bool title_month(title_call& call);
bool title_day_of_month(title_call& call);
bool title_date(title_call& call);
bool title_time(title_call& call);
