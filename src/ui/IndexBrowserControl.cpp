#include "ui/IndexBrowserControl.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <algorithm>

#include "data/Ansi.h"

namespace invarro::ui {

using storage::BrowseChange;
using storage::BrowserError;
using storage::RowRecord;

namespace {

constexpr int kWheelNotch = 120;
constexpr int kHorizSteps = 128;
constexpr int kMaxComputedRows = 65520;

// Room around a row's text and beside a column's text.
constexpr int kRowPadding = 4;
constexpr int kCellPadding = 16;

QString Title(const data::ListColumn& column) {
    return QString::fromUtf8(column.title.data(), qsizetype(column.title.size()));
}

QString CutText(const QString& text) {
    return text.left(storage::kRowTextMax);
}

}  // namespace

// The page of rows as a table: the rows in view, each cut into its columns.
class PageModel : public QAbstractTableModel {
  public:
    explicit PageModel(TIndexBrowser* view) : QAbstractTableModel(view), view_(view) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(cells_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : std::max<int>(1, int(view_->Columns().size()));
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        const QStringList& row = cells_[size_t(index.row())];
        switch (role) {
            case Qt::DisplayRole:
            case Qt::ToolTipRole:
                return index.column() < row.size() ? row[index.column()] : QString();
            case Qt::AccessibleDescriptionRole:
                return rowDescription(index.row());
            case Qt::TextAlignmentRole:
                return QVariant::fromValue(alignment(index.column()));
            case Qt::ForegroundRole:
                if (failed_[size_t(index.row())]) return QColor(Qt::red);
                return {};
            case Qt::FontRole:
                if (failed_[size_t(index.row())]) {
                    QFont f = view_->font();
                    f.setItalic(true);
                    return f;
                }
                return {};
            default:
                return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal) return {};
        const auto& columns = view_->Columns();
        if (role == Qt::DisplayRole) {
            if (columns.empty()) return view_->Header();
            return section < int(columns.size()) ? Title(columns[size_t(section)]) : QString();
        }
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(alignment(section) | Qt::AlignVCenter);
        if (role == Qt::ToolTipRole && section < int(columns.size()) &&
            columns[size_t(section)].keyNo > 0)
            return QStringLiteral("Click to sort by %1").arg(Title(columns[size_t(section)]));
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    // Takes the rows of the page as they are now.
    void take(const storage::Browser* browser, int rowsInView) {
        std::vector<QStringList> cells;
        std::vector<bool> failed;
        const int n = browser ? std::min(browser->FilledRows(), rowsInView) : 0;
        for (int i = 1; i <= n; ++i) {
            const storage::RowRecord& r = browser->Row(i);
            cells.push_back(split(r.text));
            failed.push_back(r.status < 0);
        }
        if (cells.size() != cells_.size()) {
            beginResetModel();
            cells_ = std::move(cells);
            failed_ = std::move(failed);
            endResetModel();
            return;
        }
        cells_ = std::move(cells);
        failed_ = std::move(failed);
        if (!cells_.empty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }

    void columnsChanged() {
        beginResetModel();
        cells_.clear();
        failed_.clear();
        endResetModel();
    }

    QString cell(int row, int column) const {
        if (row < 0 || row >= rowCount()) return {};
        const QStringList& r = cells_[size_t(row)];
        return column >= 0 && column < r.size() ? r[column] : QString();
    }

  private:
    Qt::Alignment alignment(int column) const {
        const auto& columns = view_->Columns();
        const bool money = column < int(columns.size()) && columns[size_t(column)].money;
        return (money ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    }

    // A row read out whole: each column's title and text.
    QString rowDescription(int row) const {
        const auto& columns = view_->Columns();
        if (columns.empty()) return cell(row, 0);
        QStringList parts;
        for (size_t c = 0; c < columns.size(); ++c) {
            const QString text = cell(row, int(c));
            if (!text.isEmpty()) parts << Title(columns[c]) + ": " + text;
        }
        return parts.join(QStringLiteral(", "));
    }

    // The row text cut at the columns: each field is its width in characters followed by
    // one blank. Without columns the row is one cell.
    QStringList split(const std::string& text) const {
        const auto& columns = view_->Columns();
        if (columns.empty()) {
            QString whole = QString::fromStdString(text);
            while (whole.endsWith(QLatin1Char(' ')))
                whole.chop(1);
            return {whole};
        }
        QStringList out;
        for (const std::string& cell : data::SplitColumns(text, columns))
            out << QString::fromStdString(cell);
        return out;
    }

    TIndexBrowser* view_;
    std::vector<QStringList> cells_;
    std::vector<bool> failed_;
};

TIndexBrowser::TIndexBrowser(QWidget* parent) : QTableView(parent) {
    const QPalette pal = palette();
    color_ = pal.color(QPalette::Base);
    headerColor_ = footerColor_ = pal.color(QPalette::Button);
    headerTxtColor_ = footerTxtColor_ = pal.color(QPalette::ButtonText);
    highlightColor_ = pal.color(QPalette::Highlight);
    highlightTxtColor_ = pal.color(QPalette::HighlightedText);

    model_ = new PageModel(this);
    setModel(model_);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list; the arrows move in it.
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setAlternatingRowColors(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    QHeaderView* top = horizontalHeader();
    top->setHighlightSections(false);
    top->setSectionsClickable(true);
    top->setSortIndicatorShown(false);
    top->setStretchLastSection(true);
    top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    top->hide();
    connect(top, &QHeaderView::sectionClicked, this, [this](int section) {
        const int keyNo =
            section >= 0 && section < int(columns_.size()) ? columns_[size_t(section)].keyNo : 0;
        showSortColumn();  // a click on a column without a key changes nothing
        if (keyNo > 0) emit SortRequested(keyNo);
    });
    resize(200, 100);

    QScrollBar* v = verticalScrollBar();
    v->setRange(0, storage::kScrollRange);
    v->setSingleStep(1);
    v->setPageStep(8);
    // The thumb only jumps when it is released.
    v->setTracking(false);
    connect(v, &QScrollBar::actionTriggered, this, &TIndexBrowser::onScrollAction);
    connect(v, &QScrollBar::sliderReleased, this, &TIndexBrowser::onSliderReleased);

    autoScroll_.setInterval(kAutoScrollMs);
    connect(&autoScroll_, &QTimer::timeout, this, &TIndexBrowser::autoScrollStep);
    relayout();
}

TIndexBrowser::~TIndexBrowser() = default;

void TIndexBrowser::Attach(std::unique_ptr<storage::Browser> browser) {
    autoScroll_.stop();
    dragging_ = false;
    browser_ = std::move(browser);
    if (!browser_) {
        showPage();
        return;
    }
    installHandlers();
    guarded([&] { browser_->SetFilterEnabled(filterEnabled_); });
    relayout();
    showSortColumn();
    showPage();
    emit FirstUserInit();
}

void TIndexBrowser::installHandlers() {
    if (!browser_) return;
    storage::Browser& b = *browser_;
    b.OnBuildRow = nullptr;
    if (onBuildRow_) b.OnBuildRow = [this](RowRecord& row) { return onBuildRow_(this, row); };
    b.OnPerformFilter = nullptr;
    if (onPerformFilter_) {
        b.OnPerformFilter = [this](RowRecord& row, bool& useIt) {
            return onPerformFilter_(this, row, useIt);
        };
    }
    b.OnShowFilterWorking = nullptr;
    if (onShowFilterWorking_) {
        b.OnShowFilterWorking = [this](int state, bool rejected) {
            onShowFilterWorking_(this, state, rejected);
        };
    }
    b.OnPreCompletePage = nullptr;
    if (onPreCompletePage_) b.OnPreCompletePage = [this] { return onPreCompletePage_(this); };
    b.OnPostCompletePage = nullptr;
    if (onPostCompletePage_) b.OnPostCompletePage = [this] { return onPostCompletePage_(this); };
}

void TIndexBrowser::SetOnBuildRow(TBuildRowEvent handler) {
    onBuildRow_ = std::move(handler);
    installHandlers();
}
void TIndexBrowser::SetOnPerformFilter(TFilterEvent handler) {
    onPerformFilter_ = std::move(handler);
    installHandlers();
}
void TIndexBrowser::SetOnShowFilterWorking(TFilterWorkingEvent handler) {
    onShowFilterWorking_ = std::move(handler);
    installHandlers();
}
void TIndexBrowser::SetOnPreCompletePage(TPrePostCompletePage handler) {
    onPreCompletePage_ = std::move(handler);
    installHandlers();
}
void TIndexBrowser::SetOnPostCompletePage(TPrePostCompletePage handler) {
    onPostCompletePage_ = std::move(handler);
    installHandlers();
}

// ---------------------------------------------------------------- window operations

void TIndexBrowser::JumpToKey(std::string_view key, int32_t recNo) {
    if (!browser_) return;
    const int old = browser_->CurrentRow();
    try {
        browser_->JumpToKey(key, recNo);
    } catch (const BrowserError&) {
        showPage();
        throw;
    }
    afterChange(BrowseChange::Page, old);
}

void TIndexBrowser::SetKeyNumber(int keyNo) {
    if (!browser_) return;
    const int old = browser_->CurrentRow();
    try {
        browser_->SetKeyNumber(keyNo);
    } catch (const BrowserError&) {
        showSortColumn();
        showPage();
        throw;
    }
    showSortColumn();
    afterChange(BrowseChange::Page, old);
}

int TIndexBrowser::CurrentKeyNumber() const {
    return browser_ ? browser_->KeyNumber() : kNoKeyNumber;
}

int32_t TIndexBrowser::CurrentRecordNumber() const {
    return browser_ ? browser_->CurrentRecordNumber() : 0;
}

std::string TIndexBrowser::CurrentKeyString() const {
    return browser_ ? browser_->CurrentKeyString() : std::string();
}

int TIndexBrowser::ReadCurrentRecord(bool& unchanged) {
    unchanged = false;
    if (!browser_) return storage::kNotReadyClass;
    int result = browser_->ReadCurrentRecord(unchanged);
    showPage();
    return result;
}

bool TIndexBrowser::ReadHighlighted(int32_t& recNo) {
    if (!browser_ || browser_->FilledRows() == 0) return false;
    bool unchanged = false;
    if (ReadCurrentRecord(unchanged) != 0) return false;
    recNo = browser_->CurrentRecordNumber();
    return true;
}

void TIndexBrowser::Refresh() {
    if (!browser_) return;
    const int old = browser_->CurrentRow();
    try {
        browser_->Refresh();
    } catch (const BrowserError&) {
        showPage();
        throw;
    }
    afterChange(BrowseChange::Page, old);
}

void TIndexBrowser::SetHeader(const QString& text) {
    QString cut = CutText(text);
    if (cut == header_) return;
    header_ = cut;
    horizontalHeader()->setVisible(!columns_.empty() || !header_.isEmpty());
    emit model_->headerDataChanged(Qt::Horizontal, 0, model_->columnCount() - 1);
    sizeColumns();
    relayout();
    if (browser_ && browser_->Filled()) guarded([&] { Refresh(); });
    showPage();
}

void TIndexBrowser::SetFooter(const QString& text) {
    QString cut = CutText(text);
    if (cut == footer_) return;
    footer_ = cut;
    relayout();
    if (browser_ && browser_->Filled()) guarded([&] { Refresh(); });
    showPage();
}

void TIndexBrowser::SetFilterEnabled(bool on) {
    if (on == filterEnabled_) return;
    filterEnabled_ = on;
    if (!browser_) return;
    const int old = browser_->CurrentRow();
    try {
        browser_->SetFilterEnabled(on);
    } catch (const BrowserError&) {
        showPage();
        throw;
    }
    if (browser_->Filled()) afterChange(BrowseChange::Page, old);
}

void TIndexBrowser::SetUseSeparator(bool on) {
    useSeparator_ = on;
    viewport()->update();
}

int TIndexBrowser::HorizOfs() const {
    return horizontalScrollBar()->value();
}

void TIndexBrowser::SetHorizOfs(int pixels) {
    horizontalScrollBar()->setValue(pixels);  // cut to the range by the bar
    viewport()->update();
}

// ---------------------------------------------------------------- layout

void TIndexBrowser::ShowLastPage() {
    if (!browser_) return;
    const int old = browser_->CurrentRow();
    BrowseChange change = BrowseChange::None;
    try {
        change = browser_->LastPage();
    } catch (const BrowserError&) {
        showPage();
        throw;
    }
    afterChange(change == BrowseChange::None ? BrowseChange::Page : change, old);
}

bool TIndexBrowser::SelectRecord(int32_t recNo) {
    if (!browser_) return false;
    for (int i = 1; i <= std::min(browser_->FilledRows(), rowsInView_); ++i) {
        if (browser_->Row(i).recNo != recNo) continue;
        const int old = browser_->CurrentRow();
        if (browser_->SetCurrentRow(i)) afterChange(BrowseChange::Highlight, old);
        return true;
    }
    return false;
}

bool TIndexBrowser::SearchTyped(const QString& typed) {
    if (!browser_) return false;
    std::string key = data::UpperAnsi(data::AnsiFromUtf8(typed.toStdString()));
    if (key.size() > 30) key.resize(30);
    const int old = browser_->CurrentRow();
    if (key.empty()) {
        afterChange(browser_->FirstPage(), old);
        return true;
    }
    JumpToKey(key, 0);
    return browser_->FilledRows() > 0 && browser_->CurrentKeyString().rfind(key, 0) == 0;
}

// ---------------------------------------------------------------- columns

void TIndexBrowser::SetColumns(std::vector<Column> columns) {
    columns_ = std::move(columns);
    model_->columnsChanged();
    horizontalHeader()->setVisible(!columns_.empty() || !header_.isEmpty());
    sizeColumns();
    if (pendingWidths_.size() == columns_.size() && !columns_.empty()) {
        for (size_t c = 0; c < columns_.size(); ++c)
            if (pendingWidths_[c] > 0) setColumnWidth(int(c), pendingWidths_[c]);
        pendingWidths_.clear();
    }
    showSortColumn();
    showPage();
}

QString TIndexBrowser::CellText(int row, int column) const {
    return model_->cell(row - 1, column);
}

std::vector<int> TIndexBrowser::ColumnWidths() const {
    std::vector<int> widths;
    for (size_t c = 0; c < columns_.size(); ++c)
        widths.push_back(columnWidth(int(c)));
    return widths;
}

void TIndexBrowser::SetColumnWidths(const std::vector<int>& widths) {
    if (columns_.empty() || widths.size() != columns_.size()) {
        pendingWidths_ = widths;
        return;
    }
    for (size_t c = 0; c < widths.size(); ++c)
        if (widths[c] > 0) setColumnWidth(int(c), widths[c]);
}

int TIndexBrowser::ContentWidth() const {
    if (columns_.empty()) {
        QString header = header_;
        while (header.endsWith(QLatin1Char(' ')))
            header.chop(1);
        const QFontMetrics fm(font());
        return fm.horizontalAdvance(header) + 2 * fm.averageCharWidth();
    }
    int width = 0;
    for (size_t c = 0; c < columns_.size(); ++c)
        width += columnWidth(int(c));
    return width;
}

void TIndexBrowser::sizeColumns() {
    const QFontMetrics fm(font());
    QHeaderView* top = horizontalHeader();
    if (columns_.empty()) {
        // The row text scrolls over 128 character steps.
        top->setStretchLastSection(false);
        setColumnWidth(0, kHorizSteps * std::max(1, horizStep_));
        return;
    }
    top->setStretchLastSection(true);
    const QFontMetrics titles(top->font());
    const int digit = fm.horizontalAdvance(QLatin1Char('0'));
    for (size_t c = 0; c < columns_.size(); ++c) {
        const Column& col = columns_[c];
        // Money is digits; text averages out over the field.
        const int text = col.chars * (col.money ? digit : fm.averageCharWidth());
        const int title = titles.horizontalAdvance(Title(col)) + kCellPadding;
        setColumnWidth(int(c), std::max(text, title) + kCellPadding);
    }
}

void TIndexBrowser::showSortColumn() {
    QHeaderView* top = horizontalHeader();
    const int keyNo = CurrentKeyNumber();
    for (size_t c = 0; c < columns_.size(); ++c) {
        if (columns_[c].keyNo > 0 && columns_[c].keyNo == keyNo) {
            top->setSortIndicatorShown(true);
            top->setSortIndicator(int(c), Qt::AscendingOrder);
            return;
        }
    }
    top->setSortIndicatorShown(false);
}

void TIndexBrowser::applyColours() {
    QPalette pal = palette();
    pal.setColor(QPalette::Base, color_);
    pal.setColor(QPalette::AlternateBase,
                 color_.lightness() > 128 ? color_.darker(104) : color_.lighter(115));
    pal.setColor(QPalette::Highlight, highlightColor_);
    pal.setColor(QPalette::HighlightedText, highlightTxtColor_);
    setPalette(pal);
    QPalette head = horizontalHeader()->palette();
    head.setColor(QPalette::Button, headerColor_);
    head.setColor(QPalette::ButtonText, headerTxtColor_);
    horizontalHeader()->setPalette(head);
    viewport()->update();
}

void TIndexBrowser::showPage() {
    model_->take(browser_.get(), rowsInView_);
    if (!browser_ || browser_->FilledRows() == 0) {
        selectionModel()->clearSelection();
        viewport()->update();
        return;
    }
    const QModelIndex at =
        model_->index(browser_->CurrentRow() - 1, std::max(0, currentIndex().column()));
    if (at.isValid())
        selectionModel()->setCurrentIndex(
            at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    browser_->MarkPainted();
    viewport()->update();
}

// ---------------------------------------------------------------- layout

int TIndexBrowser::footerTop() const {
    return rowsInView_ * rowHeight_;
}

QRect TIndexBrowser::RowRect(int row) const {
    return QRect(0, (row - 1) * rowHeight_, viewport()->width(), rowHeight_);
}

int TIndexBrowser::RowAt(int y) const {
    if (y < 0) return 0;
    int row = y / rowHeight_ + 1;
    return row > rowsInView_ ? 0 : row;
}

void TIndexBrowser::relayout() {
    const QFontMetrics fm(font());
    rowHeight_ = std::max(1, fm.height() + std::max(0, fm.leading()) + kRowPadding);
    verticalHeader()->setDefaultSectionSize(rowHeight_);
    int rows = viewport()->height() / rowHeight_;
    if (!footer_.isEmpty()) --rows;
    if (rows <= 0 || rows > kMaxComputedRows) rows = 1;
    // The page holds at most the browser's row capacity; a taller window leaves the rest
    // of its area empty rather than showing rows the page does not have.
    rowsInView_ = std::min(rows, storage::kBrowserMaxRows);

    const int step = std::max(1, (fm.averageCharWidth() + fm.maxWidth()) / 2);
    if (step != horizStep_) {
        horizStep_ = step;
        if (columns_.empty()) sizeColumns();
    }
    horizontalScrollBar()->setSingleStep(horizStep_);

    if (!browser_) return;
    guarded([&] {
        const int before = browser_->CurrentRow();
        const int32_t recBefore = browser_->CurrentRecordNumber();
        browser_->SetRowsInView(rowsInView_);
        showPage();
        updateScrollPosition();
        if (browser_->CurrentRow() != before || browser_->CurrentRecordNumber() != recBefore)
            emit RowChanged();
    });
}

void TIndexBrowser::updateGeometries() {
    QTableView::updateGeometries();
    // The vertical bar is the browser's position, not the table's rows.
    QScrollBar* v = verticalScrollBar();
    const QSignalBlocker block(v);
    v->setRange(0, storage::kScrollRange);
    v->setSingleStep(1);
    v->setPageStep(8);
    if (browser_) {
        v->setValue(browser_->ScrollPosition());
        v->setSliderPosition(v->value());
    }
}

void TIndexBrowser::scrollTo(const QModelIndex&, ScrollHint) {
    // Every row of the page is in view; the horizontal offset stays where the user put it.
}

void TIndexBrowser::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    if (browser_) showPage();
}

void TIndexBrowser::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    relayout();
}

void TIndexBrowser::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        sizeColumns();
        relayout();
        viewport()->update();
    }
}

// ---------------------------------------------------------------- movements

template <class Step>
void TIndexBrowser::guarded(Step&& step) {
    try {
        step();
    } catch (const BrowserError& e) {
        autoScroll_.stop();
        dragging_ = false;
        viewport()->update();
        const QString text = QString::fromStdString(e.what());
        if (prompter_) {
            QString title = window()->windowTitle();
            if (title.isEmpty()) title = QApplication::applicationName();
            prompter_->inform(title.toStdString(), e.what(), platform::Icon::Error);
        }
        emit Failed(text);
    }
}

void TIndexBrowser::afterChange(BrowseChange change, int) {
    if (!browser_) return;
    if (change == BrowseChange::None) return;
    const QModelIndex before = currentIndex();
    // The model takes the page whatever moved: it is at most a hundred rows.
    showPage();
    // A page that scrolled under a current row staying where it was is a new record all
    // the same: the view tells screen readers of the current cell as for a move.
    if (currentIndex().isValid() && currentIndex() == before)
        currentChanged(currentIndex(), before);
    updateScrollPosition();
    emit RowChanged();
}

void TIndexBrowser::updateScrollPosition() {
    if (!browser_) return;
    const int pos = browser_->ScrollPosition();
    QScrollBar* v = verticalScrollBar();
    const QSignalBlocker block(v);
    v->setValue(pos);
    v->setSliderPosition(pos);
}

void TIndexBrowser::onScrollAction(int action) {
    if (!browser_) return;
    guarded([&] {
        const int old = browser_->CurrentRow();
        BrowseChange change = BrowseChange::None;
        switch (action) {
            case QAbstractSlider::SliderSingleStepAdd:
                change = browser_->MoveDown();
                break;
            case QAbstractSlider::SliderSingleStepSub:
                change = browser_->MoveUp();
                break;
            case QAbstractSlider::SliderPageStepAdd:
                change = browser_->PageDown();
                break;
            case QAbstractSlider::SliderPageStepSub:
                change = browser_->PageUp();
                break;
            case QAbstractSlider::SliderToMinimum:
                change = browser_->FirstPage();
                break;
            case QAbstractSlider::SliderToMaximum:
                change = browser_->LastPage();
                break;
            default:
                return;  // a drag: the jump comes when the thumb is released
        }
        afterChange(change, old);
    });
    // The bar would otherwise step its own position; it shows the browser's instead.
    guarded([&] { updateScrollPosition(); });
}

void TIndexBrowser::onSliderReleased() {
    if (!browser_) return;
    guarded([&] {
        const int old = browser_->CurrentRow();
        afterChange(browser_->ScrollTo(verticalScrollBar()->sliderPosition()), old);
    });
    guarded([&] { updateScrollPosition(); });
}

void TIndexBrowser::keyPressEvent(QKeyEvent* event) {
    emit KeyDown(event->key(), event->modifiers());
    if (!browser_) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    storage::Browser& b = *browser_;
    const int old = b.CurrentRow();
    auto move = [&](auto op) { guarded([&] { afterChange(op(), old); }); };
    switch (event->key()) {
        case Qt::Key_Down:
            move([&] { return b.MoveDown(); });
            return;
        case Qt::Key_Up:
            move([&] { return b.MoveUp(); });
            return;
        case Qt::Key_PageDown:
            move([&] { return b.PageDown(); });
            return;
        case Qt::Key_PageUp:
            move([&] { return b.PageUp(); });
            return;
        case Qt::Key_Home:
            if (ctrl)
                move([&] { return b.FirstPage(); });
            else
                SetHorizOfs(0);
            return;
        case Qt::Key_End:
            if (ctrl)
                move([&] { return b.LastPage(); });
            else
                SetHorizOfs(horizontalScrollBar()->maximum());
            return;
        case Qt::Key_Left:
            SetHorizOfs(HorizOfs() - horizStep_ * (ctrl ? 10 : 1));
            return;
        case Qt::Key_Right:
            SetHorizOfs(HorizOfs() + horizStep_ * (ctrl ? 10 : 1));
            return;
        default:
            break;
    }
    const QString text = event->text();
    if (text.size() != 1 || !text[0].isPrint()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    QChar c = text[0];
    if (OnKeyPress) OnKeyPress(this, c);
    if (c.isNull()) return;
    if (c == QLatin1Char('+')) {
        move([&] {
            b.Refresh();
            return BrowseChange::Page;
        });
        return;
    }
    guarded([&] {
        if (b.TypeCharacter(char32_t(c.unicode()))) afterChange(BrowseChange::Page, old);
    });
}

// ---------------------------------------------------------------- mouse

void TIndexBrowser::mousePressEvent(QMouseEvent* event) {
    if (browser_ && event->button() == Qt::RightButton) {
        // The row under a right-click is the one its context menu acts on.
        const int row = RowAt(int(event->position().y()));
        const int old = browser_->CurrentRow();
        if (row > 0 && row <= browser_->FilledRows() && browser_->SetCurrentRow(row))
            afterChange(BrowseChange::Highlight, old);
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    if (!browser_ || event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const int row = RowAt(int(event->position().y()));
    if (row == 0) return;
    dragging_ = true;
    const int old = browser_->CurrentRow();
    if (row <= browser_->FilledRows() && browser_->SetCurrentRow(row))
        afterChange(BrowseChange::Highlight, old);
}

void TIndexBrowser::dragTo(int y) {
    if (y < 0) {
        autoScrollDir_ = -1;
    } else if (y >= footerTop()) {
        autoScrollDir_ = 1;
    } else {
        autoScrollDir_ = 0;
        autoScroll_.stop();
        const int old = browser_->CurrentRow();
        // Never past the last filled row.
        if (browser_->SetCurrentRow(RowAt(y))) afterChange(BrowseChange::Highlight, old);
        return;
    }
    if (!autoScroll_.isActive()) {
        autoScrollStep();
        if (dragging_) autoScroll_.start();
    }
}

void TIndexBrowser::autoScrollStep() {
    if (!browser_ || !dragging_ || autoScrollDir_ == 0) {
        autoScroll_.stop();
        return;
    }
    guarded([&] {
        const int old = browser_->CurrentRow();
        afterChange(autoScrollDir_ > 0 ? browser_->MoveDown() : browser_->MoveUp(), old);
    });
}

void TIndexBrowser::mouseMoveEvent(QMouseEvent* event) {
    if (!browser_ || !dragging_ || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    dragTo(int(event->position().y()));
}

void TIndexBrowser::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    autoScrollDir_ = 0;
    autoScroll_.stop();
    event->accept();
}

void TIndexBrowser::mouseDoubleClickEvent(QMouseEvent* event) {
    if (browser_ && event->button() == Qt::LeftButton) {
        const int row = RowAt(int(event->position().y()));
        if (row >= 1 && row <= browser_->FilledRows()) {
            const int old = browser_->CurrentRow();
            if (browser_->SetCurrentRow(row)) afterChange(BrowseChange::Highlight, old);
            emit DblClick();
            return;
        }
    }
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

void TIndexBrowser::wheelEvent(QWheelEvent* event) {
    if (!browser_) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    wheelRest_ += event->angleDelta().y();
    while (wheelRest_ >= kWheelNotch || wheelRest_ <= -kWheelNotch) {
        const bool up = wheelRest_ > 0;
        wheelRest_ += up ? -kWheelNotch : kWheelNotch;
        guarded([&] {
            const int old = browser_->CurrentRow();
            afterChange(up ? browser_->MoveUp() : browser_->MoveDown(), old);
        });
    }
    event->accept();
}

void TIndexBrowser::scrollContentsBy(int dx, int) {
    // The vertical bar shows a position, it does not move the rows; the horizontal bar is
    // the horizontal offset.
    if (dx != 0) QTableView::scrollContentsBy(dx, 0);
}

// ---------------------------------------------------------------- painting

void TIndexBrowser::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (footer_.isEmpty()) return;
    QPainter p(viewport());
    const QFontMetrics fm(font());
    const QRect band(0, footerTop(), viewport()->width(), rowHeight_);
    p.fillRect(band, footerColor_);
    p.setPen(footerTxtColor_);
    p.drawText(band.adjusted(2 - HorizOfs(), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, footer_);
    if (useSeparator_) p.drawLine(0, band.top(), band.width(), band.top());
}

}  // namespace invarro::ui
