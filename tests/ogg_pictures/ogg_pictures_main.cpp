// Test helper: ogg_pictures write PATH PICTURE | read PATH OUT
// Stores the bytes of PICTURE as the front cover of the Ogg file PATH through
// the album-art writer service, or saves its front cover, found through the
// album-art reader service, to OUT. Paths are Windows paths.
#include <cstdio>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "io/path_schemes.h"
#include "metadata/album_art_services.h"
#include "metadata/tags/id3v2_tag_service.h"

namespace {

std::vector<char> read_file(const wchar_t* path) {
  std::vector<char> bytes;
  if (FILE* f = _wfopen(path, L"rb")) {
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(f);
  }
  return bytes;
}

std::string utf8_of(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

template <class Service>
service_ptr<Service> service_for(const std::string& path) {
  const std::string extension = path.substr(path.rfind('.') + 1);
  for (auto& service : service_list_t<Service>()) {
    if (service->is_our_path(path.c_str(), extension.c_str())) return service;
  }
  return {};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  service_registry::table().build(service_factory::global_list_head);
  qiv::string_buffer path;
  vantrel_io::canonicalize_path(utf8_of(argv[2]).c_str(), path);
  const abort_signal& abort = never_raised_abort_signal();
  try {
    if (std::wstring(argv[1]) == L"write") {
      const std::vector<char> picture = read_file(argv[3]);
      album_art_editor_ptr editor;
      service_for<album_art_writer>(path.get_ptr())->open(editor, nullptr, path.get_ptr(), abort);
      editor->set(album_art_ids::front,
                  album_art_data::create_from_buffer(picture.data(), static_cast<std::uint32_t>(picture.size())),
                  abort);
      editor->commit(abort);
      return 0;
    }
    album_art_extractor_ptr extractor;
    service_for<album_art_reader>(path.get_ptr())->open(extractor, nullptr, path.get_ptr(), abort);
    const album_art_data_ptr front = extractor->query(album_art_ids::front, abort);
    FILE* out = _wfopen(argv[3], L"wb");
    if (!out) return 3;
    std::fwrite(front->get_ptr(), 1, front->get_size(), out);
    std::fclose(out);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
