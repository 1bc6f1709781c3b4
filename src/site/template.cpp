#include "site/template.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <sstream>
#include <vector>

#include "base/diagnostics.h"
#include "files/utils.h"
#include "site/variable.h"

namespace pix {
namespace {

std::atomic<bool> runaway_reported{false};
// Every expansion that ran away, reported or not.
std::atomic<long> runaway_count{0};

enum class Runaway { kCycle, kDepth, kSize };

// One ExpandTemplate call: the variables being expanded, outermost first (expanding an
// item that is already on the stack would write the same text again forever, so such a
// reference writes nothing), and what the call has written and followed so far.
struct Expansion {
  std::ostream& out;
  std::vector<const Variable*> stack;
  std::size_t written = 0;
  std::size_t references = 0;
  bool stopped = false;
  Diagnostics* diagnostics = nullptr;
  // The most this call may write: the call's own cap, or less when its page is nearly full.
  std::size_t limit = kMaxExpansionOutput;
  bool page_full = false;
  // A runaway happened, whether or not it was reported (only the first of a run is).
  bool ran_away = false;
};

void ReportRunaway(Expansion& expansion, std::string_view name, Runaway why) {
  expansion.ran_away = true;
  runaway_count.fetch_add(1, std::memory_order_relaxed);
  // A size report names no variable: the cap is reached by the sum of them all.
  if (expansion.diagnostics == nullptr || runaway_reported.exchange(true)) return;
  std::string text;
  if (why == Runaway::kSize && expansion.page_full) {
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
void WriteRun(Expansion& expansion, std::string_view run) {
  const std::size_t room = expansion.limit - expansion.written;
  if (run.size() > room) {
    run = run.substr(0, room);
    expansion.stopped = true;
  }
  expansion.out.write(run.data(), static_cast<std::streamsize>(run.size()));
  expansion.written += run.size();
}

void Expand(std::string_view text, const VariableList& array, Expansion& expansion);

// Whether the variable `item` has something to say: its expansion is neither empty nor "0".
// The value is expanded into memory to be looked at, under the same guards against
// runaway expansion as any other reference.
bool HasSomethingToSay(const Variable& item, const VariableList& array, Expansion& expansion) {
  // A stream for each depth of nesting, kept between calls: making a stream costs more
  // than most of the values looked at.
  thread_local std::vector<std::unique_ptr<std::ostringstream>> streams;
  const std::size_t depth = expansion.stack.size();
  if (streams.size() <= depth) streams.resize(depth + 1);
  if (!streams[depth]) streams[depth] = std::make_unique<std::ostringstream>();
  std::ostringstream& value = *streams[depth];
  value.str(std::string());
  value.clear();
  Expansion inner{value, expansion.stack, expansion.written, expansion.references, false,
                   expansion.diagnostics};
  inner.stack.push_back(&item);
  const VariableList& owner = item.owner_array != nullptr ? *item.owner_array : array;
  Expand(item.value(), owner, inner);
  expansion.references = inner.references;
  if (inner.stopped) expansion.stopped = true;
  if (inner.ran_away) expansion.ran_away = true;
  const std::string text = value.str();
  return !text.empty() && text != "0";
}

void Expand(std::string_view text, const VariableList& array, Expansion& expansion) {
  std::size_t run_start = 0;
  std::size_t i = 0;
  while (i < text.size() && !expansion.stopped) {
    std::string_view name;
    std::string_view guarded;
    std::size_t letters = 0;
    std::size_t guarded_length = 0;
    bool when_empty = false;
    if (text[i] == '$') {
      letters = ParseVarRef(text.substr(i), &name);
      if (letters == 0) {
        guarded_length = ParseGuardedRef(text.substr(i), &name, &guarded, &when_empty);
      }
    }
    if (letters == 0 && guarded_length == 0) {
      ++i;
      continue;
    }
    // Ordinary text is written in runs, not character by character.
    WriteRun(expansion, text.substr(run_start, i - run_start));
    if (++expansion.references > kMaxExpansionReferences) expansion.stopped = true;
    if (expansion.stopped) {
      ReportRunaway(expansion, name, Runaway::kSize);
      return;
    }
    auto& stack = expansion.stack;
    if (guarded_length > 0) {
      const Variable* item = array.FindVar(name);
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
      if (!runaway && !expansion.stopped && something != when_empty) {
        Expand(guarded, array, expansion);
      }
      i += guarded_length;
      run_start = i;
      continue;
    }
    if (const Variable* item = array.FindVar(name)) {
      const bool cycle = std::find(stack.begin(), stack.end(), item) != stack.end();
      if (cycle || static_cast<int>(stack.size()) >= kMaxExpansionDepth) {
        ReportRunaway(expansion, name, cycle ? Runaway::kCycle : Runaway::kDepth);
      } else {
        const VariableList& owner = item->owner_array != nullptr ? *item->owner_array : array;
        stack.push_back(item);
        Expand(item->value(), owner, expansion);
        stack.pop_back();
      }
    }
    i += letters + 3;  // "${", the letters, "}"
    run_start = i;
  }
  if (expansion.stopped) return;
  WriteRun(expansion, text.substr(run_start));
  if (expansion.stopped) ReportRunaway(expansion, {}, Runaway::kSize);
}

}  // namespace

std::size_t ParseVarRef(std::string_view text, std::string_view* name) {
  if (text.size() < 2 || text[0] != '$' || text[1] != '{') return 0;
  std::size_t letters = 0;
  while (2 + letters < text.size() && IsAsciiLetter(text[2 + letters])) ++letters;
  if (2 + letters >= text.size() || text[2 + letters] != '}') return 0;
  if (letters < 3 || letters >= kMaxVarNameSize) return 0;
  *name = text.substr(2, letters);
  return letters;
}

std::size_t ParseGuardedRef(std::string_view text, std::string_view* name,
                            std::string_view* guarded, bool* when_empty) {
  if (text.size() < 2 || text[0] != '$' || text[1] != '{') return 0;
  std::size_t letters = 0;
  while (2 + letters < text.size() && IsAsciiLetter(text[2 + letters])) ++letters;
  if (2 + letters >= text.size() || (text[2 + letters] != '?' && text[2 + letters] != '!')) {
    return 0;
  }
  if (letters < 3 || letters >= kMaxVarNameSize) return 0;
  const std::size_t start = 3 + letters;
  int depth = 1;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '{') {
      ++depth;
      ++i;
    } else if (text[i] == '}' && --depth == 0) {
      *name = text.substr(2, letters);
      *guarded = text.substr(start, i - start);
      *when_empty = text[2 + letters] == '!';
      return i + 1;
    }
  }
  return 0;  // Never closed: ordinary text.
}

void ExpandTemplate(std::string_view template_text, const VariableList& array, std::ostream& out,
                    Diagnostics* diagnostics, ExpansionBudget* page) {
  Expansion expansion{out, {}, 0, 0, false, diagnostics};
  if (page != nullptr && page->remaining < expansion.limit) {
    expansion.limit = page->remaining;
    expansion.page_full = true;
  }
  if (expansion.limit == 0) {  // Reported when the page filled up.
    if (page != nullptr) page->ran_away = true;
    return;
  }
  Expand(template_text, array, expansion);
  if (page != nullptr) {
    page->remaining -= expansion.written;
    if (expansion.ran_away) page->ran_away = true;
  }
}

void ResetExpansionDiagnostics() { runaway_reported.store(false); }

long ExpansionRunawayCount() { return runaway_count.load(std::memory_order_relaxed); }

}  // namespace pix
