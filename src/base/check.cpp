#include "base/check.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/userinterface.h"

namespace pix {
namespace {

std::atomic<UserInterface*> assertion_interface{nullptr};

const char* ModuleName(const char* file) {
  const char* slash = std::strrchr(file, '/');
  return slash != nullptr ? slash + 1 : file;
}

}  // namespace

std::string FormatAssertionText(const char* condition, const char* file, int line) {
  return std::string("Assertion failed: ") + condition + ", file " + ModuleName(file) + ", line " +
         std::to_string(line);
}

void SetAssertionInterface(UserInterface* ui) { assertion_interface.store(ui); }

void AssertionFailed(const char* condition, const char* file, int line) {
  const std::string text = FormatAssertionText(condition, file, line);
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  // Unregister first, so that a check failing inside the box cannot recurse.
  if (UserInterface* ui = assertion_interface.exchange(nullptr)) {
    ui->ShowMessage(text, kProgramCaption, MessageButtons::kOk, MessageIcon::kStop);
  }
  std::abort();
}

}  // namespace pix
