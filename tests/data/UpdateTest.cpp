// The record-update protocol and the opening of business fileblocks: keys written with
// their records, lock retries at the user's choice, compare-before-write, and files left
// exactly as they were when any engine step fails.

#include <filesystem>

#include "DataFixture.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/OperationError.h"
#include "data/Posting.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "storage/Transaction.h"

namespace invarro::data {
namespace {

using platform::Answer;
using storage::EngineOp;
using storage::InjectFault;

constexpr int32_t kOtherError = storage::err::OsOther;  // class 4
constexpr int32_t kBusyError = 10306;                   // class 2

CustomerRecord NewCustomer(const std::string& no, const std::string& name) {
    CustomerRecord c;
    c.setText(Customer::CustNo, no);
    c.setText(Customer::Name, name);
    c.setYes(Customer::TaxExempt, false);
    (void)c.setMoney(Customer::Balance, Money());
    return c;
}

InvoiceRecord NewInvoice(const std::string& no, const std::string& cust, const Date& date) {
    InvoiceRecord inv;
    inv.setText(Invoice::InvNo, no);
    inv.setText(Invoice::TransType, "I");
    inv.setText(Invoice::KeyCode, "None");
    inv.setText(Invoice::CustNo, cust);
    SetInvoiceDate(inv, date, DateOrder::MonthFirst);
    return inv;
}

class UpdateTest : public DataTest {};

TEST_F(UpdateTest, AddWritesTheRecordAndEveryKey) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    CustomerRecord c = NewCustomer("1", "Acme");
    WriteInt32(c.data(), 77);  // whatever the caller left there, a new record is live
    UpdateResult r = AddBusinessRecord(fb, c, prompter);
    ASSERT_EQ(r.status, UpdateStatus::Done);
    EXPECT_EQ(r.recNo, 1);
    auto back = ReadBusinessRecord<Customer>(fb, r.recNo);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->text(Customer::Name), "Acme");
    EXPECT_EQ(back->status(), 0);

