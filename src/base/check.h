// Internal consistency checks.
//
// PIX_CHECK states a condition that the program itself guarantees. When one fails the
// program is broken, not the input: the failure is reported as
// "Assertion failed: COND, file MODULE, line N" (on the diagnostic stream and through the
// user interface registered with SetAssertionInterface) and the program ends. Conditions
// that a file or a user can reach are never checked this way; they are reported and the
// work goes on.
#pragma once

#include <string>

namespace pix {

class UserInterface;

/// Reports a failed check and ends the program; never returns.
[[noreturn]] void AssertionFailed(const char* condition, const char* file, int line);

/// The text of a failed check: "Assertion failed: COND, file MODULE, line N", where MODULE
/// is the source file's own name without its folders.
std::string FormatAssertionText(const char* condition, const char* file, int line);

/// Registers the interface that shows failed checks in a stop box before the program ends.
/// The interface must outlive its registration; pass nullptr to unregister.
void SetAssertionInterface(UserInterface* ui);

}  // namespace pix

#define PIX_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::pix::AssertionFailed(#condition, __FILE__, __LINE__))
