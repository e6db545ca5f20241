// TMain: the program's one window.
#pragma once

#include <QWidget>

class TMain : public QWidget {
  Q_OBJECT

 public:
  explicit TMain(QWidget* parent = nullptr);
};
