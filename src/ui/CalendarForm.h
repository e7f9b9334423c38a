// The calendar window "Date Selection": a month calendar with a month list, a list of
// seven years around the shown year, and the chosen date written the company's way and
// in words. A double-click chooses the date, except when the calendar is only viewed.
#pragma once

#include <QDialog>
#include <optional>

#include "app/Purge.h"
#include "data/Dates.h"

class QCalendarWidget;
class QComboBox;
class QLabel;
class QPushButton;

namespace invarro::ui {

class TCalendarForm : public QDialog {
    Q_OBJECT
  public:
    // viewOnly: the "View Calendar" command, where a double-click does not close.
    TCalendarForm(QWidget* parent, data::DateOrder order, bool viewOnly = false);

    void setDate(const data::Date& date);
    data::Date date() const;
    // Centres the window over the parent's window.
    void centreOverParent();

    // Shows the calendar modally; the chosen date, or nothing when cancelled.
    static std::optional<data::Date> Pick(QWidget* parent, const QString& title,
                                          const data::Date& preset, data::DateOrder order);
    // Shows the calendar for looking only.
    static void View(QWidget* parent, const QString& title, const data::Date& today,
                     data::DateOrder order);

    QCalendarWidget* Calendar;
    QComboBox* MonthList;
    QComboBox* YearList;
    QLabel* DateText;
    QLabel* LongDate;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

  private:
    void showChosen();
    void fillYears(int shownYear);
    void yearTyped();

    data::DateOrder order_;
    bool viewOnly_;
    bool updating_ = false;
};

// The calendar for the logic's date questions (the purge and others).
class CalendarPicker : public app::DatePickerPort {
  public:
    CalendarPicker(QWidget* parent, const data::DateOrder* order)
        : parent_(parent), order_(order) {}
    std::optional<data::Date> pickDate(const std::string& title, const data::Date& preset) override;

  private:
    QWidget* parent_;
    const data::DateOrder* order_;
};

}  // namespace invarro::ui
