// Asks the registered services what the player would ask of a Matroska file:
//   claims NAME MIME    which decoder service claims the extension and the MIME type
//   art PATH            the attached pictures the album-art reader finds, one line per kind
#include <cstdio>
#include <cstring>
#include <string>

#include "core/abort_signal.h"
#include "core/service_registry.h"
#include "core/service_factory.h"
#include "foundation/path_names.h"
#include "io/io_exceptions.h"
#include "metadata/album_art_data.h"
#include "metadata/album_art_services.h"
#include "metadata/decoder_service.h"
#include "metadata/tags/id3v2_tag_service.h"

namespace {

// The Matroska decoder service, by its class id.
constexpr GUID matroska_service = {0x436547FC, 0xC4EF, 0x4322, {0xB5, 0x9E, 0xE6, 0x96, 0xA2, 0x5F, 0xAB, 0x2C}};

std::string extension_of(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

int claims(const char* name, const char* mime) {
  bool by_path = false, by_mime = false;
  for (auto& service : service_list_t<decoder_service>()) {
    by_path = by_path || service->is_our_path(name, extension_of(name).c_str());
    by_mime = by_mime || service->is_our_content_type(mime);
  }
  std::printf("path %d mime %d\n", by_path, by_mime);
  return 0;
}

int art(const char* path) {
  raisable_abort_signal abort;
  for (auto& reader : service_list_t<album_art_reader>()) {
    const std::string extension = extension_of(path);
    if (!reader->is_our_path(path, extension.c_str())) continue;
    album_art_extractor_ptr pictures;
    try {
      reader->open(pictures, nullptr, path, abort);
    } catch (const vantrel_io::exception_io& e) {
      std::printf("error %s\n", e.what());
      return 0;
    }
    const struct {
      const char* name;
      const GUID& kind;
    } kinds[] = {{"front", album_art_ids::front},
                 {"back", album_art_ids::back},
                 {"disc", album_art_ids::disc},
                 {"artist", album_art_ids::artist}};
    for (const auto& kind : kinds) {
      try {
        const album_art_data_ptr picture = pictures->query(kind.kind, abort);
        std::printf("%s %u\n", kind.name, picture->get_size());
      } catch (const exception_album_art_not_found&) {
      }
    }
    return 0;
  }
  std::printf("unclaimed\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  service_registry::table().build(service_factory::global_list_head);
  if (argc == 4 && std::strcmp(argv[1], "claims") == 0) return claims(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "art") == 0) return art(argv[2]);
  std::fprintf(stderr, "usage: matroska_services_probe claims NAME MIME | art PATH\n");
  return 2;
}
