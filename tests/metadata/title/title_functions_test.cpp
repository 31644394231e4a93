// The function library by group, in scripts as users write them: the text
// before and after a call stays, and calls nest.
#include <gtest/gtest.h>

#include <string>

#include "title_function_test_fixture.h"

namespace {

using TitleFunctions = TitleFunctionTest;

std::string code(const char* digits) { return std::string("\x03") + digits + "\x03"; }

TEST_F(TitleFunctions, BranchesFollowTheTruthOfTheirCondition) {
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

TEST_F(TitleFunctions, TruthOfConditionsAndLogic) {
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

TEST_F(TitleFunctions, FormatsAndArithmetic) {
  expect_texts({
      {"$num(-5,3)", "-05"},  // the sign counts toward the width
      {"$dec(1234,2)", "1234"},
      {"$num(7,40)", std::string(31, '0') + "7"},
      {"$num(7,-1)", std::string(31, '0') + "7"},  // a negative width asks for the cap
      {"$num(-9223372036854775808,0)", "-9223372036854775808"},
      {"x$num(%n%,4)y", "x0012y"},
      {"$hex(255,4)", "00FF"},
      {"$hex(255,-4)", "FF"},
      {"$hex(-1,0)", "FFFFFFFF"},
      {"$hex(4294967296,1)", "0"},  // the low 32 bits
      {"$add()$mul()", "01"},
      {"$add(1,2,3)", "6"},
      {"$sub(10,3,2)", "5"},
      {"$mul(2,-3)", "-6"},
      {"$max(3,-7,5)$min(3,-7,5)", "5-7"},
      {"$add(12abc,abc)", "12"},
      {"$add(99999999999999999999,0)$add(-99999999999999999999,0)", "9223372036854775807-9223372036854775808"},
      {"$add(+7,  42x)", "49"},  // a sign and leading blanks read as numbers do
      {"$sub()", ""},
      {"$div(10,0)$mod(7,0)", "107"},  // a zero divisor is skipped
      {"$div(-7,2)$mod(-7,2)", "-3-1"},
      {"$div(100,0,5)", "20"},
      {"$add(9223372036854775807,1)", "-9223372036854775808"},  // wraps instead of trapping
      {"$div(-9223372036854775808,-1)", "-9223372036854775808"},
      {"$mod(-9223372036854775808,-1)", "0"},
      {"$muldiv(-9223372036854775808,1,-1)", "-9223372036854775808"},
      {"$muldiv(5,3,0)", "-1"},
      {"$muldiv($puts(v,1),3,0)$get(v)", "-1"},  // a and b are not evaluated
      {"$muldiv(-7,3,2)", "-10"},
      {"$roman(1994)", "MCMXCIV"},
      {"$roman(-14)", "XIV"},
      {"$roman(0)$roman(100001)$roman(-2147483648)", ""},
  });
  EXPECT_EQ(run("$hex(1,99)").size(), 32u);
  expect_truths({{"$num(%n%,3)", true}, {"$add(1,%n%)", true}, {"$add(1,2)", false}, {"$muldiv(5,3,0)", true}});
}

TEST_F(TitleFunctions, ProgressBarsHaveTheirLengthInCells) {
  expect_texts({
      {"$progress(50,100,10,X,-)", "-----X----"},
      {"$progress(500,100,4,X,-)", "---X"},
      {"$progress(-5,100,4,X,-)", "X---"},
      {"$progress(1,0,0,X,-)", "X"},  // range and length clamped up to 1
      {"$progress(0,1,9999,X,)", "X"},
      {"$progress(0,1,-5,X,-)", "X"},
      {"$progress2(50,100,4,#,-)", "##--"},
      {"$progress2(200,100,4,#,-)", "####"},
      {"$progress2(-3,100,4,#,-)", "----"},
  });
  expect_truths({{"$progress(%n%,%n%,2,X,-)", true}, {"$progress(%n%,100,2,X,-)", false}});
}

TEST_F(TitleFunctions, PartsOfAPath) {
  expect_texts({
      {"$directory(c:\\music\\artist\\album\\01.flac)", "album"},
      {"$directory(c:\\music\\artist\\album\\01.flac,2)", "artist"},
      {"$directory(c:\\music\\artist\\album\\01.flac,5)", "c"},
      {"$directory(/a/b.mp3)", "a"},
      {"$directory(file.mp3)", ""},
      {"$directory(c:\\a\\b.mp3,9)", ""},
      {"$directory($puts(v,1),0)$get(v)", ""},  // n < 1: the path is not evaluated
      {"$directory_path(c:\\music\\a.flac)", "c:\\music"},
      {"$directory_path(a.flac)", ""},
      {"$filename(c:\\music\\song.flac)", "song"},
      {"$filename(archive.zip|inner/track.mp3)", "track"},
      {"$ext(C:\\music\\song.flac)", "flac"},
      {"$ext(.hidden)", "hidden"},
      {"$ext(song)", ""},
      {"$ext(c:\\a.b\\song)", ""},  // a dot in a folder name is no extension
      {"$ext(album.cue?3)", "cue"},
      {"$ext(a.0123456789012345678901234567890123)", ""},  // too long to be one
  });
  expect_truths({{"$directory(file.mp3)", false}, {"$ext(%x%)", false}, {"$ext(%x%.mp3)", true}});
}

TEST_F(TitleFunctions, DatesAndTimesOfEachForm) {
  expect_texts({
      {"$date(2004-07)", "2004-07-00"},
      {"$date(2004-07-01 and more)", "2004-07-01"},
      {"$year(2004)$month(2004-07-01)$day_of_month(2004-07-01)", "20040701"},
      {"$year(2004-13-01)", "0000"},
      {"$year(04)", "0000"},
      {"$date(2004-07-32)", "0000-00-00"},
      {"$date(2004-07-01x)", "0000-00-00"},
      {"$month(2004)", "00"},
      {"$year(2004,$puts(v,1))$get(v)", "2004"},  // only the first argument is read
      {"$year()", ""},
      {"$time(2004-07-01 12:34)", "12:34"},
      {"$time(2004-07-01  12:34:56  )", "12:34:56"},
      {"$time(12:34)", "?"},
      {"$time(2004-07-01 12:34x)", "?"},
      {"$time(2004-07-01)", "?"},
  });
  expect_truths({{"$month(2004)", false}, {"$time(12:34)", false}, {"$year(%n%)", true}});
}

TEST_F(TitleFunctions, CodesAreBlueGreenRedClamped) {
  expect_texts({
      {"$rgb(255,0,0)", code("0000FF")},
      {"$rgb(1,2,3)", code("030201")},
      {"$rgb(300,-5,16)", code("1000FF")},
      {"$rgb(255,0,0,0,0,255)", code("0000FF|FF0000")},
      {"$rgb()", "\x03\x03"},
      {"$rgb(1,2)", ""},
      {"$hsl(0,240,120)", code("0000FF")},
      {"$hsl(80,240,120)", code("00FF00")},
      {"$hsl(160,240,120)", code("FF0000")},
      {"$hsl(0,0,240)", code("FFFFFF")},
      {"$hsl(240,240,120)", code("FF00FF")},  // the top of the scale is magenta
      {"$hsl(-9,999,120)", code("0000FF")},
  });
  EXPECT_FALSE(truth_of("$rgb(%n%,%n%,%n%)"));
}

TEST_F(TitleFunctions, BlendRunsThereAndBackOverAnyRange) {
  expect_texts({
      {"$blend($rgb(0,0,0),$rgb(200,100,0),1,2)", code("003264")},
      {"$blend($rgb(0,0,0),$rgb(200,100,0),2,2)", code("0064C8")},
      {"$blend($rgb(0,0,0),$rgb(200,100,0),4,2)", code("000000")},  // back at the start
      {"$blend($rgb(0,0,0),$rgb(200,100,0),3,0)", code("003264")},  // no range: the midpoint
      {"$blend($rgb(200,0,0),$rgb(0,0,0),3,-1)", code("000064")},
      {"$blend(000000,FFFFFF,4294967296,4294967296)", ""},           // not codes
      {"$blend($rgb(0,0,0),$rgb(255,255,255),4294967296,4294967296)", code("FFFFFF")},
      {"$blend($rgb(0,0,0),$rgb(255,255,255),4611686018427387904,9223372036854775807)", code("7F7F7F")},
      {"$blend($rgb(0,0,0),$rgb(255,255,255),-9223372036854775808,9223372036854775807)", code("FEFEFE")},
      {"x$blend($rgb(0,0,0),$rgb(200,0,0),1,9223372036854775807)y", "x" + code("000000") + "y"},
      {"$blend($rgb(0,0,0,200,0,0),$rgb(0,0,0),1,2)", code("000000|000064")},  // black as the missing second
  });
  expect_truths({{"$blend(red,$rgb(1,1,1),0,1)", false}, {"$blend($rgb(),$rgb(1,1,1),0,1)", false}});
}

TEST_F(TitleFunctions, TransitionColoursEveryCharacter) {
  expect_texts({
      {"$transition(ab,$rgb(0,0,0),$rgb(200,0,0))", code("000000") + "a" + code("0000C8") + "b\x03\x03"},
      {"$transition(ab,$rgb(0,0,0),$rgb(255,0,0),4294967296,4294967296)",
       code("0000FF") + "a" + code("0000FE") + "b\x03\x03"},
      {"$transition(abc,nocode,$rgb(1,1,1))", "abc"},
      {"$transition(abc,nocode,$rgb(1,1,1),$puts(v,1))$get(v)", "abc"},  // start not evaluated
  });
}

}  // namespace
