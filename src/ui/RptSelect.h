// The report windows: TRptSelect ("Report Wizard") picks a report, its dates and filter;
// Trtreport shows the report's table with sorting and sub-totals, and prints it, writes
// its PDF or text file; TTopTenChart draws the top-ten bar chart of its totals.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "output/Rptselct.h"
#include "platform/Shell.h"
#include "ui/CustContext.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;

namespace invarro::ui {

class ReportTableModel;

class TRptSelect : public QDialog {
    Q_OBJECT
  public:
    TRptSelect(const CustomerWindowContext& context, platform::Shell* shell,
               QWidget* parent = nullptr);
    ~TRptSelect() override;
    static void Run(const CustomerWindowContext& context, platform::Shell* shell,
                    QWidget* parent = nullptr);

    // The choice the controls make.
    output::ReportChoice choice() const;
    // Applies the preset named in DateSel to the date fields.
    void applyPreset();
    // "&View": checks the dates, runs the report and shows its window (modal).
    void view();

    QListWidget* ReportList;
    QLabel* Description;
    QLabel* DateLabel;
    QComboBox* DateSel;
    QLabel* FromLabel;
    QLabel* ToLabel;
    QLineEdit* FromDate;
    QLineEdit* ToDate;
    QPushButton* FromCal;
    QPushButton* ToCal;
    QLineEdit* EBrptfilter;
    QPushButton* ClearBtn;
    QPushButton* ViewBtn;

  private:
    void reportChanged();
    void pickDate(QLineEdit* field);
    CustomerWindowContext context_;
    platform::Shell* shell_;
    data::DateOrder order_;
};

class Trtreport : public QDialog {
    Q_OBJECT
  public:
    Trtreport(output::ReportView view, const CustomerWindowContext& context, platform::Shell* shell,
              QWidget* parent = nullptr);
    ~Trtreport() override;

    const output::ReportView& view() const { return view_; }
    // Re-sorts on a grid column; a column that cannot be sorted on beeps.
    void sortOn(int column);
    void print();
    // Writes the PDF into the data folder's pdf folder and opens it; the path or nothing.
    std::optional<std::string> writePdf();
    bool saveTo(const QString& path);
    void showChart();
    const output::Font& gridFont() const { return font_; }
    void setGridFont(const output::Font& font);

    QTableView* Grid;
    QCheckBox* SubTotals;
    QComboBox* SortCol;
    QPushButton* PrintBtn;
    QPushButton* FontsBtn;
    QPushButton* SetupBtn;
    QPushButton* SaveBtn;
    QPushButton* CloseBtn;
    QPushButton* HelpBtn;
    QPushButton* ChartBtn;
    QPushButton* PdfBtn;

  private:
    void fill();
    // The status window of a long print or save, which can stop it; none for a short one.
    platform::Progress* outputProgress() const;
    output::ReportView view_;
    ReportTableModel* model_ = nullptr;
    CustomerWindowContext context_;
    platform::Shell* shell_;
    output::Font font_;
};

class TTopTenChart : public QDialog {
    Q_OBJECT
  public:
    TTopTenChart(const output::TopTen& top, const QString& title, const QStringList& heads,
                 platform::Prompter& prompter, std::function<void()> onHelp,
                 QWidget* parent = nullptr);
    void setColour(bool on);
    void print();

    QWidget* Chart;
    QCheckBox* ColorCB;
    QPushButton* CloseBtn;
    QPushButton* PrintBtn;
    QPushButton* HelpBtn;
    QLabel* TopLabel;
    QLabel* OtherLabel = nullptr;
    QLabel* GrandLabel = nullptr;
    QList<QLabel*> legend;

  private:
    void paintLegend();
    output::TopTen top_;
    platform::Prompter& prompter_;
    bool colour_ = false;
};

}  // namespace invarro::ui
