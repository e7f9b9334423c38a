// Payments received from one customer: the open items, the items chosen to settle, partial
// payments and deposits on account, and the posting that marks invoices paid, writes the
// partial-payment, deposit and applied-deposit records and brings the customer's balance
// and aging and the company's receivables up to date.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "data/Money.h"
#include "data/Records.h"
#include "invoicing/InvEdit.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"

namespace invarro::invoicing {

inline constexpr std::string_view kPaymentWizard = "Payment Wizard";
inline constexpr std::string_view kNoBalanceDue =
    "This customer does not have a balance due. You can only record deposits on account or "
    "clear offsetting invoices and credits.";
inline constexpr std::string_view kNegativePayment =
    "You should not enter a negative number in the payment box. Create a credit invoice if you "
    "are trying to give the customer credit.";
inline constexpr std::string_view kPaymentNotNumeric =
    "The payment amount must be a numeric value.";
inline constexpr std::string_view kNothingToMoveRight =
    "There are no records to move to the right (post) box.";
inline constexpr std::string_view kNothingToMoveLeft =
    "There are no records to move to the left box.";
inline constexpr std::string_view kAmountNotAboveZero =
    "The payment amount must be greater than zero.";
inline constexpr std::string_view kPartialNotBelowDue =
    "The partial payment amount must be less than amount due.";
inline constexpr std::string_view kBadPaymentDate =
    "You have an invalid payment date. You can clear the date and then select the calendar "
    "button.";
inline constexpr std::string_view kAddDepositFailed = "Adding deposit failed.";
inline constexpr std::string_view kAddPartialFailed = "Adding partial pmt failed.";
inline constexpr std::string_view kAddRegularFailed = "Adding reg pmt failed.";
inline constexpr std::string_view kNewDeposit = "DEPOSIT";

// One line of the two lists.
struct PayItem {
    std::string number;  // trimmed; "DEPOSIT" for a new deposit on account
    std::string date;    // 8 characters, "mm/dd/yy" or "dd/mm/yy"
    data::Money amount;
    bool partial = false;  // "P": a partial payment (right) or an invoice of type Z (left)
    // The open item a partial payment was taken from carried "P" itself.
    bool fromPartial = false;
    std::string sortDate = {};  // the record's sort date (open items), for ordering by age

    bool isNewDeposit() const { return number == kNewDeposit; }
    // Number in 9, date at column 11, amount ",0.00" right-aligned in 12 at column 20,
    // "P" at column 32 for a partial item.
    std::string text() const;
};

// The list date of a record's invoice date: two-digit year in the company's date order.
std::string ListDate(const data::InvoiceRecord& record, data::DateOrder order);

// The customer's open items: every record of the customer (invoice key 2) that is not
// paid, has a balance due and is a receivable (no quotes, no repeat masters), with its
// balance due; type Z items carry "P". Sorted by their text. Nothing when the invoice
// file cannot be read.
std::optional<std::vector<PayItem>> OpenItems(storage::Fileblock* invoices, std::string_view custNo,
                                              data::DateOrder order);

// The next deposit counter after `counter`: empty (or unreadable) starts from 15000, the
// counter is raised by 1, and past 999998 it starts again from 5000.
std::string NextDepositCounter(std::string_view counter);

// What the payment window holds between the choice of the customer and the posting.
class PaymentBox {
  public:
    PaymentBox(const data::CompanyRecord& company, const data::Date& today);

    data::DateOrder dateOrder() const { return order_; }
    bool hasCustomer() const { return hasCustomer_; }
    const data::CustomerRecord& customer() const { return customer_; }

    // Takes the customer: today as payment date, "0.00" paid, no note, the open items on
    // the left and nothing on the right; says so when the customer owes nothing. False
    // when the invoice file cannot be read (the lists stay empty).
    bool chooseCustomer(const data::CustomerRecord& customer, storage::Fileblock* invoices,
                        platform::Prompter& prompter);

    std::vector<PayItem> left;   // open invoices and deposits, sorted by their text
    std::vector<PayItem> right;  // the items being posted, in the order chosen
    std::string payDate;
    std::string note;

    // The paid amount as typed. Every change of a non-empty text is checked (a message
    // for a minus sign or text that is not a number); an amount equal to the customer's
    // balance moves every open item right.
    void paidAmountTyped(const std::string& text, platform::Prompter& prompter);
    const std::string& paidText() const { return paidText_; }
    // The paid amount; nothing while the typed text is not an amount.
    std::optional<data::Money> paidAmount() const;

    data::Money posted() const;
    std::string postedText() const { return posted().shownText(); }
    // Posting is possible when the posted amount equals the paid amount and something is
    // on the right.
    bool postEnabled() const;

    // Moves one item (by index) or all; an empty source list is reported. A partial
    // payment that goes back to the left joins its invoice's item there again (with the
    // rest of the invoice when that was on the right), so that no invoice is settled for
    // more than it owes.
    bool moveRight(std::size_t index, platform::Prompter& prompter);
    bool moveAllRight(platform::Prompter& prompter);
    bool moveLeft(std::size_t index, platform::Prompter& prompter);
    bool moveAllLeft(platform::Prompter& prompter);

    // "Partial Pay&ment" applies to left items with an amount above 0 that are not new
    // deposits.
    bool partialEnabled(std::size_t leftIndex) const;
    // The amount dialog's label for a partial payment of the left item, and for a deposit.
    std::string partialLabel(std::size_t leftIndex) const;
    std::string depositLabel() const;
    // The amount dialog's checks on OK: above zero, and for a partial payment below the
    // amount due. The first failure is shown and gives nothing.
    std::optional<data::Money> checkPartialAmount(std::size_t leftIndex, const std::string& text,
                                                  platform::Prompter& prompter) const;
    static std::optional<data::Money> CheckDepositAmount(const std::string& text,
                                                         platform::Prompter& prompter);
    // Takes part of a left item: the payment goes right with "P", the item stays left with
    // what is still due.
    void partialPayment(std::size_t leftIndex, data::Money amount);
    // A new deposit on account goes right.
    void addDeposit(data::Money amount);

  private:
    void sortLeft();
    void putLeft(PayItem item);

    data::DateOrder order_;
    data::Date today_;
    bool hasCustomer_ = false;
    data::CustomerRecord customer_;
    std::string paidText_;
};

// What a posting did.
struct PostOutcome {
    bool dateValid = true;              // false: nothing was done
    data::Money written;                // the amounts of the items whose records were written
    int posted = 0;                     // items posted
    std::vector<std::string> failed;    // numbers of the items that were not posted
    std::vector<std::string> deposits;  // numbers of the deposits written
    bool customerUpdated = false;
    bool companyUpdated = false;
};

// Posts the right-list items of a payment by the customer custNo on payDate (a user date)
// with the statement note, in list order: new deposits ("DP" + the next deposit counter,
// type D), partial payments (the invoice becomes Z, an X record is added), whole items
// (marked paid; an invoice or deposit that already carries a payment gets an offsetting X
// or T record). No item takes a record below zero: such an item is refused and the others
// go on. Then the customer's balance falls by what was written, its last payment date
// becomes payDate, its aging is recomputed from its records, and the company's
// receivables and deposit counter are stored (file and memory). All of it is one posting:
// when any record, the customer or the company cannot be written, nothing of the payment
// is on file and every item is reported as not posted. Each failure is shown.
PostOutcome PostPayment(SaveFiles& files, std::string_view custNo, const std::string& payDate,
                        const std::string& note, const std::vector<PayItem>& items,
                        platform::Prompter& prompter);

}  // namespace invarro::invoicing
