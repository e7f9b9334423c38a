#include "ui/IndexBrowserControl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <algorithm>

namespace invarro::ui {

using storage::BrowseChange;
using storage::BrowserError;
using storage::RowRecord;

namespace {

constexpr int kWheelNotch = 120;
constexpr int kHorizSteps = 128;
constexpr int kMaxComputedRows = 65520;

QString CutText(const QString& text) {
    return text.left(storage::kRowTextMax);
}

}  // namespace

TIndexBrowser::TIndexBrowser(QWidget* parent) : QAbstractScrollArea(parent) {
    const QPalette pal = palette();
    color_ = pal.color(QPalette::Base);
    headerColor_ = footerColor_ = pal.color(QPalette::Button);
    headerTxtColor_ = footerTxtColor_ = pal.color(QPalette::ButtonText);
    highlightColor_ = pal.color(QPalette::Highlight);
    highlightTxtColor_ = pal.color(QPalette::HighlightedText);

    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
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
        viewport()->update();
        return;
    }
    installHandlers();
    guarded([&] { browser_->SetFilterEnabled(filterEnabled_); });
    relayout();
    viewport()->update();
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
        viewport()->update();
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
        viewport()->update();
        throw;
    }
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
    viewport()->update(RowRect(browser_->CurrentRow()));
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
        viewport()->update();
        throw;
    }
    afterChange(BrowseChange::Page, old);
}

void TIndexBrowser::SetHeader(const QString& text) {
    QString cut = CutText(text);
    if (cut == header_) return;
    header_ = cut;
    relayout();
    if (browser_ && browser_->Filled()) guarded([&] { Refresh(); });
    viewport()->update();
}

void TIndexBrowser::SetFooter(const QString& text) {
    QString cut = CutText(text);
    if (cut == footer_) return;
    footer_ = cut;
    relayout();
    if (browser_ && browser_->Filled()) guarded([&] { Refresh(); });
    viewport()->update();
}

void TIndexBrowser::SetFilterEnabled(bool on) {
    if (on == filterEnabled_) return;
    filterEnabled_ = on;
    if (!browser_) return;
    const int old = browser_->CurrentRow();
    try {
        browser_->SetFilterEnabled(on);
    } catch (const BrowserError&) {
        viewport()->update();
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

int TIndexBrowser::rowsTop() const {
    return header_.isEmpty() ? 0 : rowHeight_;
}

QRect TIndexBrowser::rowsRect() const {
    return QRect(0, rowsTop(), viewport()->width(), rowsInView_ * rowHeight_);
}

QRect TIndexBrowser::RowRect(int row) const {
    return QRect(0, rowsTop() + (row - 1) * rowHeight_, viewport()->width(), rowHeight_);
}

int TIndexBrowser::RowAt(int y) const {
    if (y < rowsTop()) return 0;
    int row = (y - rowsTop()) / rowHeight_ + 1;
    return row > rowsInView_ ? 0 : row;
}

void TIndexBrowser::relayout() {
    const QFontMetrics fm(font());
    rowHeight_ = std::max(1, fm.height() + std::max(0, fm.leading()));
    int rows = viewport()->height() / rowHeight_;
    if (!header_.isEmpty()) --rows;
    if (!footer_.isEmpty()) --rows;
    if (rows <= 0 || rows > kMaxComputedRows) rows = 1;
    // The page holds at most the browser's row capacity; a taller window leaves the rest
    // of its area empty rather than showing rows the page does not have.
    rowsInView_ = std::min(rows, storage::kBrowserMaxRows);

    horizStep_ = std::max(1, (fm.averageCharWidth() + fm.maxWidth()) / 2);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, kHorizSteps * horizStep_ - viewport()->width()));
    h->setSingleStep(horizStep_);
    h->setPageStep(std::max(1, viewport()->width()));

    if (!browser_) return;
    guarded([&] {
        const int before = browser_->CurrentRow();
        const int32_t recBefore = browser_->CurrentRecordNumber();
        browser_->SetRowsInView(rowsInView_);
        viewport()->update();
        updateScrollPosition();
        if (browser_->CurrentRow() != before || browser_->CurrentRecordNumber() != recBefore)
            emit RowChanged();
    });
}

void TIndexBrowser::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void TIndexBrowser::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
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

void TIndexBrowser::afterChange(BrowseChange change, int oldRow) {
    if (!browser_) return;
    const int row = browser_->CurrentRow();
    switch (change) {
        case BrowseChange::None:
            return;
        case BrowseChange::Highlight:
            viewport()->update(RowRect(oldRow));
            viewport()->update(RowRect(row));
            break;
        case BrowseChange::ScrolledUp:
            // The painted rows move instead of being drawn again; only the row that left
            // the highlight and the new last row are painted.
            viewport()->scroll(0, -rowHeight_, rowsRect());
            viewport()->update(RowRect(rowsInView_ - 1));
            viewport()->update(RowRect(rowsInView_));
            break;
        case BrowseChange::ScrolledDown:
            viewport()->scroll(0, rowHeight_, rowsRect());
            viewport()->update(RowRect(1));
            viewport()->update(RowRect(2));
            break;
        case BrowseChange::Page:
            viewport()->update();
            break;
    }
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
    if (y < rowsTop()) {
        autoScrollDir_ = -1;
    } else if (y >= rowsTop() + rowsInView_ * rowHeight_) {
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
    // The vertical bar shows a position, it does not move pixels; the horizontal bar is
    // the horizontal offset.
    if (dx != 0) viewport()->update();
}

// ---------------------------------------------------------------- painting

void TIndexBrowser::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    const QRect area = viewport()->rect();
    p.fillRect(event->rect(), color_);
    p.setFont(font());
    const QFontMetrics fm(font());
    const int lead = std::max(0, fm.leading());
    const int x = 2 - HorizOfs();
    const int w = area.width();
    auto textAt = [&](const QRect& band, const QString& text) {
        p.drawText(QPoint(x, band.top() + lead + fm.ascent()), text);
    };

    if (!header_.isEmpty()) {
        const QRect band(0, 0, w, rowHeight_);
        p.fillRect(band, headerColor_);
        p.setPen(headerTxtColor_);
        textAt(band, header_);
        if (useSeparator_) p.drawLine(0, band.bottom(), w, band.bottom());
    }
    if (!footer_.isEmpty()) {
        const QRect band(0, area.height() - rowHeight_, w, rowHeight_);
        p.fillRect(band, footerColor_);
        p.setPen(footerTxtColor_);
        textAt(band, footer_);
        if (useSeparator_) p.drawLine(0, band.top(), w, band.top());
    }
    if (!browser_) return;

    const QColor normalText = palette().color(QPalette::Text);
    QFont failedFont = font();
    failedFont.setItalic(true);
    const int filled = std::min(browser_->FilledRows(), rowsInView_);
    const int current = browser_->CurrentRow();
    for (int i = 1; i <= filled; ++i) {
        const QRect r = RowRect(i);
        if (!r.intersects(event->rect())) continue;
        const RowRecord& row = browser_->Row(i);
        const bool isCurrent = i == current;
        if (isCurrent) p.fillRect(r, highlightColor_);
        if (row.status < 0) {
            // A row whose record could not be read shows the failure in red.
            p.setFont(failedFont);
            p.setPen(isCurrent ? highlightTxtColor_ : QColor(Qt::red));
        } else {
            p.setFont(font());
            p.setPen(isCurrent ? highlightTxtColor_ : normalText);
        }
        textAt(r, QString::fromStdString(row.text));
    }
    browser_->MarkPainted();
}

}  // namespace invarro::ui
