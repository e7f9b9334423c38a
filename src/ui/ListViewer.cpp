#include "ui/ListViewer.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QPrinter>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>

#include "output/RtfWriter.h"
#include "output/TextFile.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"
#include "ui/FontColorDialog.h"

namespace invarro::ui {

TListViewer::TListViewer(platform::Prompter& prompter, const QString& title,
                         std::filesystem::path dataFolder, const QFont& font, const QColor& color,
                         const QString& proposedFileName, QWidget* parent)
    : QDialog(parent),
      prompter_(prompter),
      dataFolder_(std::move(dataFolder)),
      proposedFileName_(proposedFileName),
      font_(font),
      color_(color) {
    setObjectName(QStringLiteral("TListViewer"));
    setWindowTitle(title);
    setModal(true);

    view_ = new QTextEdit(this);
    view_->setObjectName(QStringLiteral("ListText"));
    view_->setReadOnly(true);
    view_->setAcceptRichText(false);
    // The lines are laid out in fixed columns; wrapping would break them apart.
    view_->setLineWrapMode(QTextEdit::NoWrap);

    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* print = button("PrintBtn", "Print");
    QPushButton* fontButton = button("FontBtn", "Font/Color");
    QPushButton* save = button("SaveBtn", "Save to File");
    QPushButton* close = button("CloseBtn", "Close");
    connect(print, &QPushButton::clicked, this, &TListViewer::printList);
    connect(fontButton, &QPushButton::clicked, this, &TListViewer::chooseFont);
    connect(save, &QPushButton::clicked, this, &TListViewer::saveToFile);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(print);
    row->addWidget(fontButton);
    row->addWidget(save);
    row->addStretch(1);
    row->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(row);
    resize(760, 520);
    applyFormat();
}

bool TListViewer::loadWorkFile() {
    const std::filesystem::path file = dataFolder_ / output::kTextListFile;
    std::string error;
    auto lines = output::ReadTextLines(file, &error);
    std::error_code ec;
    std::filesystem::remove(file, ec);
    if (!lines) {
        prompter_.inform(windowTitle().toStdString(), "The list could not be read. " + error,
                         platform::Icon::Error);
        return false;
    }
    setLines(std::move(*lines));
    return true;
}

void TListViewer::setLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    QStringList text;
    text.reserve(qsizetype(lines_.size()));
    for (const auto& line : lines_)
        text << QString::fromStdString(line);
    view_->setPlainText(text.join(QLatin1Char('\n')));
    applyFormat();
    view_->moveCursor(QTextCursor::Start);
}

void TListViewer::setViewFont(const QFont& font, const QColor& color) {
    font_ = font;
    color_ = color;
    applyFormat();
}

void TListViewer::applyFormat() {
    QTextCharFormat format;
    format.setFont(font_);
    format.setForeground(color_);
    view_->document()->setDefaultFont(font_);
    QTextCursor all(view_->document());
    all.select(QTextCursor::Document);
    all.setCharFormat(format);
}

void TListViewer::printList() {
    QPrinter& printer = platform::qt::ProgramPrinter();
    if (!platform::qt::PrinterAvailable(printer)) {
        prompter_.inform("Print",
                         "No printer is available. Install a printer, or choose printing to a "
                         "file in the printer set-up.",
                         platform::Icon::Warning);
        return;
    }
    printer.setDocName(windowTitle());
    view_->print(&printer);
    if (printer.printerState() == QPrinter::Error)
        prompter_.inform("Print", "The list could not be printed.", platform::Icon::Error);
}

void TListViewer::chooseFont() {
    QFont font = font_;
    QColor color = color_;
    if (TFontColorDialog::GetFontAndColor(font, color, this, QStringLiteral("Font/Color")))
        setViewFont(font, color);
}

void TListViewer::saveToFile() {
    QFileDialog dialog(this, QStringLiteral("Save As"),
                       QString::fromStdString(dataFolder_.string()));
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("RTF"));
    dialog.setNameFilter(QStringLiteral("Rich Text File (*.RTF)"));
    dialog.selectFile(proposedFileName_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::string path = dialog.selectedFiles().first().toStdString();

    const output::RtfDocument document =
        output::PlainTextDocument(lines_, platform::qt::FromQFont(font_, color_));
    std::string error;
    if (!output::WriteRtfFile(path, document, &error))
        prompter_.inform("Save As", "The list could not be saved. " + error, platform::Icon::Error);
}

void TListViewer::ShowWorkFile(platform::Prompter& prompter, const QString& title,
                               const std::filesystem::path& dataFolder, const QFont& font,
                               const QColor& color, const QString& proposedFileName,
                               QWidget* parent) {
    TListViewer viewer(prompter, title, dataFolder, font, color, proposedFileName, parent);
    if (viewer.loadWorkFile()) viewer.exec();
}

}  // namespace invarro::ui
