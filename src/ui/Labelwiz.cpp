#include "ui/Labelwiz.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "data/Files.h"
#include "data/IniFile.h"
#include "data/Open.h"
#include "output/TextFile.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"
#include "storage/Backend.h"
#include "storage/Engine.h"
#include "ui/ChangeWatcher.h"
#include "ui/FindForm.h"
#include "ui/FontColorDialog.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using data::Company;
using platform::Answer;
using platform::Buttons;
using platform::Icon;

constexpr const char* kBoundsSection = "LabelForm";
constexpr const char* kTitle = "Label Wizard / Print Queue";
constexpr const char* kReady = "Ready. Add and remove records as needed or select print button.";
constexpr const char* kOpenLayout = "Open a label layout file (Label Menu)...";
constexpr const char* kLayoutFilter = "Label files (*.LBL *.lbl)";
constexpr const char* kListFilter = "Record List (*.LST *.lst)";
constexpr const char* kTextFilter = "Text files (*.TXT *.txt)";
constexpr const char* kBitmapFilter = "Bitmap Image (*.BMP *.bmp)";

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

std::string S(const QString& s) {
    return s.toUtf8().toStdString();
}

QLineEdit* Edit(QWidget* parent, const char* name, int maxLength, bool digits) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    if (digits) {
        e->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(maxLength)), e));
        e->setMaximumWidth(70);
    }
    return e;
}

QString FileNameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

}  // namespace

TLabelWiz::TLabelWiz(const CustomerWindowContext& context, QWidget* parent,
                     storage::Fileblock* customers)
    : QDialog(parent),
      ctx_(context),
      sharedCustomers_(customers),
      queue_(context.labelQueue ? context.labelQueue : &ownQueue_) {
    setObjectName("TLabelWiz");
    setWindowTitle(kTitle);
    setModal(true);
    setSizeGripEnabled(true);
    buildWindow();
    RestoreBounds(this, ctx_.dataFolder, kBoundsSection, 760, 560);
    refreshList();
    loadLastLayout();
    ChangeWatcher::instance().watch(
        this, [this](const ChangeWatcher::Names& names) { changedElsewhere(names); });
}

void TLabelWiz::Run(const CustomerWindowContext& context, QWidget* parent,
                    storage::Fileblock* customers) {
    TLabelWiz window(context, parent, customers);
    window.exec();
}

QAction* TLabelWiz::action(const char* name, const QString& text, void (TLabelWiz::*slot)()) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [this, slot] { guarded([&] { (this->*slot)(); }); });
    return a;
}

template <class Body>
void TLabelWiz::guarded(Body&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        ctx_.prompter->inform(kTitle, e.what(), Icon::Error);
    }
}