    CustomerRecord probe;
    probe.setText(Customer::CustNo, "1");
    auto found = FindAtOrAfter<Customer>(fb, 2, probe);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->recNo, 1);
    EXPECT_EQ(storage::KeyCount(fb, 1), 1);
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, DuplicateCustomerNameIsRefusedAndLeavesNothingBehind) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    ASSERT_TRUE(AddBusinessRecord(fb, NewCustomer("1", "Acme Corp"), prompter).ok());
    auto before = Contents(fb);
    UpdateResult r = AddBusinessRecord(fb, NewCustomer("2", "  ACME corp "), prompter);
    EXPECT_EQ(r.status, UpdateStatus::Failed);
    EXPECT_EQ(r.engineError, storage::err::DuplicateEntry);
    EXPECT_EQ(r.recNo, 0);
    EXPECT_EQ(Contents(fb), before);
    EXPECT_EQ(storage::UsedRecordCount(fb), 1);
    // Customer numbers may repeat at index level.
    EXPECT_TRUE(AddBusinessRecord(fb, NewCustomer("1", "Other"), prompter).ok());
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, ChangeMovesOnlyTheKeysThatChanged) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    CustomerRecord c = NewCustomer("5", "Acme");
    int32_t n = AddBusinessRecord(fb, c, prompter).recNo;
    CustomerRecord changed = c;
    changed.setText(Customer::Name, "Beta");
    storage::ClearFaults();
    UpdateResult r = ChangeBusinessRecord(fb, n, c, changed, prompter);
    EXPECT_EQ(r.status, UpdateStatus::Done);
    EXPECT_EQ(storage::EngineOpCalls(EngineOp::AddKey), 1);
    EXPECT_EQ(storage::EngineOpCalls(EngineOp::DeleteKey), 1);
    EXPECT_EQ(ReadBusinessRecord<Customer>(fb, n)->text(Customer::Name), "Beta");
    std::vector<std::string> expected = {
        "record 1 " + std::string(reinterpret_cast<const char*>(changed.data()), changed.size()),
        "key 1 " + CustomerKey(changed, 1) + " 1", "key 2 " + CustomerKey(changed, 2) + " 1"};
    EXPECT_EQ(Contents(fb), expected);
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, ARecordWithAnOldTailRewrittenToTheSameValuesIsNotWritten) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    CustomerRecord onFile = NewCustomer("5", "Acme");
    // As an earlier program left it: "Acme" written over "Acme Corporation".
    const FieldDef& nameField = Customer::kFields[size_t(Customer::Name_)];
    std::memcpy(onFile.data() + nameField.offset + 1 + 4, " Corporation", 12);
    int32_t n = AddBusinessRecord(fb, onFile, prompter).recNo;
    CustomerRecord edited = onFile;
    edited.setText(Customer::Name, onFile.text(Customer::Name));
    ASSERT_FALSE(edited == onFile);
    storage::ClearFaults();
    EXPECT_EQ(ChangeBusinessRecord(fb, n, onFile, edited, prompter).status,
              UpdateStatus::Unchanged);
    EXPECT_EQ(storage::EngineOpCalls(EngineOp::PutRecord), 0);

    // A real change is written, and its cleared tail with it.
    edited.setText(Customer::Name, "Acm");
    EXPECT_EQ(ChangeBusinessRecord(fb, n, onFile, edited, prompter).status, UpdateStatus::Done);
    const CustomerRecord stored = *ReadBusinessRecord<Customer>(fb, n);
    EXPECT_EQ(stored, edited);
    const std::string bytes(reinterpret_cast<const char*>(stored.data()), stored.size());
    EXPECT_EQ(bytes.find("Corporation"), std::string::npos);
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, UnchangedRecordIsNotWritten) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    CustomerRecord c = NewCustomer("5", "Acme");
    int32_t n = AddBusinessRecord(fb, c, prompter).recNo;
    storage::ClearFaults();
    UpdateResult r = ChangeBusinessRecord(fb, n, c, c, prompter);
    EXPECT_EQ(r.status, UpdateStatus::Unchanged);
    EXPECT_TRUE(r.ok());
    for (EngineOp op :
         {EngineOp::GetRecord, EngineOp::PutRecord, EngineOp::AddKey, EngineOp::DeleteKey})
        EXPECT_EQ(storage::EngineOpCalls(op), 0);
    storage::CloseFileblock(fb);
}

TEST_F(UpdateTest, RecordChangedInTheMeantimeIsNotOverwritten) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    CustomerRecord c = NewCustomer("5", "Acme");
    int32_t n = AddBusinessRecord(fb, c, prompter).recNo;
    // Another window (or the aging run) changes the balance after we read the record.
    CustomerRecord theirs = c;
    ASSERT_TRUE(theirs.setMoney(Customer::Balance, Money::FromCents(1250)));
    ASSERT_TRUE(ChangeBusinessRecord(fb, n, c, theirs, prompter).ok());
    auto before = Contents(fb);

    CustomerRecord ours = c;
    ours.setText(Customer::Name, "Acme Renamed");
    prompter.expect(std::string(kRecordChanged));
    UpdateResult r = ChangeBusinessRecord(fb, n, c, ours, prompter);
    EXPECT_EQ(r.status, UpdateStatus::ChangedElsewhere);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(Contents(fb), before);
    EXPECT_EQ(ReadBusinessRecord<Customer>(fb, n)->text(Customer::Balance), "12.50");
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, ChangeOfADeletedRecordFails) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    CustomerRecord c = NewCustomer("5", "Acme");
    int32_t n = AddBusinessRecord(fb, c, prompter).recNo;
    ASSERT_TRUE(DeleteBusinessRecord(fb, n, c, prompter).ok());
    CustomerRecord changed = c;
    changed.setText(Customer::Name, "Other");
    EXPECT_EQ(ChangeBusinessRecord(fb, n, c, changed, prompter).status, UpdateStatus::Failed);
    EXPECT_EQ(storage::UsedRecordCount(fb), 0);
    EXPECT_EQ(storage::KeyCount(fb, 1), 0);
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, ChangeIntoAnotherCustomersNameIsUndone) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    CustomerRecord a = NewCustomer("1", "Acme");
    CustomerRecord b = NewCustomer("2", "Beta");
    ASSERT_TRUE(AddBusinessRecord(fb, a, prompter).ok());
    int32_t nb = AddBusinessRecord(fb, b, prompter).recNo;
    auto before = Contents(fb);
    CustomerRecord changed = b;
    changed.setText(Customer::CustNo, "3");
    changed.setText(Customer::Name, "acme");
    UpdateResult r = ChangeBusinessRecord(fb, nb, b, changed, prompter);
    EXPECT_EQ(r.status, UpdateStatus::Failed);
    EXPECT_EQ(r.engineError, storage::err::DuplicateEntry);
    EXPECT_EQ(Contents(fb), before);
    closeAndCheck(fb, name(FileKind::Customer));
}

