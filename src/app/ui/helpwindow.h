// The program's help: HTML pages in the shipped data folder (help/), shown in a window of
// the program's own. Context numbers and command ids name pages.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace pix::ui {

/// Topic numbers that are not command ids.
inline constexpr int kHelpContents = 0;
inline constexpr int kHelpOnHelp = 2002;
inline constexpr int kHelpLayoutWindow = 27;
inline constexpr int kHelpSampleLayouts = 24;

/// The page of a context number or command id ("index.html" for numbers without a page).
QString HelpPageFor(int context);

/// The folder of the help pages.
QString HelpDirectory();

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent);

  /// Shows the page of `context` and brings the window to the front.
  void ShowTopic(int context);
  /// The page shown now, as a file name ("index.html").
  QString CurrentPage() const;
  QTextBrowser* Browser() const { return view_; }

 private:
  QTextBrowser* view_;
};

}  // namespace pix::ui
