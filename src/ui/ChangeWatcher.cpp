#include "ui/ChangeWatcher.h"

#include <algorithm>

#include "storage/Backend.h"
#include "storage/Transaction.h"
#include "ui/ManagerFrame.h"

namespace invarro::ui {

ChangeWatcher& ChangeWatcher::instance() {
    static ChangeWatcher* watcher = new ChangeWatcher;  // lives as long as the program
    return *watcher;
}

ChangeWatcher::ChangeWatcher() : source_([] { return storage::ChangedElsewhere(); }) {
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &ChangeWatcher::poll);
}

void ChangeWatcher::setSource(std::function<Names()> source) {
    source_ = source ? std::move(source) : [] { return storage::ChangedElsewhere(); };
}

void ChangeWatcher::watch(QObject* context, std::function<void(const Names&)> changed) {
    connect(this, &ChangeWatcher::changed, context, std::move(changed));
    if (!timer_.isActive()) timer_.start();
}

void ChangeWatcher::watchList(QObject* window, RecordListWindow* list,
                              std::function<storage::Fileblock*()> fileblock) {
    watch(window, [list, fileblock = std::move(fileblock)](const Names& names) {
        const std::string name = storage::FileblockName(fileblock());
        if (!name.empty() && std::find(names.begin(), names.end(), name) != names.end())
            list->refreshList();
    });
}

void ChangeWatcher::poll() {
    if (storage::InTransaction()) return;
    const Names names = source_();
    if (!names.empty()) emit changed(names);
}

}  // namespace invarro::ui
