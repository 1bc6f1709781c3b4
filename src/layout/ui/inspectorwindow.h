// The object inspector's widgets: a scrolled column of rows, each row a name box above a
// multi-line value box. They draw InspectorModel and forward every edit to it; the rows
// hold no text of their own that the model does not know.
#pragma once

#include <QScrollArea>
#include <vector>

class QLineEdit;
class QPlainTextEdit;

namespace pix {
class InspectorModel;
}

namespace pix::ui {

/// One row: LabelEditBox for the name, one line as wide as the row; ValueEditBox below it
/// for the value, three lines high, wrapping long lines at its width and scrolling down.
class VarField : public QWidget {
  Q_OBJECT

 public:
  VarField(QWidget* parent, InspectorModel& model, int row);

  /// Shows what the model's row holds, without counting it as an edit. `tab_stop_name`:
  /// the name box is reached by Tab (the first empty row, where a new variable is named);
  /// otherwise only the value of a named row is, and the rest take the focus from a click.
  void ShowFromModel(bool tab_stop_name = false);
  /// Text can be read, selected and copied, but not changed.
  void SetReadOnly(bool read_only);

  QLineEdit* LabelEditBox() const { return label_edit_; }
  QPlainTextEdit* ValueEditBox() const { return value_edit_; }
  int Row() const { return row_index_; }

 signals:
  /// The user changed the row's name or value.
  void Edited(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  InspectorModel& model_;  // Owned by the layout model; outlives the row.
  int row_index_;
  bool read_only_ = false;
  QLineEdit* label_edit_;
  QPlainTextEdit* value_edit_;
};

class InspectorWindow : public QScrollArea {
  Q_OBJECT

 public:
  /// `model` must outlive the window.
  InspectorWindow(QWidget* parent, InspectorModel& model);

  /// Makes the rows match the model (as many rows as it has) and shows their text. Called
  /// after the model showed an item, took edits or was emptied.
  void ShowModel();

  /// Shows the first row, as for an item just selected.
  void ScrollToTop();
  /// While a run works the rows are read-only.
  void SetReadOnly(bool read_only);

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  VarField* Field(int row) const { return fields_.at(static_cast<std::size_t>(row)); }
  /// The height of one row in pixels: a line for the name and three for the value.
  int RowHeight() const;

 signals:
  /// Rows were added or removed; the window's tab order has to take them in.
  void RowsChanged();
  /// The user changed a row.
  void Edited();
  /// The user changed row `row` (its name or value); sent before Edited.
  void RowChanged(int row);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  VarField* AddRow();
  // Sets the scroll steps to whole rows.
  void PlaceRows();
  void RowEdited(int row);

  // Shows every row's text and sets which boxes Tab visits.
  void ShowRows();

  InspectorModel& model_;
  bool read_only_ = false;
  QWidget* column_;                // The scrolled widget that holds the rows.
  std::vector<VarField*> fields_;  // Owned by column_, laid out top to bottom.
};

}  // namespace pix::ui
