#include "foundation/list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct node : qiv::list_node<node> {
  node(int value, int* destroyed) : value(value), destroyed(destroyed) {}
  ~node() override { ++*destroyed; }
  int value;
  int* destroyed;
};

std::vector<int> forwards(const qiv::list<node>& l) {
  std::vector<int> values;
  for (node* n = l.first(); n; n = n->next()) values.push_back(n->value);
  return values;
}

std::vector<int> backwards(const qiv::list<node>& l) {
  std::vector<int> values;
  for (node* n = l.last(); n; n = n->previous()) values.insert(values.begin(), n->value);
  return values;
}

TEST(CountedList, LinksStayConsistentAsNodesAreRemovedFromEveryPosition) {
  int destroyed = 0;
  qiv::list<node> l;
  qiv::ref_ptr<node> nodes[4];
  for (int i = 0; i < 4; ++i) {
    nodes[i] = new node(i, &destroyed);
    l.push_back(nodes[i].get());
  }
  EXPECT_EQ(forwards(l), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(nodes[0]->ref_count(), 2);

  l.remove(nodes[1].get());
  EXPECT_EQ(forwards(l), (std::vector<int>{0, 2, 3}));
  l.remove(nodes[0].get());
  l.remove(nodes[3].get());
  EXPECT_EQ(forwards(l), (std::vector<int>{2}));
  EXPECT_EQ(backwards(l), (std::vector<int>{2}));
  EXPECT_EQ(l.get_count(), 1u);
  EXPECT_EQ(nodes[1]->next(), nullptr);
  EXPECT_EQ(nodes[1]->previous(), nullptr);
  EXPECT_EQ(nodes[1]->ref_count(), 1);

  l.push_back(nodes[0].get());  // a removed node may join again
  EXPECT_EQ(backwards(l), (std::vector<int>{2, 0}));
  EXPECT_EQ(destroyed, 0);
}

TEST(CountedList, ClearReleasesEveryNodeAndHeldNodesSurvive) {
  int destroyed = 0;
  qiv::ref_ptr<node> held(new node(1, &destroyed));
  {
    qiv::list<node> l;
    l.push_back(new node(0, &destroyed));
    l.push_back(held.get());
    l.push_back(new node(2, &destroyed));
  }
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(held->ref_count(), 1);
  EXPECT_EQ(held->previous(), nullptr);
}

TEST(CountedList, RefusesNodesThatWouldCorruptIt) {
  int destroyed = 0;
  qiv::list<node> l;
  qiv::list<node> other;
  qiv::ref_ptr<node> a(new node(0, &destroyed));
  qiv::ref_ptr<node> b(new node(1, &destroyed));
  qiv::ref_ptr<node> stranger(new node(2, &destroyed));
  l.push_back(a.get());
  l.push_back(b.get());
  other.push_back(stranger.get());
  EXPECT_THROW(l.push_back(a.get()), qiv::exception_bug_check);
  EXPECT_THROW(l.remove(stranger.get()), qiv::exception_bug_check);
  l.remove(a.get());
  EXPECT_THROW(l.remove(a.get()), qiv::exception_bug_check);
  EXPECT_EQ(forwards(l), (std::vector<int>{1}));
  EXPECT_EQ(other.get_count(), 1u);
}

TEST(PlainList, QueuesInOrderAndClearFreesTheElements) {
  qiv::plain_list<std::string> queue;
  queue.push_back("first");
  queue.push_back("second");
  queue.push_back("third");
  std::string out;
  ASSERT_TRUE(queue.pop_front(out));
  EXPECT_EQ(out, "first");
  EXPECT_EQ(queue.get_count(), 2u);

  auto watched = std::make_shared<int>(0);
  qiv::plain_list<std::shared_ptr<int>> owners;
  owners.push_back(watched);
  owners.push_back(watched);
  EXPECT_EQ(watched.use_count(), 3);
  owners.clear();
  EXPECT_EQ(watched.use_count(), 1);
  EXPECT_TRUE(owners.is_empty());
}

} // namespace
