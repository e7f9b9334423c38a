// Jobs that need the books to themselves: a restore, a rebuild, a purge, the deletion of a
// company. Books in files are this program's alone already (one program holds a data
// folder); books on a server are shared by everyone working in them, and such a job runs
// only while nobody else does. The server side supplies the lock when it mounts the books.
#pragma once

#include <functional>
#include <string>

namespace invarro::data {

// What the side that keeps books elsewhere supplies: take returns "" when the books are
// now this program's alone, else the plain sentence why not; release gives them back.
struct BooksAloneLock {
    std::function<std::string(const std::string& folder)> take;
    std::function<void(const std::string& folder)> release;
};
void SetBooksAloneLock(BooksAloneLock lock);

// Holds the books alone for its life, when it can.
class BooksAlone {
  public:
    explicit BooksAlone(std::string folder);
    ~BooksAlone();
    BooksAlone(const BooksAlone&) = delete;
    BooksAlone& operator=(const BooksAlone&) = delete;

    bool granted() const { return refusal_.empty(); }
    // Why not, naming how many others work in the books.
    const std::string& refusal() const { return refusal_; }

  private:
    std::string folder_;
    std::string refusal_;
    bool held_ = false;
};

}  // namespace invarro::data
