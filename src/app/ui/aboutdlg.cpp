#include "app/ui/aboutdlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/dialogs.h"
#include "base/ui/parentwindow.h"
#include "base/ui/qttext.h"

namespace pix::ui {

const std::map<std::string, std::string>& ProjectRCVersion() {
  static const std::map<std::string, std::string> values = {
      {"FileDescription", "Pixamond for Linux"},
      {"FileVersion", "2.0"},
      {"InternalName", "Pixamond"},
      {"LegalCopyright", "Copyright (C) 1996 the Pixamond developers"},
      {"OriginalFilename", "pixamond"},
      {"ProductName", "Pixamond"},
      {"ProductVersion", "2.0"},
  };
  return values;
}

QString VersionLine() {
  const auto& values = ProjectRCVersion();
  if (values.count("ProductName") == 0 || values.count("ProductVersion") == 0) {
    return QStringLiteral("Version");
  }
  return QStringLiteral("Version %1 / %2-bit")
      .arg(ToQt(values.at("ProductVersion")))
      .arg(static_cast<int>(sizeof(void*) * 8));
}

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent),
      body_(new ParentWindow(this, QStringLiteral("About pixamond"), kAboutDialogId)) {
  setWindowTitle(QStringLiteral("About pixamond"));
  setObjectName(QStringLiteral("AboutDialog"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(body_);
  const auto& values = ProjectRCVersion();
  if (auto* version = body_->FindControlAs<QLabel>(kVersionLineId)) version->setText(VersionLine());
  if (auto* copyright = body_->FindControlAs<QLabel>(kCopyrightLineId)) {
    const auto found = values.find("LegalCopyright");
    if (found != values.end()) copyright->setText(ToQt(found->second).left(255));
  }
  if (auto* special = body_->FindControlAs<QLabel>(kSpecialBuildLineId)) {
    const auto found = values.find("SpecialBuild");
    if (found != values.end()) special->setText(ToQt(found->second).left(255));
  }
  if (auto* ok = body_->FindControlAs<QPushButton>(kOkButtonId)) {
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  }
  resize(body_->TemplateSize());
}

QString AboutDialog::Line(int id) const {
  auto* label = body_->FindControlAs<QLabel>(id);
  return label != nullptr ? label->text() : QString();
}

}  // namespace pix::ui
