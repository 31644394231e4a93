#include <gtest/gtest.h>

#include "title_function_test_fixture.h"

namespace {

using TitleConditions = TitleFunctionTest;

TEST_F(TitleConditions, BranchesFollowTheTruthOfTheirCondition) {
  expect_texts({
      {"$if(%x%,yes,no)", "yes"},
      {"$if(%empty%,yes,no)", "no"},
      {"$if(%empty%,yes)", ""},
      {"$if($put(v,%x%),a,b)$get(v)", "ax"},  // the condition's text goes, its side effect stays
      {"$if2(%x%,none)", "x"},
      {"$if2(%empty%,none)", "none"},
      {"$if3(%empty%,%n%,none)", "12"},
      {"$if3(%empty%,%empty%,none)", "none"},
      {"$if3(%x%)", ""},
      {"$ifequal(01,1,y,n)", "y"},  // numbers, not texts
      {"$ifequal(abc,,y,n)", "y"},
      {"$ifgreater(10,9,y,n)$ifgreater(-10,9,y,n)", "yn"},
      {"$iflonger(abc,3,y,n)", "n"},
      {"$iflonger(\xC3\xA9\xC3\xA9\xC3\xA9,2,y,n)", "y"},  // characters, not bytes
      {"$iflonger(abc,-1,y,n)", "y"},
      {"$if(a,b,c,d)", "[INVALID $IF SYNTAX]"},
      {"$if2(a)", "[INVALID $IF2 SYNTAX]"},
      {"$iflonger(a,1,y)", "[INVALID $IFLONGER SYNTAX]"},
      {"$ifgreater(a)", "[INVALID $IFGREATER SYNTAX]"},
      {"$ifequal()", "[INVALID $IFEQUAL SYNTAX]"},
      {"$select(2,a,b)", "b"},
      {"$select(0,a,b)$select(3,a,b)$select(-1,a,b)", ""},
      {"$select(1,$puts(v,a),$puts(w,b))$get(v)$get(w)", "a"},  // only the chosen value runs
      {"$null($puts(v,a),b)$get(v)", ""},
      {"$and(%x%,%n%)$or(%x%)$not(%x%)", ""},  // logic writes nothing
      {"$and($puts(v,1),$puts(w,2))$get(v)$get(w)", "12"},  // and every argument runs
  });
}

TEST_F(TitleConditions, TruthOfConditionsAndLogic) {
  expect_truths({
      {"$if(%empty%,yes)", false},
      {"$if(%x%,%x%)", true},
      {"$if(%x%,literal)", false},  // the branch's truth, not the condition's
      {"$if(%x%)", false},
      {"$if3(%empty%,%x%,none)", true},
      {"$if3(%empty%,none)", false},
      {"$and(%x%,%n%)", true},
      {"$and(%x%,%empty%)", false},
      {"$and()", true},
      {"$or(%empty%,%x%)", true},
      {"$or()", false},
      {"$xor(%x%,%empty%)", true},
      {"$xor(%x%,%n%)", false},
      {"$not(%empty%)", true},
      {"$not(%x%)", false},
      {"$greater(10,9)", true},
      {"$greater(9,9)", false},
      {"$longer(abc,ab)", true},
      {"$longer(ab,ab)", false},
  });
}

}  // namespace
