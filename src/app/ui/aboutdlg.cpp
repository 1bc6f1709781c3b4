#include "app/ui/aboutdlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/ui/icons.h"
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
      version_(new QLabel(VersionLine(), this)),
      copyright_(new QLabel(this)),
      special_build_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("About pixamond"));
  setObjectName(QStringLiteral("AboutDialog"));
  const auto& values = ProjectRCVersion();
  const auto value = [&values](const char* key) {
    const auto found = values.find(key);
    return found == values.end() ? QString() : ToQt(found->second).left(255);
  };
  version_->setObjectName(QStringLiteral("VersionLine"));
  copyright_->setObjectName(QStringLiteral("CopyrightLine"));
  copyright_->setText(value("LegalCopyright"));
  special_build_->setObjectName(QStringLiteral("SpecialBuildLine"));
  special_build_->setText(value("SpecialBuild"));
  // A line with nothing to say takes no room.
  copyright_->setVisible(!copyright_->text().isEmpty());
  special_build_->setVisible(!special_build_->text().isEmpty());

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("Icon"));
  icon->setPixmap(ResourcePixmap(1001, 48, devicePixelRatioF()));
  icon->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  auto* lines = new QVBoxLayout;
  lines->setSpacing(2);
  for (QLabel* line :
       {new QLabel(QStringLiteral("Pixamond"), this), version_, copyright_, special_build_}) {
    lines->addWidget(line);
  }
  lines->addStretch(1);
  auto* top = new QHBoxLayout;
  top->setSpacing(12);
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(lines, 1);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OkButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->setCenterButtons(true);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(6);
  layout->addWidget(new QLabel(QStringLiteral("Written by the Pixamond developers."), this));
  layout->addWidget(new QLabel(QStringLiteral("Questions and reports: see README.md."), this));
  layout->addSpacing(6);
  layout->addWidget(buttons);
  // The box is as large as its text needs, no larger and no smaller.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString AboutDialog::Line(AboutLine line) const {
  switch (line) {
    case AboutLine::kVersion:
      return version_->text();
    case AboutLine::kCopyright:
      return copyright_->text();
    case AboutLine::kSpecialBuild:
      return special_build_->text();
  }
  return QString();
}

}  // namespace pix::ui
