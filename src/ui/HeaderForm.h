// THeaderForm, "Headers, Fonts and Colors": the six fonts of the printed forms with their
// samples, the shading/line and box colours kept in "Shadeclr.fnt" and "InvBoxClr.fnt",
// and the captions and column headings of the documents. It edits the company record of
// the set-up dialog that opens it; OK keeps the changes and rewrites both colour files.
#pragma once

#include <QDialog>
#include <array>

#include "app/CompanySetup.h"
#include "data/Records.h"
#include "ui/WindowSupport.h"

class QLabel;
class QPushButton;

namespace invarro::ui {

class THeaderForm : public QDialog {
    Q_OBJECT
  public:
    THeaderForm(data::CompanyRecord& record, const WindowServices& services,
                QWidget* parent = nullptr);

    // The choices as they stand in the dialog.
    data::FontSetting formFont(int index) const { return fonts_[size_t(index)]; }
    const app::HeaderColours& colours() const { return colours_; }

    // The buttons' actions, also for tests that set a choice without the font dialog.
    void chooseFont(int index);
    void chooseColour(bool box);
    void setFormFont(int index, const data::FontSetting& font);
    void setColour(bool box, int32_t colour);

    void accept() override;
    void done(int result) override;

  private:
    void showSample(int index);
    void showColour(bool box);

    data::CompanyRecord& record_;
    WindowServices services_;
    std::array<data::FontSetting, app::kFormFontCount> fonts_;
    std::array<QLabel*, app::kFormFontCount> samples_{};
    app::HeaderColours colours_;
    QLabel* shadeSample_ = nullptr;
    QLabel* boxSample_ = nullptr;
};

}  // namespace invarro::ui
