#include <gtest/gtest.h>

#include "title_function_test_fixture.h"

namespace {

using TitleConditions = TitleFunctionTest;

TEST_F(TitleConditions, IfChoosesByTheTruthOfTheCondition) {
  EXPECT_EQ(run("$if(%x%,yes,no)"), "yes");
  EXPECT_EQ(run("$if(%empty%,yes,no)"), "no");
  EXPECT_EQ(run("$if(%empty%,yes)"), "");
  EXPECT_FALSE(truth_of("$if(%empty%,yes)"));
  EXPECT_TRUE(truth_of("$if(%x%,%x%)"));
  EXPECT_FALSE(truth_of("$if(%x%,literal)"));
}

TEST_F(TitleConditions, ConditionTextNeverStaysButItsSideEffectsDo) {
  EXPECT_EQ(run("$if($put(v,%x%),a,b)$get(v)"), "ax");
  EXPECT_EQ(run("$and($puts(v,1),$puts(w,2))$get(v)$get(w)"), "12");
}

TEST_F(TitleConditions, ConditionalsWithAWrongArgumentCountSaySo) {
  EXPECT_EQ(run("$if(a,b,c,d)"), "[INVALID $IF SYNTAX]");
  EXPECT_EQ(run("$if2(a)"), "[INVALID $IF2 SYNTAX]");
  EXPECT_EQ(run("$iflonger(a,1,y)"), "[INVALID $IFLONGER SYNTAX]");
  EXPECT_EQ(run("$ifgreater(a)"), "[INVALID $IFGREATER SYNTAX]");
  EXPECT_EQ(run("$ifequal()"), "[INVALID $IFEQUAL SYNTAX]");
  EXPECT_FALSE(truth_of("$if(%x%)"));
  EXPECT_EQ(run("$if3(%x%)"), "");
}

TEST_F(TitleConditions, If2AndIf3WriteTheFirstFoundValue) {
  EXPECT_EQ(run("$if2(%x%,none)"), "x");
  EXPECT_EQ(run("$if2(%empty%,none)"), "none");
  EXPECT_EQ(run("$if3(%empty%,%n%,none)"), "12");
  EXPECT_EQ(run("$if3(%empty%,%empty%,none)"), "none");
  EXPECT_TRUE(truth_of("$if3(%empty%,%x%,none)"));
  EXPECT_FALSE(truth_of("$if3(%empty%,none)"));
}

TEST_F(TitleConditions, ComparisonsAreNumericOrByCharacterLength) {
  EXPECT_EQ(run("$ifequal(01,1,y,n)"), "y");
  EXPECT_EQ(run("$ifequal(abc,,y,n)"), "y");
  EXPECT_EQ(run("$ifgreater(10,9,y,n)"), "y");
  EXPECT_EQ(run("$ifgreater(-10,9,y,n)"), "n");
  EXPECT_EQ(run("$iflonger(abc,3,y,n)"), "n");
  EXPECT_EQ(run("$iflonger(\xC3\xA9\xC3\xA9\xC3\xA9,2,y,n)"), "y");
  EXPECT_EQ(run("$iflonger(abc,-1,y,n)"), "y");
}

TEST_F(TitleConditions, LogicCombinesTruthsAndWritesNothing) {
  EXPECT_EQ(run("$and(%x%,%n%)"), "");
  EXPECT_TRUE(truth_of("$and(%x%,%n%)"));
  EXPECT_FALSE(truth_of("$and(%x%,%empty%)"));
  EXPECT_TRUE(truth_of("$and()"));
  EXPECT_TRUE(truth_of("$or(%empty%,%x%)"));
  EXPECT_FALSE(truth_of("$or()"));
  EXPECT_TRUE(truth_of("$xor(%x%,%empty%)"));
  EXPECT_FALSE(truth_of("$xor(%x%,%n%)"));
  EXPECT_TRUE(truth_of("$not(%empty%)"));
  EXPECT_FALSE(truth_of("$not(%x%)"));
  EXPECT_TRUE(truth_of("$greater(10,9)"));
  EXPECT_FALSE(truth_of("$greater(9,9)"));
  EXPECT_TRUE(truth_of("$longer(abc,ab)"));
  EXPECT_FALSE(truth_of("$longer(ab,ab)"));
}

TEST_F(TitleConditions, SelectWritesOnlyAnExistingChoice) {
  EXPECT_EQ(run("$select(2,a,b)"), "b");
  EXPECT_EQ(run("$select(0,a,b)"), "");
  EXPECT_EQ(run("$select(3,a,b)"), "");
  EXPECT_EQ(run("$select(-1,a,b)"), "");
  EXPECT_EQ(run("$select(1,$puts(v,a),$puts(w,b))$get(v)$get(w)"), "a");
}

TEST_F(TitleConditions, NullNeitherWritesNorEvaluates) {
  EXPECT_EQ(run("$null($puts(v,a),b)$get(v)"), "");
}

}  // namespace
