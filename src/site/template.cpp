#include "site/template.h"

#include <algorithm>
#include <atomic>
#include <sstream>
#include <vector>

#include "base/diagnostics.h"
#include "site/variable.h"

namespace pix {
namespace {

std::atomic<bool> gRunawayReported{false};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

enum class Runaway { kCycle, kDepth, kSize };

// One ExpandTemplate call: the variables being expanded, outermost first (expanding an
// item that is already on the stack would write the same text again forever, so such a
// reference writes nothing), and what the call has written and followed so far.
struct TExpansion {
  std::ostream& Out;
  std::vector<const TVarItem*> Stack;
  std::size_t Written = 0;
  std::size_t References = 0;
  bool bStopped = false;
  Diagnostics* diagnostics = nullptr;
  // The most this call may write: the call's own cap, or less when its page is nearly full.
  std::size_t Limit = kMaxExpansionOutput;
  bool bPageFull = false;
};

void ReportRunaway(const TExpansion& expansion, std::string_view name, Runaway why) {
  // A size report names no variable: the cap is reached by the sum of them all.
  if (expansion.diagnostics == nullptr || gRunawayReported.exchange(true)) return;
  std::string text;
  if (why == Runaway::kSize && expansion.bPageFull) {
    text = "Template expansion stopped: the page passes " + std::to_string(kMaxPageOutput >> 20) +
           " MB; the rest is left out";
  } else if (why == Runaway::kSize) {
    text = "Template expansion stopped: the expanded text passes " +
           std::to_string(kMaxExpansionOutput >> 20) + " MB or " +
           std::to_string(kMaxExpansionReferences) + " references; the rest is left out";
  } else if (why == Runaway::kCycle) {
    text = "Template expansion: ${" + std::string(name) +
           "} refers to itself, directly or through other variables; the inner reference is "
           "left out";
  } else {
    text = "Template expansion stopped at ${" + std::string(name) +
           "}: variables refer to each other more than " + std::to_string(kMaxExpansionDepth) +
           " levels deep";
  }
  expansion.diagnostics->Problem(text);
}

// Writes a run of text, cut where the output cap is reached.
void WriteRun(TExpansion& expansion, std::string_view run) {
  const std::size_t room = expansion.Limit - expansion.Written;
  if (run.size() > room) {
    run = run.substr(0, room);
    expansion.bStopped = true;
  }
  expansion.Out.write(run.data(), static_cast<std::streamsize>(run.size()));
  expansion.Written += run.size();
}

void Expand(std::string_view text, const TVarArray& array, TExpansion& expansion);

// Whether the variable `item` has something to say: its expansion is neither empty nor "0".
// The value is expanded into memory to be looked at, under the same guards against
// runaway expansion as any other reference.
bool HasSomethingToSay(const TVarItem& item, const TVarArray& array, TExpansion& expansion) {
  std::ostringstream value;
  TExpansion inner{value, expansion.Stack, expansion.Written, expansion.References, false,
                   expansion.diagnostics};
  inner.Stack.push_back(&item);
  const TVarArray& owner = item.POwnerArray != nullptr ? *item.POwnerArray : array;
  Expand(item.szVarValue, owner, inner);
  expansion.References = inner.References;
  if (inner.bStopped) expansion.bStopped = true;
  const std::string text = value.str();
  return !text.empty() && text != "0";
}

void Expand(std::string_view text, const TVarArray& array, TExpansion& expansion) {
  std::size_t runStart = 0;
  std::size_t i = 0;
  while (i < text.size() && !expansion.bStopped) {
    std::string_view name;
    std::string_view guarded;
    std::size_t letters = 0;
    std::size_t guardedLength = 0;
    bool whenEmpty = false;
    if (text[i] == '$') {
      letters = ParseVarRef(text.substr(i), &name);
      if (letters == 0) {
        guardedLength = ParseGuardedRef(text.substr(i), &name, &guarded, &whenEmpty);
      }
    }
    if (letters == 0 && guardedLength == 0) {
      ++i;
      continue;
    }
    // Ordinary text is written in runs, not character by character.
    WriteRun(expansion, text.substr(runStart, i - runStart));
    if (++expansion.References > kMaxExpansionReferences) expansion.bStopped = true;
    if (expansion.bStopped) {
      ReportRunaway(expansion, name, Runaway::kSize);
      return;
    }
    auto& stack = expansion.Stack;
    if (guardedLength > 0) {
      const TVarItem* item = array.FindVar(name);
      bool something = false;
      bool runaway = false;
      if (item != nullptr) {
        const bool cycle = std::find(stack.begin(), stack.end(), item) != stack.end();
        runaway = cycle || static_cast<int>(stack.size()) >= kMaxExpansionDepth;
        if (runaway) {
          ReportRunaway(expansion, name, cycle ? Runaway::kCycle : Runaway::kDepth);
        } else {
          something = HasSomethingToSay(*item, array, expansion);
        }
      }
      if (!runaway && !expansion.bStopped && something != whenEmpty) {
        Expand(guarded, array, expansion);
      }
      i += guardedLength;
      runStart = i;
      continue;
    }
    if (const TVarItem* item = array.FindVar(name)) {
      const bool cycle = std::find(stack.begin(), stack.end(), item) != stack.end();
      if (cycle || static_cast<int>(stack.size()) >= kMaxExpansionDepth) {
        ReportRunaway(expansion, name, cycle ? Runaway::kCycle : Runaway::kDepth);
      } else {
        const TVarArray& owner = item->POwnerArray != nullptr ? *item->POwnerArray : array;
        stack.push_back(item);
        Expand(item->szVarValue, owner, expansion);
        stack.pop_back();
      }
    }
    i += letters + 3;  // "${", the letters, "}"
    runStart = i;
  }
  if (expansion.bStopped) return;
  WriteRun(expansion, text.substr(runStart));
  if (expansion.bStopped) ReportRunaway(expansion, {}, Runaway::kSize);
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

std::size_t ParseGuardedRef(std::string_view text, std::string_view* name,
                            std::string_view* guarded, bool* whenEmpty) {
  if (text.size() < 2 || text[0] != '$' || text[1] != '{') return 0;
  std::size_t letters = 0;
  while (2 + letters < text.size() && IsAsciiLetter(text[2 + letters])) ++letters;
  if (2 + letters >= text.size() || (text[2 + letters] != '?' && text[2 + letters] != '!')) {
    return 0;
  }
  if (letters < 3 || letters >= MaxVarNameSize) return 0;
  const std::size_t start = 3 + letters;
  int depth = 1;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '{') {
      ++depth;
      ++i;
    } else if (text[i] == '}' && --depth == 0) {
      *name = text.substr(2, letters);
      *guarded = text.substr(start, i - start);
      *whenEmpty = text[2 + letters] == '!';
      return i + 1;
    }
  }
  return 0;  // Never closed: ordinary text.
}

void ExpandTemplate(std::string_view templateText, const TVarArray& array, std::ostream& out,
                    Diagnostics* diagnostics, TExpansionBudget* page) {
  TExpansion expansion{out, {}, 0, 0, false, diagnostics};
  if (page != nullptr && page->Remaining < expansion.Limit) {
    expansion.Limit = page->Remaining;
    expansion.bPageFull = true;
  }
  if (expansion.Limit == 0) return;  // Reported when the page filled up.
  Expand(templateText, array, expansion);
  if (page != nullptr) page->Remaining -= expansion.Written;
}

void ResetExpansionDiagnostics() { gRunawayReported.store(false); }

}  // namespace pix
