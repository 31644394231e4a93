#include "core/language_loader.h"

#include "core/startup_services.h"

namespace {
// Constant-initialised, so it is null before any registering initialiser runs.
language_loader registered_loader = nullptr;
}  // namespace

void register_language_loader(language_loader loader) { registered_loader = loader; }

namespace localisation {
void load(std::uint32_t language_id) {
  if (registered_loader != nullptr) registered_loader(language_id);
}
}  // namespace localisation