void TLabelWiz::buildWindow() {
    auto* bar = new QMenuBar(this);
    QMenu* label = bar->addMenu("&Label");
    label->addAction(action("OpenAct", "&Open...", &TLabelWiz::openLayoutCommand));
    QAction* saveAs = new QAction("Save &As...", this);
    saveAs->setObjectName("SaveAsAct");
    connect(saveAs, &QAction::triggered, this, [this] { guarded([&] { saveLayoutAs(); }); });
    label->addAction(saveAs);
    label->addSeparator();
    label->addAction(action("FontAct", "&Font...", &TLabelWiz::chooseFont));
    label->addAction(action("BitmapAct", "&Bitmap...", &TLabelWiz::chooseBitmap));
    label->addSeparator();
    printAct_ = action("PrintAct", "&Print Labels", &TLabelWiz::printLabels);
    previewAct_ = action("PreviewAct", "Print Pre&view", &TLabelWiz::printPreview);
    label->addActions({printAct_, previewAct_});
    label->addAction(action("RulerAct", "&Calibration Ruler", &TLabelWiz::calibrationRuler));
    label->addAction(action("PrintSetupAct", "Print &Setup...", &TLabelWiz::printSetup));
    label->addSeparator();
    QAction* close = new QAction("&Close", this);
    close->setObjectName("CloseAct");
    connect(close, &QAction::triggered, this, &QDialog::reject);
    label->addAction(close);

    QMenu* records = bar->addMenu("&Records");
    QAction* findAct = action("FindAddAct", "&Find Customer / Add", &TLabelWiz::findAndAdd);
    QAction* allAct = action("LoadAllAct", "Load &All Customers", &TLabelWiz::loadAll);
    QAction* filterAct =
        action("FilterAct", "Load Customers &Matching Filter", &TLabelWiz::loadFiltered);
    QAction* deleteAct = action("DeleteAct", "&Delete Record", &TLabelWiz::deleteRecord);
    QAction* clearAct = action("ClearAllAct", "&Clear All Records", &TLabelWiz::clearAll);
    QAction* saveList = action("SaveListAct", "&Save Records to File...", &TLabelWiz::saveRecords);
    QAction* loadList =
        action("LoadListAct", "&Load Records from Saved File...", &TLabelWiz::loadRecords);
    QAction* exportAct =
        action("ExportAct", "&Export to Mailing Label File...", &TLabelWiz::exportAddresses);
    records->addActions({findAct, allAct, filterAct});
    records->addSeparator();
    records->addActions({deleteAct, clearAct});
    records->addSeparator();
    records->addActions({saveList, loadList, exportAct});
    QMenu* help = bar->addMenu("&Help");
    QAction* overview = new QAction("&Overview", this);
    overview->setObjectName("OverviewAct");
    overview->setEnabled(bool(ctx_.openHelp));
    connect(overview, &QAction::triggered, this,
            [this] { ctx_.openHelp(std::string(output::kLabelHelpTopic)); });
    help->addAction(overview);

    // The layout.
    auto* layoutBox = new QGroupBox("Label Layout", this);
    auto* form = new QFormLayout(layoutBox);
    description_ = Edit(layoutBox, "LDesc", 50, false);
    left_ = Edit(layoutBox, "LLeft", 3, true);
    top_ = Edit(layoutBox, "LTop", 3, true);
    columns_ = Edit(layoutBox, "LCols", 1, true);
    rows_ = Edit(layoutBox, "LRows", 2, true);
    width_ = Edit(layoutBox, "LWidth", 4, true);
    height_ = Edit(layoutBox, "LHeight", 4, true);
    form->addRow("Layout &Description:", description_);
    auto pair = [&](const char* a, QLineEdit* ea, const char* b, QLineEdit* eb, QLabel* sa,
                    QLabel* sb) {
        auto* row = new QHBoxLayout;
        row->addWidget(ea);
        if (sa) row->addWidget(sa);
        auto* lb = new QLabel(b, layoutBox);
        lb->setBuddy(eb);
        row->addWidget(lb);
        row->addWidget(eb);
        if (sb) row->addWidget(sb);
        row->addStretch(1);
        auto* la = new QLabel(a, layoutBox);
        la->setBuddy(ea);
        form->addRow(la, row);
    };
    // Beside each measure in dots, what it comes to on paper at the layout's resolution.
    auto measure = [&](QLineEdit* edit, const char* name) {
        auto* shown = new QLabel(layoutBox);
        shown->setObjectName(name);
        shown->setMinimumWidth(shown->fontMetrics().horizontalAdvance("(00.00 in)"));
        measures_.push_back({edit, shown});
        connect(edit, &QLineEdit::textChanged, this, &TLabelWiz::showMeasures);
        return shown;
    };
    pair("Left &Margin:", left_, "&Top Margin:", top_, measure(left_, "LLeftShown"),
         measure(top_, "LTopShown"));
    pair("C&olumns Across:", columns_, "Row&s Down:", rows_, nullptr, nullptr);
    pair("Label &Width:", width_, "Label Hei&ght:", height_, measure(width_, "LWidthShown"),
         measure(height_, "LHeightShown"));
    dotsPerInch_ = Edit(layoutBox, "LDpi", 4, true);
    dotsPerInch_->setText(QString::number(output::kLabelDotsPerInch));
    connect(dotsPerInch_, &QLineEdit::textChanged, this, &TLabelWiz::showMeasures);
    auto* dpiRow = new QHBoxLayout;
    dpiRow->addWidget(dotsPerInch_);
    dpiRow->addWidget(
        new QLabel("(the printer dots the measures were taken in; see the "
                   "Calibration Ruler)",
                   layoutBox));
    dpiRow->addStretch(1);
    auto* dpiLabel = new QLabel("Dots per &inch:", layoutBox);
    dpiLabel->setBuddy(dotsPerInch_);
    form->addRow(dpiLabel, dpiRow);
    fontSample_ = new QLabel("Sample Label Text", layoutBox);
    fontSample_->setObjectName("FontSample");
    fontSample_->setFrameShape(QFrame::StyledPanel);
    fontSample_->setMinimumHeight(36);
    auto* fontButton = new QPushButton("&Font...", layoutBox);
    fontButton->setObjectName("FontBtn");
    connect(fontButton, &QPushButton::clicked, this, [this] { guarded([&] { chooseFont(); }); });
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(fontSample_, 1);
    fontRow->addWidget(fontButton);
    form->addRow("Font:", fontRow);
    useShipping_ = new QCheckBox("&Use Shipping Address", layoutBox);
    useShipping_->setObjectName("UseShip");
    form->addRow(useShipping_);
    returnAddress_ = new QCheckBox("Print Compan&y Return Address", layoutBox);
    returnAddress_->setObjectName("ReturnAddr");
    form->addRow(returnAddress_);
    bitmap_ = Edit(layoutBox, "BitmapName", 255, false);
    auto* bitmapButton = new QPushButton("&Bitmap...", layoutBox);
    bitmapButton->setObjectName("BitmapBtn");
    connect(bitmapButton, &QPushButton::clicked, this,
            [this] { guarded([&] { chooseBitmap(); }); });
    auto* bitmapRow = new QHBoxLayout;
    bitmapRow->addWidget(bitmap_, 1);
    bitmapRow->addWidget(bitmapButton);
    form->addRow("Return Bitmap:", bitmapRow);
    printLine_ = new QCheckBox("Print Li&ne Between Addresses", layoutBox);
    printLine_->setObjectName("PrintLine");
    lineWidth_ = Edit(layoutBox, "LineWidth", 1, true);
    auto* lineRow = new QHBoxLayout;
    lineRow->addWidget(printLine_);
    lineRow->addWidget(new QLabel("Width:", layoutBox));
    lineRow->addWidget(lineWidth_);
    lineRow->addStretch(1);
    form->addRow(lineRow);
    sendTo_ = Edit(layoutBox, "SendTo", 10, false);
    form->addRow("Send-To &Caption:", sendTo_);
    auto enableReturn = [this] {
        const bool on = returnAddress_->isChecked();
        for (QWidget* w : {static_cast<QWidget*>(bitmap_), static_cast<QWidget*>(printLine_),
                           static_cast<QWidget*>(lineWidth_), static_cast<QWidget*>(sendTo_)})
            w->setEnabled(on);
    };
    connect(returnAddress_, &QCheckBox::toggled, this, enableReturn);
    enableReturn();

    start_ = Edit(this, "StartLabel", 3, true);
    copies_ = Edit(this, "Copies", 3, true);
    auto* printBox = new QGroupBox("Print", this);
    auto* printForm = new QFormLayout(printBox);
    printForm->addRow("Start &at Label:", start_);
    printForm->addRow("Copies of &each label:", copies_);
    auto* printButton = new QPushButton("&Print Labels", printBox);
    printButton->setObjectName("PrintBtn");
    connect(printButton, &QPushButton::clicked, printAct_, &QAction::trigger);
    connect(printAct_, &QAction::changed, printButton,
            [this, printButton] { printButton->setEnabled(printAct_->isEnabled()); });
    auto* previewButton = new QPushButton("Pre&view", printBox);
    previewButton->setObjectName("PreviewBtn");
    connect(previewButton, &QPushButton::clicked, previewAct_, &QAction::trigger);
    connect(previewAct_, &QAction::changed, previewButton,
            [this, previewButton] { previewButton->setEnabled(previewAct_->isEnabled()); });
    auto* printRow = new QHBoxLayout;
    printRow->addWidget(printButton);
    printRow->addWidget(previewButton);
    printForm->addRow(printRow);

    // The queue.
    auto* queueBox = new QGroupBox("Print Queue", this);
    auto* queueLayout = new QVBoxLayout(queueBox);
    list_ = new QTreeWidget(queueBox);
    list_->setObjectName("LabelList");
    list_->setAccessibleName(QStringLiteral("Label queue"));
    list_->setColumnCount(4);
    list_->setHeaderLabels({"Number", "Customer Name", "Sort Code", "Customer Type"});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->header()->resizeSection(0, 70);
    list_->header()->resizeSection(1, 200);
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this] { guarded([&] { findAndAdd(); }); });
    queueLayout->addWidget(list_, 1);
    count_ = new QLabel(queueBox);
    count_->setObjectName("QueueCount");
    queueLayout->addWidget(count_);

    auto button = [&](QLayout* into, const char* name, const QString& text, QAction* act) {
        auto* b = new QPushButton(text, queueBox);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, act, &QAction::trigger);
        into->addWidget(b);
        return b;
    };
    auto* row1 = new QHBoxLayout;
    button(row1, "FindAddBtn", "Find Customer / Add", findAct);
    button(row1, "LoadAllBtn", "Load All Customers", allAct);
    button(row1, "DeleteBtn", "Delete Record", deleteAct);
    button(row1, "ClearAllBtn", "Clear All", clearAct);
    queueLayout->addLayout(row1);

    auto* agingRow = new QHBoxLayout;
    agingRow->addWidget(new QLabel("Balance in:", queueBox));
    const std::vector<std::string> captions = output::AgingButtonCaptions(*ctx_.company);
    for (int k = 0; k < 4; ++k) {
        auto* b = new QPushButton(Q(captions[std::size_t(k)]), queueBox);
        b->setObjectName(QStringLiteral("Aging%1Btn").arg(k + 1));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, k] { guarded([&] { loadAging(k); }); });
        agingRow->addWidget(b);
        agingButtons_.push_back(b);
    }
    queueLayout->addLayout(agingRow);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel("Sort code or type contains:", queueBox));
    filter_ = new QLineEdit(queueBox);
    filter_->setObjectName("lblfilter");
    filterRow->addWidget(filter_, 1);
    button(filterRow, "FilterLoadBtn", "Load", filterAct);
    auto* clearFilter = new QPushButton("Clear", queueBox);
    clearFilter->setObjectName("FilterClearBtn");
    clearFilter->setAutoDefault(false);
    connect(clearFilter, &QPushButton::clicked, filter_, &QLineEdit::clear);
    filterRow->addWidget(clearFilter);
    queueLayout->addLayout(filterRow);

    auto* row3 = new QHBoxLayout;
    button(row3, "SaveListBtn", "Save Records...", saveList);
    button(row3, "LoadListBtn", "Load Records...", loadList);
    button(row3, "ExportBtn", "Export Addresses...", exportAct);
    queueLayout->addLayout(row3);

    status_ = new QLabel(this);
    status_->setObjectName("StatusLine");
    status_->setFrameShape(QFrame::StyledPanel);

    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(layoutBox);
    leftColumn->addWidget(printBox);
    leftColumn->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(leftColumn);
    columns->addWidget(queueBox, 1);
    auto* main = new QVBoxLayout(this);
    main->setMenuBar(bar);
    main->addLayout(columns, 1);
    main->addWidget(status_);
    // On a screen too narrow for the layout and the queue side by side (a large scale), the
    // queue goes under the layout and the window scrolls up and down only.
    const QRect room = ClientArea(this);
    const QMargins margins = main->contentsMargins();
    if (!room.isEmpty() &&
        columns->minimumSize().width() + margins.left() + margins.right() > room.width())
        columns->setDirection(QBoxLayout::TopToBottom);

    font_ = output::Font{"Arial", 10, output::kBlack, 0};
    showLayout(output::LabelLayout{});
    setPrintingEnabled(false);
}

