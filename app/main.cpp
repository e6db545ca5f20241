// torq32: the window program. It takes no arguments; its home folder is the current
// folder it starts in.
#include <QApplication>

#include "app/main_window.h"
#include "lz/lz_file.h"

int main(int argc, char* argv[]) {
  lz::EngineStartup();
  QApplication application(argc, argv);
  app::TMain Main;
  Main.show();
  return QApplication::exec();
}
