// The password dialog: one masked entry of up to 20 characters with OK, Cancel and a
// help button. It serves every password question; the caller sets the title.
#pragma once

#include <QDialog>
#include <functional>

#include "app/Password.h"

class QLineEdit;
class QPushButton;
class QLabel;

namespace invarro::ui {

class TPasswordDlg : public QDialog, public app::PasswordDialogPort {
    Q_OBJECT
  public:
    // help opens the help topic "Password Setup".
    explicit TPasswordDlg(QWidget* parent = nullptr, std::function<void()> help = {});

    // Empties and focuses the entry, shows the dialog modally with the title.
    app::PasswordEntry askPassword(const std::string& title, bool showHelp) override;
    // The same preparation without running the dialog (tests drive it themselves).
    void prepare(const QString& title, bool showHelp);

    QLineEdit* Password;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;

  private:
    std::function<void()> help_;
};

}  // namespace invarro::ui
