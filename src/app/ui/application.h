// The desktop program: start-up and the run of the main window.
#pragma once

namespace pix::ui {

/// Starts the desktop program: the layout home is opened, standard output and error are
/// turned over to stdout.txt and stderr.txt in it, and the main frame runs until it closes.
/// Returns the process exit code.
int RunDesktopApplication(int argc, char** argv);

}  // namespace pix::ui
