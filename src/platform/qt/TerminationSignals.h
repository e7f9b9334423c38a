// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in the terminal, a closed terminal) as a
// Qt signal on the window thread, so that the program can end in order: files closed,
// window bounds stored.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace invarro::platform::qt {

class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers; one object per program.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

  signals:
    void terminationRequested(int signalNumber);

  private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace invarro::platform::qt
