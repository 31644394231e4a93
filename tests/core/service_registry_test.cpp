#include "core/service_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/app_exceptions.h"
#include "core/app_state.h"
#include "core/persistent_store.h"
#include "tests/support/sample_tag_service.h"
#include "tests/support/single_factory.h"

namespace {

struct sample_service : service_object {
  static constexpr GUID class_guid = {0x10000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 1}};
  using service_parent = service_object;
  virtual int identity() const = 0;
};

struct sample_extension : sample_service {
  static constexpr GUID class_guid = {0x10000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 2}};
  using service_parent = sample_service;
  static constexpr bool service_is_extension = true;
};

struct sample_one : sample_extension {
  int identity() const override { return 1; }
};

struct sample_two : sample_service {
  int identity() const override { return 2; }
};

template <class Impl>
struct counted_factory final : service_factory {
  explicit counted_factory(service_factory** list) : service_factory(service_registered_guid<Impl>(), list) {}
  void create(service_handle& out) override { out = new service_counted<Impl>(); }
};

struct failing_factory final : service_factory {
  explicit failing_factory(service_factory** list) : service_factory(sample_service::class_guid, list) {}
  void create(service_handle& out) override { out.reset(); }
};

struct table_of : service_registry_table {
  explicit table_of(service_factory* list) { build(list); }
};

TEST(ServiceRegistry, UniqueLookupNeedsExactlyOneImplementationAndEnumerationFindsAll) {
  service_factory* list = nullptr;
  single_factory<sample_one> one(&list);
  single_factory<sample_two> two(&list);
  table_of table(list);
  EXPECT_THROW(service_lookup_unique(table, sample_service::class_guid), exception_service_duplicated);
  std::vector<int> seen;
  for (auto& service : service_list_t<sample_service>(table)) seen.push_back(service->identity());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));

  service_factory* other_list = nullptr;
  single_factory<sample_two> other(&other_list);
  table_of without(other_list);
  EXPECT_EQ(without.find_class(sample_extension::class_guid), nullptr);
  EXPECT_THROW(service_lookup_unique(without, sample_extension::class_guid), exception_service_not_found);
}

TEST(ServiceRegistry, SingleInstancesAreSharedAndCountedOnesAreNew) {
  service_factory* list = nullptr;
  single_factory<sample_one> single(&list);
  table_of table(list);
  EXPECT_EQ(service_lookup_unique(table, sample_service::class_guid).get(),
            service_lookup_unique(table, sample_service::class_guid).get());

  service_factory* counted_list = nullptr;
  counted_factory<sample_two> counted(&counted_list);
  table_of counted_table(counted_list);
  service_handle first = service_lookup_unique(counted_table, sample_service::class_guid);
  EXPECT_NE(first.get(), service_lookup_unique(counted_table, sample_service::class_guid).get());
  // The handle holds the only reference.
  EXPECT_EQ(first->add_ref(), 2);
  EXPECT_EQ(first->release(), 1);
}

TEST(ServiceRegistry, EnumerationEndsAtAnImplementationThatFailsToCreate) {
  service_factory* list = nullptr;
  failing_factory failing(&list);
  table_of table(list);
  service_enumerator walk(table.find_class(sample_service::class_guid));
  service_handle handle;
  EXPECT_FALSE(walk.next(handle));
  EXPECT_FALSE(walk.next(handle));
}

// A failed query leaves the handle as it was; a required one throws.
TEST(ServiceQuery, AnswersTheInterfaceChainOnly) {
  service_single_instance<sample_one> one;
  service_single_instance<sample_two> two;
  EXPECT_TRUE(service_query<sample_extension>(&one));
  service_handle kept(&one);
  EXPECT_FALSE(two.query(kept, sample_extension::class_guid));
  EXPECT_EQ(kept.get(), &one);
  EXPECT_THROW(service_query_required<sample_extension>(&two), exception_service_extension_not_found);
}

TEST(ServicePointer, SelfAssignmentKeepsTheObjectAlive) {
  service_handle handle(new service_counted<sample_two>());
  service_object* object = handle.get();
  handle = object;  // takes the new reference before it releases the old one
  EXPECT_EQ(handle.get(), object);
  EXPECT_EQ(handle->add_ref(), 2);
  EXPECT_EQ(handle->release(), 1);
}

struct recording_store : persistent_store {
  void load() override { events.push_back("load"); }
  void save(bool reset) override { events.push_back(reset ? "save reset" : "save"); }
  static inline std::vector<std::string> events;
};

class ProcessRegistry : public ::testing::Test {
protected:
  void SetUp() override { recording_store::events.clear(); }
  void TearDown() override {
    service_registry::free();
    app::state().profile_read_only = false;
  }
};

TEST_F(ProcessRegistry, BuildLoadsStoresAndShutdownSavesThemUnlessReadOnly) {
  service_factory* list = nullptr;
  single_factory<sample_tag_service> tags(&list);
  single_factory<recording_store> store(&list);
  service_registry::build(list);
  EXPECT_EQ(recording_store::events, (std::vector<std::string>{"load"}));
  service_registry::save_stores(true);
  EXPECT_EQ(recording_store::events, (std::vector<std::string>{"load", "save reset"}));
  app::state().profile_read_only = true;
  service_registry::save_stores(false);
  EXPECT_EQ(recording_store::events.size(), 2u);
}

// Two tag services are refused too; zorv.exe's start-up tests run that case.
TEST_F(ProcessRegistry, AMissingTagServiceMeansADamagedInstallationAndNothingLoads) {
  service_factory* list = nullptr;
  single_factory<recording_store> store(&list);
  EXPECT_THROW(service_registry::build(list), exception_installdamaged);
  EXPECT_TRUE(recording_store::events.empty());
}

}  // namespace