void TLabelWiz::showEvent(QShowEvent* event) {
    start_->setText("1");
    copies_->setText("1");
    QDialog::showEvent(event);
}

void TLabelWiz::done(int result) {
    SaveBounds(this, ctx_.dataFolder, kBoundsSection);
    QDialog::done(result);
}

QString TLabelWiz::statusText() const {
    return status_->text();
}

void TLabelWiz::setStatus(const QString& text) {
    status_->setText(text);
}

void TLabelWiz::setReady() {
    setStatus(printing_ ? kReady : kOpenLayout);
}

bool TLabelWiz::printingEnabled() const {
    return printing_;
}

void TLabelWiz::setPrintingEnabled(bool on) {
    printing_ = on;
    printAct_->setEnabled(on);
    previewAct_->setEnabled(on);
}

void TLabelWiz::queueChanged(bool waiting) {
    refreshList();
    if (ctx_.labelsWaiting) ctx_.labelsWaiting(waiting && !queue_->empty());
}

void TLabelWiz::refreshList() {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    list_->clear();
    for (const output::LabelEntry& e : queue_->entries())
        list_->addTopLevelItem(
            new QTreeWidgetItem(QStringList{Q(e.custNo), Q(e.name), Q(e.sortCode), Q(e.custType)}));
    if (row >= 0 && row < list_->topLevelItemCount())
        list_->setCurrentItem(list_->topLevelItem(row));
    count_->setText(QStringLiteral("Records in Queue: %1").arg(queue_->size()));
}

