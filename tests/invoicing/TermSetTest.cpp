// The payment-terms list and the "Edit Payment Terms" logic.

#include <gtest/gtest.h>

#include "data/Files.h"
#include "invoicing/TermSet.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::invoicing {
namespace {

using testing::ScriptedPrompter;
using testing::TempDir;

const std::vector<std::string> kSome = {"Net 20 Days", "Due On Receipt", "Net 10 Days",
                                        "Net 30 Days"};

TEST(TermsEditor, StartsSortedWithTheFirstSelected) {
    TermsEditor ed(kSome);
    EXPECT_EQ(ed.terms(), (std::vector<std::string>{"Due On Receipt", "Net 10 Days", "Net 20 Days",
                                                    "Net 30 Days"}));
    EXPECT_EQ(ed.selected(), 0);
    EXPECT_FALSE(ed.editEnabled());
    EXPECT_EQ(TermsEditor({}).selected(), -1);
}

TEST(TermsEditor, AddPutsTheTermInItsSortedPlace) {
    ScriptedPrompter prompter;
    TermsEditor ed(kSome);
    ed.select(3);
    ed.startAdd();
    EXPECT_TRUE(ed.editEnabled());
    EXPECT_EQ(ed.editText(), "");
    EXPECT_EQ(ed.prompt(), "Enter new payment term and select Ok button...");
    ASSERT_TRUE(ed.apply("Net 15 Days", prompter));
    EXPECT_EQ(ed.terms(), (std::vector<std::string>{"Due On Receipt", "Net 10 Days", "Net 15 Days",
                                                    "Net 20 Days", "Net 30 Days"}));
    EXPECT_FALSE(ed.editEnabled());
    EXPECT_EQ(ed.prompt(), "");
    EXPECT_EQ(ed.selected(), 0);
    // Longer terms are cut to 35 characters.
    ed.startAdd();
    ASSERT_TRUE(ed.apply(std::string(40, 'Z'), prompter));
    EXPECT_EQ(ed.terms().back(), std::string(35, 'Z'));
}

TEST(TermsEditor, EmptyTextIsRefusedAndTheEditStaysOpen) {
    ScriptedPrompter prompter;
    TermsEditor ed(kSome);
    ed.startAdd();
    prompter.expect("You do not have any text entered.");
    EXPECT_FALSE(ed.apply("   ", prompter));
    EXPECT_EQ(prompter.last().title, "Invalid Payment Term");
    EXPECT_TRUE(ed.editEnabled());
    EXPECT_EQ(ed.terms().size(), 4u);
    // "Ok" without a pending add or edit does nothing.
    ed.select(1);
    EXPECT_FALSE(ed.apply("Net 45 Days", prompter));
    EXPECT_EQ(ed.terms().size(), 4u);
}

TEST(TermsEditor, EditReplacesTheSelectedTerm) {
    ScriptedPrompter prompter;
    TermsEditor ed(kSome);
    ed.select(1);
    ed.startEdit();
    EXPECT_EQ(ed.editText(), "Net 10 Days");
    EXPECT_EQ(ed.prompt(), "Edit this payment term and select Ok button...");
    ASSERT_TRUE(ed.apply("Net 60 Days", prompter));
    EXPECT_EQ(ed.terms(), (std::vector<std::string>{"Due On Receipt", "Net 20 Days", "Net 30 Days",
                                                    "Net 60 Days"}));
}

TEST(TermsEditor, TheLastTermIsNeverDeleted) {
    ScriptedPrompter prompter;
    TermsEditor ed({"Net 10 Days", "Net 30 Days", "Due On Receipt"});
    ed.select(2);
    ASSERT_TRUE(ed.deleteSelected(prompter));
    EXPECT_EQ(ed.terms(), (std::vector<std::string>{"Due On Receipt", "Net 10 Days"}));
    EXPECT_EQ(ed.selected(), 0);
    ASSERT_TRUE(ed.deleteSelected(prompter));
    EXPECT_EQ(ed.terms(), std::vector<std::string>{"Net 10 Days"});
    prompter.expect("You must have at least on payment term.");
    EXPECT_FALSE(ed.deleteSelected(prompter));
    EXPECT_EQ(prompter.last().title, "Delete Payment Term");
    EXPECT_EQ(ed.terms(), std::vector<std::string>{"Net 10 Days"});
}

TEST(TermsEditor, CloseAfterACancelledEditWritesTheListUnchanged) {
    TempDir dir;
    data::TermsList loaded = LoadSortedTerms(dir.path());
    ASSERT_TRUE(loaded.ok);
    ASSERT_TRUE(loaded.created);
    const std::string before = testing::ReadFileBytes(dir.file("KRTERMS.DAT"));
    TermsEditor ed(loaded.terms);
    ed.select(2);
    ed.startEdit();
    ed.select(4);  // clicking a term cancels the edit
    EXPECT_FALSE(ed.editEnabled());
    EXPECT_EQ(ed.editText(), "");
    EXPECT_EQ(ed.selected(), 4);
    ASSERT_TRUE(ed.save(dir.path()));
    EXPECT_EQ(testing::ReadFileBytes(dir.file("KRTERMS.DAT")), before);
    EXPECT_EQ(LoadSortedTerms(dir.path()).terms, loaded.terms);
}

TEST(Terms, AddOneTermAndSaveTheWholeList) {
    TempDir dir;
    testing::WriteFileBytes(dir.file("KRTERMS.DAT"), "Net 30 Days\r\nDue On Receipt\r\n");
    data::TermsList list = LoadSortedTerms(dir.path());
    ASSERT_TRUE(list.ok);
    EXPECT_EQ(list.terms, (std::vector<std::string>{"Due On Receipt", "Net 30 Days"}));
    ASSERT_TRUE(AddTermAndSave(dir.path(), list.terms, "Net 15 Days"));
    EXPECT_EQ(testing::ReadFileBytes(dir.file("KRTERMS.DAT")),
              "Due On Receipt\r\nNet 15 Days\r\nNet 30 Days\r\n");
}

TEST(Terms, AnUnwritableFolderIsReported) {
    std::vector<std::string> terms = {"Net 30 Days"};
    std::string error;
    EXPECT_FALSE(AddTermAndSave("/nonexistent/folder", terms, "Net 15 Days", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace invarro::invoicing
