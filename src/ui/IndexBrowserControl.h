// TIndexBrowser: the list control of every manager window. It is a table view over the
// page of a storage::Browser: the model holds only the rows in view, the current row is the
// view's current (selected) row, the vertical scroll bar shows the browser's position on
// 0..63, and keys, clicks, drags and the wheel become the browser's movements, so a file of
// any size scrolls without being loaded.
//
// Without columns a row is one text cell under the header line as title. With columns
// (SetColumns) the row text, made of fixed-width fields each followed by one blank, is
// shown one field per column: titled, resizable, money right-aligned, and a click on the
// title of a column that has a key asks the window to sort by it (SortRequested). A footer
// line, when set, is drawn below the rows.
//
// The control is usable once a browser object is attached. Failures of the movements it
// starts itself (keys, mouse, scroll bar) are shown through the Prompter with the text
// "Class <class> error.  Isam Error <number>" and announced by the Failed signal; the
// operations the window calls (JumpToKey, Refresh, SetKeyNumber, ...) throw
// storage::BrowserError to the window's own event boundary instead.
#pragma once

#include <QColor>
#include <QString>
#include <QTableView>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/ListColumns.h"
#include "platform/Prompter.h"
#include "storage/Browser.h"

namespace invarro::ui {

class PageModel;

class TIndexBrowser : public QTableView {
    Q_OBJECT

  public:
    // One field of the row text: its title, its width in characters, whether it holds
    // money (right-aligned) and the key that sorts by it (0: none).
    using Column = data::ListColumn;

    using TBuildRowEvent = std::function<int(TIndexBrowser* sender, storage::RowRecord& row)>;
    using TFilterEvent =
        std::function<int(TIndexBrowser* sender, storage::RowRecord& row, bool& useIt)>;
    using TFilterWorkingEvent =
        std::function<void(TIndexBrowser* sender, int callState, bool rejected)>;
    using TPrePostCompletePage = std::function<int(TIndexBrowser* sender)>;
    // Runs before a typed character is handled; it may change the character (the windows
    // upper-case it) or set it to QChar() to swallow it.
    using TKeyPressEvent = std::function<void(TIndexBrowser* sender, QChar& key)>;

    static constexpr int kNoKeyNumber = 65535;
    static constexpr int kAutoScrollMs = 40;

    explicit TIndexBrowser(QWidget* parent = nullptr);
    ~TIndexBrowser() override;

    // Replaces (and frees) any previous browser object and initialises the control. The
    // window then calls JumpToKey with an empty key to fill the page.
    void Attach(std::unique_ptr<storage::Browser> browser);
    storage::Browser* browser() const { return browser_.get(); }
    bool Ready() const { return browser_ != nullptr; }

    void SetPrompter(platform::Prompter* prompter) { prompter_ = prompter; }

    // ------------------------------------------------------------ window operations
    void JumpToKey(std::string_view key, int32_t recNo = 0);
    void SetKeyNumber(int keyNo);
    int CurrentKeyNumber() const;
    int32_t CurrentRecordNumber() const;
    std::string CurrentKeyString() const;
    // 0 on success, the error class otherwise, 5 when no browser object is attached.
    int ReadCurrentRecord(bool& unchanged);
    // Reads the highlighted row's record into the browser's buffer and gives its record
    // number; false when the list is empty or the record cannot be read.
    bool ReadHighlighted(int32_t& recNo);
    void Refresh();
    // The last page of the current key, its last row current.
    void ShowLastPage();
    // Makes the row of record recNo current when it is on the page; false when it is not.
    bool SelectRecord(int32_t recNo);
    // Moves to the first entry whose key is at or after the typed text, upper-cased as the
    // keys are, on the current key (an empty text shows the first page). True when the
    // current entry's key starts with it.
    bool SearchTyped(const QString& typed);

    // ------------------------------------------------------------ columns
    void SetColumns(std::vector<Column> columns);
    const std::vector<Column>& Columns() const { return columns_; }
    // Text of screen row 1..FilledRows() in column 0.. (the whole row without columns).
    QString CellText(int row, int column) const;
    // The columns' widths in pixels; widths given before the columns are set (the stored
    // ones) are used once the columns come, when their number matches.
    std::vector<int> ColumnWidths() const;
    void SetColumnWidths(const std::vector<int>& widths);
    // Width the columns take side by side (the header line's width without columns).
    int ContentWidth() const;

    QString Header() const { return header_; }
    void SetHeader(const QString& text);
    QString Footer() const { return footer_; }
    void SetFooter(const QString& text);
    bool FilterEnabled() const { return filterEnabled_; }
    void SetFilterEnabled(bool on);

