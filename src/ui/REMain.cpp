#include "ui/REMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextList>
#include <QToolButton>
#include <QVBoxLayout>

#include "data/Ansi.h"
#include "data/DataFolder.h"
#include "data/Files.h"
#include "data/Open.h"
#include "output/FileNames.h"
#include "output/RtfReader.h"
#include "output/TextFile.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"
#include "ui/FontColorDialog.h"
#include "ui/Labelwiz.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using data::Company;
using platform::Answer;
using platform::Buttons;
using platform::Icon;

constexpr const char* kCaption = "Form Letter Wizard";
constexpr const char* kBoundsSection = "REMain";
constexpr const char* kLetterFilter = "Rich Text Files (*.RTF *.rtf);;Text Files (*.TXT *.txt)";

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

std::string S(const QString& s) {
    return s.toUtf8().toStdString();
}

bool IsTextFile(const QString& file) {
    return QFileInfo(file).suffix().compare("TXT", Qt::CaseInsensitive) == 0;
}

// The progress panel that takes the editor's place while letters print.
class PanelProgress : public platform::Progress {
  public:
    explicit PanelProgress(QLabel* text) : text_(text) {}
    void start(const std::string&, int) override {}
    void setLine(int, const std::string& line) override {
        text_->setText(Q(line));
        text_->repaint();
    }
    bool step() override {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    }
    void finish() override {}

  private:
    QLabel* text_;
};

}  // namespace

// The ruler above the editor: the first-line indent (the upper marker), the left indent
// (the lower left marker) and the right indent (the lower right marker) of the paragraph
// the cursor is in, each dragged with the mouse. Ticks every eighth of an inch.
class TRuler : public QWidget {
  public:
    explicit TRuler(QTextEdit* editor, QWidget* parent) : QWidget(parent), editor_(editor) {
        setObjectName("Ruler");
        setFixedHeight(26);
        setMouseTracking(false);
    }

    std::function<void(double first, double left, double right)> onChange;

    void setIndents(double first, double left, double right) {
        first_ = first;
        left_ = left;
        right_ = right;
        update();
    }
    double first() const { return first_; }
    double left() const { return left_; }
    double right() const { return right_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        p.setPen(palette().text().color());
        const int x0 = origin();
        const int end = width() - textRightEdge();
        for (int i = 0; x0 + i * 12 <= width(); ++i) {
            const int x = x0 + i * 12;
            const int h = i % 8 == 0 ? 8 : i % 4 == 0 ? 5 : 3;
            p.drawLine(x, height() / 2 - h / 2, x, height() / 2 + h / 2);
            if (i % 8 == 0 && i > 0) p.drawText(x + 2, height() / 2 + 4, QString::number(i / 8));
        }
        p.setBrush(palette().highlight());
        auto marker = [&](double at, bool top) {
            const int x = int(at);
            QPolygon tri;
            if (top)
                tri << QPoint(x - 5, 0) << QPoint(x + 5, 0) << QPoint(x, 7);
            else
                tri << QPoint(x - 5, height() - 1) << QPoint(x + 5, height() - 1)
                    << QPoint(x, height() - 8);
            p.drawPolygon(tri);
        };
        marker(x0 + left_ + first_, true);
        marker(x0 + left_, false);
        marker(end - right_, false);
    }

    void mousePressEvent(QMouseEvent* e) override {
        const double x = e->position().x();
        const bool top = e->position().y() < height() / 2;
        const int x0 = origin();
        const double end = width() - textRightEdge();
        dragging_ = None;
        if (top && std::abs(x - (x0 + left_ + first_)) <= 7)
            dragging_ = First;
        else if (!top && std::abs(x - (x0 + left_)) <= 7)
            dragging_ = Left;
        else if (!top && std::abs(x - (end - right_)) <= 7)
            dragging_ = Right;
    }

    void mouseMoveEvent(QMouseEvent* e) override {
        if (dragging_ == None) return;
        const double x = std::max(0.0, e->position().x());
        const int x0 = origin();
        const double end = width() - textRightEdge();
        if (dragging_ == First) first_ = x - x0 - left_;
        if (dragging_ == Left) {
            // The first line keeps its place while the left indent moves.
            const double firstAt = left_ + first_;
            left_ = std::max(0.0, x - x0);
            first_ = firstAt - left_;
        }
        if (dragging_ == Right) right_ = std::max(0.0, end - x);
        update();
        if (onChange) onChange(first_, left_, right_);
    }

