// The content-type test of the inputs: parameters after ';' do not matter,
// and MIME types compare without regard to ASCII case.
#pragma once

bool mime_type_matches(const char* content_type, const char* mime_type);
