#include "invoicing/TermSet.h"

#include "data/Ansi.h"

namespace invarro::invoicing {

data::TermsList LoadSortedTerms(const std::string& folder) {
    return data::LoadTerms(folder);
}

bool AddTermAndSave(const std::string& folder, std::vector<std::string>& terms,
                    const std::string& term, std::string* error) {
    data::InsertTerm(terms, data::FirstChars(term, data::kTermWidth));
    return data::SaveTerms(folder, terms, error);
}

TermsEditor::TermsEditor(std::vector<std::string> terms) : terms_(std::move(terms)) {
    data::SortTerms(terms_);
    selected_ = terms_.empty() ? -1 : 0;
}

void TermsEditor::startAdd() {
    mode_ = Mode::Add;
    editText_.clear();
    prompt_ = kAddPrompt;
}

void TermsEditor::startEdit() {
    if (selected_ < 0) return;
    mode_ = Mode::Edit;
    editText_ = terms_[size_t(selected_)];
    prompt_ = kEditPrompt;
}

void TermsEditor::select(int row) {
    if (mode_ != Mode::None) endEdit();
    if (row >= 0 && row < int(terms_.size())) selected_ = row;
}

void TermsEditor::endEdit() {
    mode_ = Mode::None;
    editText_.clear();
    prompt_.clear();
    selected_ = terms_.empty() ? -1 : 0;
}

bool TermsEditor::apply(const std::string& text, platform::Prompter& prompter) {
    if (mode_ == Mode::None) return false;
    const std::string term = data::FirstChars(text, data::kTermWidth);
    if (data::TrimText(term).empty()) {
        editText_ = text;
        prompter.inform("Invalid Payment Term", "You do not have any text entered.",
                        platform::Icon::Warning);
        return false;
    }
    if (mode_ == Mode::Add) {
        data::InsertTerm(terms_, term);
    } else if (selected_ >= 0) {
        // The edited term moves to its sorted place.
        terms_.erase(terms_.begin() + selected_);
        data::InsertTerm(terms_, term);
    }
    endEdit();
    return true;
}

bool TermsEditor::deleteSelected(platform::Prompter& prompter) {
    if (terms_.size() <= 1) {
        prompter.inform("Delete Payment Term", "You must have at least on payment term.",
                        platform::Icon::Warning);
        return false;
    }
    if (selected_ < 0) return false;
    terms_.erase(terms_.begin() + selected_);
    mode_ = Mode::None;
    editText_.clear();
    prompt_.clear();
    selected_ = 0;
    return true;
}

bool TermsEditor::save(const std::string& folder, std::string* error) const {
    return data::SaveTerms(folder, terms_, error);
}

}  // namespace invarro::invoicing
