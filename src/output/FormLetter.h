// Form letters: the merge codes, the values a customer and the company give them, the
// merge of one letter for one customer, and the run that prints one letter per customer
// of the label queue.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "data/Records.h"
#include "output/LabelQueue.h"
#include "output/RtfWriter.h"
#include "platform/Progress.h"
#include "storage/Engine.h"

namespace invarro::output {

// The scratch copy of the letter while it prints, in the data folder.
inline constexpr std::string_view kLetterScratchFile = "KRLetter.TMP";
inline constexpr std::string_view kLetterTitle = "Letter Wizard";
inline constexpr std::string_view kUntitled = "Untitled";
// The help page of the letter window.
inline constexpr std::string_view kLetterHelpTopic = "Form Letter Wizard";

// The codes in the order they are listed with their values.
const std::vector<std::string>& MergeCodes();
// The reference list shown to the user, in its order.
const std::vector<std::string>& MergeCodeReferences();

// Every code with its value for one customer: customer fields trimmed (the last payment
// date as stored), amounts as shown (",0.00"), the company's name and address lines.
std::map<std::string, std::string> MergeValues(const data::CustomerRecord& customer,
                                               const data::CompanyRecord& company);

// Replaces, in one pass over text, every word that is a code (same letter case, a whole
// word: not preceded or followed by a letter, digit or "_") with its value. Inserted
// values are never looked at again.
std::string MergeText(std::string_view text, const std::map<std::string, std::string>& values);

// The letter with its codes replaced; each value takes the format of the code's first
// character. A line break inside a value breaks the line. The letter itself is not
// changed.
RtfDocument MergeLetter(const RtfDocument& letter,
                        const std::map<std::string, std::string>& values);

// Where merged letters go: the printer in the program, a recorder in tests.
class LetterSink {
  public:
    virtual ~LetterSink() = default;
    // Prints one document titled title; false (and *error) when it did not print.
    virtual bool printLetter(const RtfDocument& letter, const std::string& title,
                             std::string* error) = 0;
    // After the last letter of a run that was not stopped: a sink that gathers the
    // letters into one document writes it here. False (and *error) when it could not.
    virtual bool finish(std::string* error) {
        (void)error;
        return true;
    }
};

struct LetterRunResult {
    bool ok = false;
    int printed = 0;
    std::vector<std::string> missing;  // queued customer numbers not on file
    std::string error;                 // why the run stopped
};

// Prints the letter for every queue entry in queue order: the letter goes to the scratch
// file "KRLetter.TMP" in folder, and each customer's copy is read from it, merged and
// printed as one document titled title; the sink is finished after the last one. The
// progress window shows "Processing letter n of total...". Entries whose customer is not
// on file are passed over and listed. The scratch file is removed at the end, whatever
// happened.
LetterRunResult PrintFormLetters(const std::string& folder, const RtfDocument& letter,
                                 const std::string& title, const std::vector<LabelEntry>& queue,
                                 storage::Fileblock* customers, const data::CompanyRecord& company,
                                 LetterSink& sink, platform::Progress& progress);

}  // namespace invarro::output