void TLabelWiz::changedElsewhere(const std::vector<std::string>& names) {
    const std::string customers =
        data::FileblockName(ctx_.dataFolder, data::FileKind::Customer,
                            data::CompanyPrefix(ctx_.company->ansi(Company::CompanyNo)));
    if (queue_->empty() ||
        std::find(names.begin(), names.end(), storage::FileblockName(customers)) == names.end())
        return;
    // Read quietly: a file that cannot be opened now leaves the queue as it is shown (a
    // command that needs the file says why).
    storage::Fileblock* fb = sharedCustomers_;
    if (!fb) fb = storage::OpenFileblock(customers, true);
    const bool changed = fb && output::RefreshQueueEntries(fb, *queue_);
    if (fb && fb != sharedCustomers_) storage::CloseFileblock(fb);
    storage::ResetStatus();
    if (changed) refreshList();
}

// ------------------------------------------------------------------------ the layout

output::LabelLayout TLabelWiz::layoutFromControls() const {
    output::LabelLayout l;
    l.description = S(description_->text());
    l.leftMargin = S(left_->text());
    l.topMargin = S(top_->text());
    l.columns = S(columns_->text());
    l.rows = S(rows_->text());
    l.labelWidth = S(width_->text());
    l.labelHeight = S(height_->text());
    l.font = font_;
    l.useShipping = useShipping_->isChecked();
    l.returnAddress = returnAddress_->isChecked();
    l.bitmapFile = l.returnAddress ? S(bitmap_->text()) : std::string();
    l.lineBetween = l.returnAddress && printLine_->isChecked();
    l.lineWidth = S(lineWidth_->text());
    l.sendToCaption = S(sendTo_->text());
    return l;
}

