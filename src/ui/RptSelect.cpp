#include "ui/RptSelect.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

#include "data/Ansi.h"
#include "data/Company.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"
#include "ui/CalendarForm.h"
#include "ui/DesktopTheme.h"
#include "ui/FontColorDialog.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

using data::Company;

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The rows the report window measures to size its columns.
constexpr int kSizingSample = 500;

const platform::Clock& ClockOf(const CustomerWindowContext& c) {
    static platform::SystemClock system;
    return c.clock ? *c.clock : system;
}

}  // namespace

// ------------------------------------------------------------------------- the wizard

TRptSelect::TRptSelect(const CustomerWindowContext& context, platform::Shell* shell,
                       QWidget* parent)
    : QDialog(parent), context_(context), shell_(shell) {
    setWindowTitle(tr("Report Wizard"));
    setObjectName("RptForm");
    order_ = data::DateOrderFromCode(context_.company->text(Company::DateFormatCode));
    auto* layout = new QVBoxLayout(this);

    ReportList = new QListWidget(this);
    ReportList->setObjectName("ReportList");
    ReportList->setAccessibleName(QStringLiteral("Reports"));
    for (const output::ReportInfo& r : output::Reports())
        ReportList->addItem(Q(r.name));
    layout->addWidget(ReportList, 1);
    Description = new QLabel(this);
    Description->setObjectName("Description");
    Description->setWordWrap(true);
    Description->setMinimumHeight(48);
    layout->addWidget(Description);

    auto* dates = new QGridLayout;
    DateLabel = new QLabel(order_ == data::DateOrder::DayFirst ? tr("&Date Selection (dd/mm/yyyy):")
                                                               : tr("&Date Selection:"),
                           this);
    DateSel = new QComboBox(this);
    DateSel->setObjectName("DateSel");
    for (const output::PresetInfo& p : output::DatePresets())
        DateSel->addItem(Q(p.name));
    DateLabel->setBuddy(DateSel);
    dates->addWidget(DateLabel, 0, 0);
    dates->addWidget(DateSel, 0, 1, 1, 3);
    FromLabel = new QLabel(tr("&From:"), this);
    FromDate = new QLineEdit(this);
    FromDate->setObjectName("FromDate");
    FromDate->setInputMask("99/99/9999; ");
    FromLabel->setBuddy(FromDate);
    FromCal = new QPushButton("...", this);
    FromCal->setObjectName("FromCal");
    FromCal->setAccessibleName(tr("Choose the first date from a calendar"));
    ToLabel = new QLabel(tr("&To:"), this);
    ToDate = new QLineEdit(this);
    ToDate->setObjectName("ToDate");
    ToDate->setInputMask("99/99/9999; ");
    ToLabel->setBuddy(ToDate);
    ToCal = new QPushButton("...", this);
    ToCal->setObjectName("ToCal");
    ToCal->setAccessibleName(tr("Choose the last date from a calendar"));
    dates->addWidget(FromLabel, 1, 0);
    dates->addWidget(FromDate, 1, 1);
    dates->addWidget(FromCal, 1, 2);
    dates->addWidget(ToLabel, 2, 0);
    dates->addWidget(ToDate, 2, 1);
    dates->addWidget(ToCal, 2, 2);
    layout->addLayout(dates);

    auto* filter = new QHBoxLayout;
    auto* filterLabel = new QLabel(tr("&Report Filter:"), this);
    EBrptfilter = new QLineEdit(this);
    EBrptfilter->setObjectName("EBrptfilter");
    EBrptfilter->setMaxLength(20);
    filterLabel->setBuddy(EBrptfilter);
    ClearBtn = new QPushButton(tr("C&lear"), this);
    ClearBtn->setObjectName("ClearBtn");
    auto* filterHelp = new QPushButton("?", this);
    filterHelp->setObjectName("FilterHelpBtn");
    filterHelp->setAccessibleName(tr("Help on the filter"));
    filterHelp->setEnabled(bool(context_.openHelp));
    filter->addWidget(filterLabel);
    filter->addWidget(EBrptfilter, 1);
    filter->addWidget(ClearBtn);
    filter->addWidget(filterHelp);
    layout->addLayout(filter);

    auto* buttons = new QHBoxLayout;
    ViewBtn = new QPushButton(tr("&View"), this);
    ViewBtn->setObjectName("ViewBtn");
    ViewBtn->setDefault(true);
    auto* cancel = new QPushButton(tr("&Cancel"), this);
    cancel->setObjectName("CancelBtn");
    auto* help = new QPushButton(tr("&Help"), this);
    help->setObjectName("HelpBtn");
    help->setEnabled(bool(context_.openHelp));
    buttons->addStretch(1);
    buttons->addWidget(ViewBtn);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    layout->addLayout(buttons);

    connect(ReportList, &QListWidget::currentRowChanged, this, [this] { reportChanged(); });
    connect(ReportList, &QListWidget::itemDoubleClicked, this, [this] { view(); });
    connect(DateSel, &QComboBox::currentIndexChanged, this, [this] { applyPreset(); });
    connect(FromCal, &QPushButton::clicked, this, [this] { pickDate(FromDate); });
    connect(ToCal, &QPushButton::clicked, this, [this] { pickDate(ToDate); });
    connect(ClearBtn, &QPushButton::clicked, EBrptfilter, &QLineEdit::clear);
    connect(ViewBtn, &QPushButton::clicked, this, [this] { view(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this,
            [this] { context_.openHelp(output::kReportHelpTopic); });
    connect(filterHelp, &QPushButton::clicked, this,
            [this] { context_.openHelp(output::kReportFilterHelpTopic); });

    // On opening: no filter, "Month to Date", the first report.
    EBrptfilter->clear();
    DateSel->setCurrentIndex(0);
    applyPreset();
    ReportList->setCurrentRow(0);
    RestoreBounds(this, context_.dataFolder, "RptForm", 460, 440);
}

TRptSelect::~TRptSelect() {
    SaveBounds(this, context_.dataFolder, "RptForm");
}

void TRptSelect::Run(const CustomerWindowContext& context, platform::Shell* shell,
                     QWidget* parent) {
    TRptSelect wizard(context, shell, parent);
    wizard.exec();
}

output::ReportChoice TRptSelect::choice() const {
    output::ReportChoice c;
    const int row = ReportList->currentRow();
    const auto reports = output::Reports();
    c.report = reports[size_t(row < 0 || row >= int(reports.size()) ? 0 : row)].id;
    c.from = FromDate->text().toStdString();
    c.to = ToDate->text().toStdString();
    c.filter = EBrptfilter->text().toStdString();
    return c;
}

void TRptSelect::applyPreset() {
    auto preset = output::FindPreset(DateSel->currentText().toStdString());
    if (!preset) return;
    auto range = output::PresetDates(*preset, data::Today(ClockOf(context_)), order_);
    if (!range) return;
    FromDate->setText(Q(range->from));
    ToDate->setText(Q(range->to));
}

void TRptSelect::reportChanged() {
    const int row = ReportList->currentRow();
    if (row < 0) return;
    const output::ReportInfo& info = output::Reports()[size_t(row)];
    Description->setText(Q(info.description));
    // Undated reports search all dates.
    FromDate->setVisible(info.dated);
    ToDate->setVisible(info.dated);
    FromCal->setVisible(info.dated);
    ToCal->setVisible(info.dated);
    ToLabel->setVisible(info.dated);
    DateSel->setEnabled(info.dated);
    FromLabel->setText(info.dated ? tr("&From:") : tr("Searches all dates..."));
}

void TRptSelect::pickDate(QLineEdit* field) {
    auto current = data::ParseUserDate(field->text().toStdString(), order_);
    auto picked = TCalendarForm::Pick(this, tr("Select a Date"),
                                      current ? *current : data::Today(ClockOf(context_)), order_);
    if (!picked) return;
    field->setText(Q(data::FormatUserDate(*picked, order_)));
    DateSel->blockSignals(true);
    DateSel->setCurrentText("Custom Dates");
    DateSel->blockSignals(false);
}

void TRptSelect::view() {
    output::ReportFolder where{context_.dataFolder, context_.company, context_.clock};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    output::ReportRun run = output::RunReportInFolder(choice(), where, *context_.prompter);
    QApplication::restoreOverrideCursor();
    using S = output::ReportRunStatus;
    if (run.status != S::Ready) {
        context_.prompter->ask(run.message);
        if (run.status == S::BadFrom || run.status == S::Reversed) FromDate->setFocus();
        if (run.status == S::BadTo) ToDate->setFocus();
        return;
    }
    Trtreport window(std::move(*run.view), context_, shell_, this);
    window.exec();
}

// ------------------------------------------------------------------- the report window

// The report's shown rows (all but the heading, which is the grid's header) as a table
// model: the text of a cell is made when the grid asks for it, so that only the rows on
// the screen cost anything. Amounts are right-aligned and total rows bold.
class ReportTableModel : public QAbstractTableModel {
  public:
    ReportTableModel(const output::ReportView& view, QObject* parent)
        : QAbstractTableModel(parent), view_(view) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() || view_.rows().empty() ? 0 : int(view_.rows().size()) - 1;
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : int(view_.columns().size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
            return {};
        const output::ReportRow& row = view_.rows()[size_t(index.row()) + 1];
        switch (role) {
            case Qt::DisplayRole: {
                const std::string cell = row.cell(size_t(index.column()));
                return cell.empty() ? QVariant() : QVariant(Q(cell));
            }
            case Qt::TextAlignmentRole:
                if (view_.columns()[size_t(index.column())].isAmount())
                    return int(Qt::AlignRight | Qt::AlignVCenter);
                return {};
            case Qt::FontRole:
                if (row.kind != output::RowKind::Data) return bold_;
                return {};
            default:
                return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < columnCount())
            return Q(view_.columns()[size_t(section)].heading);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    void setBoldFont(const QFont& font) { bold_ = font; }
    // The view was re-sorted or its sub-totals switched: every row may have changed.
    void reload() {
        beginResetModel();
        endResetModel();
    }

  private:
    const output::ReportView& view_;
    QFont bold_;
};

Trtreport::Trtreport(output::ReportView view, const CustomerWindowContext& context,
                     platform::Shell* shell, QWidget* parent)
    : QDialog(parent),
      view_(std::move(view)),
      context_(context),
      shell_(shell),
      font_(output::ReportDefaultFont()) {
    setObjectName("RPSForm");
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto button = [&](const QString& caption, const char* name) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        bar->addWidget(b);
        return b;
    };
    PrintBtn = button(tr("Print"), "PrintBtn");
    PdfBtn = button(tr("PDF"), "PdfBtn");
    SaveBtn = button(tr("Save to File"), "SaveBtn");
    FontsBtn = button(tr("Fonts/Colors"), "FontsBtn");
    SetupBtn = button(tr("Printer Setup"), "SetupBtn");
    ChartBtn = button(tr("Top 10 Bar Chart"), "ChartBtn");
    HelpBtn = button(tr("Help"), "HelpBtn");
    CloseBtn = button(tr("Close"), "CloseBtn");
    HelpBtn->setEnabled(bool(context_.openHelp));
    layout->addLayout(bar);

    auto* options = new QHBoxLayout;
    SubTotals = new QCheckBox(tr("&Sub-Totals"), this);
    SubTotals->setObjectName("SubTotals");
    SubTotals->setChecked(true);
    auto* sortLabel = new QLabel(tr("Sort on Column:"), this);
    // The columns a report can be sorted on, by their headings as the grid shows them; the
    // first is the column sorted on now.
    SortCol = new QComboBox(this);
    SortCol->setObjectName("SortCol");
    SortCol->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    sortLabel->setBuddy(SortCol);
    options->addWidget(SubTotals);
    options->addSpacing(20);
    options->addWidget(sortLabel);
    options->addWidget(SortCol);
    options->addStretch(1);
    layout->addLayout(options);

    Grid = new QTableView(this);
    Grid->setObjectName("Grid");
    Grid->setAccessibleName(QStringLiteral("Report"));
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->verticalHeader()->hide();
    // Rows of one height need no measuring, however many there are; columns are sized
    // from the headings and a sample of rows, never from every row.
    Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Grid->horizontalHeader()->setResizeContentsPrecision(kSizingSample);
    model_ = new ReportTableModel(view_, this);
    Grid->setModel(model_);
    layout->addWidget(Grid, 1);

    connect(SubTotals, &QCheckBox::toggled, this, [this](bool on) {
        view_.setSubTotals(on);
        fill();
    });
    connect(SortCol, &QComboBox::activated, this, [this](int index) {
        if (index > 0) sortOn(index);
    });
    connect(Grid, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() > 0) sortOn(index.column());
    });
    connect(Grid->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this, [this](int column) {
        if (column > 0) sortOn(column);
    });
    connect(PrintBtn, &QPushButton::clicked, this, [this] { print(); });
    connect(PdfBtn, &QPushButton::clicked, this, [this] { writePdf(); });
    connect(SaveBtn, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, tr("Save As"), QString::fromStdString(context_.dataFolder),
                           tr("Text File (*.TXT *.txt)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("TXT");
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            saveTo(dialog.selectedFiles().front());
    });
    connect(FontsBtn, &QPushButton::clicked, this, [this] {
        QFont f = platform::qt::ToQFont(font_);
        QColor c = platform::qt::ToQColor(font_.color);
        if (TFontColorDialog::GetFontAndColor(f, c, this, tr("Fonts/Colors")))
            setGridFont(platform::qt::FromQFont(f, c));
    });
    connect(SetupBtn, &QPushButton::clicked, this,
            [this] { platform::qt::ShowPrinterSetup(this); });
    connect(ChartBtn, &QPushButton::clicked, this, [this] { showChart(); });
    connect(HelpBtn, &QPushButton::clicked, this,
            [this] { context_.openHelp(output::kReportHelpTopic); });
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);

    setGridFont(font_);  // and fills the grid
    RestoreBounds(this, context_.dataFolder, "RPSForm", 637, 419);
}

