// Jobs that need the books to themselves: a restore, a rebuild, a purge, the deletion of a
// company. Books in files are this program's alone already (one program holds a data
// folder); books on a server are shared by everyone working in them, and such a job runs
// only while nobody else does. The server side supplies the lock when it mounts the books.
#pragma once

#include <functional>
#include <string>

namespace invarro::data {

// What the side that keeps books elsewhere supplies: take returns "" when the books are
// now this program's alone, else the plain sentence why not; release gives them back. lost
// says, after the connection to the books was lost and made again, that others came in
// meanwhile (the plain sentence; "" while the books are still the job's alone): the job's
// operations then fail until it ends, so that nothing more of it is done while others work.
struct BooksAloneLock {
    std::function<std::string(const std::string& folder)> take;
    std::function<void(const std::string& folder)> release;
    std::function<std::string(const std::string& folder)> lost;
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
    // Why the job stopped having the books alone ("" while it has them): for the message of
    // a job whose operations failed.
    std::string lost() const;

  private:
    std::string folder_;
    std::string refusal_;
    bool held_ = false;
};

}  // namespace invarro::data
