// Form letters on Qt: the letter between the RTF document the reader and writer work with
// and a QTextDocument, and the letters on paper. On a printer each merged letter is a
// print job of its own; a printer that writes a PDF file, and a PDF file named here, get
// one file that holds every letter, each starting on a new page.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "output/FormLetter.h"
#include "output/RtfWriter.h"

class QPrinter;
class QTextDocument;

namespace invarro::platform::qt {

// Replaces the contents of text with the document. Indents in twips become the editor's
// pixels at 96 per inch; a bullet paragraph becomes an item of a bulleted list.
void ToTextDocument(const output::RtfDocument& document, QTextDocument& text);
// The document the editor holds, for writing and merging.
output::RtfDocument FromTextDocument(const QTextDocument& text);

// The margin of a letter's text, inside the page's printable area.
inline constexpr double kLetterMarginInches = 0.75;

class LetterPrinter : public output::LetterSink {
  public:
    // Letters on the printer, which outlives the sink.
    explicit LetterPrinter(QPrinter& printer);
    // Letters into the PDF file pdfFile (US Letter, a quarter inch kept clear of every
    // edge as in the program's other PDF files), written by finish.
    explicit LetterPrinter(std::string pdfFile);

    bool printLetter(const output::RtfDocument& letter, const std::string& title,
                     std::string* error) override;
    // Writes the file of letters; without letters no file is written.
    bool finish(std::string* error) override;

    // The pages the last document drawn had.
    int pages() const { return pages_; }
    // Whether the letters are gathered into one file.
    bool collects() const;

  private:
    QPrinter* printer_ = nullptr;
    std::string pdfFile_;
    std::vector<output::RtfDocument> letters_;
    std::string title_;
    int pages_ = 0;
};

}  // namespace invarro::platform::qt