// An invoice has six keys; faults at every engine step of an add leave the files as they
// were.
TEST_F(UpdateTest, FailedAddLeavesTheFilesAsTheyWere) {
    storage::Fileblock* fb = createOpen(FileKind::Invoice);
    ASSERT_TRUE(AddBusinessRecord(fb, NewInvoice("1000", "1", {2024, 1, 5}), prompter).ok());
    ASSERT_TRUE(AddBusinessRecord(fb, NewInvoice("1001", "2", {2024, 1, 6}), prompter).ok());
    InvoiceRecord inv = NewInvoice("1002", "1", {2024, 2, 1});
    auto before = Contents(fb);
    for (int nth = 1; nth <= 6; ++nth) {
        storage::ClearFaults();
        InjectFault(EngineOp::AddKey, nth, kOtherError);
        UpdateResult r = AddBusinessRecord(fb, inv, prompter);
        EXPECT_EQ(r.status, UpdateStatus::Failed) << nth;
        EXPECT_EQ(r.engineError, kOtherError);
        EXPECT_EQ(Contents(fb), before) << "fault at key " << nth;
    }
    storage::ClearFaults();
    InjectFault(EngineOp::AddRecord, 1, kOtherError);
    EXPECT_EQ(AddBusinessRecord(fb, inv, prompter).status, UpdateStatus::Failed);
    EXPECT_EQ(Contents(fb), before);
    storage::ClearFaults();
    // The slots freed by the failed adds are used again.
    ASSERT_TRUE(AddBusinessRecord(fb, inv, prompter).ok());
    EXPECT_EQ(storage::UsedRecordCount(fb), 3);
    closeAndCheck(fb, name(FileKind::Invoice));
}

TEST_F(UpdateTest, FailedChangeLeavesTheFilesAsTheyWere) {
    storage::Fileblock* fb = createOpen(FileKind::Invoice);
    InvoiceRecord inv = NewInvoice("1000", "1", {2024, 1, 5});
    int32_t n = AddBusinessRecord(fb, inv, prompter).recNo;
    ASSERT_TRUE(AddBusinessRecord(fb, NewInvoice("1001", "2", {2024, 1, 6}), prompter).ok());
    // Number, customer and date change: keys 1, 2, 3 and 5 move, keys 4 and 6 stay.
    InvoiceRecord changed = NewInvoice("1005", "3", {2024, 3, 9});
    auto before = Contents(fb);
    struct Fault {
        EngineOp op;
        int nth;
    };
    std::vector<Fault> faults = {{EngineOp::GetRecord, 1}, {EngineOp::PutRecord, 1}};
    for (int k = 1; k <= 4; ++k) {
        faults.push_back({EngineOp::AddKey, k});
        faults.push_back({EngineOp::DeleteKey, k});
    }
    for (const Fault& f : faults) {
        storage::ClearFaults();
        InjectFault(f.op, f.nth, kOtherError);
        UpdateResult r = ChangeBusinessRecord(fb, n, inv, changed, prompter);
        EXPECT_EQ(r.status, UpdateStatus::Failed) << int(f.op) << " " << f.nth;
        EXPECT_EQ(Contents(fb), before) << "fault in op " << int(f.op) << " call " << f.nth;
    }
    storage::ClearFaults();
    ASSERT_TRUE(ChangeBusinessRecord(fb, n, inv, changed, prompter).ok());
    EXPECT_EQ(storage::EngineOpCalls(EngineOp::AddKey), 4);
    closeAndCheck(fb, name(FileKind::Invoice));
}

