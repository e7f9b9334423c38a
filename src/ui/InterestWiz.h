// TInterestWiz ("Interest Wizard"): the interest and late-fee settings, the scan of the
// customers (aged as of the invoice date), the grid of customers to charge with its
// totals, and the generation of their interest invoices; afterwards the "Interest Charges
// Report" in the list viewer.
#pragma once

#include <QDialog>
#include <optional>

#include "app/Session.h"
#include "invoicing/IntWizd.h"
#include "ui/CustContext.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace invarro::ui {

class TInterestWiz : public QDialog {
    Q_OBJECT
  public:
    TInterestWiz(app::Session& session, const CustomerWindowContext& context, app::RunHooks hooks,
                 QWidget* parent = nullptr);

    // Shows the wizard; after invoices were generated asks about the report and shows it.
    static void Run(app::Session& session, const CustomerWindowContext& context,
                    app::RunHooks hooks, QWidget* parent = nullptr);

    invoicing::InterestSettings settings() const;
    void scan();
    void generate();
    // The report's lines of the last generation (empty before).
    std::vector<std::string> reportLines() const;
    int created() const { return outcome_.created; }

    QRadioButton* days30;
    QRadioButton* days60;
    QRadioButton* days90;
    QLineEdit* IPct;
    QLineEdit* MinChg;
    QCheckBox* FlatCB;
    QLineEdit* FlatRate;
    QCheckBox* IPrin;
    QLineEdit* IDate;
    QLineEdit* InvComm;
    QLineEdit* StmntNote;
    QComboBox* ITerms;
    QLabel* LastRun;
    QPushButton* Button1;
    QTableWidget* CustGrid;
    QPushButton* GenInv;
    QLabel* Label3;

  private:
    void showGrid(bool withNumbers);
    void settingsChanged();

    app::Session& session_;
    CustomerWindowContext ctx_;
    app::RunHooks hooks_;
    data::DateOrder order_;
    std::optional<invoicing::InterestScan> scan_;
    invoicing::InterestSettings used_;
    invoicing::InterestOutcome outcome_;
};

}  // namespace invarro::ui
