#include "layout/livepreview.h"

#include "files/filelist.h"
#include "files/utils.h"
#include "layout/config.h"
#include "layout/inspector.h"
#include "layout/pictureitem.h"
#include "layout/samples.h"

namespace pix {
namespace {

// The variable records of `item` as a save would write them: the inspector's rows when
// they hold edits for it.
std::string VarTextOf(const ConfigItem& item, const ConfigItem* selected,
                      const InspectorModel& inspector) {
  if (&item != selected || !inspector.FieldsModified()) return item.FormatVarText();
  VariableList edited;
  inspector.CommitFields(edited);
  return edited.FormatVarText();
}

bool HasEdits(const ConfigItem& item, const ConfigItem* selected,
              const InspectorModel& inspector) {
  return item.ModifiedFlag() || (&item == selected && inspector.FieldsModified());
}

void Collect(const ConfigItem& item, const ConfigItem* selected, const InspectorModel& inspector,
             PagePreview& preview) {
  if (const auto* group = dynamic_cast<const GroupItem*>(&item)) {
    // A group's file holds its pieces' variables after its own.
    bool edited = HasEdits(*group, selected, inspector);
    std::string text = VarTextOf(*group, selected, inspector);
    for (int i = 0; i < group->ChildCount(); ++i) {
      const ConfigItem& piece = *group->Child(i);
      if (dynamic_cast<const PieceItem*>(&piece) == nullptr) continue;
      edited = edited || HasEdits(piece, selected, inspector);
      text += VarTextOf(piece, selected, inspector);
    }
    if (edited) preview.files[group->VarFileName()] = std::move(text);
  } else if (HasEdits(item, selected, inspector)) {
    if (const auto* page = dynamic_cast<const PageItem*>(&item)) {
      preview.files[page->VarFileName()] =
          page->IsCrossedOut() ? std::string() : VarTextOf(item, selected, inspector);
    } else if (const auto* match = dynamic_cast<const MatchItem*>(&item)) {
      preview.files[match->VarFileName()] =
          match->IsCrossedOut() ? std::string() : VarTextOf(item, selected, inspector);
    } else if (const auto* settings = dynamic_cast<const IniSettingsItem*>(&item)) {
      // Each entry takes the value of the variable bearing its key, as a save writes it.
      VariableList edited;
      const VariableList* values = settings;
      if (&item == selected && inspector.FieldsModified()) {
        inspector.CommitFields(edited);
        values = &edited;
      }
      for (int i = 0; i < settings->EntryCount(); ++i) {
        const IniEntry& entry = settings->Entry(i);
        const Variable* value = values->FindVar(entry.key);
        if (value == nullptr) continue;
        preview.settings[{LowerCase(entry.section), LowerCase(entry.key)}] = value->value();
      }
    } else if (const auto* picture = dynamic_cast<const PictureItem*>(&item)) {
      std::string text = VarTextOf(item, selected, inspector);
      if (HoldsPictureComment(picture->FullFileName())) {
        preview.comments[picture->FullFileName()] = std::move(text);
      } else {
        preview.files[picture->CaptionTextPath()] = std::move(text);
      }
    }
  }
  for (int i = 0; i < item.ChildCount(); ++i) {
    Collect(*item.Child(i), selected, inspector, preview);
  }
}

}  // namespace

void CollectUnsavedLayout(const RootConfigItem& root, const ConfigItem* selected,
                          const InspectorModel& inspector, PagePreview& preview) {
  Collect(root, selected, inspector, preview);
}

std::vector<std::string> PagesShowing(const ConfigItem* item, const std::string& site_directory,
                                      const std::string& directory,
                                      const std::string& page_extension) {
  const std::string dot_ext = "." + page_extension;
  std::vector<std::string> pages;
  if (const auto* picture = dynamic_cast<const PictureItem*>(item)) {
    const std::string& path = picture->FullFileName();
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const std::size_t end = dot != std::string::npos && dot > slash ? dot : path.size();
    pages.push_back(path.substr(0, end) + dot_ext);
    pages.push_back(path.substr(0, slash) + "/index" + dot_ext);
  } else if (const auto* folder = dynamic_cast<const DirectoryItem*>(item)) {
    pages.push_back(folder->DirFileItem()->FullFileName() + "/index" + dot_ext);
  } else {
    const std::string place = directory.empty() ? site_directory : directory;
    if (const auto* match = dynamic_cast<const MatchItem*>(item)) {
      pages.push_back(place + "/" + match->BaseName() + dot_ext);
    }
    pages.push_back(place + "/index" + dot_ext);
  }
  const std::string site_page = site_directory + "/index" + dot_ext;
  if (pages.back() != site_page) pages.push_back(site_page);
  return pages;
}

Status PreviewFirstPage(const std::string& site_directory, const std::string& layout_home,
                        const std::vector<std::string>& candidates, PagePreview& preview,
                        Diagnostics& diagnostics) {
  Status made = Status::NotFound("No page to show");
  for (const std::string& page : candidates) {
    preview.page_path = page;
    made = PreviewPage(site_directory, layout_home, preview, diagnostics);
    if (made.code() != Status::Code::kNotFound) return made;
  }
  return made;
}

bool UseSampleLayout(const std::filesystem::path& sample, const std::string& layout_home,
                     PagePreview& preview) {
  Result<std::string> text = ReadTextFile(sample);
  if (!text.ok()) return false;
  preview.files[BuildFileName(layout_home, "globals", "txt")] = WithCrLfLineEnds(*text);
  return true;
}

}  // namespace pix
