// The about box on template 22000: the product name, the version line, the copyright and
// special-build lines from the program's compiled-in version values, and OK.
#pragma once

#include <QDialog>
#include <map>
#include <string>

namespace pix::ui {

class ParentWindow;

/// The program's version values, by the keys of a version block.
const std::map<std::string, std::string>& ProjectRCVersion();

/// "Version 2.0 / 64-bit": the product version and the build's word size.
QString VersionLine();

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent);
  QString Line(int id) const;

 private:
  ParentWindow* body_;
};

}  // namespace pix::ui
