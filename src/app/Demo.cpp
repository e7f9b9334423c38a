#include "app/Demo.h"

#include "app/DemoCompanies.h"
#include "app/DemoEInvoice.h"
#include "app/Interest.h"
#include "app/MailSignIn.h"
#include "app/Startup.h"
#include "app/TilePicture.h"
#include "banking/Demo.h"
#include "customers/Demo.h"
#include "customers/DemoImport.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "invoicing/Demo.h"
#include "invoicing/PaymentDemo.h"
#include "output/Demo.h"
#include "output/EMail.h"
#include "output/MailTemplates.h"
#include "platform/Clock.h"
#include "products/Demo.h"
#include "products/DemoImport.h"
#include "storage/Engine.h"
#include "storage/Transaction.h"

namespace invarro::app {

namespace {

using data::Company;

void SetUpDemoCompany(data::CompanyRecord& c) {
    c.setText(Company::Name, "Harbor Light Print & Design");
    c.setText(Company::CoAddr1, "1420 Water Street, Suite 3");
    c.setText(Company::CoAddr2, "Portland, ME 04101");
    c.setText(Company::CoAddr3, "Phone (207) 555-0142");
    c.setText(Company::CoAddr4, "billing@harborlight.example");
    c.setText(Company::CoAddr5, "");
    c.setText(Company::EMailAddress, "billing@harborlight.example");
    c.setText(Company::EMailLogin, "billing@harborlight.example");
    c.setText(Company::EMailHost, "smtp.harborlight.example");
    c.setText(Company::EMailPort, "587");
    c.setText(Company::DefTaxRate, "5.500");
    c.setByte(Company::CalcTaxes, 1);
    c.setText(Company::DefTerms, "Net 30 Days");
    c.setText(Company::SalesMsg1, "Thank you for your business!");
    c.setText(Company::MemoHeading, "Description of Work");
    c.setText(Company::SalesMsg2, "Payment is due within 30 days of the invoice date.");
    c.setText(Company::NextInvNo, "1001");
    c.setText(Company::NextCustNo, "100");
    c.setByte(Company::ShowAgingChart, 1);
    c.setByte(Company::UseBackground, 1);
    c.setText(Company::BackgroundFile, "background.bmp");
}

}  // namespace

InstallResult CreateDemoInstallation(const std::string& folder, platform::Prompter& prompter) {
    // Thousands of postings make the demo, each all or nothing; a demo lost to a power cut
    // is simply made again, so they are not synced one by one.
    struct Quick {
        Quick() { storage::SetDurableCommits(false); }
        ~Quick() {
            storage::CheckpointJournal();
            storage::SetDurableCommits(true);
        }
    } quick;
    InstallResult result = CreateInstallation(folder, prompter);
    if (!result.ok) return result;
    result.ok = false;

    const std::string name = data::FileblockName(folder, data::FileKind::Company);
    storage::Fileblock* fb = storage::OpenFileblock(name, false);
    if (!storage::EngineOk) {
        result.message = "Cannot open the company file " + name + " (engine error " +
                         std::to_string(storage::EngineError) + ")";
        return result;
    }
    data::CompanyRecord probe;
    probe.setText(Company::CompanyNo, "1");
    auto found = data::FindAtOrAfter<Company>(fb, 1, probe);
    if (!found) {
        storage::CloseFileblock(fb);
        result.message = "Company 1 is missing from " + name;
        return result;
    }
    data::CompanyRecord demo = found->record;
    SetUpDemoCompany(demo);
    data::UpdateResult changed =
        data::ChangeBusinessRecord(fb, found->recNo, found->record, demo, prompter);
    storage::CloseFileblock(fb);
    if (!changed.ok()) {
        result.message = "Cannot store the demo company (engine error " +
                         std::to_string(changed.engineError) + ")";
        return result;
    }
    // A customer list to try the program with, added as the customer editor adds them;
    // the company's next customer number moves on with them.
    customers::DemoResult people = customers::AddDemoCustomers(folder, demo, prompter);
    if (!people.ok) {
        result.message = "Cannot add the demo customers: " + people.error;
        return result;
    }
    platform::SystemClock clock;
    products::DemoResult goods = products::AddDemoProducts(folder, demo, prompter, clock);
    if (!goods.ok) {
        result.message = "Cannot add the demo products: " + goods.error;
        return result;
    }
    // Two years of invoices, quotes and memo invoices, written as the invoice editor saves
    // them; the company's receivables and next invoice number move on with them.
    const data::Date today = data::Today(clock);
    invoicing::DemoInvoicesResult bills = invoicing::AddDemoInvoices(folder, demo, today, prompter);
    if (!bills.ok) {
        result.message = "Cannot add the demo invoices: " + bills.error;
        return result;
    }
    // Payments received on them, posted as the Payment Wizard posts them.
    invoicing::DemoPaymentsResult paid = invoicing::AddDemoPayments(folder, demo, today);
    if (!paid.ok) {
        result.message = "Cannot add the demo payments: " + paid.error;
        return result;
    }
    invoicing::DemoRepeatResult repeats =
        invoicing::AddDemoRepeatAndInterest(folder, demo, today, prompter, AgeDemoCompany);
    if (!repeats.ok) {
        result.message = "Cannot add the demo repeat billing: " + repeats.error;
        return result;
    }
    // One order long enough to run over two printed pages.
    invoicing::DemoInvoicesResult large =
        invoicing::AddDemoLongInvoice(folder, demo, today, prompter);
    if (!large.ok) {
        result.message = "Cannot add the demo invoices: " + large.error;
        return result;
    }
    std::string error;
    // Sample files for the customer and product imports.
    if (!customers::WriteDemoCustomerImportFile(folder, &error) ||
        !products::WriteDemoProductImportFile(folder, &error)) {
        result.message = error;
        return result;
    }
    if (!data::WriteLastCompany(folder, demo, &error) ||
        !WriteInstallationPictures(folder, &error)) {
        result.message = error;
        return result;
    }
    // A label layout and a reminder letter for the label and letter wizards.
    if (!output::WriteDemoLabelsAndLetter(folder, &error)) {
        result.message = error;
        return result;
    }
    // A second company, so that switching companies can be tried.
    InstallResult second = AddDemoSecondCompany(folder, prompter);
    if (!second.ok) {
        result.message = second.message;
        return result;
    }
    // The second company sends through Microsoft 365; it is not signed in, since the demo
    // has no application registered there.
    {
        data::IniFile ini(data::IniFilePath(folder));
        MailSignInSettings microsoft;
        microsoft.method = SignInMethod::Microsoft;
        if (!WriteMailSignIn(ini, "2", microsoft, &error)) {
            result.message = error;
            return result;
        }
    }
    // The second company gets customers of its own.
    std::optional<data::CompanyRecord> other = ReadCompanyByNumber(folder, "2", prompter);
    if (!other) {
        result.message = "The second demo company cannot be read.";
        return result;
    }
    customers::DemoResult otherPeople = customers::AddDemoCustomers(folder, *other, prompter);
    if (!otherPeople.ok) {
        result.message = "Cannot add the demo customers: " + otherPeople.error;
        return result;
    }
    products::DemoResult otherGoods = products::AddDemoProducts(folder, *other, prompter, clock);
    if (!otherGoods.ok) {
        result.message = "Cannot add the demo products: " + otherGoods.error;
        return result;
    }
    invoicing::DemoInvoicesResult otherBills =
        invoicing::AddDemoInvoices(folder, *other, today, prompter);
    if (!otherBills.ok) {
        result.message = "Cannot add the demo invoices: " + otherBills.error;
        return result;
    }
    invoicing::DemoPaymentsResult otherPaid = invoicing::AddDemoPayments(folder, *other, today);
    if (!otherPaid.ok) {
        result.message = "Cannot add the demo payments: " + otherPaid.error;
        return result;
    }
    invoicing::DemoRepeatResult otherRepeats =
        invoicing::AddDemoRepeatAndInterest(folder, *other, today, prompter, AgeDemoCompany);
    // Its interest run rewrote "LastCo.Dat": the first company stays the one in use.
    if (!otherRepeats.ok || !data::WriteLastCompany(folder, demo, &error)) {
        result.message = "Cannot add the demo repeat billing: " + otherRepeats.error + error;
        return result;
    }
    // A European sister company that bills in euro with VAT and sends e-invoices: one
    // invoice of every kind an e-invoice is made from.
    InstallResult third = AddDemoEuropeanCompany(folder, prompter);
    if (!third.ok) {
        result.message = third.message;
        return result;
    }
    std::optional<data::CompanyRecord> europe = ReadCompanyByNumber(folder, "3", prompter);
    if (!europe) {
        result.message = "The third demo company cannot be read.";
        return result;
    }
    DemoEInvoiceResult einvoices = AddDemoEInvoices(folder, *europe, today, prompter);
    if (!einvoices.ok || !data::WriteLastCompany(folder, demo, &error)) {
        result.message = "Cannot add the demo e-invoices: " + einvoices.error + error;
        return result;
    }
    // A statement of its bank account that pays some of its invoices, imported.
    const banking::DemoBankResult statement = banking::AddDemoBankStatement(
        folder, *europe, data::ReadCompanyEInvoice(folder, *europe).iban, today, prompter);
    if (!statement.ok) {
        result.message = "Cannot add the demo bank statement: " + statement.error;
        return result;
    }
    // A Swiss company whose invoices end with the QR-bill, and a statement of its QR-IBAN
    // account that pays one by the bill's QR reference.
    InstallResult fourth = AddDemoSwissCompany(folder, prompter);
    if (!fourth.ok) {
        result.message = fourth.message;
        return result;
    }
    std::optional<data::CompanyRecord> swiss = ReadCompanyByNumber(folder, "4", prompter);
    if (!swiss) {
        result.message = "The fourth demo company cannot be read.";
        return result;
    }
    DemoEInvoiceResult swissBills = AddDemoSwissBills(folder, *swiss, today, prompter);
    if (!swissBills.ok || !data::WriteLastCompany(folder, demo, &error)) {
        result.message = "Cannot add the demo QR-bills: " + swissBills.error + error;
        return result;
    }
    const banking::DemoBankResult swissStatement = banking::AddDemoBankStatement(
        folder, *swiss, data::ReadCompanyEInvoice(folder, *swiss).iban, today, prompter);
    if (!swissStatement.ok) {
        result.message = "Cannot add the demo bank statement: " + swissStatement.error;
        return result;
    }
    // The companies e-mail their documents with the PDF attached (the customers' addresses
    // are all in the reserved .example domain, so nothing reaches anybody).
    data::IniFile ini(data::IniFilePath(folder));
    for (const data::CompanyRecord* c : {&demo, &*other, &*europe, &*swiss})
        if (!output::SetAttachDocumentPdf(ini, c->text(Company::CompanyNo), true, &error)) {
            result.message = error;
            return result;
        }
    // The European company words its invoice e-mails itself: the amount to pay, by when,
    // and the payment reference its bank statement is matched by.
    const output::MailTemplate europeInvoice{
        "{Document} {Number} from {Company}",
        "Dear {Customer},\n\nattached is our {Document} {Number} of {Date} for {Amount}.\n"
        "Please transfer {Balance Due} by {Due Date}, quoting {Number} as the reference.\n\n"
        "Kind regards\n{Company}\n"};
    if (!output::WriteMailTemplate(ini, europe->text(Company::CompanyNo), output::MailKind::Invoice,
                                   europeInvoice, &error)) {
        result.message = error;
        return result;
    }
    result.ok = true;
    result.message = "Demo installation in " + folder + ": company 1 \"" +
                     demo.text(Company::Name) + "\" created with " + std::to_string(people.added) +
                     " customers, " + std::to_string(goods.added) + " products and " +
                     std::to_string(bills.invoices) + " invoices. " + second.message + " " +
                     third.message + " " + fourth.message;
    return result;
}

}  // namespace invarro::app
