#include "core/close_guard_registry.h"

#include <cstdint>

#include "core/service_factory.h"
#include "foundation/avl_tree.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"

namespace {

// Guards are ordered by address: the set only needs each guard once.
int compare_guards(close_guard* a, close_guard* b) noexcept {
  const auto x = reinterpret_cast<std::uintptr_t>(a);
  const auto y = reinterpret_cast<std::uintptr_t>(b);
  return (x > y) - (x < y);
}
using guard_set = qiv::avl_set<close_guard*, qiv::order_by<compare_guards>>;

class close_guard_set : public close_guard_registry {
public:
  void add(close_guard* guard) override {
    require_main_thread();
    guards_.insert(guard);
  }
  void remove(close_guard* guard) override {
    require_main_thread();
    guards_.remove(guard);
  }

  qiv::array<close_guard*> list() const {
    require_main_thread();
    qiv::array<close_guard*> result;
    for (auto* node = guards_.first(); node != nullptr; node = guard_set::step(node, true)) result.append(node->key);
    return result;
  }

private:
  guard_set guards_;
};

service_factory_single_t<close_guard_set> close_guard_registration;

}  // namespace

close_guard_registry& close_guards() { return close_guard_registration.get_static_instance(); }

qiv::array<close_guard*> active_close_guards() { return close_guard_registration.get_static_instance().list(); }
