#include "ui/FindForm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "data/Texts.h"

namespace invarro::ui {

namespace {

constexpr const char* kSection = "FindForm";

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

}  // namespace

TFindForm::TFindForm(storage::Fileblock* fb, customers::FindMode mode, const QString& title,
                     const WindowServices& services, QWidget* parent)
    : QDialog(parent), fb_(fb), mode_(mode), services_(services) {
    setObjectName(QStringLiteral("TFindForm"));
    setWindowTitle(title);
    setModal(true);

    auto* caption = new QLabel(QStringLiteral("Text to Find :"), this);
    entry_ = new QLineEdit(this);
    entry_->setObjectName(QStringLiteral("FindText"));
    caption->setBuddy(entry_);
    findButton_ = new QPushButton(QStringLiteral("Find"), this);
    findButton_->setObjectName(QStringLiteral("FindBtn"));
    findButton_->setAutoDefault(false);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("FindList"));
    list_->setAccessibleName(QStringLiteral("Records found"));
    list_->setColumnCount(customers::kFindColumns);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setSectionsClickable(true);
    list_->header()->setStretchLastSection(false);
    list_->installEventFilter(this);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("FindProgress"));
    progress_->setTextVisible(false);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("StatusText"));
    status_->setFrameShape(QFrame::StyledPanel);

    auto* help = new QPushButton(QStringLiteral("Help"), this);
    help->setObjectName(QStringLiteral("HelpBtn"));
    help->setAutoDefault(false);
    help->setEnabled(bool(services_.help));
    auto* exit = new QPushButton(QStringLiteral("&Exit"), this);
    exit->setObjectName(QStringLiteral("ExitBtn"));
    exit->setAutoDefault(false);

    connect(entry_, &QLineEdit::textChanged, this, [this] {
        searchedThisText_ = false;
        updateFindButton();
    });
    connect(entry_, &QLineEdit::returnPressed, this, [this] {
        if (findButton_->isEnabled()) find();
    });
    connect(findButton_, &QPushButton::clicked, this, &TFindForm::find);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { pick(); });
    connect(list_->header(), &QHeaderView::sectionClicked, this, &TFindForm::sortByColumn);
    connect(help, &QPushButton::clicked, this,
            [this] { services_.help(std::string(customers::kFindHelpTopic)); });
    connect(exit, &QPushButton::clicked, this, &TFindForm::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(caption);
    top->addWidget(entry_, 1);
    top->addWidget(findButton_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(progress_, 1);
    bottom->addWidget(help);
    bottom->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(bottom);
    layout->addWidget(status_);
    RestoreBounds(this, services_.folder, kSection, 720, 420);
    Open(mode);
}

void TFindForm::Open(customers::FindMode mode) {
    mode_ = mode;
    rows_.clear();
    picked_.reset();
    sortColumn_ = -1;
    list_->clear();
    QStringList titles;
    const auto& columns = customers::FindColumnsOf(mode);
    for (const auto& c : columns)
        titles << Q(c.title);
    list_->setHeaderLabels(titles);
    for (int i = 0; i < customers::kFindColumns; ++i) {
        const int width = columns[size_t(i)].width;
        list_->setColumnHidden(i, width == 0);
        if (width > 0) list_->setColumnWidth(i, width);
    }
    entry_->clear();
    progress_->setRange(0, 1);
    progress_->setValue(0);
    status_->setText(Q(customers::kFindPrompt));
    searchedThisText_ = false;
    updateFindButton();
    entry_->setFocus();
}

void TFindForm::updateFindButton() {
    findButton_->setEnabled(!searching_ && !searchedThisText_ &&
                            !data::TrimText(entry_->text().toStdString()).empty());
}

QString TFindForm::statusText() const {
    return status_->text();
}

void TFindForm::find() {
    if (searching_) return;
    const std::string text = customers::FindSearchText(entry_->text().toStdString());
    if (text.empty()) return;
    searching_ = true;
    stopRequested_ = false;
    updateFindButton();
    rows_.clear();
    picked_.reset();
    list_->clear();
    status_->setText(Q(customers::kFindSearching));
    progress_->setRange(0, 1);
    progress_->setValue(0);

    customers::FindResult result =
        customers::FindRecords(fb_, mode_, text, [this](int32_t slot, int32_t slotCount) {
            if (progress_->maximum() != slotCount) progress_->setRange(0, slotCount);
            progress_->setValue(slot);
            // The window stays alive while the file is read: it repaints, and Exit stops
            // the search.
            QApplication::processEvents();
            return !stopRequested_;
        });
    searching_ = false;
    rows_ = std::move(result.rows);
    sortColumn_ = -1;
    progress_->setValue(progress_->maximum());
    searchedThisText_ = true;
    updateFindButton();
    if (closeWhenStopped_) {
        QDialog::reject();
        return;
    }
    showRows();
    if (result.engineError != 0 && !stopRequested_)
        services_.prompter->inform(windowTitle().toStdString(),
                                   "The search stopped at an unreadable record (error " +
                                       std::to_string(result.engineError) + ").",
                                   platform::Icon::Error);
    if (!rows_.empty()) {
        status_->setText(Q(customers::FindResultText(rows_.size())));
        list_->setFocus();
        list_->setCurrentItem(list_->topLevelItem(0));
    } else {
        services_.prompter->inform(std::string(customers::kFindNoMatchTitle),
                                   std::string(customers::kFindNoMatchText));
        status_->setText(Q(customers::kFindNothing));
    }
}

void TFindForm::showRows() {
    list_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(rows_.size()));
    for (size_t r = 0; r < rows_.size(); ++r) {
        auto* item = new QTreeWidgetItem;
        for (int i = 0; i < customers::kFindColumns; ++i)
            item->setText(i, QString::fromStdString(rows_[r].cells[size_t(i)]));
        item->setData(0, Qt::UserRole, qulonglong(r));
        items << item;
    }
    list_->addTopLevelItems(items);
}

void TFindForm::sortByColumn(int column) {
    if (searching_ || rows_.empty()) return;
    sortDescending_ = column == sortColumn_ ? !sortDescending_ : false;
    sortColumn_ = column;
    customers::SortFindRows(rows_, column, sortDescending_);
    showRows();
    list_->setCurrentItem(list_->topLevelItem(0));
}

void TFindForm::pick() {
    QTreeWidgetItem* item = list_->currentItem();
    if (searching_ || !item) {
        services_.prompter->beep();
        return;
    }
    const size_t r = size_t(item->data(0, Qt::UserRole).toULongLong());
    if (r >= rows_.size()) {
        services_.prompter->beep();
        return;
    }
    picked_ = rows_[r];
    accept();
}

bool TFindForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            pick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFindForm::reject() {
    if (searching_) {
        // The search ends at the next record and the window closes then.
        stopRequested_ = true;
        closeWhenStopped_ = true;
        return;
    }
    QDialog::reject();
}

void TFindForm::done(int result) {
    SaveBounds(this, services_.folder, kSection);
    QDialog::done(result);
}

}  // namespace invarro::ui
