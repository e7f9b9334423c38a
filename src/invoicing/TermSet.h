// Payment terms: the list that the terms boxes of several windows load, and the logic of
// the "Edit Payment Terms" dialog that maintains it.
#pragma once

#include <string>
#include <vector>

#include "data/SideFiles.h"
#include "platform/Prompter.h"

namespace invarro::invoicing {

// The terms file's lines, sorted (a missing file is created with the built-in list).
data::TermsList LoadSortedTerms(const std::string& folder);

// Adds term to terms at its sorted place and writes the whole list to the file (the
// invoice editor's "add to the terms file").
bool AddTermAndSave(const std::string& folder, std::vector<std::string>& terms,
                    const std::string& term, std::string* error = nullptr);

// The dialog's state: the sorted list, the selected term, and a pending add or edit.
class TermsEditor {
  public:
    enum class Mode { None, Add, Edit };

    static constexpr const char* kAddPrompt = "Enter new payment term and select Ok button...";
    static constexpr const char* kEditPrompt = "Edit this payment term and select Ok button...";

    explicit TermsEditor(std::vector<std::string> terms);

    const std::vector<std::string>& terms() const { return terms_; }
    // The selected row, -1 when the list is empty.
    int selected() const { return selected_; }
    Mode mode() const { return mode_; }
    // The edit field: enabled while an add or edit is pending.
    const std::string& editText() const { return editText_; }
    bool editEnabled() const { return mode_ != Mode::None; }
    const std::string& prompt() const { return prompt_; }

    // "Add": empties the edit field for a new term.
    void startAdd();
    // "Edit": copies the selected term into the edit field.
    void startEdit();
    // Clicking a term selects it and cancels a pending add or edit.
    void select(int row);
    // "Ok": applies the pending add or edit with the typed text (cut to 35 characters).
    // An empty text gives "You do not have any text entered." and keeps the edit open.
    bool apply(const std::string& text, platform::Prompter& prompter);
    // "Delete": removes the selected term; the last term is never deleted.
    bool deleteSelected(platform::Prompter& prompter);
    // "&Close": writes the list to the terms file.
    bool save(const std::string& folder, std::string* error = nullptr) const;

  private:
    void endEdit();

    std::vector<std::string> terms_;
    int selected_ = -1;
    Mode mode_ = Mode::None;
    std::string editText_;
    std::string prompt_;
};

}  // namespace invarro::invoicing