    void mouseReleaseEvent(QMouseEvent*) override { dragging_ = None; }

  private:
    int origin() const {
        const QPoint p = editor_->viewport()->mapTo(parentWidget(), QPoint(0, 0));
        return p.x() - x() + int(editor_->document()->documentMargin());
    }
    int textRightEdge() const {
        const QPoint p =
            editor_->viewport()->mapTo(parentWidget(), QPoint(editor_->viewport()->width(), 0));
        return width() - (p.x() - x()) + int(editor_->document()->documentMargin());
    }

    enum Drag { None, First, Left, Right };
    QTextEdit* editor_;
    double first_ = 0, left_ = 0, right_ = 0;
    Drag dragging_ = None;
};

TREMain::TREMain(const CustomerWindowContext& context, QWidget* parent)
    : QDialog(parent), ctx_(context), fileName_(Q(std::string(output::kUntitled))) {
    setObjectName("TREMain");
    setModal(true);
    setSizeGripEnabled(true);
    buildWindow();
    updateCaption();
    RestoreBounds(this, ctx_.dataFolder, kBoundsSection, 680, 560);
}

void TREMain::Run(const CustomerWindowContext& context, QWidget* parent) {
    TREMain window(context, parent);
    window.exec();
}

QAction* TREMain::action(const char* name, const QString& text, std::function<void()> slot) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [this, slot] {
        try {
            slot();
        } catch (const std::exception& e) {
            ctx_.prompter->inform(kCaption, e.what(), Icon::Error);
        }
    });
    return a;
}

