// A new installation in a temporary data folder with the storage engine started, the
// company in use loaded into a session, a pinned clock, and helpers that add customers,
// invoices, lines and memos the way the program stores them.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/Installation.h"
#include "app/Password.h"
#include "app/Purge.h"
#include "app/Session.h"
#include "app/Startup.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "platform/Clock.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/Verify.h"
#include "support/RecordingProgress.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::app {

using data::Company;
using data::Customer;
using data::Invoice;
using data::InvoiceLine;
using data::Memo;
using data::Money;

inline Money Cents(int64_t c) {
    return Money::FromCents(c);
}

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        InstallResult made = CreateInstallation(dir.path(), prompter);
        ASSERT_TRUE(made.ok) << made.message;
        session.folder = dir.path();
        session.company = *data::ReadLastCompany(dir.path());
        ApplyCompanySettings(session);
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    std::string name(data::FileKind kind) const {
        return data::FileblockName(dir.path(), kind, "1");
    }

    storage::Fileblock* open(data::FileKind kind) {
        if (!data::FileExists(storage::DataFileName(name(kind)))) {
            EXPECT_TRUE(data::CreateBusinessFileblock(name(kind), data::KindOf(kind)));
        }
        storage::Fileblock* fb = storage::OpenFileblock(name(kind), false);
        EXPECT_TRUE(storage::EngineOk) << storage::EngineError;
        return fb;
    }

    template <class L>
    int32_t add(const data::Record<L>& r) {
        storage::Fileblock* fb = open(data::kFileKindOf<L>);
        data::UpdateResult u = data::AddBusinessRecord(fb, r, prompter);
        EXPECT_TRUE(u.ok());
        storage::CloseFileblock(fb);
        return u.recNo;
    }

    template <class L>
    data::Record<L> read(int32_t recNo) {
        storage::Fileblock* fb = open(data::kFileKindOf<L>);
        auto r = data::ReadBusinessRecord<L>(fb, recNo);
        storage::CloseFileblock(fb);
        EXPECT_TRUE(r.has_value()) << "record " << recNo;
        return r.value_or(data::Record<L>());
    }

    int32_t count(data::FileKind kind) {
        storage::Fileblock* fb = open(kind);
        int32_t n = storage::UsedRecordCount(fb);
        storage::CloseFileblock(fb);
        return n;
    }

    // Every structural invariant of the fileblock's files.
    void expectSound(data::FileKind kind) {
        auto problems = storage::CheckFileblock(name(kind));
        EXPECT_TRUE(problems.empty()) << problems.front();
    }

    int32_t addCustomer(const std::string& no, const std::string& customerName,
                        const std::string& shortName = "SHORT") {
        data::CustomerRecord c = data::NewRecord<Customer>();
        c.setText(Customer::CustNo, no);
        c.setText(Customer::Name, customerName);
        c.setText(Customer::ShortName, shortName);
        return add(c);
    }

    data::InvoiceRecord invoice(const std::string& invNo, const std::string& custNo,
                                const data::Date& date, Money balance,
                                const std::string& type = "I") {
        data::InvoiceRecord r = data::NewRecord<Invoice>();
        r.setText(Invoice::InvNo, invNo);
        r.setText(Invoice::CustNo, custNo);
        r.setText(Invoice::TransType, type);
        r.setText(Invoice::InvoiceStyle, "P");
        data::SetInvoiceDate(r, date, session.dateOrder);
        EXPECT_TRUE(r.setMoney(Invoice::Total, balance));
        EXPECT_TRUE(r.setMoney(Invoice::BalanceDue, balance));
        if (balance.isZero()) r.setText(Invoice::PaidFlag, "P");
        return r;
    }
    int32_t addInvoice(const std::string& invNo, const std::string& custNo, const data::Date& date,
                       Money balance, const std::string& type = "I") {
        return add(invoice(invNo, custNo, date, balance, type));
    }

    int32_t addLine(const std::string& invNo, int row) {
        data::InvoiceLineRecord l;
        l.setText(InvoiceLine::InvNo, invNo);
        l.setText(InvoiceLine::LineNo, data::LineNoText(row));
        l.setText(InvoiceLine::LineKey, data::LineKeyText(invNo, data::LineNoText(row)));
        l.setText(InvoiceLine::LineText, "1         Widget " + std::to_string(row));
        return add(l);
    }

    int32_t addMemo(const std::string& invNo) {
        data::MemoRecord m;
        m.setText(Memo::InvNo, invNo);
        data::SetMemoLines(m, {"Memo of " + invNo});
        return add(m);
    }

    // Writes the company in use into LastCo.Dat and the company file.
    void storeCompany() {
        ASSERT_TRUE(data::WriteLastCompany(dir.path(), session.company));
        storage::Fileblock* fb =
            storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Company), false);
        ASSERT_TRUE(storage::EngineOk);
        data::CompanyRecord probe;
        probe.setText(Company::CompanyNo, "1");
        auto found = data::FindAtOrAfter<Company>(fb, 1, probe);
        ASSERT_TRUE(found.has_value());
        storage::PutRecord(fb, found->recNo, session.company.data());
        ASSERT_TRUE(storage::EngineOk);
        storage::CloseFileblock(fb);
    }

    data::CompanyRecord companyInFile() {
        auto c = ReadCompanyByNumber(dir.path(), "1", prompter);
        EXPECT_TRUE(c.has_value());
        return c.value_or(data::CompanyRecord());
    }

    testing::TempDir dir;
    testing::ScriptedPrompter prompter;
    testing::RecordingProgress progress;
    platform::FixedClock clock{platform::LocalDateTime{2024, 6, 30, 14, 5, 0}};
    Session session;

  private:
    int savedFloor_ = 0;
};

// A password dialog that answers from a script and records how it was asked.
class ScriptedPasswords : public PasswordDialogPort {
  public:
    ScriptedPasswords& answer(std::string text, bool ok = true) {
        script_.push_back(PasswordEntry{ok, std::move(text)});
        return *this;
    }
    PasswordEntry askPassword(const std::string& title, bool showHelp) override {
        titles.push_back(title);
        helps.push_back(showHelp);
        if (script_.empty()) {
            ADD_FAILURE() << "password dialog not expected: " << title;
            return {};
        }
        PasswordEntry e = script_.front();
        script_.pop_front();
        return e;
    }
    ~ScriptedPasswords() override {
        if (!script_.empty()) ADD_FAILURE() << script_.size() << " password answers never used";
    }
    std::vector<std::string> titles;
    std::vector<bool> helps;

  private:
    std::deque<PasswordEntry> script_;
};

// A calendar that returns a fixed answer and remembers its question.
class ScriptedCalendar : public DatePickerPort {
  public:
    explicit ScriptedCalendar(std::optional<data::Date> answer) : answer_(answer) {}
    std::optional<data::Date> pickDate(const std::string& t, const data::Date& preset) override {
        title = t;
        shownPreset = preset;
        ++asked;
        return answer_;
    }
    std::string title;
    data::Date shownPreset;
    int asked = 0;

  private:
    std::optional<data::Date> answer_;
};

}  // namespace invarro::app
