// Asking the quit-approval services before the application closes.
#include "core/shutdown_approval.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/service_factory.h"
#include "core/service_registry.h"

namespace {

class counting_approval : public quit_approval {
public:
  bool answer = true;
  int asked = 0;
  bool may_quit_now() override {
    ++asked;
    return answer;
  }
};

class approval_factory final : public service_factory {
public:
  approval_factory(service_factory** list, quit_approval* approval)
      : service_factory(quit_approval::class_guid, list), approval_(approval) {}
  void create(service_handle& out) override { out = approval_; }

private:
  quit_approval* approval_;
};

class ShutdownApproval : public ::testing::Test {
protected:
  service_single_instance<counting_approval> first, second;
  void register_approvals(std::vector<quit_approval*> approvals) {
    service_factory* list = nullptr;
    for (quit_approval* approval : approvals) factories_.push_back(std::make_unique<approval_factory>(&list, approval));
    service_registry::table().build(list);
  }
  void TearDown() override { service_registry::table().clear(); }

private:
  std::vector<std::unique_ptr<approval_factory>> factories_;
};

TEST_F(ShutdownApproval, QuitsOnlyWhenEveryServiceAgreesAndTheFirstRefusalEndsTheQuestions) {
  register_approvals({});
  EXPECT_TRUE(shutdown_approval::query_all());

  register_approvals({&first, &second});
  EXPECT_TRUE(shutdown_approval::query_all());
  EXPECT_EQ(first.asked + second.asked, 2);
  first.answer = second.answer = false;
  EXPECT_FALSE(shutdown_approval::query_all());
  EXPECT_EQ(first.asked + second.asked, 3);
}

}  // namespace
