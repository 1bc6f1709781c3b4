// The desktop program, pixamond-desktop: the window, started by `pixamond` when no command
// is given, with the same arguments ([--home DIR] [SITE_DIR]).
#include "app/ui/application.h"
#include "base/safefile.h"
#include "files/filelist.h"

int main(int argc, char** argv) {
  pix::InstallOutOfMemoryHandler();
  pix::InstallInterruptCleanup();
  return pix::ui::RunDesktopApplication(argc, argv);
}
