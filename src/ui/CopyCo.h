// TCopyCo, the dialog that copies the customers or the products of the company in use to
// another company number: it asks for the destination, checks it on "&OK" and closes;
// the company manager then copies the files.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "app/CompanyManager.h"
#include "ui/WindowSupport.h"

class QLineEdit;

namespace invarro::ui {

class TCopyCo : public QDialog {
    Q_OBJECT
  public:
    TCopyCo(app::CopyMode mode, std::string numberInUse, const WindowServices& services,
            QWidget* parent = nullptr);

    // After OK: the destination's file-name prefix.
    const std::optional<std::string>& destination() const { return destination_; }

    void accept() override;

  private:
    app::CopyMode mode_;
    std::string numberInUse_;
    WindowServices services_;
    QLineEdit* entry_;
    std::optional<std::string> destination_;
};

}  // namespace invarro::ui