Trtreport::~Trtreport() {
    SaveBounds(this, context_.dataFolder, "RPSForm");
    // The grid reads the view, which goes before the dialog hides its children: a window
    // still showing is hidden while the view is there.
    hide();
}

void Trtreport::setGridFont(const output::Font& font) {
    font_ = font;
    Grid->setFont(platform::qt::ToQFont(font_));
    // The chosen colour where it reads on the grid (not black under a dark theme).
    KeepReadable(Grid, QPalette::Text, QPalette::Base, platform::qt::ToQColor(font_.color));
    const int height = QFontMetrics(Grid->font()).height() + 4;
    Grid->verticalHeader()->setDefaultSectionSize(height);
    Grid->verticalHeader()->setMinimumSectionSize(height);
    QFont bold = Grid->font();
    bold.setBold(true);
    model_->setBoldFont(bold);
    fill();
}

void Trtreport::fill() {
    setWindowTitle(Q(view_.caption()));
    {
        const QSignalBlocker quiet(SortCol);
        SortCol->clear();
        const int lastKey = view_.firstAmountColumn() - 1;
        for (int c = 0; c <= lastKey && c < int(view_.columns().size()); ++c)
            SortCol->addItem(Q(view_.columns()[size_t(c)].heading));
        SortCol->setCurrentIndex(0);
    }
    model_->reload();
    Grid->resizeColumnsToContents();
    // The rows measured may miss the grand total at the end, mostly the widest amount.
    const int last = model_->rowCount() - 1;
    for (int c = 0; last >= 0 && c < model_->columnCount(); ++c)
        if (view_.columns()[size_t(c)].isAmount())
            Grid->setColumnWidth(c,
                                 std::max(Grid->columnWidth(c),
                                          Grid->sizeHintForIndex(model_->index(last, c)).width()));
}

