#include "site/template.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/diagnostics.h"
#include "site/variable.h"

namespace pix {
namespace {

std::string Expand(std::string_view text, const VariableList& array,
                   Diagnostics* diagnostics = nullptr) {
  std::ostringstream out;
  ExpandTemplate(text, array, out, diagnostics);
  return out.str();
}

TEST(ExpandTemplateTest, ReplacesReferencesWhateverTheirCaseAndUnknownOnesVanish) {
  VariableList array;
  array.SetVar("PageTitle", "Holiday");
  array.SetVar("Price", "12");
  EXPECT_EQ(Expand("<TITLE>${PageTitle}</TITLE>", array), "<TITLE>Holiday</TITLE>");
  EXPECT_EQ(Expand("${pagetitle}", array), "Holiday");
  EXPECT_EQ(Expand("a${NoSuchVariable}b", array), "ab");
  EXPECT_EQ(Expand("", array), "");
  EXPECT_EQ(Expand("$${Price}", array), "$12") << "a dollar before a reference stays";
}

TEST(ExpandTemplateTest, GuardedReferencesWriteTheirTextOnlyWhenTheVariableHasSomethingToSay) {
  VariableList array;
  array.SetVar("Subject", "Dunes");
  array.SetVar("Nothing", "");
  array.SetVar("Count", "0");
  array.SetVar("Twelve", "12");
  array.SetVar("Indirect", "${Nothing}");
  array.SetVar("Name", "img0001");
  EXPECT_EQ(Expand("${Subject?<B>${Subject}</B> &middot; }by Ann", array),
            "<B>Dunes</B> &middot; by Ann");
  EXPECT_EQ(Expand("${Nothing?<B>${Nothing}</B> &middot; }by Ann", array), "by Ann");
  EXPECT_EQ(Expand("${Missing?x}|${Count?x}|${Indirect?x}|${Twelve?${Twelve} pictures}", array),
            "|||12 pictures")
      << "missing, \"0\" and what expands to nothing have nothing to say";
  EXPECT_EQ(Expand("${Nothing}${Nothing!${Name}}|${Subject}${Subject!${Name}}", array),
            "img0001|Dunes")
      << "\"!\" is the fallback";
  EXPECT_EQ(Expand("${Subject?a${Twelve?b${Count?c}d}e}", array), "abde") << "nested";
  // A guard never closed is ordinary text, as is any other broken reference.
  EXPECT_EQ(Expand("${Subject?open", array), "${Subject?open");
  EXPECT_EQ(Expand("${Ab?x}", array), "${Ab?x}");
}

TEST(ExpandTemplateTest, AGuardThatRefersToItselfIsReportedAndWritesNothing) {
  VariableList array;
  array.SetVar("Loop", "${Loop?again}");
  CollectedDiagnostics diagnostics;
  ResetExpansionDiagnostics();
  EXPECT_EQ(Expand("[${Loop}]", array, &diagnostics), "[]");
  EXPECT_NE(diagnostics.ProblemText().find("refers to itself"), std::string::npos);
  ResetExpansionDiagnostics();
}

TEST(ExpandTemplateTest, WhatIsNotAReferenceIsWrittenAsItStands) {
  VariableList array;
  array.SetVar("Ab", "two letters");
  array.SetVar("PageTitle", "T");
  for (const char* text : {"${Ab}", "${Page2}", "${ PageTitle}", "${PageTitle", "$PageTitle",
                           "$", "${", "}{$", "${Page_Title}"}) {
    EXPECT_EQ(Expand(text, array), text);
  }
}

TEST(ExpandTemplateTest, ValuesExpandAgainstTheArrayThatOwnsThemWhenWritten) {
  VariableList parent;
  parent.SetVar("PageLabel", "Parent label");
  VariableList page;
  page.SetVar("PageLabel", "Child label");
  page.SetVar("ParentPageLabel", "${PageLabel}")->owner_array = &parent;
  page.SetVar("ActualReturnLabel", "${ParentPageLabel}");
  EXPECT_EQ(Expand("${PageLabel} < ${ActualReturnLabel}", page), "Child label < Parent label");
  // Lookup happens at the moment of writing.
  VariableList array;
  array.SetVar("Entry", "[${ImageFileName}]");
  array.SetVar("ImageFileName", "a.gif");
  EXPECT_EQ(Expand("${Entry}", array), "[a.gif]");
  array.SetVar("ImageFileName", "b.gif");
  EXPECT_EQ(Expand("${Entry}", array), "[b.gif]");
}

TEST(ExpandTemplateTest, SelfReferenceStopsAndWritesNothingMoreForIt) {
  VariableList array;
  array.SetVar("Loop", "a${Loop}b");
  array.SetVar("Ping", "<${Pong}>");
  array.SetVar("Pong", "(${Ping})");
  array.SetVar("Twice", "${Twice}${Twice}x");
  ResetExpansionDiagnostics();
  CollectedDiagnostics problems;
  EXPECT_EQ(Expand("${Loop}", array, &problems), "ab");
  EXPECT_EQ(Expand("${Ping}", array, &problems), "<()>");
  EXPECT_EQ(Expand("${Twice}", array, &problems), "x") << "must not grow exponentially";
  const std::string diagnostics = problems.ProblemText();
  EXPECT_NE(diagnostics.find("${Loop}"), std::string::npos);
  EXPECT_EQ(diagnostics.find("${Ping}"), std::string::npos) << "reported once per run";
}

TEST(ExpandTemplateTest, DeepButFiniteChainsStopAtTheDepthLimit) {
  VariableList array;
  const int chain = kMaxExpansionDepth + 10;
  auto name = [](int i) { return "Var" + std::string(1, char('a' + i / 26)) +
                                 std::string(1, char('a' + i % 26)); };
  for (int i = 0; i < chain; ++i) {
    array.SetVar(name(i), i + 1 < chain ? "." + std::string("${") + name(i + 1) + "}" : "end");
  }
  const std::string text = Expand("${" + name(0) + "}", array);
  EXPECT_EQ(text, std::string(kMaxExpansionDepth, '.'));
}

TEST(ParseVarRefTest, NamesOfThreeToTwoHundredFiftyFiveLetters) {
  std::string_view name;
  EXPECT_EQ(ParseVarRef("${abc}tail", &name), 3u);
  EXPECT_EQ(name, "abc");
  EXPECT_EQ(ParseVarRef("${ab}", &name), 0u);
  const std::string longest = "${" + std::string(255, 'a') + "}";
  EXPECT_EQ(ParseVarRef(longest, &name), 255u);
  const std::string too_long = "${" + std::string(256, 'a') + "}";
  EXPECT_EQ(ParseVarRef(too_long, &name), 0u);

  VariableList array;
  array.SetVar(std::string(256, 'a'), "value");
  EXPECT_EQ(Expand(too_long, array), too_long) << "written as ordinary text";
}

}  // namespace
}  // namespace pix
