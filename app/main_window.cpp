#include "app/main_window.h"

TMain::TMain(QWidget* parent) : QWidget(parent) {
  setObjectName("Main");
  setWindowTitle("Varn ICQ Backup");
  resize(540, 425);
}
