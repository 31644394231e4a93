// The one trailing-tag service start-up insists on, for tests that build
// their own service tables; it has no tags to remove.
#pragma once

#include "core/tag_service.h"

class sample_tag_service : public tag_service {
public:
  void remove(vantrel_io::file_object&, const abort_signal&) override {}
};
