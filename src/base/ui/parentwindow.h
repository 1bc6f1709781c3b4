// A window whose controls come from a dialog template and keep their share of the window
// when it is resized. The arithmetic lives in ControlSizer; this class makes one Qt control
// per template item and moves them where the sizer says.
#pragma once

#include <QWidget>
#include <vector>

#include "base/sizer.h"

namespace pix::ui {

/// The dialog base units of a font: the average width of the letters and the line height.
DialogBaseUnits DialogBaseUnitsOf(const QFont& font);

class ParentWindow : public QWidget {
  Q_OBJECT

 public:
  /// Builds the window and its controls from `sizer`, sized as the template says in the
  /// dialog base units of the window's font. The caption is the window's own, not the
  /// template's.
  ParentWindow(QWidget* parent, const QString& caption, ControlSizer sizer);
  /// Builds the window from the program's template `templateId`.
  ParentWindow(QWidget* parent, const QString& caption, int template_id);

  /// The control of the child with that id, or null.
  QWidget* FindControl(int id) const;
  template <typename T>
  T* FindControlAs(int id) const {
    return qobject_cast<T*>(FindControl(id));
  }
  const ControlSizer& Sizer() const { return sizer_; }
  /// The size the template gives the window in the current font.
  QSize TemplateSize() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  /// Places the controls after a size change: by default each keeps its share of the
  /// window, as the sizer says, and then ControlsMoved is called. A window that arranges
  /// its controls otherwise replaces this.
  virtual void LayoutControls();
  /// Called after every control has followed a size change.
  virtual void ControlsMoved() {}

 private:
  QWidget* MakeControl(const ChildSizeObject& child);

  ControlSizer sizer_;
  std::vector<QWidget*> controls_;  // Template order; owned as child widgets.
};

}  // namespace pix::ui