TEST_F(UpdateTest, DeleteFromAnOlderCopyLeavesAnotherRecordsKeyAlone) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    CustomerRecord a = NewCustomer("1", "X");
    int32_t na = AddBusinessRecord(fb, a, prompter).recNo;
    CustomerRecord renamed = a;
    renamed.setText(Customer::Name, "Y");
    ASSERT_TRUE(ChangeBusinessRecord(fb, na, a, renamed, prompter).ok());
    ASSERT_TRUE(AddBusinessRecord(fb, NewCustomer("2", "X"), prompter).ok());
    auto before = Contents(fb);
    // The old copy of A would build the name key "X", which is B's entry now.
    prompter.expect("The record has changed in the meantime.");
    EXPECT_EQ(DeleteBusinessRecord(fb, na, a, prompter).status, UpdateStatus::ChangedElsewhere);
    EXPECT_EQ(Contents(fb), before);
    EXPECT_TRUE(DeleteBusinessRecord(fb, na, renamed, prompter).ok());
    EXPECT_EQ(storage::KeyCount(fb, 1), 1);
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, DeleteGoesOnWhenAnEntryIsAlreadyMissing) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    CustomerRecord a = NewCustomer("7", "Acme");
    int32_t n = AddBusinessRecord(fb, a, prompter).recNo;
    ASSERT_TRUE(AddBusinessRecord(fb, NewCustomer("8", "Other"), prompter).ok());
    // An index out of step: the number entry of the record is gone already.
    storage::DeleteKey(fb, 2, n, KindOf(FileKind::Customer).buildKey(a.data(), 2));
    ASSERT_TRUE(storage::EngineOk);
    EXPECT_TRUE(DeleteBusinessRecord(fb, n, a, prompter).ok());
    EXPECT_EQ(storage::UsedRecordCount(fb), 1);
    EXPECT_EQ(storage::KeyCount(fb, 1), 1);
    EXPECT_EQ(storage::KeyCount(fb, 2), 1);
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, FailedDeleteLeavesTheFilesAsTheyWere) {
    storage::Fileblock* fb = createOpen(FileKind::Invoice);
    InvoiceRecord inv = NewInvoice("1000", "1", {2024, 1, 5});
    int32_t n = AddBusinessRecord(fb, inv, prompter).recNo;
    ASSERT_TRUE(AddBusinessRecord(fb, NewInvoice("1001", "2", {2024, 1, 6}), prompter).ok());
    auto before = Contents(fb);
    for (int nth = 1; nth <= 6; ++nth) {
        storage::ClearFaults();
        InjectFault(EngineOp::DeleteKey, nth, kOtherError);
        EXPECT_EQ(DeleteBusinessRecord(fb, n, inv, prompter).status, UpdateStatus::Failed);
        EXPECT_EQ(Contents(fb), before) << nth;
    }
    storage::ClearFaults();
    InjectFault(EngineOp::DeleteRecord, 1, kOtherError);
    EXPECT_EQ(DeleteBusinessRecord(fb, n, inv, prompter).status, UpdateStatus::Failed);
    EXPECT_EQ(Contents(fb), before);
    storage::ClearFaults();

    // A copy that is no longer what is stored: nothing is deleted.
    InvoiceRecord stale = inv;
    stale.setText(Invoice::CustNo, "99");
    prompter.expect("The record has changed in the meantime.");
    EXPECT_EQ(DeleteBusinessRecord(fb, n, stale, prompter).status, UpdateStatus::ChangedElsewhere);
    EXPECT_EQ(Contents(fb), before);

    ASSERT_TRUE(DeleteBusinessRecord(fb, n, inv, prompter).ok());
    EXPECT_EQ(storage::UsedRecordCount(fb), 1);
    for (int k = 1; k <= 6; ++k)
        EXPECT_EQ(storage::KeyCount(fb, k), 1);
    closeAndCheck(fb, name(FileKind::Invoice));
}

