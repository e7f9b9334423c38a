#include "data/BooksAlone.h"

#include <utility>

namespace invarro::data {

namespace {
BooksAloneLock gLock;
}

void SetBooksAloneLock(BooksAloneLock lock) {
    gLock = std::move(lock);
}

BooksAlone::BooksAlone(std::string folder) : folder_(std::move(folder)) {
    if (!gLock.take) return;
    refusal_ = gLock.take(folder_);
    held_ = refusal_.empty();
}

std::string BooksAlone::lost() const {
    return held_ && gLock.lost ? gLock.lost(folder_) : std::string();
}

BooksAlone::~BooksAlone() {
    if (held_ && gLock.release) gLock.release(folder_);
}

}  // namespace invarro::data
