// A layout home and a site directory in a temporary folder, for the layout tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "files/names.h"
#include "files/profile.h"
#include "files/settings.h"
#include "layout/config.h"
#include "layout/layoutmodel.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace pix::test {

/// A preview that records what it was asked to show ("<clear>" for ClearPicture).
class RecordingPreview : public PreviewTarget {
 public:
  void SetPicture(const std::filesystem::path& path) override { shown.push_back(path.string()); }
  void ClearPicture() override { shown.push_back("<clear>"); }
  std::vector<std::string> shown;
};

class LayoutTest : public testing::Test {
 protected:
  LayoutTest() : home_(temp_ / "home"), site_(temp_ / "site") {
    std::filesystem::create_directories(home_);
    std::filesystem::create_directories(site_);
  }

  std::string Home() const { return home_.string(); }
  std::string Site() const { return site_.string(); }

  void WriteSetting(const std::string& section, const std::string& key, const std::string& value) {
    ASSERT_TRUE(SettingsFile(home_).WriteString(section, key, value).ok());
  }
  std::string Setting(const std::string& section, const std::string& key) {
    return SettingsFile(home_).GetString(section, key, "<missing>", 16384);
  }

  /// Builds the tree for the layout home and the site directory.
  std::unique_ptr<RootConfigItem> Build() {
    return std::make_unique<RootConfigItem>(Home(), Site(), &ui_);
  }

  /// The labels of an item's children, in order.
  static std::vector<std::string> ChildLabels(const ConfigItem& item) {
    std::vector<std::string> labels;
    for (int i = 0; i < item.ChildCount(); ++i) labels.push_back(item.Child(i)->Label());
    return labels;
  }

  /// The child of `item` labelled `label`; fails the test when there is none.
  static ConfigItem* ChildNamed(const ConfigItem& item, const std::string& label) {
    for (int i = 0; i < item.ChildCount(); ++i) {
      if (item.Child(i)->Label() == label) return item.Child(i);
    }
    ADD_FAILURE() << "no child " << label << " under " << item.Label();
    return nullptr;
  }

  /// The row of the item labelled `label` in `model`'s list; fails the test when there is none.
  static int RowOf(const LayoutModel& model, const std::string& label) {
    for (const ConfigItem* item : model.ListedItems()) {
      if (item->Label() == label) return item->list_box_id;
    }
    ADD_FAILURE() << "no row " << label;
    return -1;
  }

  /// The names of an item's variables, in order.
  static std::vector<std::string> VarNames(const VariableList& array) {
    std::vector<std::string> names;
    for (int i = 0; i < array.ItemCount(); ++i) names.push_back(array.Item(i).name());
    return names;
  }

  TempDir temp_;
  std::filesystem::path home_;
  std::filesystem::path site_;
  ScriptedUserInterface ui_;
};

}  // namespace pix::test