    // ------------------------------------------------------------ appearance
    bool UseSeparator() const { return useSeparator_; }
    void SetUseSeparator(bool on);
    int HorizOfs() const;
    void SetHorizOfs(int pixels);
    int HorizStep() const { return horizStep_; }

    QColor Color() const { return color_; }
    void SetColor(const QColor& c) {
        color_ = c;
        applyColours();
    }
    QColor HeaderColor() const { return headerColor_; }
    void SetHeaderColor(const QColor& c) {
        headerColor_ = c;
        applyColours();
    }
    QColor HeaderTxtColor() const { return headerTxtColor_; }
    void SetHeaderTxtColor(const QColor& c) {
        headerTxtColor_ = c;
        applyColours();
    }
    QColor FooterColor() const { return footerColor_; }
    void SetFooterColor(const QColor& c) {
        footerColor_ = c;
        applyColours();
    }
    QColor FooterTxtColor() const { return footerTxtColor_; }
    void SetFooterTxtColor(const QColor& c) {
        footerTxtColor_ = c;
        applyColours();
    }
    QColor HighlightColor() const { return highlightColor_; }
    void SetHighlightColor(const QColor& c) {
        highlightColor_ = c;
        applyColours();
    }
    QColor HighlightTxtColor() const { return highlightTxtColor_; }
    void SetHighlightTxtColor(const QColor& c) {
        highlightTxtColor_ = c;
        applyColours();
    }

    // ------------------------------------------------------------ layout
    int RowHeight() const { return rowHeight_; }
    int RowsInView() const { return rowsInView_; }
    // Viewport rectangle of screen row 1..RowsInView().
    QRect RowRect(int row) const;
    // Screen row under viewport y, 0 when y is not over the rows.
    int RowAt(int y) const;

    // ------------------------------------------------------------ events
    void SetOnBuildRow(TBuildRowEvent handler);
    void SetOnPerformFilter(TFilterEvent handler);
    void SetOnShowFilterWorking(TFilterWorkingEvent handler);
    void SetOnPreCompletePage(TPrePostCompletePage handler);
    void SetOnPostCompletePage(TPrePostCompletePage handler);
    TKeyPressEvent OnKeyPress;

    QSize sizeHint() const override { return QSize(200, 100); }

  signals:
    // The current row changed (or the page was rebuilt around it).
    void RowChanged();
    // The control was initialised with a browser object.
    void FirstUserInit();
    void DblClick();
    // A key reached the control, before the control handles it.
    void KeyDown(int key, Qt::KeyboardModifiers modifiers);
    // A movement started by the control failed; the text has been shown.
    void Failed(const QString& text);
    // The title of a column with a key was clicked.
    void SortRequested(int keyNo);

  protected:
    void updateGeometries() override;
    void scrollTo(const QModelIndex& index, ScrollHint hint) override;
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void installHandlers();
    void relayout();
    // Viewport y of the footer line, under the rows in view.
    int footerTop() const;
    // Runs a movement started by the control; a failure is shown, never thrown.
    template <class Step>
    void guarded(Step&& step);
    void afterChange(storage::BrowseChange change, int oldRow);
    void updateScrollPosition();
    void onScrollAction(int action);
    void onSliderReleased();
    void dragTo(int y);
    void autoScrollStep();
    // The model shows the page as it is now; the view's current row is the browser's.
    void showPage();
    void applyColours();
    void sizeColumns();
    void showSortColumn();

    std::unique_ptr<storage::Browser> browser_;
    PageModel* model_ = nullptr;
    std::vector<Column> columns_;
    std::vector<int> pendingWidths_;
    platform::Prompter* prompter_ = nullptr;

    QString header_, footer_;
    bool filterEnabled_ = false;
    bool useSeparator_ = true;
    QColor color_, headerColor_, headerTxtColor_, footerColor_, footerTxtColor_, highlightColor_,
        highlightTxtColor_;
    int rowHeight_ = 1;
    int rowsInView_ = 1;
    int horizStep_ = 1;

    TBuildRowEvent onBuildRow_;
    TFilterEvent onPerformFilter_;
    TFilterWorkingEvent onShowFilterWorking_;
    TPrePostCompletePage onPreCompletePage_, onPostCompletePage_;

    bool dragging_ = false;
    int autoScrollDir_ = 0;
    QTimer autoScroll_;
    int wheelRest_ = 0;
};

}  // namespace invarro::ui