void TREMain::buildWindow() {
    editor_ = new QTextEdit(this);
    editor_->setObjectName("Editor");
    editor_->setAccessibleName(QStringLiteral("Letter text"));
    editor_->setAcceptRichText(true);
    QFont base("Arial");
    base.setPointSize(10);
    editor_->document()->setDefaultFont(base);
    editor_->setCurrentFont(base);

    auto* bar = new QMenuBar(this);
    QMenu* file = bar->addMenu("&File");
    file->addAction(action("NewAct", "&New", [this] { newLetter(); }));
    file->addAction(action("OpenAct", "&Open...", [this] { openLetter(); }));
    file->addAction(action("SaveAct", "&Save", [this] { save(); }));
    file->addAction(action("SaveAsAct", "Save &As...", [this] { saveAs(); }));
    file->addSeparator();
    QAction* queueAct = action("QueueAct", "&Queue...", [this] { queue(); });
    file->addAction(queueAct);
    QAction* printAct = action("PrintAct", "&Print", [this] { print(); });
    file->addAction(printAct);
    file->addAction(action("PrinterSetupAct", "P&rinter Setup", [this] { printerSetup(); }));
    file->addSeparator();
    QAction* closeAct = action("CloseAct", "&Close", [this] { reject(); });
    file->addAction(closeAct);
    QMenu* edit = bar->addMenu("&Edit");
    QAction* undo = action("UndoAct", "&Undo", [this] { editor_->undo(); });
    undo->setShortcut(QKeySequence::Undo);
    QAction* cut = action("CutAct", "Cu&t", [this] { editor_->cut(); });
    cut->setShortcut(QKeySequence::Cut);
    QAction* copy = action("CopyAct", "&Copy", [this] { editor_->copy(); });
    copy->setShortcut(QKeySequence::Copy);
    QAction* paste = action("PasteAct", "&Paste", [this] { editor_->paste(); });
    paste->setShortcut(QKeySequence::Paste);
    edit->addActions({undo, cut, copy, paste});
    edit->addSeparator();
    edit->addAction(action("FontAct", "&Font...", [this] { chooseFont(); }));
    QMenu* help = bar->addMenu("&Help");
    QAction* overviewAct = action("OverviewAct", "&Overview", [this] { overview(); });
    overviewAct->setEnabled(bool(ctx_.openHelp));
    help->addAction(overviewAct);

    // Tool buttons.
    auto* tools = new QHBoxLayout;
    tools->setSpacing(2);
    auto tool = [&](const char* name, const QString& text, const QString& hint, bool checkable) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(text);
        b->setToolTip(hint);
        b->setCheckable(checkable);
        b->setAutoRaise(true);
        tools->addWidget(b);
        return b;
    };
    fontName_ = new QFontComboBox(this);
    fontName_->setObjectName("FontName");
    fontName_->setAccessibleName(QStringLiteral("Font"));
    fontName_->setCurrentFont(base);
    tools->addWidget(fontName_);
    fontSize_ = new QComboBox(this);
    fontSize_->setObjectName("FontSize");
    fontSize_->setAccessibleName(QStringLiteral("Font size"));
    fontSize_->setEditable(true);
    for (int s : {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72})
        fontSize_->addItem(QString::number(s));
    fontSize_->setCurrentText("10");
    fontSize_->setMaximumWidth(60);
    tools->addWidget(fontSize_);
    bold_ = tool("BoldBtn", "B", "Bold", true);
    QFont boldFont = bold_->font();
    boldFont.setBold(true);
    bold_->setFont(boldFont);
    italic_ = tool("ItalicBtn", "I", "Italic", true);
    QFont italicFont = italic_->font();
    italicFont.setItalic(true);
    italic_->setFont(italicFont);
    underline_ = tool("UnderlineBtn", "U", "Underline", true);
    QFont underFont = underline_->font();
    underFont.setUnderline(true);
    underline_->setFont(underFont);
    alignLeft_ = tool("LeftBtn", "Left", "Align Left", true);
    alignCenter_ = tool("CenterBtn", "Center", "Center", true);
    alignRight_ = tool("RightBtn", "Right", "Align Right", true);
    bullets_ = tool("BulletBtn", QString::fromUtf8("\u2022 List"), "Bullets", true);
    auto* queueBtn = tool("QueueBtn", "Queue", "Build the label queue of customers", false);
    connect(queueBtn, &QToolButton::clicked, queueAct, &QAction::trigger);
    auto* printBtn =
        tool("PrintBtn", "Print", "Print a letter for each customer in the queue", false);
    connect(printBtn, &QToolButton::clicked, printAct, &QAction::trigger);
    auto* helpBtn = tool("HelpBtn", "Help", "Help", false);
    helpBtn->setEnabled(bool(ctx_.openHelp));
    connect(helpBtn, &QToolButton::clicked, overviewAct, &QAction::trigger);
    auto* closeBtn = tool("CloseBtn", "Close", "Close", false);
    connect(closeBtn, &QToolButton::clicked, closeAct, &QAction::trigger);
    tools->addStretch(1);

    auto* codesRow = new QHBoxLayout;
    codesRow->addWidget(new QLabel("Merge codes:", this));
    codes_ = new QComboBox(this);
    codes_->setObjectName("CodeList");
    for (const std::string& c : output::MergeCodeReferences())
        codes_->addItem(Q(c));
    codes_->setCurrentIndex(0);
    codesRow->addWidget(codes_, 1);
    codesRow->addWidget(
        new QLabel("Type a code in capitals where the customer's data belongs.", this));

    ruler_ = new TRuler(editor_, this);
    ruler_->onChange = [this](double first, double left, double right) {
        QTextBlockFormat f;
        f.setTextIndent(first);
        f.setLeftMargin(left);
        f.setRightMargin(right);
        editor_->textCursor().mergeBlockFormat(f);
        editor_->document()->setModified(true);
    };

    progressPanel_ = new QWidget(this);
    progressPanel_->setObjectName("ProgressPanel");
    auto* progressLayout = new QVBoxLayout(progressPanel_);
    progressText_ = new QLabel("Processing...", progressPanel_);
    progressText_->setObjectName("ProgressText");
    progressText_->setAlignment(Qt::AlignCenter);
    QFont big = progressText_->font();
    big.setPointSize(big.pointSize() + 4);
    progressText_->setFont(big);
    progressLayout->addStretch(1);
    progressLayout->addWidget(progressText_);
    progressLayout->addStretch(1);
    progressPanel_->hide();

    auto* main = new QVBoxLayout(this);
    main->setMenuBar(bar);
    main->setContentsMargins(4, 2, 4, 4);
    main->addLayout(tools);
    main->addLayout(codesRow);
    main->addWidget(ruler_);
    main->addWidget(editor_, 1);
    main->addWidget(progressPanel_, 1);

    // Formatting from the tool buttons goes to the selection, or to what is typed next.
    connect(fontName_, &QFontComboBox::currentFontChanged, this, [this](const QFont& f) {
        if (updatingControls_) return;
        QTextCharFormat fmt;
        fmt.setFontFamilies(QStringList{f.family()});
        applyCharFormat(fmt);
    });
    connect(fontSize_, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        if (updatingControls_) return;
        bool ok = false;
        double size = text.trimmed().toDouble(&ok);
        if (text.trimmed().isEmpty()) {
            size = 10;
            ok = true;
        }
        if (!ok || size < 1 || size > 1638) return;
        QTextCharFormat fmt;
        fmt.setFontPointSize(size);
        applyCharFormat(fmt);
    });
    connect(fontSize_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (fontSize_->currentText().trimmed().isEmpty()) fontSize_->setCurrentText("10");
    });
    connect(bold_, &QToolButton::toggled, this, [this](bool on) {
        if (updatingControls_) return;
        QTextCharFormat fmt;
        fmt.setFontWeight(on ? QFont::Bold : QFont::Normal);
        applyCharFormat(fmt);
    });
    connect(italic_, &QToolButton::toggled, this, [this](bool on) {
        if (updatingControls_) return;
        QTextCharFormat fmt;
        fmt.setFontItalic(on);
        applyCharFormat(fmt);
    });
    connect(underline_, &QToolButton::toggled, this, [this](bool on) {
        if (updatingControls_) return;
        QTextCharFormat fmt;
        fmt.setFontUnderline(on);
        applyCharFormat(fmt);
    });
    connect(alignLeft_, &QToolButton::clicked, this, [this] { setAlignment(Qt::AlignLeft); });
    connect(alignCenter_, &QToolButton::clicked, this, [this] { setAlignment(Qt::AlignHCenter); });
    connect(alignRight_, &QToolButton::clicked, this, [this] { setAlignment(Qt::AlignRight); });
    connect(bullets_, &QToolButton::toggled, this, [this](bool on) {
        if (!updatingControls_) toggleBullet(on);
    });
    connect(editor_, &QTextEdit::cursorPositionChanged, this, &TREMain::showCurrentFormat);
    connect(editor_, &QTextEdit::currentCharFormatChanged, this, &TREMain::showCurrentFormat);
    connect(editor_->document(), &QTextDocument::modificationChanged, this,
            [this](bool) { updateCaption(); });
    showCurrentFormat();
}

