#include "ui/ImportForm.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

#include "data/Import.h"

namespace invarro::ui {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The separator choices; the last one takes the character typed beside it.
enum SeparatorChoice { Comma, Tab, Character };

}  // namespace

QString QtFileFilter(std::string_view filter) {
    const QStringList parts = Q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i];
        const QString pattern = parts[i + 1];
        const QString both = pattern + " " + pattern.toLower();
        text.replace("(" + pattern + ")", "(" + both + ")");
        out << text;
    }
    return out.join(";;");
}

TImportForm::TImportForm(const Setup& setup, const WindowServices& services, QWidget* parent)
    : QDialog(parent), setup_(setup), services_(services) {
    setObjectName("TImportForm");
    setWindowTitle(setup_.title);
    setModal(true);
    setSizeGripEnabled(true);

    auto* open = new QPushButton("&Open File", this);
    open->setObjectName("OpenBtn");
    label_ = new QLabel(Q(data::kSelectFileText), this);
    label_->setObjectName("FileLabel");
    auto* top = new QHBoxLayout;
    top->addWidget(open);
    top->addWidget(label_, 1);

    separatorBox_ = new QComboBox(this);
    separatorBox_->setObjectName("SeparatorBox");
    separatorBox_->addItems({"Comma", "Tab", "Character:"});
    separatorChar_ = new QLineEdit(";", this);
    separatorChar_->setObjectName("SeparatorChar");
    separatorChar_->setMaxLength(1);
    separatorChar_->setFixedWidth(30);
    separatorChar_->setEnabled(false);
    auto* sepLabel = new QLabel("Fields separated by:", this);
    sepLabel->setBuddy(separatorBox_);
    top->addWidget(sepLabel);
    top->addWidget(separatorBox_);
    top->addWidget(separatorChar_);

    grid_ = new QTableWidget(0, int(setup_.headings.size()), this);
    grid_->setObjectName("Grid");
    grid_->setAccessibleName(QStringLiteral("Rows to import"));
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->horizontalHeader()->setSectionsMovable(true);
    grid_->horizontalHeader()->setDefaultSectionSize(120);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    QStringList headings;
    for (std::string_view h : setup_.headings)
        headings << Q(h);
    grid_->setHorizontalHeaderLabels(headings);
    for (int c = 0; c < headings.size(); ++c) {
        const int fit = grid_->fontMetrics().horizontalAdvance(headings[c]) + 30;
        const int wanted = c < int(setup_.widths.size()) ? setup_.widths[std::size_t(c)] : 0;
        grid_->setColumnWidth(c, std::max(wanted, fit));
    }

    auto* bottom = new QHBoxLayout;
    if (!setup_.forceCaption.isEmpty()) {
        force_ = new QCheckBox(setup_.forceCaption, this);
        force_->setObjectName("ForceBox");
        bottom->addWidget(force_);
    }
    bottom->addStretch(1);
    import_ = new QPushButton("&Import", this);
    import_->setObjectName("ImportBtn");
    import_->setEnabled(false);
    auto* close = new QPushButton("Close", this);
    close->setObjectName("CloseBtn");
    auto* help = new QPushButton("Help", this);
    help->setObjectName("HelpBtn");
    help->setEnabled(bool(services_.help));
    bottom->addWidget(import_);
    bottom->addWidget(close);
    bottom->addWidget(help);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grid_, 1);
    layout->addLayout(bottom);

    chooseFile = [this] {
        QFileDialog dialog(this, "Open", QString::fromStdString(services_.folder));
        dialog.setObjectName("OpenDialog");
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(QtFileFilter("CSV File (*.CSV)|*.CSV|Record List (*.TXT)|*.TXT"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    connect(open, &QPushButton::clicked, this, &TImportForm::openFile);
    connect(import_, &QPushButton::clicked, this, [this] {
        if (onImport_) Guarded(*services_.prompter, onImport_);
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] {
        if (services_.help) services_.help(setup_.helpTopic);
    });
    connect(separatorBox_, &QComboBox::currentIndexChanged, this, &TImportForm::separatorChanged);
    connect(separatorChar_, &QLineEdit::textEdited, this, &TImportForm::separatorChanged);
    connect(grid_->horizontalHeader(), &QHeaderView::sectionMoved, this,
            &TImportForm::headingsInPlace);
    RestoreBounds(this, services_.folder, setup_.boundsSection, 760, 420);
}

TImportForm::~TImportForm() = default;

void TImportForm::done(int result) {
    SaveBounds(this, services_.folder, setup_.boundsSection);
    QDialog::done(result);
}

void TImportForm::setLabel(const QString& text) {
    label_->setText(text);
    label_->repaint();
}

QString TImportForm::labelText() const {
    return label_->text();
}

bool TImportForm::forced() const {
    return force_ && force_->isChecked();
}

char TImportForm::separator() const {
    switch (separatorBox_->currentIndex()) {
        case Tab:
            return '\t';
        case Character:
            return data::SeparatorFromEntry(separatorChar_->text().toStdString()).value_or(';');
        default:
            return ',';
    }
}

void TImportForm::openFile() {
    const QString path = chooseFile ? chooseFile() : QString();
    if (!path.isEmpty()) loadFile(path);
}

void TImportForm::separatorChanged() {
    separatorChar_->setEnabled(separatorBox_->currentIndex() == Character);
    if (!loaded_.isEmpty()) loadFile(loaded_);
}

bool TImportForm::loadFile(const QString& path) {
    const QString before = label_->text();
    setLabel(Q(data::kWorkingText));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const data::DelimitedText text = data::ReadImportFile(path.toStdString(), separator());
    QApplication::restoreOverrideCursor();
    if (!text.ok()) {
        setLabel(before);
        services_.prompter->ask(platform::Message{setup_.title.toStdString(),
                                                  std::string(data::kWrongFormatText),
                                                  platform::Icon::Warning});
        return false;
    }
    const int columns = int(setup_.headings.size());
    std::vector<data::DelimitedRow> rows;
    for (const data::DelimitedRow& r : text.rows) {
        bool any = false;
        for (int c = 0; c < columns && c < int(r.fields.size()); ++c)
            if (!data::TrimText(r.fields[std::size_t(c)]).empty()) any = true;
        if (any) rows.push_back(r);
    }
    loaded_ = path;
    lines_.clear();
    grid_->clearContents();
    grid_->setRowCount(int(rows.size()));
    // Rows are numbered by the file line they start on, as the import reports them.
    QStringList lineNumbers;
    for (int r = 0; r < int(rows.size()); ++r) {
        lines_.push_back(rows[std::size_t(r)].line);
        lineNumbers << QString::number(rows[std::size_t(r)].line);
        const auto& fields = rows[std::size_t(r)].fields;
        for (int c = 0; c < columns; ++c) {
            const std::string value = c < int(fields.size()) ? fields[std::size_t(c)] : "";
            grid_->setItem(r, c, new QTableWidgetItem(QString::fromStdString(value)));
        }
    }
    grid_->setVerticalHeaderLabels(lineNumbers);
    setLabel(Q(data::LoadedFileText(QFileInfo(path).fileName().toStdString(), rows.size())));
    import_->setEnabled(!rows.empty());
    return true;
}

void TImportForm::headingsInPlace() {
    QHeaderView* header = grid_->horizontalHeader();
    for (int v = 0; v < int(setup_.headings.size()); ++v)
        grid_->setHorizontalHeaderItem(header->logicalIndex(v),
                                       new QTableWidgetItem(Q(setup_.headings[std::size_t(v)])));
}

std::vector<data::DelimitedRow> TImportForm::rows() const {
    std::vector<data::DelimitedRow> out;
    QHeaderView* header = grid_->horizontalHeader();
    for (int r = 0; r < grid_->rowCount(); ++r) {
        data::DelimitedRow row;
        row.line = lines_[std::size_t(r)];
        for (int v = 0; v < int(setup_.headings.size()); ++v) {
            const QTableWidgetItem* item = grid_->item(r, header->logicalIndex(v));
            row.fields.push_back(item ? item->text().toStdString() : std::string());
        }
        out.push_back(std::move(row));
    }
    return out;
}

}  // namespace invarro::ui
