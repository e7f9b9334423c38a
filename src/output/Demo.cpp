#include "output/Demo.h"

#include "data/Files.h"
#include "output/Labelwiz.h"
#include "output/RtfWriter.h"

namespace invarro::output {

bool WriteDemoLabelsAndLetter(const std::string& folder, std::string* error) {
    // Three across and ten down on US Letter, measured in the dots of a 300-dot printer
    // from the corner of its printable area, a quarter inch in from the paper's edges:
    // labels 2 5/8 by 1 inch with a 1/8 inch gap across, the sheet's first label 3/16 inch
    // from the left and half an inch from the top edge of the paper. The text starts a
    // little inside each label and stands in the middle of its height.
    LabelLayout labels;
    labels.description = "Address labels, 30 per sheet (300 dpi printer)";
    labels.leftMargin = "15";
    labels.topMargin = "115";
    labels.columns = "3";
    labels.rows = "10";
    labels.labelWidth = "825";
    labels.labelHeight = "300";
    labels.font = Font{"Arial", 9, kBlack, 0};
    const std::string layoutFile = data::JoinPath(folder, kDemoLabelFile);
    if (!WriteLabelLayout(layoutFile, labels, error) ||
        !WriteLastLabelPath(folder, layoutFile, error))
        return false;

    const Font body{"Times New Roman", 12, kBlack, 0};
    Font bold = body;
    bold.style = kBold;
    Font heading{"Arial", 16, Color{31, 78, 121}, kBold};
    auto line = [](std::vector<RtfRun> runs, Alignment a = Alignment::Left) {
        RtfParagraph p;
        p.runs = std::move(runs);
        p.alignment = a;
        return p;
    };
    RtfDocument letter;
    letter.paragraphs = {
        line({RtfRun{"KRCMPNAME", heading}}, Alignment::Center),
        line({RtfRun{"KRCMPADD1 \xC2\xB7 KRCMPADD2", body}}, Alignment::Center),
        line({RtfRun{"", body}}),
        line({RtfRun{"KRCSTNAME", body}}),
        line({RtfRun{"KRCSTADD1", body}}),
        line({RtfRun{"KRCSTADD2", body}}),
        line({RtfRun{"KRCSTADD3", body}}),
        line({RtfRun{"", body}}),
        line({RtfRun{"Account number: ", body}, RtfRun{"KRCSTNO", bold}}),
        line({RtfRun{"", body}}),
        line({RtfRun{"Dear KRCSTNAME,", body}}),
        line({RtfRun{"", body}}),
        line({RtfRun{"Our records show a balance of ", body}, RtfRun{"KRCSTBAL", bold},
              RtfRun{" on your account. Of this amount:", body}}),
    };
    const char* periods[] = {"KRCSTACUR is current,", "KRCSTA3060 is in the second period,",
                             "KRCSTA6090 is in the third period, and",
                             "KRCSTAOV90 is older than that."};
    for (const char* text : periods) {
        RtfParagraph p = line({RtfRun{text, body}});
        p.bullet = true;
        p.leftIndent = 720;
        p.firstIndent = -360;
        letter.paragraphs.push_back(p);
    }
    letter.paragraphs.push_back(line({RtfRun{"", body}}));
    letter.paragraphs.push_back(
        line({RtfRun{"If your payment has crossed this letter, thank you. Otherwise please "
                     "send it at your earliest convenience, under your terms of ",
                     body},
              RtfRun{"KRCSTTERMS", body}, RtfRun{".", body}},
             Alignment::Justify));
    letter.paragraphs.push_back(line({RtfRun{"", body}}));
    letter.paragraphs.push_back(line({RtfRun{"Sincerely,", body}}));
    letter.paragraphs.push_back(line({RtfRun{"", body}}));
    letter.paragraphs.push_back(line({RtfRun{"Accounts Receivable, KRCMPNAME", body}}));
    return WriteRtfFile(data::JoinPath(folder, kDemoLetterFile), letter, error);
}

}  // namespace invarro::output