TEST_F(UpdateTest, LockConflictsRunTheWriteAgainThenAskUntilTheUserAborts) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    // The second key's add meets a lock twice: the write runs again whole, unasked, and
    // leaves one record with its keys. (A pending fault counts only the calls that no
    // earlier fault took.)
    const int64_t rerunsBefore = PostingReruns();
    InjectFault(EngineOp::AddKey, 2, kBusyError);
    InjectFault(EngineOp::AddKey, 2, kBusyError);
    UpdateResult r = AddBusinessRecord(fb, NewCustomer("1", "Acme"), prompter);
    EXPECT_EQ(r.status, UpdateStatus::Done);
    EXPECT_EQ(PostingReruns() - rerunsBefore, 2);
    EXPECT_EQ(storage::UsedRecordCount(fb), 1);
    for (int k = 1; k <= storage::KeyCountOf(fb); ++k)
        EXPECT_EQ(storage::KeyCount(fb, k), 1) << "key " << k;
    auto before = Contents(fb);

    // Busy on every attempt: after five the user is asked; No gives five more, Yes stops
    // and nothing of the add stays.
    storage::ClearFaults();
    for (int i = 0; i < 10; ++i)
        InjectFault(EngineOp::AddRecord, 1, kBusyError);
    prompter.expect(std::string(kCannotGetLock), Answer::No)
        .expect(std::string(kCannotGetLock), Answer::Yes);
    r = AddBusinessRecord(fb, NewCustomer("2", "Beta"), prompter);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(prompter.last().buttons, platform::Buttons::YesNo);
    EXPECT_EQ(prompter.last().icon, platform::Icon::Information);
    EXPECT_EQ(storage::EngineOpCalls(EngineOp::AddRecord), 10);
    EXPECT_EQ(r.status, UpdateStatus::Failed);
    EXPECT_EQ(r.engineError, kBusyError);
    EXPECT_EQ(Contents(fb), before);

    // Any other error is not run again.
    storage::ClearFaults();
    InjectFault(EngineOp::AddRecord, 1, kOtherError);
    EXPECT_EQ(AddBusinessRecord(fb, NewCustomer("2", "Beta"), prompter).status,
              UpdateStatus::Failed);
    EXPECT_EQ(storage::EngineOpCalls(EngineOp::AddRecord), 1);
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, APostingThatStopsWithItsErrorRunsAgainOnALockAndElseThrowsThatError) {
    struct SaveError : OperationError {
        using OperationError::OperationError;
    };
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    int runs = 0;
    auto body = [&](const std::string& no) {
        return [&, no](Posting&, platform::Prompter& held) {
            ++runs;
            held.inform("Customer", "Adding " + no);
            const UpdateResult r = AddBusinessRecord(fb, NewCustomer(no, "Name " + no), held);
            if (!r.ok()) throw SaveError("Add operation failed");
            return r.recNo;
        };
    };
    // A lock met: the attempt is dropped with its message, and the second one's result and
    // message come once it is committed.
    InjectFault(EngineOp::AddKey, 2, kBusyError);
    prompter.expect("Adding 1");
    const int32_t recNo = RunPostingOrThrow<SaveError>(prompter, "failed", body("1"));
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(ReadBusinessRecord<Customer>(fb, recNo)->text(Customer::CustNo), "1");

    // Any other failure: the body's own error, after its message, and nothing stays.
    storage::ClearFaults();
    runs = 0;
    const auto before = Contents(fb);
    InjectFault(EngineOp::AddKey, 1, kOtherError);
    prompter.expect("Adding 2");
    try {
        RunPostingOrThrow<SaveError>(prompter, "failed", body("2"));
        ADD_FAILURE() << "nothing thrown";
    } catch (const SaveError& e) {
        EXPECT_STREQ(e.what(), "Add operation failed");
    }
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(Contents(fb), before);
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, InsideAnOpenPostingALockConflictStillAsksAsBefore) {
    // A posting not run by RunPosting cannot be run again: the step asks.
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    Posting posting;
    ASSERT_TRUE(posting.started());
    InjectFault(EngineOp::AddKey, 1, kBusyError);
    prompter.expect(std::string(kCannotGetLock), Answer::No);
    EXPECT_TRUE(AddBusinessRecord(fb, NewCustomer("1", "Acme"), prompter).ok());
    EXPECT_TRUE(posting.commit());
    EXPECT_TRUE(prompter.done());
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, ARecordChangedMeanwhileIsToldAfterThePostingEnded) {
    storage::Fileblock* fb = createOpen(FileKind::Customer);
    const data::CustomerRecord acme = NewCustomer("1", "Acme");
    const UpdateResult added = AddBusinessRecord(fb, acme, prompter);
    ASSERT_TRUE(added.ok());
    data::CustomerRecord stale = acme;
    stale.setText(Customer::Name, "Acme Old");
    data::CustomerRecord updated = acme;
    updated.setText(Customer::Name, "Acme New");
    // The message comes once the transaction is over, not while the record is held.
    struct Watching : platform::Prompter {
        std::vector<bool> inTransaction;
        platform::Answer ask(const platform::Message& m) override {
            inTransaction.push_back(storage::InTransaction());
            return m.defaultButton;
        }
    } watching;
    EXPECT_EQ(ChangeBusinessRecord(fb, added.recNo, stale, updated, watching).status,
              UpdateStatus::ChangedElsewhere);
    EXPECT_EQ(watching.inTransaction, std::vector<bool>{false});
    closeAndCheck(fb, name(FileKind::Customer));
}