void TREMain::applyCharFormat(const QTextCharFormat& format) {
    QTextCursor cursor = editor_->textCursor();
    cursor.mergeCharFormat(format);
    editor_->mergeCurrentCharFormat(format);
    editor_->setFocus();
}

void TREMain::setAlignment(Qt::Alignment alignment) {
    editor_->setAlignment(alignment);
    showCurrentFormat();
}

void TREMain::toggleBullet(bool on) {
    QTextCursor cursor = editor_->textCursor();
    cursor.beginEditBlock();
    if (on) {
        if (!cursor.currentList()) cursor.createList(QTextListFormat::ListDisc);
    } else if (QTextList* list = cursor.currentList()) {
        list->remove(cursor.block());
        QTextBlockFormat f = cursor.blockFormat();
        f.setIndent(0);
        cursor.setBlockFormat(f);
    }
    cursor.endEditBlock();
    showCurrentFormat();
}

void TREMain::showCurrentFormat() {
    updatingControls_ = true;
    const QTextCharFormat f = editor_->currentCharFormat();
    const QStringList families = f.fontFamilies().toStringList();
    if (!families.isEmpty()) fontName_->setCurrentFont(QFont(families.front()));
    const double size =
        f.fontPointSize() > 0 ? f.fontPointSize() : editor_->document()->defaultFont().pointSizeF();
    fontSize_->setCurrentText(QString::number(size));
    bold_->setChecked(f.fontWeight() >= QFont::DemiBold);
    italic_->setChecked(f.fontItalic());
    underline_->setChecked(f.fontUnderline());
    const Qt::Alignment a = editor_->alignment() & Qt::AlignHorizontal_Mask;
    alignCenter_->setChecked(a & Qt::AlignHCenter);
    alignRight_->setChecked((a & Qt::AlignRight) && !(a & Qt::AlignHCenter));
    alignLeft_->setChecked(!alignCenter_->isChecked() && !alignRight_->isChecked());
    const QTextCursor cursor = editor_->textCursor();
    bullets_->setChecked(cursor.currentList() != nullptr);
    const QTextBlockFormat b = cursor.blockFormat();
    ruler_->setIndents(b.textIndent(), b.leftMargin(), b.rightMargin());
    updatingControls_ = false;
}