void TLabelWiz::showLayout(const output::LabelLayout& l) {
    description_->setText(Q(l.description));
    left_->setText(Q(l.leftMargin));
    top_->setText(Q(l.topMargin));
    columns_->setText(Q(l.columns));
    rows_->setText(Q(l.rows));
    width_->setText(Q(l.labelWidth));
    height_->setText(Q(l.labelHeight));
    font_ = l.font;
    fontSample_->setFont(platform::qt::ToQFont(font_));
    QPalette palette = fontSample_->palette();
    palette.setColor(QPalette::WindowText, platform::qt::ToQColor(font_.color));
    fontSample_->setPalette(palette);
    useShipping_->setChecked(l.useShipping);
    returnAddress_->setChecked(l.returnAddress);
    bitmap_->setText(Q(l.bitmapFile));
    printLine_->setChecked(l.lineBetween);
    lineWidth_->setText(Q(l.lineWidth));
    sendTo_->setText(Q(l.sendToCaption));
}

void TLabelWiz::loadLastLayout() {
    auto path = output::ReadLastLabelPath(ctx_.dataFolder);
    if (path && !data::FileExists(*path)) {
        // The layout was moved or deleted: forget it.
        data::RemoveFile(data::JoinPath(ctx_.dataFolder, output::kLastLabelFile));
        path.reset();
    }
    if (!path || !openLayout(Q(*path))) {
        setPrintingEnabled(false);
        setStatus(kOpenLayout);
    }
}

bool TLabelWiz::openLayout(const QString& file) {
    std::string error;
    auto layout = output::ReadLabelLayout(S(file), &error);
    if (!layout) {
        ctx_.prompter->inform("Open Label Layout", error, Icon::Warning);
        return false;
    }
    showLayout(*layout);
    baseline_ = *layout;
    const data::IniFile ini(data::IniFilePath(ctx_.dataFolder));
    dotsPerInch_->setText(QString::number(output::ReadLabelResolution(ini, S(file))));
    if (!output::WriteLastLabelPath(ctx_.dataFolder, S(file), &error))
        ctx_.prompter->inform("Open Label Layout", error, Icon::Warning);
    setPrintingEnabled(true);
    setStatus(kReady);
    return true;
}

void TLabelWiz::openLayoutCommand() {
    const QString file =
        ChooseFile(this, chooser_, "Open Label Layout", Q(ctx_.dataFolder), kLayoutFilter, false);
    if (!file.isEmpty()) openLayout(file);
}

bool TLabelWiz::saveLayoutAs() {
    const QString file = ChooseFile(this, chooser_, "Save Label Layout As", Q(ctx_.dataFolder),
                                    kLayoutFilter, true, "LBL");
    if (file.isEmpty()) return false;
    if (data::FileExists(S(file)) &&
        !ctx_.prompter->yesNo("Save Label Layout", "OK to overwrite " + S(file), Answer::No))
        return false;
    const output::LabelLayout layout = layoutFromControls();
    std::string error;
    if (!output::WriteLabelLayout(S(file), layout, &error)) {
        ctx_.prompter->inform("Save Label Layout", error, Icon::Error);
        return false;
    }
    baseline_ = layout;
    // The resolution the measures were taken in goes beside the layout.
    data::IniFile ini(data::IniFilePath(ctx_.dataFolder));
    if (!output::WriteLabelResolution(ini, S(file), dotsPerInch(), &error))
        ctx_.prompter->inform("Save Label Layout", error, Icon::Warning);
    if (!output::WriteLastLabelPath(ctx_.dataFolder, S(file), &error))
        ctx_.prompter->inform("Save Label Layout", error, Icon::Warning);
    setPrintingEnabled(true);
    setStatus("Layout saved to file: " + FileNameOf(file) + ".");
    return true;
}