TEST_F(UpdateTest, RefusedWriteLockFailsTheWriteAndInsideAnOpenPostingAsksUntilTheUserAborts) {
    // A write of its own whose lock is refused for good fails at once: nothing waits.
    UpdateResult r = AddBusinessRecord(nullptr, NewCustomer("1", "Acme"), prompter);
    EXPECT_EQ(r.status, UpdateStatus::Failed);
    EXPECT_EQ(r.engineError, storage::err::InvalidHandle);
    EXPECT_TRUE(prompter.done());
    // Inside a posting that cannot be run again the user is asked, as before.
    Posting posting;
    ASSERT_TRUE(posting.started());
    prompter.expect(std::string(kFilesInUse), Answer::No)
        .expect(std::string(kFilesInUse), Answer::No)
        .expect(std::string(kFilesInUse), Answer::Yes);
    r = AddBusinessRecord(nullptr, NewCustomer("1", "Acme"), prompter);
    EXPECT_EQ(r.status, UpdateStatus::Failed);
    EXPECT_EQ(r.engineError, storage::err::InvalidHandle);
    EXPECT_TRUE(prompter.done());
}

TEST_F(UpdateTest, RecordOfAnotherKindIsRefused) {
    storage::Fileblock* fb = createOpen(FileKind::Product);
    UpdateResult r = AddBusinessRecord(fb, NewCustomer("1", "Acme"), prompter);
    EXPECT_EQ(r.status, UpdateStatus::Failed);
    EXPECT_EQ(storage::UsedRecordCount(fb), 0);
    storage::CloseFileblock(fb);
}

// ------------------------------------------------------------------------ opening

class OpenTest : public DataTest {
  protected:
    OpenRequest customers() {
        OpenRequest r;
        r.name = name(FileKind::Customer, "4");
        r.kind = FileKind::Customer;
        r.whenMissing = CreateMessage(
            "I am going to create a new, empty customer file for this company.", "New Company");
        r.giveUp = GiveUpMessage("Unable to open database");
        return r;
    }
};