void Trtreport::sortOn(int column) {
    if (!view_.sortOn(column)) {
        context_.prompter->beep();
        QApplication::beep();
        return;
    }
    fill();
}

platform::Progress* Trtreport::outputProgress() const {
    // A short report is written before a status window could be read.
    constexpr size_t kShownFrom = 5000;
    return view_.rows().size() >= kShownFrom ? context_.progress : nullptr;
}

void Trtreport::print() {
    const std::string title(view_.name());
    if (!PrinterReady(*context_.prompter, title)) return;
    platform::qt::PainterCanvas canvas(platform::qt::ProgramPrinter());
    // A stopped print job is cancelled when the canvas goes.
    switch (output::PrintReport(canvas, view_, font_, false, title, outputProgress())) {
        case output::OutputStatus::Done:
            break;
        case output::OutputStatus::Stopped:
            context_.prompter->inform(title, "Printing was stopped.", platform::Icon::Information);
            break;
        case output::OutputStatus::Failed:
            context_.prompter->inform(title,
                                      canvas.lastError().empty()
                                          ? "The report could not be printed."
                                          : canvas.lastError(),
                                      platform::Icon::Error);
            break;
    }
}

std::optional<std::string> Trtreport::writePdf() {
    // The viewer is started here once the report is whole, never for a stopped PDF (which
    // the canvas would have opened just before it is deleted).
    platform::qt::PainterCanvas canvas(nullptr);
    output::ReportPdfOutcome out =
        output::WriteReportPdf(canvas, view_, font_, context_.dataFolder, {}, outputProgress());
    if (!out.ok) {
        context_.prompter->inform(
            "Send to PDF", out.error,
            out.stopped ? platform::Icon::Information : platform::Icon::Error);
        return std::nullopt;
    }
    if (shell_ && !shell_->openFile(out.path))
        out.error =
            "The PDF file " + out.path + " was written, but no PDF viewer could be started.";
    if (!out.error.empty())
        context_.prompter->inform("Send to PDF", out.error, platform::Icon::Warning);
    return out.path;
}