int TLabelWiz::dotsPerInch() const {
    bool ok = false;
    const int dpi = dotsPerInch_->text().trimmed().toInt(&ok);
    return ok && output::UsableLabelResolution(dpi) ? dpi : output::kLabelDotsPerInch;
}

void TLabelWiz::showMeasures() {
    const bool metric = QLocale().measurementSystem() == QLocale::MetricSystem;
    for (const auto& [edit, shown] : measures_) {
        bool ok = false;
        const int dots = edit->text().trimmed().toInt(&ok);
        shown->setText(ok ? "(" + Q(output::LabelMeasureText(dots, dotsPerInch(), metric)) + ")"
                          : QString());
    }
}

void TLabelWiz::chooseFont() {
    QFont font = platform::qt::ToQFont(font_);
    QColor color = platform::qt::ToQColor(font_.color);
    if (!TFontColorDialog::GetFontAndColor(font, color, this, "Label Font")) return;
    output::LabelLayout l = layoutFromControls();
    l.font = platform::qt::FromQFont(font, color);
    showLayout(l);
}

void TLabelWiz::chooseBitmap() {
    const QString file = ChooseFile(this, chooser_, "Return Address Bitmap", Q(ctx_.dataFolder),
                                    kBitmapFilter, false);
    if (file.isEmpty()) return;
    bitmap_->setText(Q(StoredPictureName(ctx_.dataFolder, file)));
}

// ------------------------------------------------------------------------ the queue

std::unique_ptr<TLabelWiz::CustomerFile> TLabelWiz::openCustomers() {
    if (sharedCustomers_) return std::make_unique<CustomerFile>(sharedCustomers_, false);
    data::OpenRequest request;
    request.name = data::FileblockName(ctx_.dataFolder, data::FileKind::Customer,
                                       data::CompanyPrefix(ctx_.company->ansi(Company::CompanyNo)));
    request.kind = data::FileKind::Customer;
    request.whenMissing = data::CreateMessage(
        "I am going to create a new, empty customer file for this company.", "New Company");
    request.giveUp = data::GiveUpMessage("Unable to open database");
    request.progress = ctx_.progress;
    request.rebuildTitle = "Customers";
    return std::make_unique<CustomerFile>(data::OpenBusinessFileblock(request, *ctx_.prompter).fb,
                                          true);
}

int TLabelWiz::appendFromFile(const std::function<bool(const data::CustomerRecord&)>& test) {
    auto file = openCustomers();
    if (!file->fb) return -1;
    platform::SilentProgress silent;
    platform::Progress& progress = ctx_.progress ? *ctx_.progress : silent;
    progress.start(kTitle, 1);
    progress.setLine(0, "Loading customers...");
    const int added = output::AppendCustomers(file->fb, *queue_, test, &progress, &queuedAlready_);
    progress.finish();
    queueChanged(true);
    return added;
}

void TLabelWiz::reportAdded(int added) {
    QString text = QString::number(added) + " records were added.";
    if (queuedAlready_ > 0)
        text += " Already in the queue: " + QString::number(queuedAlready_) + ".";
    setStatus(text);
}

void TLabelWiz::findAndAdd() {
    auto file = openCustomers();
    if (!file->fb) return;
    TFindForm find(file->fb, customers::FindMode::Cust, "Find Customer", ServicesOf(ctx_), this);
    if (find.exec() != QDialog::Accepted || !find.picked()) return;
    auto customer = output::FindCustomerByNumber(file->fb, find.picked()->cells[1]);
    if (!customer) {
        ctx_.prompter->inform("Find Customer", "Customer Search operation failed", Icon::Error);
        return;
    }
    queue_->add(output::LabelEntryFor(*customer));
    queueChanged(true);
    setStatus("1 records were added.");
}

void TLabelWiz::loadAll() {
    const int added = appendFromFile([](const data::CustomerRecord&) { return true; });
    if (added >= 0) reportAdded(added);
}

void TLabelWiz::loadAging(int category) {
    if (auto bad = output::BadAgingDaysMessage(*ctx_.company)) {
        ctx_.prompter->inform("Aging Days", *bad, Icon::Warning);
        return;
    }
    const int added = appendFromFile(
        [category](const data::CustomerRecord& c) { return output::HasAgingBalance(c, category); });
    if (added == 0 && queuedAlready_ == 0)
        setStatus("No records were found.");
    else if (added >= 0)
        reportAdded(added);
}

