#include "ui/ExportForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/ImportForm.h"

namespace invarro::ui {

namespace {

constexpr data::DelimitedKind kKinds[] = {
    data::DelimitedKind::CsvFile, data::DelimitedKind::CommaQuote, data::DelimitedKind::CommaOnly,
    data::DelimitedKind::Character};
constexpr const char* kKindNames[] = {"CsvBtn", "CommaQuoteBtn", "CommaOnlyBtn", "CharacterBtn"};
constexpr const char* kKindCaptions[] = {"CSV File", "Comma/Quote", "Comma only", "Character:"};

}  // namespace

TExportForm::TExportForm(const Setup& setup, const WindowServices& services, QWidget* parent)
    : QDialog(parent), setup_(setup), services_(services) {
    setObjectName("TExportForm");
    setWindowTitle(setup_.title);
    setModal(true);

    auto* fields = new QGroupBox("Fields", this);
    auto* fieldLayout = new QVBoxLayout(fields);
    auto* always = new QLabel(setup_.alwaysCaption, fields);
    always->setObjectName("AlwaysLabel");
    fieldLayout->addWidget(always);
    for (const Option& o : setup_.options) {
        auto* box = new QCheckBox(o.caption, fields);
        box->setObjectName(o.name);
        box->setChecked(o.checked);
        fieldLayout->addWidget(box);
        boxes_.push_back(box);
    }
    fieldLayout->addStretch(1);

    auto* kind = new QGroupBox("File kind", this);
    auto* kindLayout = new QGridLayout(kind);
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(kKindCaptions[i], kind);
        b->setObjectName(kKindNames[i]);
        group->addButton(b, i);
        kindLayout->addWidget(b, i, 0);
        kinds_.push_back(b);
    }
    kinds_[0]->setChecked(true);
    character_ = new QLineEdit(";", kind);
    character_->setObjectName("CharacterEdit");
    character_->setMaxLength(1);
    character_->setFixedWidth(30);
    kindLayout->addWidget(character_, 3, 1, Qt::AlignLeft);
    kindLayout->setColumnStretch(2, 1);
    utf8_ = new QCheckBox("Write the file in UTF-8 (else Windows-1252)", kind);
    utf8_->setObjectName("Utf8Box");
    kindLayout->addWidget(utf8_, 4, 0, 1, 2);
    kindLayout->setRowStretch(5, 1);

    result_ = new QLabel(this);
    result_->setObjectName("ResultLabel");

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* exportBtn = buttons->addButton("&Export", QDialogButtonBox::AcceptRole);
    exportBtn->setObjectName("ExportBtn");
    QPushButton* cancel = buttons->addButton("&Cancel", QDialogButtonBox::RejectRole);
    cancel->setObjectName("CancelBtn");
    QPushButton* help = buttons->addButton("&Help", QDialogButtonBox::HelpRole);
    help->setObjectName("HelpBtn");
    help->setEnabled(bool(services_.help));
    connect(exportBtn, &QPushButton::clicked, this,
            [this] { Guarded(*services_.prompter, [this] { exportNow(); }); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] {
        if (services_.help) services_.help(setup_.helpTopic);
    });

    auto* columns = new QHBoxLayout;
    columns->addWidget(fields);
    columns->addWidget(kind);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(result_);
    layout->addWidget(buttons);

    chooseFile = [this](const data::ExportFileProposal& p) {
        QFileDialog dialog(this, "Save As", QString::fromStdString(services_.folder));
        dialog.setObjectName("SaveDialog");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.setDefaultSuffix(QString::fromStdString(p.extension));
        dialog.setNameFilter(QtFileFilter(p.filter));
        dialog.selectFile(QString::fromStdString(p.fileName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    RestoreBounds(this, services_.folder, setup_.boundsSection, sizeHint().width(),
                  sizeHint().height());
}

void TExportForm::done(int result) {
    SaveBounds(this, services_.folder, setup_.boundsSection);
    QDialog::done(result);
}

QString TExportForm::resultText() const {
    return result_->text();
}

data::TextEncoding TExportForm::encoding() const {
    return utf8_->isChecked() ? data::TextEncoding::Utf8 : data::TextEncoding::Windows1252;
}

std::optional<data::DelimitedFormat> TExportForm::format() {
    data::DelimitedFormat f;
    for (int i = 0; i < 4; ++i)
        if (kinds_[std::size_t(i)]->isChecked()) f.kind = kKinds[i];
    if (f.kind == data::DelimitedKind::Character) {
        const std::optional<char> c = data::SeparatorFromEntry(character_->text().toStdString());
        if (!c) {
            services_.prompter->ask(platform::Message{
                setup_.title.toStdString(),
                "The values cannot be separated by this character. Choose another one.",
                platform::Icon::Warning});
            character_->setFocus();
            return std::nullopt;
        }
        f.separator = *c;
    }
    return f;
}

bool TExportForm::exportNow() {
    const std::optional<data::DelimitedFormat> f = format();
    if (!f || !makeLines_) return false;
    const QString path =
        chooseFile ? chooseFile(data::ExportProposal(f->kind, setup_.baseName)) : QString();
    if (path.isEmpty()) return false;
    std::vector<bool> ticked;
    for (QCheckBox* b : boxes_)
        ticked.push_back(b->isChecked());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<std::string> lines = makeLines_(ticked, *f);
    std::string error;
    const bool written = data::WriteDelimitedFile(path.toStdString(), lines, encoding(), &error);
    QApplication::restoreOverrideCursor();
    if (!written) {
        services_.prompter->ask(
            platform::Message{setup_.title.toStdString(), error, platform::Icon::Error});
        return false;
    }
    result_->setText(QString::fromStdString(data::ExportedText(lines.size())));
    if (!setup_.doneText.isEmpty()) {
        services_.prompter->ask(platform::Message{"Export Complete", setup_.doneText.toStdString(),
                                                  platform::Icon::Information});
        accept();
    }
    return true;
}

}  // namespace invarro::ui
