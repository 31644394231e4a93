// The picture shown behind a list of tracks: a cover image beside the files.
#pragma once

#include <string>
#include <string_view>

#include "metadata/track_handle.h"

// The names a folder picture may have, best first (compared without regard
// to ASCII case when a listing is matched against them).
inline constexpr const wchar_t* picture_file_names[] = {L"front cover.jpg", L"front.jpg", L"cover.jpg", L"folder.jpg"};
inline constexpr int picture_file_name_count = 4;

// The index in picture_file_names of a file name, or -1.
int picture_file_rank(std::wstring_view name);

// The first picture found in the folders of the tracks, in track order; each
// folder is looked at once.
bool folder_picture_find(const track_handle_list& tracks, std::wstring& out);
