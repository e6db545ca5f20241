// torq32: the window program. It takes no arguments.
#include <QApplication>

#include "app/main_window.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  TMain main_window;
  main_window.show();
  return QApplication::exec();
}
