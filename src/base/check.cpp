#include "base/check.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/userinterface.h"

namespace pix {
namespace {

std::atomic<TUserInterface*> gAssertionInterface{nullptr};

const char* ModuleName(const char* file) {
  const char* slash = std::strrchr(file, '/');
  return slash != nullptr ? slash + 1 : file;
}

}  // namespace

std::string FormatAssertionText(const char* condition, const char* file, int line) {
  return std::string("Assertion failed: ") + condition + ", file " + ModuleName(file) + ", line " +
         std::to_string(line);
}

void SetAssertionInterface(TUserInterface* ui) { gAssertionInterface.store(ui); }

void AssertionFailed(const char* condition, const char* file, int line) {
  const std::string text = FormatAssertionText(condition, file, line);
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  // Unregister first, so that a check failing inside the box cannot recurse.
  if (TUserInterface* ui = gAssertionInterface.exchange(nullptr)) {
    ui->ShowMessage(text, kProgramCaption, MessageButtons::Ok, MessageIcon::Stop);
  }
  std::abort();
}

}  // namespace pix
