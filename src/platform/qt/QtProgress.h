// The small status window of long runs on Qt: a title and a few centred lines over the
// main window, which takes no input meanwhile. step() lets pending events run (at most
// every 50 ms, so that counting stays cheap) and reports a press of Cancel when the
// window offers one.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <vector>

#include "platform/Progress.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace invarro::platform::qt {

class QtProgress : public Progress {
  public:
    explicit QtProgress(QWidget* parent = nullptr, bool cancellable = false);
    ~QtProgress() override;
    QtProgress(const QtProgress&) = delete;
    QtProgress& operator=(const QtProgress&) = delete;

    void start(const std::string& title, int lines) override;
    void setLine(int index, const std::string& text) override;
    bool step() override;
    void finish() override;

    // The window while it shows (for tests); null otherwise.
    QDialog* window() const;
    QString line(int index) const;
    bool cancelled() const { return cancelled_; }

  private:
    void pump();

    QPointer<QWidget> parent_;
    bool cancellable_;
    QPointer<QDialog> window_;
    std::vector<QLabel*> labels_;
    QElapsedTimer sincePump_;
    bool cancelled_ = false;
};

}  // namespace invarro::platform::qt
