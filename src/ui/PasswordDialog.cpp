#include "ui/PasswordDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/SideFiles.h"

namespace invarro::ui {

namespace {

// Masks with "*" whatever the desktop style would use.
class AsteriskStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

TPasswordDlg::TPasswordDlg(QWidget* parent, std::function<void()> help)
    : QDialog(parent), help_(std::move(help)) {
    setObjectName("PasswordDlg");
    auto* label = new QLabel(tr("Enter password:"), this);
    Password = new QLineEdit(this);
    Password->setObjectName("Password");
    Password->setMaxLength(data::kPasswordWidth);
    auto* style = new AsteriskStyle;
    style->setParent(this);
    Password->setStyle(style);
    Password->setEchoMode(QLineEdit::Password);
    label->setBuddy(Password);

    OKBtn = new QPushButton(tr("OK"), this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(tr("&Cancel"), this);
    CancelBtn->setObjectName("CancelBtn");
    HelpBtn = new QPushButton(tr("&Help"), this);
    HelpBtn->setObjectName("HelpBtn");
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QPushButton::clicked, this, [this] {
        if (help_) help_();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(HelpBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Password);
    layout->addLayout(buttons);
    setMinimumWidth(320);
}

void TPasswordDlg::prepare(const QString& title, bool showHelp) {
    setWindowTitle(title);
    HelpBtn->setVisible(showHelp);
    Password->clear();
    Password->setFocus();
}

app::PasswordEntry TPasswordDlg::askPassword(const std::string& title, bool showHelp) {
    prepare(QString::fromStdString(title), showHelp);
    app::PasswordEntry entry;
    entry.ok = exec() == QDialog::Accepted;
    entry.text = Password->text().toStdString();
    Password->clear();
    return entry;
}

}  // namespace invarro::ui
