// Linked lists: counted nodes that know their list, and lists of texts.
#include "foundation/list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/string_list.h"

namespace {

struct node : qiv::list_node<node> {
  node(int value, int* destroyed) : value(value), destroyed(destroyed) {}
  ~node() override { ++*destroyed; }
  int value;
  int* destroyed;
};

// Walks both ways, so a broken back link shows as well as a broken forward one.
std::vector<int> values(const qiv::list<node>& l) {
  std::vector<int> forwards, backwards;
  for (node* n = l.first(); n; n = n->next()) forwards.push_back(n->value);
  for (node* n = l.last(); n; n = n->previous()) backwards.insert(backwards.begin(), n->value);
  EXPECT_EQ(forwards, backwards);
  EXPECT_EQ(l.get_count(), forwards.size());
  return forwards;
}

TEST(CountedList, LinksStayConsistentAsNodesLeaveFromEveryPosition) {
  int destroyed = 0;
  qiv::ref_ptr<node> nodes[4];
  {
    qiv::list<node> l;
    for (int i = 0; i < 4; ++i) l.push_back((nodes[i] = new node(i, &destroyed)).get());
    l.push_back(new node(4, &destroyed));  // owned by the list alone
    l.remove(nodes[1].get());
    EXPECT_EQ(values(l), (std::vector<int>{0, 2, 3, 4}));
    l.remove(nodes[0].get());
    l.remove(nodes[3].get());
    EXPECT_EQ(values(l), (std::vector<int>{2, 4}));
    EXPECT_EQ(nodes[1]->next(), nullptr);
    EXPECT_EQ(nodes[1]->previous(), nullptr);
    EXPECT_EQ(nodes[1]->ref_count(), 1);
    l.push_back(nodes[0].get());  // a removed node may join again
    EXPECT_EQ(values(l), (std::vector<int>{2, 4, 0}));
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);  // the list released every node; held ones survive detached
  EXPECT_EQ(nodes[2]->ref_count(), 1);
  EXPECT_EQ(nodes[2]->previous(), nullptr);
}

TEST(CountedList, RefusesNodesThatWouldCorruptIt) {
  int destroyed = 0;
  qiv::list<node> l, other;
  qiv::ref_ptr<node> a(new node(0, &destroyed)), b(new node(1, &destroyed)), stranger(new node(2, &destroyed));
  l.push_back(a.get());
  l.push_back(b.get());
  other.push_back(stranger.get());
  EXPECT_THROW(l.push_back(a.get()), qiv::exception_bug_check);
  EXPECT_THROW(l.remove(stranger.get()), qiv::exception_bug_check);
  l.remove(a.get());
  EXPECT_THROW(l.remove(a.get()), qiv::exception_bug_check);
  EXPECT_EQ(values(l), (std::vector<int>{1}));
  EXPECT_EQ(other.get_count(), 1u);
}

TEST(StringList, NewItemsGoToTheHeadAndAnyNodeUnlinksItself) {
  qiv::string_list list;
  for (const char* text : {"a", "b", "c", "d"}) list.add_item(qiv::string_small(text));
  list.remove(list.first()->next());  // the middle
  list.remove(list.first());
  list.remove(list.first()->next());  // the last
  std::vector<std::string> texts;
  for (auto* n = list.first(); n; n = n->next()) texts.emplace_back(n->text().get_ptr());
  EXPECT_EQ(texts, (std::vector<std::string>{"b"}));
  EXPECT_EQ(list.get_count(), 1u);
}

} // namespace
