// The about box: the program's name, version and purpose, and where its data are.
#pragma once

#include <QDialog>

namespace invarro::ui {

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    TAboutBox(QWidget* parent, const QString& dataFolder);
};

}  // namespace invarro::ui
