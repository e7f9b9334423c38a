// TCoSetup, the company set-up dialog ("Company Options") with its eight tabs. It shows
// the record of a CompanySetupForm, checks the entries on "&Save" and stores them into the
// form's working record; the company manager then writes that record.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "app/CompanySetup.h"
#include "app/MailSignIn.h"
#include "data/EInvoiceData.h"
#include "ui/MailTemplateEditor.h"
#include "ui/WindowSupport.h"

class QLabel;
class QLineEdit;
class QTabWidget;

namespace invarro::ui {

class TCoSetup : public QDialog {
    Q_OBJECT
  public:
    TCoSetup(app::CompanySetupForm& form, const WindowServices& services,
             QWidget* parent = nullptr);

    app::CompanySetupForm& form() { return form_; }
    // After "&Save": the dialog edited the company in use.
    bool reloadCompanyInUse() const { return reloadCompanyInUse_; }

    // The entries of every control as they stand.
    app::ControlValues values() const;
    // The tab shown, by its caption.
    QString currentTabName() const;
    void showTab(std::string_view tab);

    // The buttons' actions, also for tests.
    void chooseFont(app::SetupFont which);
    void setFont(app::SetupFont which, const data::FontSetting& font);
    void chooseBackground();
    void chooseLogo();
    void setBackground(const QString& path);
    void setLogo(const QString& path);
    void openHeaders();
    void showHelp();
    // "Sign in..." on the E-Mail tab: the browser's sign-in with the provider chosen and the
    // entries as they stand; "Sign out" forgets the sign-in.
    void signIn();
    void signOut();
    // "Message Templates..." on the E-Mail tab: the editor of the company's e-mail
    // templates; what it gives is kept on "&Save".
    void editTemplates();
    const MailTemplateSet& mailTemplates() const { return templates_; }
    // The sign-in settings as the E-Mail tab shows them.
    app::MailSignInSettings signInValues() const;

    void accept() override;
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* buildAddressTab();
    QWidget* buildEMailTab();
    QWidget* buildEnvelopesTab();
    QWidget* buildFormsTab();
    QWidget* buildGeneralTab();
    QWidget* buildInvoicesTab();
    QWidget* buildSalesTab();
    QWidget* buildGraphicsTab();
    QWidget* buildEInvoiceTab();

    QLineEdit* edit(QWidget* parent, const char* name);
    QWidget* box(QWidget* parent, const char* name, const char* caption);
    QWidget* radio(QWidget* parent, const char* name, const char* caption);
    QWidget* fontButton(QWidget* parent, app::SetupFont which, const char* caption);
    QString chooseBitmap(const QString& current);

    void load(const app::ControlValues& values);
    void showSample(app::SetupFont which);
    void showPreview();
    // "Keep the password in the desktop keyring": the company's choice and its password
    // when the dialog opens; where the password goes on "&Save".
    void loadKeyringChoice();
    void saveKeyringChoice();
    // "Sign in with": the company's choice of password or provider, kept in the INI file;
    // the fields the choice needs are shown, the others hidden.
    void loadSignIn();
    void saveSignIn();
    void showSignInMethod(bool chosenNow);
    void showAccount(const std::string& account);
    // "Attach the document as PDF": kept in the INI file beside the keyring choice.
    void loadAttachChoice();
    void saveAttachChoice();
    // The e-mail templates, kept in the INI file beside the other mail settings.
    void loadTemplates();
    void saveTemplates();
    // The "E-Invoice" tab: the company's e-invoicing settings, kept in the INI file.
    void loadEInvoice();
    data::CompanyEInvoice einvoiceValues() const;

    app::CompanySetupForm& form_;
    WindowServices services_;
    QTabWidget* tabs_ = nullptr;
    QLabel* samples_[3] = {};
    QLabel* preview_ = nullptr;
    bool reloadCompanyInUse_ = false;
    bool shownOnce_ = false;
    // The sign-in the INI file held when the dialog opened, to tell a changed provider.
    app::MailSignInSettings storedSignIn_;
    QWidget* signInRows_[8] = {};  // the OAuth rows of the E-Mail tab's form
    MailTemplateSet templates_;
};

}  // namespace invarro::ui
