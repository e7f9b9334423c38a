#include "ui/LetterDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QFileDialog>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <cmath>

#include "platform/qt/QtFonts.h"

namespace invarro::ui {

namespace {

using output::Alignment;
using output::RtfDocument;
using output::RtfParagraph;
using output::RtfRun;

// The editor lays text out at 96 pixels per inch: 15 twips to the pixel.
constexpr double kTwipsPerPixel = 15.0;

double Pixels(int twips) {
    return twips / kTwipsPerPixel;
}

int Twips(double pixels) {
    return int(std::lround(pixels * kTwipsPerPixel));
}

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QTextCharFormat CharFormatOf(const RtfRun& run) {
    QTextCharFormat f;
    f.setFontFamilies(QStringList{Q(run.font.face)});
    f.setFontPointSize(run.sizeInHalfPoints() / 2.0);
    f.setFontWeight(run.font.bold() ? QFont::Bold : QFont::Normal);
    f.setFontItalic(run.font.italic());
    f.setFontUnderline(run.font.underline());
    f.setFontStrikeOut(run.font.strikeOut());
    f.setForeground(platform::qt::ToQColor(run.font.color));
    return f;
}

RtfRun RunOf(const QTextCharFormat& f, const QFont& fallback) {
    RtfRun run;
    const QStringList families = f.fontFamilies().toStringList();
    run.font.face =
        (families.isEmpty() ? fallback.family() : families.front()).toUtf8().toStdString();
    double points = f.fontPointSize();
    if (points <= 0) points = fallback.pointSizeF() > 0 ? fallback.pointSizeF() : 10;
    const int half = std::max(2, int(std::lround(points * 2)));
    run.font.size = half / 2;
    run.halfPoints = half % 2 ? half : 0;
    std::uint8_t style = 0;
    if (f.fontWeight() >= QFont::DemiBold) style |= output::kBold;
    if (f.fontItalic()) style |= output::kItalic;
    if (f.fontUnderline()) style |= output::kUnderline;
    if (f.fontStrikeOut()) style |= output::kStrikeOut;
    run.font.style = style;
    run.font.color = f.foreground().style() == Qt::NoBrush
                         ? output::kBlack
                         : platform::qt::FromQColor(f.foreground().color());
    return run;
}

Qt::Alignment QtAlignment(Alignment a) {
    switch (a) {
        case Alignment::Center:
            return Qt::AlignHCenter;
        case Alignment::Right:
            return Qt::AlignRight;
        case Alignment::Justify:
            return Qt::AlignJustify;
        case Alignment::Left:
            break;
    }
    return Qt::AlignLeft;
}

Alignment AlignmentOf(Qt::Alignment a) {
    a &= Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignHCenter) return Alignment::Center;
    if (a & Qt::AlignJustify) return Alignment::Justify;
    if (a & Qt::AlignRight) return Alignment::Right;
    return Alignment::Left;
}

bool BulletList(const QTextList* list) {
    if (!list) return false;
    const auto style = list->format().style();
    return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
           style == QTextListFormat::ListSquare;
}

}  // namespace

void ToTextDocument(const RtfDocument& given, QTextDocument& text) {
    const RtfDocument document = output::NormalizedDocument(given);
    text.clear();
    QTextCursor cursor(&text);
    QTextList* list = nullptr;
    bool first = true;
    for (const RtfParagraph& p : document.paragraphs) {
        QTextBlockFormat block;
        block.setAlignment(QtAlignment(p.alignment));
        block.setTextIndent(Pixels(p.firstIndent));
        block.setLeftMargin(Pixels(p.leftIndent));
        block.setRightMargin(Pixels(p.rightIndent));
        const QTextCharFormat lineFormat = CharFormatOf(p.runs.front());
        if (first) {
            cursor.setBlockFormat(block);
            cursor.setBlockCharFormat(lineFormat);
            first = false;
        } else {
            cursor.insertBlock(block, lineFormat);
        }
        if (p.bullet) {
            if (list)
                list->add(cursor.block());
            else
                list = cursor.createList(QTextListFormat::ListDisc);
        } else {
            list = nullptr;
        }
        for (const RtfRun& r : p.runs) {
            QString piece = Q(r.text);
            piece.replace(QChar('\n'), QChar(QChar::LineSeparator));
            if (!piece.isEmpty()) cursor.insertText(piece, CharFormatOf(r));
        }
    }
    text.setModified(false);
}

RtfDocument FromTextDocument(const QTextDocument& text) {
    RtfDocument doc;
    const QFont fallback = text.defaultFont();
    for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
        RtfParagraph p;
        const QTextBlockFormat f = block.blockFormat();
        p.alignment = AlignmentOf(f.alignment());
        p.firstIndent = Twips(f.textIndent());
        p.leftIndent = Twips(f.leftMargin());
        p.rightIndent = Twips(f.rightMargin());
        p.bullet = BulletList(block.textList());
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            QString piece = fragment.text();
            piece.replace(QChar(QChar::LineSeparator), QChar('\n'));
            piece.remove(QChar(QChar::ObjectReplacementCharacter));
            RtfRun run = RunOf(fragment.charFormat(), fallback);
            run.text = piece.toUtf8().toStdString();
            p.runs.push_back(std::move(run));
        }
        if (p.runs.empty()) p.runs.push_back(RunOf(block.charFormat(), fallback));
        doc.paragraphs.push_back(std::move(p));
    }
    return output::NormalizedDocument(doc);
}

QString ChooseFile(QWidget* parent, const FileChooser& chooser, const QString& caption,
                   const QString& folder, const QString& filter, bool save,
                   const QString& defaultSuffix) {
    if (chooser) return chooser(caption, folder, filter, save, defaultSuffix);
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // Replacing a file is asked by the window, with its own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().front();
}

bool PrinterLetterSink::printLetter(const output::RtfDocument& letter, const std::string& title,
                                    std::string* error) {
    QTextDocument document;
    ToTextDocument(letter, document);
    printer_.setDocName(Q(title));
    document.print(&printer_);
    if (printer_.printerState() == QPrinter::Error ||
        printer_.printerState() == QPrinter::Aborted) {
        if (error) *error = "The letter could not be printed.";
        return false;
    }
    return true;
}

}  // namespace invarro::ui
