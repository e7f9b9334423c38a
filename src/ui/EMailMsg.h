// TEMailMsg: "Send E-Mail Message", the free message to every customer of the label
// queue: return address, subject and text, the queue's count, the Queue button that
// opens the label window, and E-Mail, which checks the entries and sends.
#pragma once

#include <QDialog>

#include "ui/CustContext.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace invarro::ui {

class TEMailMsg : public QDialog {
    Q_OBJECT
  public:
    // The context's mailer sends; it must be set.
    explicit TEMailMsg(const CustomerWindowContext& context, QWidget* parent = nullptr);
    static void Run(const CustomerWindowContext& context, QWidget* parent = nullptr);

    // "&E-Mail": the checks in order (the first failure is shown and its field focused),
    // then the run over the queue.
    void sendMessage();
    // "&Queue": the label window, then the count again.
    void openQueue();
    void refreshCount();

    QString countText() const;

  private:
    CustomerWindowContext ctx_;
    QLineEdit* retAdd_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
    QLabel* count_ = nullptr;
};

}  // namespace invarro::ui