bool Trtreport::saveTo(const QString& path) {
    std::string error;
    switch (output::SaveReportText(path.toStdString(), view_, &error, outputProgress())) {
        case output::OutputStatus::Done:
            return true;
        case output::OutputStatus::Stopped:
            context_.prompter->inform("Save to File", std::string(output::kReportStopped),
                                      platform::Icon::Information);
            return false;
        case output::OutputStatus::Failed:
            break;
    }
    context_.prompter->inform("Save to File", error, platform::Icon::Error);
    return false;
}

void Trtreport::showChart() {
    const auto& t = view_.table();
    QStringList heads{Q(t.head1) + " - " + windowTitle(), Q(t.head2), Q(t.head3)};
    std::function<void()> help;
    if (context_.openHelp) help = [this] { context_.openHelp(output::kReportHelpTopic); };
    TTopTenChart chart(view_.chart(), windowTitle(), heads, *context_.prompter, help, this);
    chart.exec();
}

// ------------------------------------------------------------------------- the chart

namespace {

class ChartArea : public QWidget {
  public:
    ChartArea(const output::TopTen& top, const bool& colour, QWidget* parent)
        : QWidget(parent), top_(top), colour_(colour) {
        setObjectName("ChartArea");
        setMinimumSize(420, 240);
    }

