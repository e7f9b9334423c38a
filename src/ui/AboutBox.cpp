#include "ui/AboutBox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "data/Texts.h"
#include "ui/ThemeIcons.h"

#ifndef INVARRO_VERSION
#define INVARRO_VERSION "0"
#endif

namespace invarro::ui {

TAboutBox::TAboutBox(QWidget* parent, const QString& dataFolder) : QDialog(parent) {
    setObjectName("AboutBox");
    const QString title = QString::fromUtf8(data::kAppTitle.data(), int(data::kAppTitle.size()));
    setWindowTitle(tr("About %1").arg(title));

    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(64, 64));
    auto* name = new QLabel(title, this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    auto* version = new QLabel(tr("Version %1").arg(INVARRO_VERSION), this);
    version->setObjectName("Version");
    auto* text = new QLabel(
        tr("Invoicing, billing and accounts receivable for small businesses: customers and "
           "products, quotes and invoices, payments and deposits, receivables aged into four "
           "periods, statements, reports, labels and letters."),
        this);
    text->setWordWrap(true);
    auto* folder = new QLabel(tr("Data folder: %1").arg(dataFolder), this);
    folder->setObjectName("DataFolder");
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folder->setWordWrap(true);
    auto* qt = new QLabel(tr("Built with Qt %1").arg(QT_VERSION_STR), this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* head = new QHBoxLayout;
    head->addWidget(icon);
    auto* names = new QVBoxLayout;
    names->addWidget(name);
    names->addWidget(version);
    head->addLayout(names, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(text);
    layout->addWidget(folder);
    layout->addWidget(qt);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

}  // namespace invarro::ui
