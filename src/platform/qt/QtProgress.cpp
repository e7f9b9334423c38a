#include "platform/qt/QtProgress.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace invarro::platform::qt {

QtProgress::QtProgress(QWidget* parent, bool cancellable)
    : parent_(parent), cancellable_(cancellable) {}

QtProgress::~QtProgress() {
    finish();
}

void QtProgress::start(const std::string& title, int lines) {
    finish();
    cancelled_ = false;
    auto* w = new QDialog(parent_, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    w->setObjectName("StatusWindow");
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->setWindowModality(Qt::ApplicationModal);
    w->setWindowTitle(QString::fromStdString(title));
    w->setMinimumWidth(320);
    auto* layout = new QVBoxLayout(w);
    labels_.clear();
    for (int i = 0; i < std::max(lines, 1); ++i) {
        auto* label = new QLabel(w);
        label->setObjectName(QString("StatusLine%1").arg(i + 1));
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
        labels_.push_back(label);
    }
    if (cancellable_) {
        auto* cancel = new QPushButton(QObject::tr("Cancel"), w);
        cancel->setObjectName("StatusCancel");
        QObject::connect(cancel, &QPushButton::clicked, [this] { cancelled_ = true; });
        layout->addWidget(cancel, 0, Qt::AlignCenter);
    }
    window_ = w;
    w->show();
    pump();
}

void QtProgress::setLine(int index, const std::string& text) {
    if (index >= 0 && size_t(index) < labels_.size())
        labels_[size_t(index)]->setText(QString::fromStdString(text));
}

bool QtProgress::step() {
    if (!sincePump_.isValid() || sincePump_.elapsed() >= 50) pump();
    return !cancelled_;
}

void QtProgress::finish() {
    labels_.clear();
    if (window_) {
        window_->hide();
        delete window_.data();
    }
}

QDialog* QtProgress::window() const {
    return window_.data();
}

QString QtProgress::line(int index) const {
    if (index < 0 || size_t(index) >= labels_.size()) return {};
    return labels_[size_t(index)]->text();
}

void QtProgress::pump() {
    QApplication::processEvents();
    sincePump_.restart();
}

}  // namespace invarro::platform::qt
