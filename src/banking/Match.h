// Proposals for stored bank lines: which open invoices of which customer a credit pays,
// and why. The rules, in order:
//  1. a structured reference (RF or Swiss QR) naming an open invoice;
//  2. invoice numbers standing as whole words in the text (leading zeros as the invoice
//     editor compares numbers), never as part of a longer word or number;
//  3. for the customer the line names (a customer reference, an IBAN seen on lines already
//     posted for the customer, or the payer's name), the one set among the customer's 20
//     oldest open invoices whose balances add up to the amount; two sets that fit give none.
//     Without such a set, the one set that adds up to the amount less one combination of
//     the customer's 5 oldest open credits (credit notes, deposits on account), applied whole.
// A line that pays one named invoice net of one combination of the customer's open credits
// (and of no other) pays it whole with those credits applied.
// With one invoice named, an amount below its balance is a partial payment and one above
// it pays the invoice and leaves the rest as a deposit on account. Debits, reversals, other
// currencies and amounts finer than a cent are never proposed.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "banking/BankLines.h"
#include "data/Money.h"
#include "storage/Engine.h"

namespace invarro::banking {

struct OpenInvoice {
    std::string number;  // trimmed as stored
    std::string custNo;
    data::Money due;
    std::string sortDate;  // yyyymmdd
};

struct MatchBooks {
    std::string currency;  // the books' currency; lines in any other are not matched
    std::vector<OpenInvoice> open;
    std::vector<OpenInvoice> credits;  // receivables with a balance below zero, oldest first
    std::map<std::string, std::string> customerNames;  // number -> name
    std::map<std::string, std::string> ibanCustomer;   // compact IBAN -> customer number
};

// The open invoices of the company (receivables with a balance due above zero, not
// paid), its open credits (below zero), its customers, and the IBANs its posted bank lines taught.
// Nothing when a file cannot be read.
std::optional<MatchBooks> LoadBooks(storage::Fileblock* invoices, storage::Fileblock* customers,
                                    storage::Fileblock* bankLines, std::string currency);

// Chosen: the customer and invoices the user picked.
enum class Rule { None, Reference, InvoiceNumber, CustomerSum, Chosen };

struct Allocation {
    std::string invNo;
    data::Money amount;
    bool partial = false;
    bool operator==(const Allocation&) const = default;
};

struct Proposal {
    Rule rule = Rule::None;
    std::string custNo;
    std::vector<Allocation> invoices;
    data::Money deposit;  // the rest of an overpayment, on account
    std::string why;      // why this proposal, or why there is none
    // The reference or an invoice number names exactly one open invoice and the amount is
    // its balance due: what "--post exact" posts.
    bool exact() const;
    bool found() const { return rule != Rule::None; }
};

// Upper case, German and other Latin letters spelled out as banks spell them (Ü as UE,
// ß as SS, é as E), everything but letters and digits one blank.
std::string NormalizedName(std::string_view name);

Proposal Propose(const StatementLine& line, const MatchBooks& books);

// The posted credit a debit or reversal returns: the latest posted line of the same
// account, amount and currency booked no later, from the same payer (IBAN, else name).
// It is shown beside the return for the user to undo that payment; never undone by itself.
const StoredLine* ReturnedPayment(const StoredLine& line, const std::vector<StoredLine>& all);

}  // namespace invarro::banking
