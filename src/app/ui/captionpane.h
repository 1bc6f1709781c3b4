// The caption of a picture in plain words: a labelled field for each of the picture's own
// variables that the layout's templates use (Title, Link text, Description, Subject,
// Photographer). The fields edit the same rows of the inspector model as the inspector's
// own boxes, so that both show one text and Save writes it as before.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

class QFormLayout;
class QLabel;
class QPlainTextEdit;

namespace pix {
class InspectorModel;
class LayoutModel;
}  // namespace pix

namespace pix::ui {

class CaptionPane : public QWidget {
  Q_OBJECT

 public:
  /// `model` must outlive the pane.
  CaptionPane(QWidget* parent, InspectorModel& model);

  /// One field of the pane: the variable it edits and its label.
  struct Field {
    std::string variable;  ///< "ImageDescription"
    QString label;         ///< "Description"
    QLabel* label_widget = nullptr;
    QPlainTextEdit* box = nullptr;
    QString shown;  ///< The text before the user's last change.
  };

  /// Shows only the fields of the variables that `layout` refers to in its templates (all of
  /// them when it refers to none), with the values the inspector rows hold now.
  void ShowFields(const LayoutModel& layout);
  /// Takes the inspector rows' values again (after an edit in the inspector).
  void ShowValues();
  /// Puts `text` into the field of `variable` and its inspector row, as Undo and Redo do:
  /// not an edit of the user's.
  void SetFieldText(const std::string& variable, const QString& text);

  /// While a run works the fields are read-only.
  void SetReadOnly(bool read_only);

  /// The field of `variable`, or null.
  QPlainTextEdit* FieldBox(const std::string& variable) const;
  /// The boxes shown, top to bottom.
  std::vector<QPlainTextEdit*> ShownBoxes() const;

  /// True when the layout's templates refer to `variable` ("${Name}", "${Name?...}"); for
  /// the description also when they refer to the caption a run makes of it.
  static bool LayoutUses(const LayoutModel& layout, const std::string& variable);

 signals:
  /// The user changed a field; the inspector's rows hold the new text.
  void Edited();
  /// The same, with what the field held before and holds now, for Undo.
  void FieldChanged(const std::string& variable, const QString& before, const QString& after);

 private:
  void FieldEdited(Field& field);

  InspectorModel& model_;
  QFormLayout* form_;
  QLabel* note_;
  std::vector<Field> fields_;
};

}  // namespace pix::ui
