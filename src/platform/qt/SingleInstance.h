// One running program per data folder. The program that runs holds an exclusive lock on
// the file "invarro.lock" in the data folder for as long as it runs; the operating system
// drops the lock when the program ends, however it ends, so a lock is never left behind,
// and the file is the owner's alone (another user cannot create or hold it). The desktop
// program also answers on a local socket named after the folder: a later start that finds
// the folder locked asks the running program to restore and raise its main window and
// ends. A start that cannot decide in time (the folder stays locked and nobody answers)
// ends as well. The socket only carries that request: whether a program runs is decided by
// the lock alone.
#pragma once

#include <QDeadlineTimer>
#include <QLocalServer>
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

    // Decides within timeoutMs. On First the folder stays locked until the object goes, and
    // later starts are answered.
    Outcome start(int timeoutMs = 10000);

    // For a run without a window (batch commands): AlreadyRunning when a program answers
    // on the folder (it is not asked to show itself), Undecided when the folder stays
    // locked without an answer (another command, or a start). On First the folder stays
    // locked until release() or the object goes, so that the desktop program cannot start
    // on it meanwhile; nothing listens.
    Outcome hold(int timeoutMs = 2000);
    // Unlocks the folder.
    void release();

    // The same names for the same folder, however it is written ("a/../b", "b/").
    static QString KeyFor(const QString& dataFolder);
    QString serverName() const { return "invarro-" + key_; }
    QString lockPath() const;

  signals:
    void raiseRequested();

  private:
    // Locks the folder by the deadline; false when another program keeps it locked.
    bool takeLock(const QDeadlineTimer& deadline);
    void answer();

    QString folder_;
    QString key_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
};

}  // namespace invarro::platform::qt
