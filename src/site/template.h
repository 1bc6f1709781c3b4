// Template expansion.
//
// A template is text with references to variables written "${Name}": a dollar sign, an
// opening brace, three or more ASCII letters and a closing brace. Expansion writes the
// template to an output stream with every reference replaced by the named variable's value,
// itself expanded against the array that owns that variable. Unknown names write nothing;
// anything that is not a reference is written as it stands. Nothing expanded is held in
// memory: output goes straight to the stream.
//
// A guarded reference "${Name?text}" writes `text` (itself a template, which may hold
// references, guarded ones too) only when the variable Name has something to say: it exists
// and its expansion is neither empty nor "0". "${Name!text}" writes `text` only when Name
// has nothing to say, so that "${Caption}${Caption!${Name}}" falls back to a name. Layouts use it so that a line such as
// "photographed by ..." or "12 pictures" disappears whole when there is nothing to put in
// it, instead of leaving a dangling separator. Braces inside `text` must pair up: the text
// ends at the "}" that matches its opening "${". Only the value being tested is expanded in
// memory, to be looked at.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace pix {

class Diagnostics;

class VariableList;

/// Bumped whenever expansion writes other text for the same template and variables: every
/// detail page, whose recipe names it, is expanded again.
inline constexpr int kTemplateExpansionVersion = 1;

/// The longest name a reference may have is one less than this; a longer run of letters
/// in braces is ordinary text.
inline constexpr std::size_t kMaxVarNameSize = 256;

/// How deeply values may refer to values that refer to values. A reference to a variable
/// that is already being expanded (a variable that refers to itself, directly or through
/// others) writes nothing, and so does any reference deeper than this; either is reported
/// once to the diagnostics sink the expansion is given.
inline constexpr int kMaxExpansionDepth = 64;

/// The most text one ExpandTemplate call writes, and the most references it follows. A few
/// short values that each refer to the next several times would otherwise expand to more
/// text (or more work) than any machine holds; what lies beyond either cap is left out and
/// reported once. A real page entry, or a detail page, is far below both.
inline constexpr std::size_t kMaxExpansionOutput = std::size_t{4} << 20;
inline constexpr std::size_t kMaxExpansionReferences = std::size_t{1} << 18;

/// The most text all the expansions of one page write together: an index page of 100 000
/// pictures stays well below it, while a runaway value repeated in every entry of a page
/// would otherwise pass any disk.
inline constexpr std::size_t kMaxPageOutput = std::size_t{256} << 20;

/// What one page may still take; every expansion into the page draws on it.
struct ExpansionBudget {
  std::size_t remaining = kMaxPageOutput;
  /// Some expansion into the page ran away (a cycle, too deep, a cap reached), whether or
  /// not it was reported: such a page is made again on every run, so that it is reported.
  bool ran_away = false;
};

/// If `text` begins with a reference, stores its name in `name` and returns the number of
/// letters; otherwise returns 0 and leaves `name` alone.
std::size_t ParseVarRef(std::string_view text, std::string_view* name);

/// If `text` begins with a guarded reference "${Name?text}" or "${Name!text}", stores the
/// name, the guarded text and whether it is written when Name has nothing to say ("!"), and
/// returns the length of the whole reference; otherwise returns 0.
std::size_t ParseGuardedRef(std::string_view text, std::string_view* name,
                            std::string_view* guarded, bool* when_empty);

/// Writes the expansion of `templateText` against `array` to `out`. Stream errors are not
/// checked here; the owner of the stream checks it when closing. A runaway expansion (a
/// variable that refers to itself, references too deep, a cap reached) is reported to
/// `diagnostics`, when given. With a `page` budget, the expansion also stops where the page
/// has taken all of it.
void ExpandTemplate(std::string_view template_text, const VariableList& array, std::ostream& out,
                    Diagnostics* diagnostics = nullptr, ExpansionBudget* page = nullptr);

/// Forgets that a runaway expansion was reported, so the next run reports it again. A
/// runaway expansion is reported once between two resets.
void ResetExpansionDiagnostics();

/// How many expansions ran away so far in this process, each counted, whether reported or
/// not: a page whose expansion ran away must be made, and reported, on every run.
long ExpansionRunawayCount();

}  // namespace pix
