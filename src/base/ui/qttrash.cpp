#include "base/ui/qttrash.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "base/ui/qttext.h"

namespace pix::ui {

bool QtTrash::IsAvailable() const {
  // The desktop's home trash, $XDG_DATA_HOME/Trash, with its files/ and info/ folders.
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (data.isEmpty()) return false;
  const QDir trash(data + QStringLiteral("/Trash"));
  return trash.mkpath(QStringLiteral("files")) && trash.mkpath(QStringLiteral("info"));
}

Status QtTrash::MoveToTrash(const std::string& path) {
  if (QFile::moveToTrash(PathToQt(path))) return Status::OK();
  return Status::IoError("Cannot move " + path + " to the Trash; it is left where it is");
}

}  // namespace pix::ui