bool TREMain::modified() const {
    return editor_->document()->isModified();
}

void TREMain::updateCaption() {
    // "%s - %s": the window's name and the letter's file name.
    const QString name = fileName_ == Q(std::string(output::kUntitled))
                             ? fileName_
                             : QFileInfo(fileName_).fileName();
    setWindowTitle(QStringLiteral("%1 - %2").arg(kCaption, name));
}

void TREMain::setFileName(const QString& file) {
    fileName_ = file;
    updateCaption();
}

bool TREMain::queryClose() {
    if (!modified()) return true;
    const QString name = fileName_ == Q(std::string(output::kUntitled))
                             ? fileName_
                             : QFileInfo(fileName_).fileName();
    const Answer a =
        ctx_.prompter->ask(platform::Message{kCaption, "Save changes to " + S(name) + "?",
                                             Icon::Question, Buttons::YesNoCancel, Answer::Yes});
    if (a == Answer::Cancel) return false;
    if (a == Answer::Yes) return save();
    return true;
}

bool TREMain::newLetter() {
    if (!queryClose()) return false;
    editor_->clear();
    editor_->document()->setModified(false);
    setFileName(Q(std::string(output::kUntitled)));
    return true;
}

bool TREMain::openLetter() {
    if (!queryClose()) return false;
    const QString file =
        ChooseFile(this, chooser_, "Open", Q(ctx_.dataFolder), kLetterFilter, false);
    if (file.isEmpty()) return false;
    return openFile(file);
}

bool TREMain::openFile(const QString& file) {
    auto bytes = data::ReadWholeFile(S(file));
    if (!bytes) {
        ctx_.prompter->inform(kCaption, "The file " + S(file) + " cannot be read.", Icon::Error);
        return false;
    }
    if (output::LooksLikeRtf(*bytes)) {
        ToTextDocument(output::ReadRtf(*bytes), *editor_->document());
    } else {
        // Plain text in the editor's font.
        QString text;
        const std::vector<std::string> lines = data::TextLines(*bytes);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i) text += '\n';
            text += Q(lines[i]);
        }
        editor_->setPlainText(text);
    }
    editor_->document()->setModified(false);
    editor_->moveCursor(QTextCursor::Start);
    setFileName(file);
    showCurrentFormat();
    return true;
}

bool TREMain::save() {
    if (fileName_ == Q(std::string(output::kUntitled))) return saveAs();
    return saveTo(fileName_);
}

bool TREMain::saveAs() {
    const QString file =
        ChooseFile(this, chooser_, "Save As", Q(ctx_.dataFolder), kLetterFilter, true, "RTF");
    if (file.isEmpty()) return false;
    if (data::FileExists(S(file)) &&
        !ctx_.prompter->yesNo(kCaption, "OK to overwrite " + S(file), Answer::No))
        return false;
    if (!saveTo(file)) return false;
    setFileName(file);
    return true;
}

bool TREMain::saveTo(const QString& file) {
    std::string error;
    bool ok = false;
    if (IsTextFile(file)) {
        std::vector<std::string> lines;
        const QString text = editor_->toPlainText();
        for (const QString& line : text.split(QChar('\n')))
            lines.push_back(S(QString(line).replace(QChar(QChar::LineSeparator), ' ')));
        ok = output::WriteAnsiLines(S(file), lines, &error);
    } else {
        ok = output::WriteRtfFile(S(file), FromTextDocument(*editor_->document()), &error);
    }
    if (!ok) {
        ctx_.prompter->inform(kCaption, error, Icon::Error);
        return false;
    }
    editor_->document()->setModified(false);
    return true;
}

void TREMain::queue() {
    if (queueWindow_) {
        queueWindow_();
        return;
    }
    TLabelWiz::Run(ctx_, this);
}

void TREMain::setBusy(bool busy) {
    editor_->setVisible(!busy);
    ruler_->setVisible(!busy);
    progressPanel_->setVisible(busy);
    progressText_->setText("Processing...");
}

