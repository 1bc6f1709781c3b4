// Text files and templates that a hostile or careless layout could hold: expansions that
// grow without end, text files too large to read, and settings names that would change the
// structure of the settings file. Each ends in a clear failure; nothing is lost.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/diagnostics.h"
#include "files/profile.h"
#include "files/utils.h"
#include "site/template.h"
#include "site/variable.h"
#include "support/temp_dir.h"

namespace pix {
namespace {

namespace fs = std::filesystem;

// Counts what is written without keeping it.
class CountingBuffer : public std::streambuf {
 public:
  std::size_t count = 0;

 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override {
    count += static_cast<std::size_t>(n);
    return n;
  }
  int_type overflow(int_type c) override {
    ++count;
    return c;
  }
};

TEST(HostileTemplateTest, ValuesThatMultiplyStopAtTheOutputAndReferenceCaps) {
  // Each of 12 values refers ten times to the next: 10^12 copies of "lol" in full.
  VariableList array;
  const char* names[] = {"Aaa", "Bbb", "Ccc", "Ddd", "Eee", "Fff",
                         "Ggg", "Hhh", "Iii", "Jjj", "Kkk", "Lll"};
  for (int i = 0; i + 1 < 12; ++i) {
    std::string value;
    for (int n = 0; n < 10; ++n) value += "${" + std::string(names[i + 1]) + "}";
    array.SetVar(names[i], value);
  }
  array.SetVar("Lll", "lol");
  ResetExpansionDiagnostics();
  CountingBuffer counter;
  std::ostream out(&counter);
  ExpandTemplate("${Aaa}", array, out);
  EXPECT_GT(counter.count, 0u);
  EXPECT_LE(counter.count, kMaxExpansionOutput);

  // The same with empty values writes nothing, and ends too.
  array.SetVar("Lll", "");
  array.DeleteVar("Lll");
  CountingBuffer nothing;
  std::ostream none(&nothing);
  ExpandTemplate("${Aaa}after", array, none);
  EXPECT_EQ(nothing.count, 0u) << "the text after a runaway reference is left out too";
}

// A value that stays under the cap of one expansion but is repeated in every entry of a
// page: the page as a whole stops at its own cap, and says so once.
TEST(HostileTemplateTest, AllTheExpansionsOfOnePageShareItsCap) {
  VariableList array;
  array.SetVar("Entry", std::string(600, 'x'));
  ResetExpansionDiagnostics();
  CollectedDiagnostics diagnostics;
  ExpansionBudget page;
  page.remaining = 1000;
  std::ostringstream out;
  for (int entry = 0; entry < 3; ++entry) ExpandTemplate("${Entry}", array, out, &diagnostics, &page);
  EXPECT_EQ(out.str().size(), 1000u);
  EXPECT_EQ(page.remaining, 0u);
  EXPECT_EQ(diagnostics.Problems(),
            std::vector<std::string>{"Template expansion stopped: the page passes " +
                                     std::to_string(kMaxPageOutput >> 20) +
                                     " MB; the rest is left out"});
}

TEST(HostileTextFileTest, AFileTooLargeToReadIsRefusedAndSettingsInItAreNotReplaced) {
  test::TempDir dir;
  const fs::path big = dir / "globals.txt";
  {
    std::ofstream file(big, std::ios::binary);
    file << "[Display]\nMaxDisplayWidth=320\n";
  }
  fs::resize_file(big, (std::uintmax_t{64} << 20) + 1);  // Sparse: costs no disk.
  EXPECT_EQ(ReadTextFile(big).status().code(), Status::Code::kTooLarge);
  CollectedDiagnostics diagnostics;
  EXPECT_EQ(LoadVarFileText(big.string(), {}, &diagnostics), "");
  EXPECT_EQ(diagnostics.ProblemCount(), 1) << "a layout file that cannot be read is reported";
  EXPECT_EQ(GetProfileInt("Display", "MaxDisplayWidth", 7, big), 7);
  const Status written = WriteProfileText("Display", "MaxDisplayHeight", "240", big);
  EXPECT_EQ(written.code(), Status::Code::kIoError);
  EXPECT_EQ(fs::file_size(big), (std::uintmax_t{64} << 20) + 1) << "the settings were replaced";
}

TEST(HostileSettingsTest, NamesAndValuesThatWouldChangeTheFileStructureAreRefused) {
  test::TempDir dir;
  const fs::path ini = dir / "pixamond.ini";
  test::WriteFile(ini, "[Display]\r\nMaxDisplayWidth=320\r\n\r\n[Files]\r\nPictureEditor=x\r\n");
  const std::string before = test::ReadFile(ini);
  for (const auto& [section, key] : std::vector<std::pair<std::string, std::string>>{
           {"Display", "[Files]"},  // Would read as a section header.
           {"Display", ";note"},    // Would read as a comment.
           {"Display", "#note"},
           {"Display", " Width"},  // Read back trimmed, so never found again.
           {" Display", "Width"},
           {"Display ", "Width"},
           {"Dis]play", "Width"},
           {"Display", "Wid=th"},
           {"", "Width"}}) {
    EXPECT_EQ(WriteProfileText(section, key, "1", ini).code(), Status::Code::kInvalidArgument)
        << "[" << section << "] " << key;
  }
  // A value of two lines would make its second line a line of its own.
  EXPECT_EQ(WriteProfileText("Display", "Width", "two\nlines", ini).code(),
            Status::Code::kInvalidArgument);
  EXPECT_EQ(test::ReadFile(ini), before);
  ASSERT_TRUE(WriteProfileText("Display", "Width]x", "2", ini).ok());
  EXPECT_EQ(GetProfileText("Display", "Width]x", "", 16, ini), "2");
  EXPECT_EQ(GetProfileText("Files", "PictureEditor", "", 16, ini), "x");
}

}  // namespace
}  // namespace pix
