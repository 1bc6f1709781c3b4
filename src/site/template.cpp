#include "site/template.h"

#include <algorithm>
#include <atomic>
#include <iostream>
#include <vector>

#include "site/variable.h"

namespace pix {
namespace {

std::atomic<bool> gRunawayReported{false};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void ReportRunaway(std::string_view name, bool cycle) {
  if (gRunawayReported.exchange(true)) return;
  if (cycle) {
    std::cerr << "Template expansion: ${" << name << "} refers to itself, directly or through "
              << "other variables; the inner reference is left out\n";
  } else {
    std::cerr << "Template expansion stopped at ${" << name << "}: variables refer to each "
              << "other more than " << kMaxExpansionDepth << " levels deep\n";
  }
}

// The variables being expanded, outermost first. Expanding an item that is already on
// the stack would write the same text again forever, so such a reference writes nothing.
using ExpansionStack = std::vector<const TVarItem*>;

void Expand(std::string_view text, const TVarArray& array, std::ostream& out,
            ExpansionStack& stack) {
  std::size_t runStart = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    std::string_view name;
    const std::size_t letters = text[i] == '$' ? ParseVarRef(text.substr(i), &name) : 0;
    if (letters == 0) {
      ++i;
      continue;
    }
    // Ordinary text is written in runs, not character by character.
    out.write(text.data() + runStart, static_cast<std::streamsize>(i - runStart));
    if (const TVarItem* item = array.FindVar(name)) {
      const bool cycle = std::find(stack.begin(), stack.end(), item) != stack.end();
      if (cycle || static_cast<int>(stack.size()) >= kMaxExpansionDepth) {
        ReportRunaway(name, cycle);
      } else {
        const TVarArray& owner = item->POwnerArray != nullptr ? *item->POwnerArray : array;
        stack.push_back(item);
        Expand(item->szVarValue, owner, out, stack);
        stack.pop_back();
      }
    }
    i += letters + 3;  // "${", the letters, "}"
    runStart = i;
  }
  out.write(text.data() + runStart, static_cast<std::streamsize>(text.size() - runStart));
}

}  // namespace

std::size_t ParseVarRef(std::string_view text, std::string_view* name) {
  if (text.size() < 2 || text[0] != '$' || text[1] != '{') return 0;
  std::size_t letters = 0;
  while (2 + letters < text.size() && IsAsciiLetter(text[2 + letters])) ++letters;
  if (2 + letters >= text.size() || text[2 + letters] != '}') return 0;
  if (letters < 3 || letters >= MaxVarNameSize) return 0;
  *name = text.substr(2, letters);
  return letters;
}

void ExpandTemplate(std::string_view templateText, const TVarArray& array, std::ostream& out) {
  ExpansionStack stack;
  Expand(templateText, array, out, stack);
}

void ResetExpansionDiagnostics() { gRunawayReported.store(false); }

}  // namespace pix
