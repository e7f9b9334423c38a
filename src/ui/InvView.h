// TViewInv: the "View Invoice" window. It shows one assembled invoice or quote: banners,
// the addresses and info rows, the line list or memo text, and the totals. A double-click,
// any key or "&Close" closes it; its bounds live in the INI file's "VIForm" section.
#pragma once

#include <QDialog>
#include <string>

#include "output/InvView.h"

class QTableWidget;
class QPlainTextEdit;

namespace invarro::ui {

class TViewInv : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kBoundsSection = "VIForm";
    static constexpr int kDesignedWidth = 657;
    static constexpr int kDesignedHeight = 536;

    TViewInv(const output::InvoiceView& view, const std::string& dataFolder,
             QWidget* parent = nullptr);

    QTableWidget* lineList() const { return lines_; }
    QPlainTextEdit* memo() const { return memo_; }

  protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::string folder_;
    QTableWidget* lines_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
};

}  // namespace invarro::ui
