#include "ui/AgingChart.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace invarro::ui {

namespace {

const QColor kBarColours[4] = {QColor(46, 139, 87), QColor(218, 165, 32), QColor(230, 110, 40),
                               QColor(190, 40, 40)};

QWidget* ColourBox(QWidget* parent, const QColor& colour, const QString& name) {
    auto* w = new QWidget(parent);
    w->setObjectName(name);
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    return w;
}

}  // namespace

// The framed drawing area: bars as child widgets, so that each has its own tool-tip.
class TAgingPlot : public QWidget {
  public:
    static constexpr int kMargin = 14;

    explicit TAgingPlot(TAgingChart* chart) : QWidget(chart), chart_(chart) {
        setObjectName("AgingPlot");
        setFixedHeight(TAgingChart::kFrameHeight + 2 * kMargin);
        setMinimumWidth(260);
        for (int i = 0; i < 4; ++i)
            bars_[size_t(i)] = ColourBox(this, kBarColours[i], QString("AgingBar%1").arg(i + 1));
    }

    QWidget* bar(int i) const { return bars_[size_t(i)]; }

    QRect frame() const {
        return QRect(kMargin, kMargin, width() - 2 * kMargin, TAgingChart::kFrameHeight);
    }
    int baseY() const { return frame().bottom() + 1 - chart_->bars_.baseLine; }

    QRect barRect(int i) const {
        const QRect f = frame();
        const int slot = f.width() / 4;
        const int w = slot * 3 / 5;
        const int x = f.left() + i * slot + (slot - w) / 2;
        const int h = chart_->bars_.heights[size_t(i)];
        return h >= 0 ? QRect(x, baseY() - h, w, h) : QRect(x, baseY(), w, -h);
    }

    void place() {
        for (int i = 0; i < 4; ++i)
            bars_[size_t(i)]->setGeometry(barRect(i));
        update();
    }

  protected:
    void resizeEvent(QResizeEvent*) override { place(); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect f = frame();
        // The frame takes the colours of lists and their text, so that it is light with dark
        // labels in a light theme and dark with light labels in a dark one.
        p.fillRect(f, palette().color(QPalette::Base));
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(f.adjusted(0, 0, -1, -1));
        p.setPen(QPen(chart_->labelColour(), 1));
        p.drawLine(f.left(), baseY(), f.right(), baseY());
        // The amount over each bar (under it when negative).
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        p.setFont(small);
        const int lineHeight = p.fontMetrics().height();
        for (int i = 0; i < 4; ++i) {
            const QRect r = barRect(i);
            const auto amount = chart_->buckets_[size_t(i)];
            if (amount.isZero()) continue;
            const QString text = QString::fromStdString(amount.shownText());
            const bool below = amount.cents() < 0;
            QRect t(r.center().x() - 60, below ? r.bottom() + 1 : r.top() - lineHeight, 120,
                    lineHeight);
            t.moveTop(std::clamp(t.top(), 0, height() - lineHeight));
            p.drawText(t, Qt::AlignCenter, text);
        }
    }

  private:
    TAgingChart* chart_;
    std::array<QWidget*, 4> bars_{};
};

TAgingChart::TAgingChart(QWidget* parent) : QFrame(parent) {
    setObjectName("AgingChart");
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);

    auto* title = new QLabel(tr("Accounts Receivable Aging"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    plot_ = new TAgingPlot(this);

    auto* legend = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        swatches_[size_t(i)] = ColourBox(this, kBarColours[i], QString("AgingColour%1").arg(i + 1));
        swatches_[size_t(i)]->setFixedSize(14, 14);
        legend_[size_t(i)] = new QLabel(this);
        legend->addWidget(swatches_[size_t(i)], 0, 2 * i);
        legend->addWidget(legend_[size_t(i)], 0, 2 * i + 1);
    }
    total_ = new QLabel(this);
    total_->setObjectName("AgingTotal");
    total_->setFont(bold);
    close_ = new QPushButton(tr("Close Chart"), this);
    close_->setObjectName("CloseChart");
    connect(close_, &QPushButton::clicked, this, &TAgingChart::closeRequested);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(total_);
    bottom->addStretch();
    bottom->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(plot_);
    layout->addLayout(legend);
    layout->addLayout(bottom);
}

void TAgingChart::setAging(const std::array<std::string, 4>& labels,
                           const invoicing::AgingBuckets& buckets) {
    buckets_ = buckets;
    bars_ = app::AgingChartBars(buckets, kFrameHeight);
    for (int i = 0; i < 4; ++i) {
        const QString hint =
            QString::fromStdString(app::AgingBarHint(labels[size_t(i)], buckets[size_t(i)]));
        plot_->bar(i)->setToolTip(hint);
        swatches_[size_t(i)]->setToolTip(hint);
        legend_[size_t(i)]->setText(QString::fromStdString(labels[size_t(i)]).trimmed());
        legend_[size_t(i)]->setToolTip(hint);
    }
    setToolTip(QString::fromStdString(app::AgingChartHint(labels, buckets)));
    plot_->setToolTip(toolTip());
    total_->setText("Total A/R: " + QString::fromStdString(invoicing::SumOf(buckets).shownText()));
    plot_->place();
}

QWidget* TAgingChart::bar(int i) const {
    return plot_->bar(i);
}

QWidget* TAgingChart::swatch(int i) const {
    return swatches_[size_t(i)];
}

QColor TAgingChart::labelColour() const {
    return palette().color(QPalette::Text);
}

QRect TAgingChart::barRect(int i) const {
    return plot_->barRect(i);
}

}  // namespace invarro::ui
