// What the print system (CUPS) says of a printer and of the jobs sent to it, where Qt
// does not tell: Qt's printer takes a document whether or not the queue behind it will
// accept it. A printer that writes a file, or one that CUPS does not know of because it
// is no CUPS printer, is not asked.
#pragma once

#include <ctime>
#include <string>

class QPrinter;

namespace invarro::platform::qt {

struct PrintCheck {
    bool ok = true;
    std::string error;  // in words for the user when not ok
};

// Before printing: the print system answers, it knows the printer, and the printer is
// accepting jobs.
PrintCheck DestinationAccepts(const QPrinter& printer);

// Watches for the job a document becomes: made before the document begins, asked after
// it has ended whether the print system took the job.
class JobWatch {
  public:
    explicit JobWatch(const QPrinter& printer);
    // The job under the printer's document name that appeared since the watch began is in
    // the queue, printing or printed; not ok when there is none, or it was cancelled or
    // aborted.
    PrintCheck accepted() const;
    bool watching() const { return watching_; }

  private:
    bool watching_ = false;
    std::string destination_;
    std::string title_;
    int lastJob_ = 0;
    std::time_t started_ = 0;
};

}  // namespace invarro::platform::qt
