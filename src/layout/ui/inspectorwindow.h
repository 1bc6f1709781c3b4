// The object inspector's widgets: a scrolled column of rows, each row a name box above a
// multi-line value box. They draw TObjInspectModel and forward every edit to it; the rows
// hold no text of their own that the model does not know.
#pragma once

#include <QScrollArea>
#include <vector>

#include "base/ui/parentwindow.h"

class QLineEdit;
class QPlainTextEdit;

namespace pix {
class TObjInspectModel;
}

namespace pix::ui {

/// One row on template 701: LabelEditBox (702) for the name, ValueEditBox (703) for the value.
class TVarField : public ParentWindow {
  Q_OBJECT

 public:
  TVarField(QWidget* parent, TObjInspectModel& model, int row);

  /// Shows what the model's row holds, without counting it as an edit.
  void ShowFromModel();

  QLineEdit* LabelEditBox() const { return LabelEdit; }
  QPlainTextEdit* ValueEditBox() const { return ValueEdit; }
  int Row() const { return RowIndex; }

 signals:
  /// The user changed the row's name or value.
  void Edited(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TObjInspectModel& Model;  // Owned by the layout model; outlives the row.
  int RowIndex;
  QLineEdit* LabelEdit;
  QPlainTextEdit* ValueEdit;
};

class TObjInspectWindow : public QScrollArea {
  Q_OBJECT

 public:
  /// `model` must outlive the window.
  TObjInspectWindow(QWidget* parent, TObjInspectModel& model);

  /// Makes the rows match the model (as many rows as it has) and shows their text. Called
  /// after the model showed an item, took edits or was emptied.
  void ShowModel();

  int FieldCount() const { return static_cast<int>(ppVarField.size()); }
  TVarField* Field(int row) const { return ppVarField.at(static_cast<std::size_t>(row)); }
  /// The height of one row in pixels: the template's 40 dialog units.
  int RowHeight() const;

 signals:
  /// Rows were added or removed; the window's tab order has to take them in.
  void RowsChanged();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  TVarField* AddRow();
  void PlaceRows();
  void RowEdited(int row);

  TObjInspectModel& Model;
  QWidget* Column;                     // The scrolled widget that holds the rows.
  std::vector<TVarField*> ppVarField;  // Owned by Column.
};

}  // namespace pix::ui
