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

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    QPushButton* help = buttons->addButton(QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
    help->setObjectName(QStringLiteral("HelpBtn"));
    help->setEnabled(bool(services_.help));
    connect(buttons, &QDialogButtonBox::accepted, this, &TCopyCo::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this,
            [this] { services_.help(std::string(app::kCopyHelpTopic)); });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Enter Destination Company Number:"), entry_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addWidget(buttons);
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