    // The colours of the drawing, taken from the palette at the time of drawing so that the
    // chart follows the program's light or dark look, also when it changes while open: the
    // plot is on the background of lists, its scale and axis in their text colour, and each
    // bar keeps its colour where it reads on that background (black bars turn light on a
    // dark one, navy ones light blue).
    QColor background() const { return palette().color(QPalette::Base); }
    QColor ink() const { return palette().color(QPalette::Text); }
    QColor barColour(int slot) const {
        return ReadableOn(platform::qt::ToQColor(output::TopTenBarColor(slot, colour_)),
                          background(), ink());
    }
    // The guide lines: half way between the background and the text.
    QColor guideColour() const {
        const QColor a = background(), b = ink();
        return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2,
                      (a.blue() + b.blue()) / 2);
    }

  protected:
    // The bars stand in the plot: right of the scale's labels, above the band of the bars'
    // numbers.
    QRect plot() const {
        const int labelBand = fontMetrics().height() + 4;
        return QRect(kScaleWidth, 0, width() - kScaleWidth, std::max(1, height() - labelBand));
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), background());
        const QRect area = plot();
        if (top_.topSum() <= data::Money()) {
            painter.setPen(ReadableOn(Qt::red, background(), ink()));
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, Q(output::kNoTopTenData));
            return;
        }
        // Guide lines at round amounts, where bars of those amounts would end.
        const int64_t largest = top_.entries()[0].amount.cents();
        const int textHeight = fontMetrics().height();
        for (const output::ScaleMark& mark : output::TopTenScaleMarks(top_)) {
            const int y =
                area.bottom() - int(int64_t(area.height()) * mark.amount.cents() / largest);
            painter.setPen(QPen(guideColour(), 1, Qt::DotLine));
            painter.drawLine(area.left(), y, area.right(), y);
            painter.setPen(ink());
            painter.drawText(QRect(0, std::max(0, y - textHeight / 2), kScaleWidth - 4, textHeight),
                             Qt::AlignRight | Qt::AlignVCenter, Q(mark.text));
        }
        painter.setPen(ink());
        painter.drawLine(area.left(), area.bottom(), area.right(), area.bottom());
        for (const output::ChartBar& b : output::TopTenBars(top_, area.width(), area.height())) {
            if (b.height <= 0) continue;
            const QColor c = barColour(b.slot);
            painter.fillRect(QRect(area.left() + b.x, b.y, b.width, b.height), c);
            // The bar's number, as its line of the legend starts.
            painter.setPen(c);
            painter.drawText(QRect(area.left() + b.x, area.bottom() + 2, b.width, textHeight + 2),
                             Qt::AlignHCenter | Qt::AlignTop, Q(b.label));
        }
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(e);
            const QRect area = plot();
            for (const output::ChartBar& b :
                 output::TopTenBars(top_, area.width(), area.height())) {
                if (b.height > 0 &&
                    QRect(kScaleWidth + b.x, b.y, b.width, b.height).contains(help->pos())) {
                    QToolTip::showText(help->globalPos(), Q(b.hint), this);
                    return true;
                }
            }
            QToolTip::hideText();
            return true;
        }
        return QWidget::event(e);
    }

  private:
    static constexpr int kScaleWidth = 70;
    const output::TopTen& top_;
    const bool& colour_;
};

}  // namespace

