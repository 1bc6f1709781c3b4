#include "site/pagepreview.h"

#include "base/diagnostics.h"
#include "base/progress.h"
#include "base/userinterface.h"
#include "site/variable.h"
#include "site/website.h"

namespace pix {
namespace {

// A preview asks nobody anything: every question is answered as closing its box would.
class SilentUserInterface : public UserInterface {
 public:
  MessageAnswer ShowMessage(const std::string&, const std::string&, MessageButtons buttons,
                            MessageIcon) override {
    return buttons == MessageButtons::kOk ? MessageAnswer::kOk : MessageAnswer::kCancel;
  }
  std::optional<std::string> PromptLine(const std::string&, const std::string&,
                                        const std::string&, int) override {
    return std::nullopt;
  }
};

// Whether `path` is `directory` or lies below it.
bool IsInside(const std::string& path, const std::string& directory) {
  return path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
         path[directory.size()] == '/';
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string PagePreview::FileText(const std::string& path, Diagnostics* diagnostics) const {
  if (const auto found = files.find(path); found != files.end()) return found->second;
  return LoadVarFileText(path, {}, diagnostics);
}

bool PagePreview::NeedsBranch(const std::string& directory,
                              const std::string& sub_directory) const {
  const std::string wanted = DirectoryOf(page_path);
  return wanted == directory || wanted == sub_directory || IsInside(wanted, sub_directory);
}

Status PreviewPage(const std::string& site_directory, const std::string& layout_home,
                   PagePreview& preview, Diagnostics& diagnostics) {
  preview.html.reset();
  SilentUserInterface ui;
  Progress progress;
  WebSite site(site_directory, layout_home, ui, progress, diagnostics);
  site.SetPreview(&preview);
  site.ReportToDiagnostics(true);
  if (Status prepared = site.Prepare(); !prepared.ok()) return prepared;
  site.DoMainTask();
  if (!preview.html) {
    return Status::NotFound("A run makes no page " + preview.page_path + " with this layout");
  }
  return Status::OK();
}

}  // namespace pix
