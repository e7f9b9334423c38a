#include "ui/CopyCo.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace invarro::ui {

TCopyCo::TCopyCo(app::CopyMode mode, std::string numberInUse, const WindowServices& services,
                 QWidget* parent)
    : QDialog(parent), mode_(mode), numberInUse_(std::move(numberInUse)), services_(services) {
    setObjectName(QStringLiteral("TCopyCo"));
    setWindowTitle(QString::fromStdString(app::CopyDialogTitle(mode)));
    setModal(true);

    auto* text = new QLabel(QString::fromStdString(app::CopyDialogText(mode, numberInUse_)), this);
    text->setObjectName(QStringLiteral("CopyText"));
    text->setWordWrap(true);
    entry_ = new QLineEdit(QStringLiteral("0"), this);
    entry_->setObjectName(QStringLiteral("DestCoNo"));
    entry_->setMaxLength(5);
    entry_->setMaximumWidth(80);

    DialogButtons buttons = MakeDialogButtons(this, QStringLiteral("&OK"),
                                              services_.help ? std::function<void()>([this] {
                                                  services_.help(std::string(app::kCopyHelpTopic));
                                              })
                                                             : nullptr);
    buttons.ok->setDefault(true);
    connect(buttons.box, &QDialogButtonBox::accepted, this, &TCopyCo::accept);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Enter Destination Company Number:"), entry_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addWidget(buttons.box);
    resize(440, 170);
    entry_->selectAll();
    entry_->setFocus();
}

void TCopyCo::accept() {
    destination_ =
        app::CheckCopyDestination(entry_->text().toStdString(), numberInUse_, *services_.prompter);
    if (!destination_) {
        entry_->setFocus();
        entry_->selectAll();
        return;
    }
    QDialog::accept();
}

}  // namespace invarro::ui
