// One running program per data folder. The first start holds a lock file while it
// decides and then answers on a local socket named after the folder; a later start that
// finds the socket asks the running program to restore and raise its main window and
// ends. A start that cannot decide in time (the lock stays taken, or the running program
// does not answer) ends as well.
#pragma once

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace invarro::platform::qt {

class SingleInstance : public QObject {
    Q_OBJECT

  public:
    enum class Outcome {
        First,           // this start runs; it answers later starts
        AlreadyRunning,  // the running program was asked to show itself
        Undecided,       // nothing could be decided in time
    };

    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Decides within timeoutMs. On First the lock stays held until release().
    Outcome start(int timeoutMs = 10000);
    // Lets later starts ask this one; called once the main window exists.
    void release();

    // For a run without a window (batch commands): AlreadyRunning when a program answers
    // on the folder (it is not asked to show itself), Undecided when another start holds
    // the lock. On First the lock stays held until release() or the object goes, so that
    // the desktop program cannot start on the folder meanwhile; nothing listens.
    Outcome hold(int timeoutMs = 2000);

    // The same names for the same folder, however it is written ("a/../b", "b/").
    static QString KeyFor(const QString& dataFolder);
    QString serverName() const { return "invarro-" + key_; }
    QString lockPath() const;

  signals:
    void raiseRequested();

  private:
    // Takes the lock file by the deadline; false when another program keeps it.
    bool takeLock(const QDeadlineTimer& deadline);
    void answer();

    QString key_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace invarro::platform::qt
