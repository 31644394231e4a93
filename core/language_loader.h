// Start-up's way to the language loader. The loader reads files and so lives
// in the file layer, above this one; it registers itself here when its layer
// is linked, and start-up calls it through localisation::load
// (core/startup_services.h). A program built without the file layer starts
// with an empty language table.
#pragma once

#include <cstdint>

using language_loader = void (*)(std::uint32_t language_id);

// Called from a static initialiser of the loader's layer.
void register_language_loader(language_loader loader);
