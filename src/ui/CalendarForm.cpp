#include "ui/CalendarForm.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace invarro::ui {

namespace {

constexpr const char* kMonths[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};

QDate ToQDate(const data::Date& d) {
    return QDate(d.year, d.month, d.day);
}
data::Date FromQDate(const QDate& d) {
    return data::Date{d.year(), d.month(), d.day()};
}

}  // namespace

TCalendarForm::TCalendarForm(QWidget* parent, data::DateOrder order, bool viewOnly)
    : QDialog(parent), order_(order), viewOnly_(viewOnly) {
    setObjectName("CalendarForm");
    setWindowTitle(tr("Date Selection"));

    Calendar = new QCalendarWidget(this);
    Calendar->setObjectName("Calendar");
    Calendar->setAccessibleName(QStringLiteral("Calendar"));
    Calendar->setNavigationBarVisible(false);
    Calendar->setGridVisible(true);
    Calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);

    MonthList = new QComboBox(this);
    MonthList->setObjectName("MonthList");
    for (const char* m : kMonths)
        MonthList->addItem(tr(m));
    YearList = new QComboBox(this);
    YearList->setObjectName("YearList");
    YearList->setAccessibleName(QStringLiteral("Year"));
    YearList->setEditable(true);
    YearList->setInsertPolicy(QComboBox::NoInsert);

    DateText = new QLabel(this);
    DateText->setObjectName("DateText");
    QFont big = DateText->font();
    big.setBold(true);
    DateText->setFont(big);
    LongDate = new QLabel(this);
    LongDate->setObjectName("LongDate");

    OKBtn = new QPushButton(viewOnly ? tr("&Close") : tr("OK"), this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(tr("&Cancel"), this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->setVisible(!viewOnly);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* lists = new QHBoxLayout;
    lists->addWidget(MonthList, 2);
    lists->addWidget(YearList, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addWidget(Calendar);
    layout->addWidget(DateText, 0, Qt::AlignHCenter);
    layout->addWidget(LongDate, 0, Qt::AlignHCenter);
    layout->addLayout(buttons);

    connect(Calendar, &QCalendarWidget::selectionChanged, this, &TCalendarForm::showChosen);
    connect(Calendar, &QCalendarWidget::currentPageChanged, this, [this](int year, int month) {
        // Paging with the keyboard moves the selection too.
        if (updating_) return;
        QDate d = Calendar->selectedDate();
        if (d.year() != year || d.month() != month)
            Calendar->setSelectedDate(
                QDate(year, month, std::min(d.day(), QDate(year, month, 1).daysInMonth())));
    });
    connect(Calendar, &QCalendarWidget::activated, this, [this](const QDate&) {
        if (!viewOnly_) accept();
    });
    connect(MonthList, &QComboBox::activated, this, [this](int index) {
        // Choosing a month starts at its first day.
        Calendar->setSelectedDate(QDate(Calendar->selectedDate().year(), index + 1, 1));
    });
    connect(YearList, &QComboBox::activated, this, [this](int) { yearTyped(); });
    connect(YearList->lineEdit(), &QLineEdit::editingFinished, this, &TCalendarForm::yearTyped);

    setDate(data::Date{QDate::currentDate().year(), QDate::currentDate().month(),
                       QDate::currentDate().day()});
}

void TCalendarForm::setDate(const data::Date& date) {
    QDate d = ToQDate(date);
    if (!d.isValid()) d = QDate::currentDate();
    Calendar->setSelectedDate(d);
    showChosen();
}

data::Date TCalendarForm::date() const {
    return FromQDate(Calendar->selectedDate());
}

void TCalendarForm::showChosen() {
    if (updating_) return;
    updating_ = true;
    const QDate d = Calendar->selectedDate();
    Calendar->setCurrentPage(d.year(), d.month());
    MonthList->setCurrentIndex(d.month() - 1);
    fillYears(d.year());
    const data::Date chosen = FromQDate(d);
    DateText->setText(QString::fromStdString(data::FormatUserDate(chosen, order_)));
    LongDate->setText(QString::fromStdString(data::FormatLongDate(chosen)));
    updating_ = false;
}

void TCalendarForm::fillYears(int shownYear) {
    YearList->clear();
    for (int y = shownYear - 3; y <= shownYear + 3; ++y)
        YearList->addItem(QString::number(y));
    YearList->setCurrentIndex(3);
}

void TCalendarForm::yearTyped() {
    if (updating_) return;
    const QDate d = Calendar->selectedDate();
    bool ok = false;
    const int year = YearList->currentText().trimmed().toInt(&ok);
    if (!ok || year < 100 || year > 9999) {
        // Not a year: the calendar's own year stands.
        updating_ = true;
        YearList->setEditText(QString::number(d.year()));
        updating_ = false;
        return;
    }
    if (year == d.year()) return;
    const int day = std::min(d.day(), QDate(year, d.month(), 1).daysInMonth());
    Calendar->setSelectedDate(QDate(year, d.month(), day));
}

void TCalendarForm::centreOverParent() {
    adjustSize();
    QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
    if (!over) return;
    const QRect frame = over->frameGeometry();
    move(frame.center() - QPoint(width() / 2, height() / 2));
}

std::optional<data::Date> TCalendarForm::Pick(QWidget* parent, const QString& title,
                                              const data::Date& preset, data::DateOrder order) {
    TCalendarForm form(parent, order, false);
    form.setWindowTitle(title);
    form.setDate(preset);
    form.centreOverParent();
    if (form.exec() != QDialog::Accepted) return std::nullopt;
    return form.date();
}

void TCalendarForm::View(QWidget* parent, const QString& title, const data::Date& today,
                         data::DateOrder order) {
    TCalendarForm form(parent, order, true);
    form.setWindowTitle(title);
    form.setDate(today);
    form.centreOverParent();
    form.exec();
}

std::optional<data::Date> CalendarPicker::pickDate(const std::string& title,
                                                   const data::Date& preset) {
    return TCalendarForm::Pick(parent_, QString::fromStdString(title), preset, *order_);
}

}  // namespace invarro::ui