void TLabelWiz::loadFiltered() {
    const std::string filter(data::TrimText(S(filter_->text())));
    if (filter.empty()) {
        if (ctx_.prompter->yesNo(
                "Filter Selection Empty",
                "You have not entered any search filter. Do you want to load all customers?",
                Answer::No))
            loadAll();
        return;
    }
    const int added = appendFromFile(
        [&filter](const data::CustomerRecord& c) { return output::MatchesLabelFilter(c, filter); });
    if (added == 0 && queuedAlready_ == 0) {
        ctx_.prompter->inform("Load",
                              "No matching records were found in the Customer Mailing List Sort "
                              "Code or Customer Type fields.");
        setReady();
    } else if (added >= 0) {
        reportAdded(added);
    }
}

void TLabelWiz::deleteRecord() {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (row < 0) return;
    queue_->remove(std::size_t(row));
    queueChanged(true);
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(std::min(row, list_->topLevelItemCount() - 1)));
    setReady();
}

void TLabelWiz::clearAll() {
    queue_->clear();
    queueChanged(false);
    setStatus("All records were removed from the queue.");
}

void TLabelWiz::saveRecords() {
    if (queue_->empty()) {
        ctx_.prompter->inform("Save Records", "You do not have any customer records to save.");
        return;
    }
    const QString file = ChooseFile(this, chooser_, "Save Records to File", Q(ctx_.dataFolder),
                                    kListFilter, true, "LST");
    if (file.isEmpty()) return;
    if (data::FileExists(S(file)) &&
        !ctx_.prompter->yesNo("Save Records", "OK to overwrite " + S(file), Answer::No))
        return;
    std::string error;
    if (!output::WriteRecordList(S(file), queue_->entries(), &error)) {
        ctx_.prompter->inform("Save Records", error, Icon::Error);
        return;
    }
    if (ctx_.labelsWaiting) ctx_.labelsWaiting(false);
    setStatus("Records saved to file: " + FileNameOf(file) + ".");
}

void TLabelWiz::loadRecords() {
    const QString file = ChooseFile(this, chooser_, "Load Records from Saved File",
                                    Q(ctx_.dataFolder), kListFilter, false);
    if (file.isEmpty()) return;
    std::string error;
    auto entries = output::ReadRecordList(S(file), &error);
    if (!entries) {
        ctx_.prompter->inform("Load Records", error, Icon::Error);
        return;
    }
    for (const auto& e : *entries)
        queue_->add(e);
    queueChanged(true);
    setStatus(QString::number(entries->size()) + " records are selected.");
}

void TLabelWiz::exportAddresses() {
    if (queue_->empty()) {
        ctx_.prompter->inform("Export Address",
                              "You do not have any records listed to export addresses for.");
        return;
    }
    if (!ctx_.prompter->yesNo("Export Addresses",
                              "This will create a text file of addresses for all customers in "
                              "the print queue. Continue?"))
        return;
    const QString file = ChooseFile(this, chooser_, "Export to Mailing Label File",
                                    Q(ctx_.dataFolder), kTextFilter, true, "TXT");
    if (file.isEmpty()) return;
    if (data::FileExists(S(file)) &&
        !ctx_.prompter->yesNo("Export Addresses", "OK to overwrite " + S(file), Answer::No))
        return;
    std::vector<std::string> missing;
    const auto customers = queuedCustomers(missing);
    if (!customers) return;
    std::vector<std::string> lines;
    for (const auto& c : *customers) {
        std::string line = output::AddressExportLine(c);
        if (!line.empty()) lines.push_back(std::move(line));
    }
    std::string error;
    if (!output::WriteAnsiLines(S(file), lines, &error)) {
        ctx_.prompter->inform("Export Addresses", error, Icon::Error);
        return;
    }
    if (ctx_.labelsWaiting) ctx_.labelsWaiting(false);
    setStatus("Address text saved to file: " + FileNameOf(file) + ".");
    std::string done = "All addresses have been exported to text file.";
    if (!missing.empty()) {
        done += "\n\nNot on file any more, so left out: ";
        for (std::size_t i = 0; i < missing.size(); ++i)
            done += (i ? ", " : "") + missing[i];
    }
    ctx_.prompter->inform("Export Complete", done);
}

std::optional<std::vector<data::CustomerRecord>> TLabelWiz::queuedCustomers(
    std::vector<std::string>& missing) {
    auto file = openCustomers();
    if (!file->fb) return std::nullopt;
    return output::QueuedCustomers(file->fb, queue_->entries(), missing);
}

// ------------------------------------------------------------------------ printing

