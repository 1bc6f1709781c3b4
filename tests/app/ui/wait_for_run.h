// Waiting, as a user does, for a run that works in the background of the layout window.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include "app/ui/configwindow.h"

namespace pix::test {

/// Lets the window handle its events until its run has ended; false after a minute.
inline bool WaitForRun(ui::LayoutWindow& window) {
  QElapsedTimer clock;
  clock.start();
  while (window.IsRunning() && clock.elapsed() < 60000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  QCoreApplication::processEvents();
  return !window.IsRunning();
}

}  // namespace pix::test