TEST_F(OpenTest, MissingFileblockIsCreatedAfterTheCallersMessage) {
    prompter.expect("I am going to create a new, empty customer file for this company.");
    OpenResult r = OpenBusinessFileblock(customers(), prompter);
    ASSERT_TRUE(r);
    EXPECT_EQ(prompter.last().title, "New Company");
    EXPECT_EQ(storage::RecordLength(r.fb), 1008);
    EXPECT_EQ(storage::KeyCountOf(r.fb), 2);
    storage::CloseFileblock(r.fb);
    storage::FileblockInfo info;
    std::string error;
    ASSERT_TRUE(storage::ReadFileblockInfo(name(FileKind::Customer, "4"), info, error));
    ASSERT_EQ(info.keys.size(), 2u);
    EXPECT_EQ(info.keys[0].keyLength, 30);
    EXPECT_FALSE(info.keys[0].duplicates);
    EXPECT_EQ(info.keys[1].keyLength, 8);
    EXPECT_TRUE(info.keys[1].duplicates);

    // Present now: opened without a message.
    r = OpenBusinessFileblock(customers(), prompter);
    ASSERT_TRUE(r);
    storage::CloseFileblock(r.fb);
}

TEST_F(OpenTest, EveryKindIsCreatedWithItsDefinition) {
    const std::vector<std::vector<storage::KeyDescriptor>> keys = {
        {{5, false}, {30, true}},
        {{30, false}, {8, true}},
        {{9, true}, {8, true}, {10, true}, {8, true}, {10, true}, {10, true}},
        {{10, true}, {9, true}, {11, true}},
        {{9, false}},
        {{10, false}, {30, true}},
        {{11, false}},
        {{18, true}, {16, true}}};
    const int lengths[] = {2736, 1008, 360, 156, 1892, 300, 256, 640};
    for (FileKind k : kCompanyFileOrder) {
        OpenRequest req;
        req.name = name(k, "2");
        req.kind = k;
        OpenResult r = OpenBusinessFileblock(req, prompter);  // silently created
        ASSERT_TRUE(r);
        storage::CloseFileblock(r.fb);
        storage::FileblockInfo info;
        std::string error;
        ASSERT_TRUE(storage::ReadFileblockInfo(req.name, info, error));
        EXPECT_EQ(info.recordLength, lengths[int(k)]);
        const auto& want = keys[size_t(k)];
        ASSERT_EQ(info.keys.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(info.keys[i].keyLength, want[i].length) << int(k) << " key " << i + 1;
            EXPECT_EQ(info.keys[i].duplicates, want[i].duplicates) << int(k) << " key " << i + 1;
        }
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("Company.DAT")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("2N.IX")));
}

TEST_F(OpenTest, OtherFailuresShowTheCallersGiveUpMessage) {
    OpenRequest req = customers();
    req.giveUp = GiveUpMessage("Unable to open databases: ");
    req.giveUpWithError = true;
    InjectFault(EngineOp::Open, 1, kOtherError);
    prompter.expect("Unable to open databases: 10140");
    OpenResult r = OpenBusinessFileblock(req, prompter);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.engineError, kOtherError);
    EXPECT_EQ(prompter.last().title, std::string(kAppTitle));
}

TEST_F(OpenTest, FailedCreateGivesUp) {
    InjectFault(EngineOp::Create, 1, kOtherError);
    prompter.expect("I am going to create a new, empty customer file for this company.")
        .expect("Unable to open database");
    OpenResult r = OpenBusinessFileblock(customers(), prompter);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.engineError, kOtherError);

    // A folder that does not exist: nothing to create there.
    OpenRequest req = customers();
    req.name = dir.file("missing/4C");
    storage::ClearFaults();
    prompter.expect("Unable to open database");
    EXPECT_FALSE(OpenBusinessFileblock(req, prompter));
}

}  // namespace
}  // namespace invarro::data
