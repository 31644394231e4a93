#include "metadata/tag_writes_in_progress.h"

#include <atomic>

namespace {
std::atomic<int> open_scopes{0};
}  // namespace

tag_write_scope::tag_write_scope() noexcept { ++open_scopes; }
tag_write_scope::~tag_write_scope() { --open_scopes; }
bool tag_write_scope::any_open() noexcept { return open_scopes.load() > 0; }
