// Lists that show what other programs change. Twice a second the engine is asked which
// fileblocks other programs changed (storage::ChangedElsewhere: it reads what the server
// has sent, without a round trip; books in files never change elsewhere), and the windows
// that watch one of them are told: an open list window refreshes through refreshList(),
// which keeps its order and its selected row. Nothing is asked while a transaction is open
// (a list read then would lock what it reads); the names wait for the next tick.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

namespace invarro::storage {
struct Fileblock;
}

namespace invarro::ui {

class RecordListWindow;

class ChangeWatcher : public QObject {
    Q_OBJECT

  public:
    static constexpr int kIntervalMs = 500;
    using Names = std::vector<std::string>;

    // The program's one watcher.
    static ChangeWatcher& instance();

    // While `context` lives, `changed` gets the names (storage::FileblockName) of the
    // fileblocks other programs changed, when there are any.
    void watch(QObject* context, std::function<void(const Names&)> changed);
    // While `window` lives, `list` is refreshed when the fileblock it shows changed
    // elsewhere; `fileblock` gives the handle at that moment (the window may reopen it).
    void watchList(QObject* window, RecordListWindow* list,
                   std::function<storage::Fileblock*()> fileblock);

    // Where the names come from: the engine, or a test's source.
    void setSource(std::function<Names()> source);
    // One tick: asks the source and tells the watchers.
    void poll();

  signals:
    void changed(const invarro::ui::ChangeWatcher::Names& names);

  private:
    ChangeWatcher();
    QTimer timer_;
    std::function<Names()> source_;
};

}  // namespace invarro::ui