void TREMain::print() {
    const bool emptyQueue = !ctx_.labelQueue || ctx_.labelQueue->empty();
    if (emptyQueue) {
        ctx_.prompter->inform(std::string(output::kLetterTitle),
                              "You do not have any customer records listed in the Label print "
                              "queue.");
        return;
    }
    if (editor_->toPlainText().trimmed().isEmpty()) {
        ctx_.prompter->inform(std::string(output::kLetterTitle),
                              "You do not have any text to print. You need to create or open an "
                              "existing letter.");
        return;
    }
    QPrinter& printer = platform::qt::ProgramPrinter();
    // Printed to a file, the letters propose a file of their own name in the data folder's
    // "pdf" folder, not the file of the print before; a file that is there already is
    // replaced only when the user says so.
    const QString letterName = fileName_ == Q(std::string(output::kUntitled))
                                   ? QStringLiteral("Letters")
                                   : QFileInfo(fileName_).completeBaseName();
    const std::string pdfFolder = output::PdfFolder(ctx_.dataFolder);
    if (platform::qt::PrintsToFile(printer) && data::EnsureFolder(pdfFolder))
        platform::qt::ProposePrintFile(printer, pdfFolder, S(letterName));
    const bool accepted = printDialog_ ? printDialog_() : [&] {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    }();
    if (!accepted || !MayReplacePrintFile(*ctx_.prompter, std::string(output::kLetterTitle)))
        return;
    // The letter is saved as it stands, and its copies are made from what was saved.
    if (!save()) return;

    data::OpenRequest request;
    request.name = data::FileblockName(ctx_.dataFolder, data::FileKind::Customer,
                                       data::CompanyPrefix(ctx_.company->ansi(Company::CompanyNo)));
    request.kind = data::FileKind::Customer;
    request.giveUp = data::GiveUpMessage("Unable to open database");
    request.progress = ctx_.progress;
    data::OpenResult customers = data::OpenBusinessFileblock(request, *ctx_.prompter);
    if (!customers) return;

    setBusy(true);
    PanelProgress progress(progressText_);
    platform::qt::LetterPrinter printerSink(printer);
    output::LetterSink& sink = sink_ ? *sink_ : printerSink;
    const output::RtfDocument letter = FromTextDocument(*editor_->document());
    const output::LetterRunResult r = output::PrintFormLetters(
        ctx_.dataFolder, letter, S(QFileInfo(fileName_).fileName()), ctx_.labelQueue->entries(),
        customers.fb, *ctx_.company, sink, progress);
    storage::CloseFileblock(customers.fb);
    setBusy(false);
    editor_->document()->setModified(false);
    if (!r.ok) {
        ctx_.prompter->inform(std::string(output::kLetterTitle), r.error, Icon::Warning);
        return;
    }
    if (!r.missing.empty()) {
        std::string list;
        for (std::size_t i = 0; i < r.missing.size(); ++i)
            list += (i ? ", " : "") + r.missing[i];
        ctx_.prompter->inform(std::string(output::kLetterTitle),
                              std::to_string(r.printed) +
                                  " letter(s) printed. These customers are no longer on file "
                                  "and were left out: " +
                                  list);
    }
    if (ctx_.labelsWaiting) ctx_.labelsWaiting(false);
}

void TREMain::printerSetup() {
    platform::qt::ShowPrinterSetup(this);
}

void TREMain::chooseFont() {
    const QTextCharFormat current = editor_->currentCharFormat();
    QFont font = current.font();
    QColor color = current.foreground().style() == Qt::NoBrush ? QColor(Qt::black)
                                                               : current.foreground().color();
    if (!TFontColorDialog::GetFontAndColor(font, color, this, "Font")) return;
    QTextCharFormat f;
    f.setFontFamilies(QStringList{font.family()});
    f.setFontPointSize(font.pointSizeF() > 0 ? font.pointSizeF() : 10);
    f.setFontWeight(font.bold() ? QFont::Bold : QFont::Normal);
    f.setFontItalic(font.italic());
    f.setFontUnderline(font.underline());
    f.setFontStrikeOut(font.strikeOut());
    f.setForeground(color);
    applyCharFormat(f);
}

void TREMain::overview() {
    if (ctx_.openHelp) ctx_.openHelp(std::string(output::kLetterHelpTopic));
}

void TREMain::reject() {
    if (!queryClose()) return;
    SaveBounds(this, ctx_.dataFolder, kBoundsSection);
    QDialog::reject();
}

void TREMain::closeEvent(QCloseEvent* event) {
    if (!queryClose()) {
        event->ignore();
        return;
    }
    // queryClose has been answered: the dialog closes without asking again.
    editor_->document()->setModified(false);
    SaveBounds(this, ctx_.dataFolder, kBoundsSection);
    QDialog::closeEvent(event);
}

}  // namespace invarro::ui
