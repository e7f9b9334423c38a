// The aging chart of the main window: four bars, one per aging period, standing on a
// base line inside a frame, a colour legend under them, tool-tips with each period's
// label and amount, and "Close Chart".
#pragma once

#include <QFrame>
#include <array>
#include <string>

#include "app/Aging.h"

class QLabel;
class QPushButton;

namespace invarro::ui {

class TAgingPlot;

class TAgingChart : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kFrameHeight = 150;

    explicit TAgingChart(QWidget* parent = nullptr);

    void setAging(const std::array<std::string, 4>& labels, const invoicing::AgingBuckets& buckets);
    const app::ChartBars& bars() const { return bars_; }
    // The bar and the legend colour of period i (0..3).
    QWidget* bar(int i) const;
    QWidget* swatch(int i) const;
    // Where bar i stands inside the plot.
    QRect barRect(int i) const;
    // The colour of the amounts over the bars and of the base line: the text colour of the
    // frame's background in the program's palette, light or dark.
    QColor labelColour() const;
    QPushButton* closeButton() const { return close_; }

  signals:
    void closeRequested();

  private:
    friend class TAgingPlot;
    TAgingPlot* plot_;
    std::array<QWidget*, 4> swatches_{};
    std::array<QLabel*, 4> legend_{};
    QLabel* total_;
    QPushButton* close_;
    app::ChartBars bars_;
    invoicing::AgingBuckets buckets_{};
};

}  // namespace invarro::ui
