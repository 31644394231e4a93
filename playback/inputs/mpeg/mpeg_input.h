// The MPEG audio input's decisions that stand apart from the stream: which
// files and stream addresses it claims, and which tag kinds a write puts
// into a file given the kinds it has and the scheme for untagged files.
#pragma once

bool mpeg_is_our_content_type(const char* mime_type);
bool mpeg_is_our_path(const char* path, const char* extension);
// `tagtype` is the "tagtype" value the tag reader gave ("id3v2.3|id3v1").
// Answers a mask of tag_services kinds.
unsigned mpeg_tag_kinds_to_write(const char* tagtype, bool id3v1_holds_info);
