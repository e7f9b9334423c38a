#include "cli/PostingVerbs.h"

#include <algorithm>
#include <cstdio>

#include "data/Ansi.h"
#include "data/Open.h"
#include "data/Posting.h"
#include "invoicing/InvEdit.h"
#include "invoicing/Payment.h"
#include "products/ProdEdit.h"

namespace invarro::cli {

namespace {

using data::Customer;
using data::Money;

void Print(const Context& ctx, const std::string& line) {
    std::fprintf(ctx.out(), "%s\n", line.c_str());
}

std::string Prefix(const Context& ctx) {
    return ctx.session.companyPrefix();
}

// Postings that met a lock ran again: said, so that a script sees that the books were busy.
void SayReruns(const Context& ctx) {
    if (const int64_t n = data::PostingReruns(); n > 0)
        ctx.say("the books were busy: the posting ran again " + std::to_string(n) + " time" +
                (n == 1 ? "" : "s"));
}

// A posting that did not end in the books: why, and that nothing was posted; or, when its
// commit was left in doubt by a lost connection, that it must be looked for first.
int NotPosted(Context& ctx, const std::string& why) {
    if (data::PostingsInDoubt() > 0)
        return ctx.fail(
            "the connection to the server was lost while the posting was being "
            "committed, and whether it was made is not known; look at the books "
            "before running it again");
    return ctx.fail(why + "; nothing was posted");
}

// The company's invoice files could not be opened: nothing was begun.
int FilesUnavailable(Context& ctx) {
    std::string text(invoicing::kRunFilesUnavailable);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return ctx.fail(text + "; nothing was posted");
}

// The customer of the number on the command line; nothing (and said) when there is none.
std::optional<invoicing::FoundCustomer> CustomerArg(Context& ctx, storage::Fileblock* customers,
                                                    const std::string& custNo) {
    std::optional<invoicing::FoundCustomer> found;
    if (customers && !data::TrimText(custNo).empty())
        found = invoicing::FindCustomer(customers, data::UpperText(data::TrimText(custNo)));
    if (!found) ctx.say("there is no customer " + custNo + "; nothing was posted");
    return found;
}

// One --line CODE:QTY[:PRICE].
struct LineArg {
    std::string code, quantity, price;
};

// The lines as given, or the reason they cannot be used.
std::optional<std::vector<LineArg>> LinesArg(const Context& ctx, const Args& args) {
    std::vector<LineArg> lines;
    auto given = args.values.find("--line");
    if (given == args.values.end() || given->second.empty())
        throw UsageError("give at least one --line CODE:QTY[:PRICE]");
    if (given->second.size() > std::size_t(invoicing::kLineRows))
        throw UsageError("an invoice holds at most " + std::to_string(invoicing::kLineRows) +
                         " lines");
    for (const std::string& text : given->second) {
        std::vector<std::string> parts{std::string()};
        for (char c : text) {
            if (c == ':')
                parts.emplace_back();
            else
                parts.back() += c;
        }
        if (parts.size() < 2 || parts.size() > 3)
            throw UsageError("--line takes CODE:QTY or CODE:QTY:PRICE, not \"" + text + "\"");
        LineArg line;
        line.code = data::UpperText(data::TrimText(parts[0]));
        line.quantity = data::TrimmedText(parts[1]);
        const bool priced = parts.size() == 3;
        if (priced) line.price = data::TrimmedText(parts[2]);
        if (line.code.empty()) {
            ctx.say("--line \"" + text + "\" names no product; nothing was posted");
            return std::nullopt;
        }
        const auto quantity = invoicing::CellNumber(line.quantity);
        if (line.quantity.empty() || !quantity ||
            line.quantity.size() > std::size_t(invoicing::width::kMemoQuantity)) {
            ctx.say("the quantity of --line \"" + text + "\" is not a number; nothing was posted");
            return std::nullopt;
        }
        if (priced && (!invoicing::CellAmount(line.price) ||
                       line.price.size() > std::size_t(invoicing::width::kAmount))) {
            ctx.say("the price of --line \"" + text + "\" is not an amount; nothing was posted");
            return std::nullopt;
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

// ----------------------------------------------------------------------- invoice new

int InvoiceNew(Context& ctx, const Args& args) {
    const data::DateOrder order = ctx.session.dateOrder;
    const data::Date date =
        args.value("--date") ? ctx.date("--date", *args.value("--date")) : ctx.today();
    const auto custNo = args.value("--customer");
    if (!custNo) throw UsageError("give the customer with --customer NUMBER");
    const std::string memo = args.value("--memo").value_or("");
    if (data::CharCount(memo) > std::size_t(invoicing::width::kNotes))
        return ctx.fail("--memo holds at most " + std::to_string(invoicing::width::kNotes) +
                        " characters; nothing was posted");
    const auto lines = LinesArg(ctx, args);
    if (!lines) return kExitFailed;

    invoicing::RunFiles open(ctx.folder, Prefix(ctx), ctx.prompter, true);
    if (!open.ok()) return FilesUnavailable(ctx);
    data::ExistingFileblock products;
    data::OpenExisting(products, ctx.folder, data::FileKind::Product, Prefix(ctx), ctx.prompter);
    invoicing::SaveFiles files = open.saveFiles(ctx.session.company, ctx.today());

    const auto customer = CustomerArg(ctx, files.customers, *custNo);
    if (!customer) return kExitFailed;
    // The editor proposes the number of the invoice's date, as it does for the date of the
    // last invoice saved.
    invoicing::RememberInvoiceDate(data::FormatUserDate(date, order));
    invoicing::InvoiceEditor editor =
        invoicing::InvoiceEditor::ForNew(ctx.session.company, order, ctx.today());
    editor.chooseCustomer(customer->record, ctx.prompter);
    int row = 0;
    for (const LineArg& line : *lines) {
        const auto product =
            products.fb ? products::FindProductByCode(products.fb, line.code) : std::nullopt;
        if (!product) return ctx.fail("there is no product " + line.code + "; nothing was posted");
        ++row;
        editor.entry.grid[row].quantity = line.quantity;
        editor.applyProduct(row, invoicing::ChoiceFromProduct(product->record), false);
        if (!line.price.empty()) editor.entry.grid[row].price = line.price;
        editor.cellEdited(row);
    }
    editor.entry.notes = memo;
    editor.recalc();

    invoicing::CheckContext check;
    check.invoices = files.invoices;
    check.folder = ctx.folder;
    if (invoicing::CheckInvoice(editor, check, ctx.prompter))
        return ctx.fail("the invoice was not saved (see above)");
    invoicing::SaveResult saved;
    try {
        saved = invoicing::SaveNewInvoice(files, editor, ctx.prompter);
    } catch (const invoicing::InvoiceError& e) {
        SayReruns(ctx);
        return NotPosted(ctx, e.what());
    }
    SayReruns(ctx);
    const invoicing::Totals& t = editor.totals();
    ctx.say("invoice " + saved.number + " saved for customer " +
            data::TrimmedText(customer->record.text(Customer::CustNo)) + ": " +
            std::to_string(saved.lines) + " line(s), total " + t.total.shownText() +
            ", balance due " + (t.total - t.paid).shownText());
    Print(ctx, saved.number);
    return kExitOk;
}

// ----------------------------------------------------------------------- payment

namespace {

// What a payment of `amount` settles: the named invoices in their order, else the
// customer's open items that owe something, oldest first; what is left is a deposit on
// account. Empty with `problem` set when a named invoice is not open for the customer.
std::vector<invoicing::PayItem> Allocate(const std::vector<invoicing::PayItem>& open,
                                         const std::vector<std::string>& named, Money amount,
                                         const std::string& payDate, std::string& problem) {
    std::vector<invoicing::PayItem> candidates;
    if (named.empty()) {
        for (const invoicing::PayItem& item : open)
            if (item.amount > Money()) candidates.push_back(item);
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const invoicing::PayItem& a, const invoicing::PayItem& b) {
                             return a.sortDate < b.sortDate;
                         });
    } else {
        for (const std::string& number : named) {
            const std::string wanted = data::UpperText(data::TrimText(number));
            auto it = std::find_if(open.begin(), open.end(), [&](const invoicing::PayItem& i) {
                return data::UpperText(i.number) == wanted;
            });
            if (it == open.end() || it->amount <= Money()) {
                problem = "invoice " + number + " is not an open invoice of this customer";
                return {};
            }
            if (std::any_of(candidates.begin(), candidates.end(),
                            [&](const invoicing::PayItem& c) { return c.number == it->number; }))
                continue;
            candidates.push_back(*it);
        }
    }
    std::vector<invoicing::PayItem> items;
    Money left = amount;
    for (invoicing::PayItem item : candidates) {
        if (left <= Money()) break;
        if (left < item.amount) {
            item.amount = left;
            item.partial = true;
        } else {
            item.partial = false;
        }
        left -= item.amount;
        items.push_back(item);
    }
    if (left > Money()) {
        invoicing::PayItem deposit;
        deposit.number = std::string(invoicing::kNewDeposit);
        deposit.date = payDate.size() == 10 ? payDate.substr(0, 6) + payDate.substr(8, 2) : payDate;
        deposit.amount = left;
        items.push_back(deposit);
    }
    return items;
}

}  // namespace

int Payment(Context& ctx, const Args& args) {
    const data::DateOrder order = ctx.session.dateOrder;
    const std::string custNo = args.positional[0];
    const std::string amountText = data::TrimmedText(args.positional[1]);
    const auto amount = data::ParseMoney(amountText);
    if (!amount || *amount <= Money() || amountText.find_first_of("eE") != std::string::npos)
        return ctx.fail("the amount " + args.positional[1] +
                        " is not an amount above zero; nothing was posted");
    const data::Date date =
        args.value("--date") ? ctx.date("--date", *args.value("--date")) : ctx.today();
    const std::string payDate = data::FormatUserDate(date, order);
    const std::string note = args.value("--reference").value_or("");
    if (data::CharCount(note) > std::size_t(invoicing::width::kStmntNote))
        return ctx.fail("--reference holds at most " +
                        std::to_string(invoicing::width::kStmntNote) +
                        " characters; nothing was posted");
    std::vector<std::string> named;
    if (auto it = args.values.find("--invoice"); it != args.values.end()) named = it->second;

    invoicing::RunFiles open(ctx.folder, Prefix(ctx), ctx.prompter, false);
    if (!open.ok()) return FilesUnavailable(ctx);
    invoicing::SaveFiles files = open.saveFiles(ctx.session.company, ctx.today());
    const auto customer = CustomerArg(ctx, files.customers, custNo);
    if (!customer) return kExitFailed;
    const std::string number = data::TrimmedText(customer->record.text(Customer::CustNo));

    // The open items are read inside the posting, so that what it settles is what the
    // books hold while it runs, even with others paying the same customer.
    std::string problem;
    invoicing::PostOutcome outcome;
    std::vector<invoicing::PayItem> items;
    const data::PostingRun run =
        data::RunPosting(ctx.prompter, [&](data::Posting&, platform::Prompter& held) {
            problem.clear();
            const auto openItems = invoicing::OpenItems(files.invoices, number, order);
            if (!openItems) {
                problem = "the invoices of the customer cannot be read";
                return false;
            }
            items = Allocate(*openItems, named, *amount, payDate, problem);
            if (!problem.empty()) return false;
            outcome = invoicing::PostPayment(files, number, payDate, note, items, held);
            return outcome.failed.empty() && outcome.posted == int(items.size());
        });
    SayReruns(ctx);
    if (!problem.empty()) return ctx.fail(problem + "; nothing was posted");
    if (!run.committed) return NotPosted(ctx, "the payment could not be posted");
    std::size_t deposit = 0;
    for (const invoicing::PayItem& item : items) {
        const bool isDeposit = item.isNewDeposit();
        const std::string shown = isDeposit && deposit < outcome.deposits.size()
                                      ? outcome.deposits[deposit++]
                                      : item.number;
        Print(ctx, data::PadRight(shown, 10) + data::PadLeft(item.amount.shownText(), 14) +
                       (isDeposit      ? "  deposit on account"
                        : item.partial ? "  part"
                                       : ""));
    }
    ctx.say("payment of " + amount->shownText() + " posted for customer " + number);
    return kExitOk;
}

}  // namespace invarro::cli
