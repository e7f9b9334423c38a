#include "ui/InvView.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QLabel* Label(QWidget* parent, const char* name, const std::string& text) {
    auto* l = new QLabel(Q(text), parent);
    l->setObjectName(name);
    return l;
}

}  // namespace

TViewInv::TViewInv(const output::InvoiceView& v, const std::string& dataFolder, QWidget* parent)
    : QDialog(parent), folder_(dataFolder) {
    setObjectName("TViewInv");
    setWindowTitle(Q(v.title));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    if (!v.banner.empty()) {
        QLabel* banner = Label(this, "Banner", v.banner);
        QFont f = banner->font();
        f.setBold(true);
        banner->setFont(f);
        banner->setAlignment(Qt::AlignCenter);
        layout->addWidget(banner);
    }

    // The top panel: bill-to at the left, ship-to at the right, then the info rows.
    auto* top = new QFrame(this);
    top->setObjectName("TopPanel");
    top->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(top);
    for (int i = 0; i < 5; ++i)
        grid->addWidget(Label(top, ("Bill" + std::to_string(i + 1)).c_str(), v.billTo[size_t(i)]),
                        i, 0);
    for (int i = 0; i < 4; ++i)
        grid->addWidget(Label(top, ("Ship" + std::to_string(i + 1)).c_str(), v.shipTo[size_t(i)]),
                        i, 1);
    grid->addWidget(Label(top, "DateRow", v.dateRow), 5, 0, 1, 2);
    grid->addWidget(Label(top, "Terms", v.terms), 6, 0, 1, 2);
    grid->addWidget(Label(top, "Reference", v.reference), 7, 0, 1, 2);
    layout->addWidget(top);

    layout->addWidget(Label(this, "BodyCaption", v.bodyCaption));
    if (v.memo) {
        memo_ = new QPlainTextEdit(this);
        memo_->setObjectName("MemoText");
        memo_->setReadOnly(true);
        memo_->setPlainText(Q(v.memoText));
        layout->addWidget(memo_, 1);
    } else if (!v.rows.empty() || v.bodyCaption == "Product Code Invoice") {
        lines_ = new QTableWidget(int(v.rows.size()), 7, this);
        lines_->setObjectName("LineList");
        lines_->setAccessibleName(QStringLiteral("Invoice lines"));
        lines_->setHorizontalHeaderLabels(
            {"LN", "Product Code", "Quan", "Desc", "Unit", "T", "Extension"});
        lines_->verticalHeader()->hide();
        lines_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        lines_->setSelectionBehavior(QAbstractItemView::SelectRows);
        for (int r = 0; r < int(v.rows.size()); ++r) {
            const output::InvoiceViewRow& row = v.rows[size_t(r)];
            const std::string cells[7] = {row.line,  row.code,    row.quantity, row.description,
                                          row.price, row.taxable, row.extension};
            for (int c = 0; c < 7; ++c) {
                auto* item = new QTableWidgetItem(Q(cells[c]));
                if (c == 2 || c == 4 || c == 6)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                lines_->setItem(r, c, item);
            }
        }
        lines_->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
        lines_->resizeColumnsToContents();
        layout->addWidget(lines_, 1);
    } else {
        layout->addStretch(1);
    }

    // The bottom panel: the totals.
    auto* bottom = new QFrame(this);
    bottom->setObjectName("BottomPanel");
    bottom->setFrameShape(QFrame::StyledPanel);
    auto* totals = new QGridLayout(bottom);
    int row = 0;
    for (const auto& [label, value] : v.totals) {
        totals->addWidget(Label(bottom, ("TotalLabel" + std::to_string(row + 1)).c_str(), label),
                          row, 0);
        QLabel* amount = Label(bottom, ("TotalValue" + std::to_string(row + 1)).c_str(), value);
        amount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        totals->addWidget(amount, row, 1);
        ++row;
    }
    if (!v.quoteNote.empty())
        totals->addWidget(Label(bottom, "QuoteNote", v.quoteNote), row, 0, 1, 2);
    layout->addWidget(bottom);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* close = new QPushButton("&Close", this);
    close->setObjectName("CloseBtn");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    // A double-click or a key anywhere in the window closes it.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
    RestoreBounds(this, folder_, kBoundsSection, kDesignedWidth, kDesignedHeight);
}

void TViewInv::done(int result) {
    SaveBounds(this, folder_, kBoundsSection);
    QDialog::done(result);
}

void TViewInv::keyPressEvent(QKeyEvent* event) {
    // Any key closes the view.
    if (event->key() == Qt::Key_Shift || event->key() == Qt::Key_Control ||
        event->key() == Qt::Key_Alt || event->key() == Qt::Key_Meta) {
        QDialog::keyPressEvent(event);
        return;
    }
    accept();
}

void TViewInv::mouseDoubleClickEvent(QMouseEvent*) {
    accept();
}

bool TViewInv::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace invarro::ui