std::optional<output::LabelPrintOptions> TLabelWiz::readyToPrint(const char* title) {
    if (queue_->empty()) {
        ctx_.prompter->inform(title,
                              "You do not have any customer records listed in the print queue.");
        return std::nullopt;
    }
    const output::LabelLayout layout = layoutFromControls();
    if (!output::LayoutComplete(layout)) {
        ctx_.prompter->inform(title,
                              "You have an empty layout definition field. The description and "
                              "all layout settings are required. Unable to print. You can use "
                              "the Label - Open menu to load an existing layout file.",
                              Icon::Warning);
        return std::nullopt;
    }
    if (output::LayoutSettingsDiffer(layout, baseline_) &&
        ctx_.prompter->yesNo(title,
                             "Your layout settings have changed. You must save your changes if "
                             "you want to print using them. Do you want to save the new "
                             "changes?"))
        saveLayoutAs();
    output::LabelPrintOptions options;
    options.start = output::StartOrCopiesValue(S(start_->text()));
    options.copies = output::StartOrCopiesValue(S(copies_->text()));
    options.screenDpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    options.dotsPerInch = dotsPerInch();
    options.dataFolder = ctx_.dataFolder;
    // The sheet is checked before anything goes to the printer.
    std::string problem;
    auto geometry = output::GeometryOf(layout, &problem);
    if (!geometry) {
        ctx_.prompter->inform(title, problem, Icon::Warning);
        return std::nullopt;
    }
    if (options.start > geometry->perSheet()) {
        ctx_.prompter->inform(title,
                              "Start at Label must be a label of the first sheet: 1 to " +
                                  std::to_string(geometry->perSheet()) +
                                  " with this layout. Unable to print.",
                              Icon::Warning);
        start_->setFocus();
        return std::nullopt;
    }
    return options;
}

void TLabelWiz::printLabels() {
    auto options = readyToPrint("Print Labels");
    if (!options || !PrinterReady(*ctx_.prompter, "Print Labels")) return;
    std::vector<std::string> missing;
    const auto customers = queuedCustomers(missing);
    if (!customers) return;
    platform::qt::PainterCanvas canvas(platform::qt::ProgramPrinter());
    const output::LabelPrintResult r =
        output::PrintLabels(canvas, layoutFromControls(), *customers, *ctx_.company, *options);
    if (!r.ok) {
        ctx_.prompter->inform("Print Labels", r.error, Icon::Warning);
        return;
    }
    if (ctx_.labelsWaiting) ctx_.labelsWaiting(false);
    QString status = "Complete. " + QString::number(r.printed) + " label(s) sent to printer.";
    if (!missing.empty())
        status +=
            " Not on file: " + Q(missing.front()) + (missing.size() > 1 ? " and others." : ".");
    setStatus(status);
}

void TLabelWiz::printPreview() {
    auto options = readyToPrint("Print Preview");
    if (!options) return;
    std::vector<std::string> missing;
    const auto customers = queuedCustomers(missing);
    if (!customers) return;
    const output::LabelLayout layout = layoutFromControls();
    QPrintPreviewDialog preview(&platform::qt::ProgramPrinter(), this);
    preview.setObjectName("LabelPreview");
    preview.setWindowTitle("Mailing Labels - Preview");
    std::string error;
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* printer) {
        platform::qt::PainterCanvas canvas(*printer);
        const auto r = output::PrintLabels(canvas, layout, *customers, *ctx_.company, *options);
        if (!r.ok) error = r.error;
    });
    preview.exec();
    if (!error.empty()) ctx_.prompter->inform("Print Preview", error, Icon::Warning);
}

void TLabelWiz::calibrationRuler() {
    if (!ctx_.prompter->yesNo("Please Confirm",
                              "This feature will print the calibration ruler on your printer. "
                              "You can use it to help you calculate margin settings. Continue?"))
        return;
    if (!PrinterReady(*ctx_.prompter, "Calibration Ruler")) return;
    platform::qt::PainterCanvas canvas(platform::qt::ProgramPrinter());
    std::string error;
    auto dpi = output::PrintCalibrationRuler(canvas, dotsPerInch(), &error);
    if (!dpi) {
        ctx_.prompter->inform("Calibration Ruler", error, Icon::Warning);
        return;
    }
    ctx_.prompter->inform(
        "Calibration Ruler",
        "Use the top ruler for vertical height measurement and the bottom ruler to measure "
        "horizontal width.\n\nBe sure to include any spacing between labels in your height and "
        "width measurements.\n\nIt appears this printer is printing around " +
            std::to_string(*dpi) + " DPI (dots-per-inch). Each line represents 50 DPI.");
    setStatus("Calibration ruler sent to printer.");
}

void TLabelWiz::printSetup() {
    platform::qt::ShowPrinterSetup(this);
}

}  // namespace invarro::ui
