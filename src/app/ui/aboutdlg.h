// The about box: the program's icon beside the product name, the version line, the
// copyright and special-build lines from the program's compiled-in version values, two lines
// about the authors below, and OK.
#pragma once

#include <QDialog>
#include <map>
#include <string>

class QLabel;

namespace pix::ui {

/// The program's version values, by the keys of a version block.
const std::map<std::string, std::string>& ProjectRCVersion();

/// "Version 2.0 / 64-bit": the product version and the build's word size.
QString VersionLine();

/// The lines of the about box that come from the version values.
enum class AboutLine { kVersion, kCopyright, kSpecialBuild };

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent);
  /// The text of a line; empty when the program has none (the line is then hidden).
  QString Line(AboutLine line) const;

 private:
  QLabel* version_;
  QLabel* copyright_;
  QLabel* special_build_;
};

}  // namespace pix::ui
