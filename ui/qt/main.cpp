// torq32: the window program; its home folder is the folder it starts in.
#include <QApplication>
#include <QMessageBox>
#include <cstdlib>

#include "app/startup.h"
#include "lz/lz_file.h"
#include "ui/qt/main_window.h"

int main(int argc, char* argv[]) {
  lz::EngineStartup();
  QApplication application(argc, argv);
  // The desktop entry's name: the taskbar finds the program's icon and name through it.
  QGuiApplication::setDesktopFileName("torq32");
  if (const std::optional<std::string> refusal = app::StartFolderRefusal()) {
    QMessageBox::critical(nullptr, app::kWindowCaption, app::Shown(*refusal));
    return EXIT_FAILURE;
  }
  app::TMain Main;
  Main.show();
  return QApplication::exec();
}