TTopTenChart::TTopTenChart(const output::TopTen& top, const QString& title,
                           const QStringList& heads, platform::Prompter& prompter,
                           std::function<void()> onHelp, QWidget* parent)
    : QDialog(parent), top_(top), prompter_(prompter) {
    setWindowTitle(tr("Invarro Top 10"));
    setObjectName("TopTenChart");
    auto* layout = new QVBoxLayout(this);
    for (const QString& h : heads) {
        auto* l = new QLabel(h, this);
        if (&h == &heads.front()) {
            QFont f = l->font();
            f.setBold(true);
            l->setFont(f);
        }
        layout->addWidget(l);
    }
    (void)title;
    Chart = new ChartArea(top_, colour_, this);
    layout->addWidget(Chart, 1);

    auto* legendPanel = new QWidget(this);
    legendPanel->setObjectName("Legend");
    auto* grid = new QGridLayout(legendPanel);
    const auto texts = output::TopTenLegend(top_);
    for (size_t i = 0; i < texts.size(); ++i) {
        auto* l = new QLabel(Q(texts[i]), legendPanel);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        legend << l;
        // Slots 1 to 5 on the left, 6 to 10 from the middle.
        grid->addWidget(l, int(i % 5), int(i / 5));
    }
    layout->addWidget(legendPanel);

    const auto totals = output::TopTenTotals(top_);
    auto* totalsRow = new QHBoxLayout;
    TopLabel = new QLabel(Q(totals[0]), this);
    OtherLabel = new QLabel(Q(totals[1]), this);
    GrandLabel = new QLabel(Q(totals[2]), this);
    totalsRow->addWidget(TopLabel);
    totalsRow->addWidget(OtherLabel);
    totalsRow->addWidget(GrandLabel);
    layout->addLayout(totalsRow);

    auto* buttons = new QHBoxLayout;
    ColorCB = new QCheckBox(tr("&Use Color in Charts"), this);
    ColorCB->setObjectName("ColorCB");
    CloseBtn = new QPushButton(tr("&Close"), this);
    CloseBtn->setObjectName("CloseBtn");
    PrintBtn = new QPushButton(tr("&Print"), this);
    PrintBtn->setObjectName("PrintBtn");
    HelpBtn = new QPushButton(tr("&Help"), this);
    HelpBtn->setObjectName("HelpBtn");
    HelpBtn->setEnabled(bool(onHelp));
    buttons->addWidget(ColorCB);
    buttons->addStretch(1);
    buttons->addWidget(PrintBtn);
    buttons->addWidget(CloseBtn);
    buttons->addWidget(HelpBtn);
    layout->addLayout(buttons);

    connect(ColorCB, &QCheckBox::toggled, this, [this](bool on) { setColour(on); });
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(PrintBtn, &QPushButton::clicked, this, [this] { print(); });
    connect(HelpBtn, &QPushButton::clicked, this, [onHelp] {
        if (onHelp) onHelp();
    });
    paintLegend();
    resize(640, 480);
}

