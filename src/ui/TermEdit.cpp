#include "ui/TermEdit.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "data/SideFiles.h"

namespace invarro::ui {

TTermEdit::TTermEdit(platform::Prompter& prompter, std::string dataFolder,
                     std::function<void(const std::string&)> openHelp, QWidget* parent)
    : QDialog(parent),
      prompter_(prompter),
      dataFolder_(std::move(dataFolder)),
      openHelp_(std::move(openHelp)) {
    setObjectName("TTermEdit");
    setWindowTitle("Edit Payment Terms");
    setModal(true);

    list_ = new QListWidget(this);
    list_->setObjectName("ListBox1");
    list_->setAccessibleName(QStringLiteral("Payment terms"));
    edit_ = new QLineEdit(this);
    edit_->setObjectName("Edit1");
    edit_->setAccessibleName(QStringLiteral("Payment terms text"));
    edit_->setMaxLength(data::kTermWidth);
    prompt_ = new QLabel(this);
    prompt_->setObjectName("Label1");
    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* addButton = button("Button3", "Add");
    QPushButton* editButton = button("Button1", "Edit");
    okButton_ = button("Button4", "Ok");
    QPushButton* deleteButton = button("Button2", "Delete");
    QPushButton* closeButton = button("OKBtn", "&Close");
    QPushButton* helpButton = button("HelpButn", "Help");
    helpButton->setEnabled(bool(openHelp_));

    auto* side = new QVBoxLayout;
    for (QPushButton* b : {addButton, editButton, okButton_, deleteButton})
        side->addWidget(b);
    side->addStretch(1);
    side->addWidget(closeButton);
    side->addWidget(helpButton);
    auto* grid = new QGridLayout(this);
    grid->addWidget(list_, 0, 0);
    grid->addLayout(side, 0, 1, 3, 1);
    grid->addWidget(prompt_, 1, 0);
    grid->addWidget(edit_, 2, 0);
    resize(420, 320);

    connect(addButton, &QPushButton::clicked, this, &TTermEdit::add);
    connect(editButton, &QPushButton::clicked, this, &TTermEdit::edit);
    connect(okButton_, &QPushButton::clicked, this, &TTermEdit::ok);
    connect(deleteButton, &QPushButton::clicked, this, &TTermEdit::remove);
    connect(closeButton, &QPushButton::clicked, this, &TTermEdit::closeAndSave);
    connect(helpButton, &QPushButton::clicked, this, [this] {
        if (openHelp_) openHelp_("Edit Payment Terms");
    });
    connect(edit_, &QLineEdit::returnPressed, this, &TTermEdit::ok);
    // The highlighted term is the selected one, whether the mouse or the keys moved it.
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        editor_.select(row);
        refresh();
    });
    refresh();
}

bool TTermEdit::load() {
    data::TermsList list = invoicing::LoadSortedTerms(dataFolder_);
    if (!list.ok) {
        prompter_.inform("Edit Payment Terms",
                         "Unable to read the payment terms file: " + list.error,
                         platform::Icon::Error);
        return false;
    }
    editor_ = invoicing::TermsEditor(list.terms);
    refresh();
    return true;
}

void TTermEdit::refresh() {
    {
        QSignalBlocker block(list_);
        list_->clear();
        for (const std::string& t : editor_.terms())
            list_->addItem(QString::fromStdString(t));
        list_->setCurrentRow(editor_.selected());
    }
    edit_->setEnabled(editor_.editEnabled());
    okButton_->setEnabled(editor_.editEnabled());
    edit_->setText(QString::fromStdString(editor_.editText()));
    prompt_->setText(QString::fromStdString(editor_.prompt()));
}

void TTermEdit::add() {
    editor_.startAdd();
    refresh();
    edit_->setFocus();
}

void TTermEdit::edit() {
    editor_.startEdit();
    refresh();
    edit_->setFocus();
}

void TTermEdit::ok() {
    if (!editor_.editEnabled()) return;
    if (!editor_.apply(edit_->text().toStdString(), prompter_)) {
        edit_->setFocus();
        return;
    }
    refresh();
}

void TTermEdit::remove() {
    if (list_->currentRow() >= 0) editor_.select(list_->currentRow());
    editor_.deleteSelected(prompter_);
    refresh();
}

void TTermEdit::closeAndSave() {
    std::string error;
    if (!editor_.save(dataFolder_, &error)) {
        prompter_.inform("Edit Payment Terms", "The payment terms could not be saved: " + error,
                         platform::Icon::Error);
        return;
    }
    accept();
}

void TTermEdit::Run(platform::Prompter& prompter, const std::string& dataFolder,
                    std::function<void(const std::string&)> openHelp, QWidget* parent) {
    TTermEdit dialog(prompter, dataFolder, std::move(openHelp), parent);
    if (!dialog.load()) return;
    dialog.exec();
}

}  // namespace invarro::ui