void TTopTenChart::setColour(bool on) {
    colour_ = on;
    paintLegend();
    Chart->update();
}

void TTopTenChart::paintLegend() {
    int slot = 0;
    for (QLabel* l : legend) {
        while (slot < output::kTopSlots &&
               data::TrimmedText(top_.entries()[size_t(slot)].name).empty())
            ++slot;
        // The bar's colour, where it reads on the window (black bars under a dark theme
        // get the theme's text colour).
        KeepReadable(l, QPalette::WindowText, QPalette::Window,
                     platform::qt::ToQColor(output::TopTenBarColor(slot, colour_)));
        ++slot;
    }
    // Totals below zero in red.
    if (top_.other() < data::Money())
        KeepReadable(OtherLabel, QPalette::WindowText, QPalette::Window, Qt::red);
    if (top_.grandTotal() < data::Money())
        KeepReadable(GrandLabel, QPalette::WindowText, QPalette::Window, Qt::red);
}

void TTopTenChart::print() {
    // The window's image without its buttons, on white.
    for (QWidget* w : std::initializer_list<QWidget*>{ColorCB, CloseBtn, PrintBtn, HelpBtn})
        w->hide();
    PrintWindowImage(this, prompter_);
    for (QWidget* w : std::initializer_list<QWidget*>{ColorCB, CloseBtn, PrintBtn, HelpBtn})
        w->show();
    prompter_.inform(windowTitle().toStdString(), "Bar Chart sent to Windows Print Manager.");
}

}  // namespace invarro::ui
