#include "platform/qt/PrintSystem.h"

#include <cups/cups.h>

#include <QPrinter>
#include <algorithm>

namespace invarro::platform::qt {

namespace {

std::string Name(const QPrinter& printer) {
    return printer.printerName().toStdString();
}

// Only a printer that prints (not one writing a PDF file) and has a name goes through the
// print system.
bool Asked(const QPrinter& printer) {
    return printer.outputFormat() == QPrinter::NativeFormat && !printer.printerName().isEmpty();
}

// Whether the scheduler answers at all: a connection to it, given up after three seconds.
bool Unreachable() {
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                3000, nullptr);
    if (!http) return true;
    httpClose(http);
    return false;
}

std::string Nothing() {
    return " Nothing was printed.";
}

// The newest job of this user on the destination, 0 when there is none.
int NewestJob(const std::string& destination, const std::string& title, int after,
              std::time_t since, ipp_jstate_t* state) {
    cups_job_t* jobs = nullptr;
    const int n =
        cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, destination.c_str(), 1, CUPS_WHICHJOBS_ALL);
    int found = 0;
    for (int i = 0; i < n; ++i) {
        const cups_job_t& j = jobs[i];
        if (j.id <= after || j.id <= found) continue;
        if (!title.empty() && (j.title == nullptr || title != j.title)) continue;
        if (since != 0 && j.creation_time != 0 && j.creation_time + 2 < since) continue;
        found = j.id;
        if (state) *state = j.state;
    }
    cupsFreeJobs(n, jobs);
    return found;
}

}  // namespace

PrintCheck DestinationAccepts(const QPrinter& printer) {
    PrintCheck check;
    if (!Asked(printer)) return check;
    const std::string name = Name(printer);
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), nullptr);
    if (!dest) {
        check.ok = false;
        check.error = Unreachable()
                          ? "The print system cannot be reached, so the printer " + name +
                                " cannot print." + Nothing()
                          : "The print system does not know the printer " + name + "." + Nothing();
        return check;
    }
    const char* accepting =
        cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
    if (accepting && std::string(accepting) != "true" && std::string(accepting) != "1") {
        const char* why = cupsGetOption("printer-state-message", dest->num_options, dest->options);
        check.ok = false;
        check.error = "The printer " + name + " is not accepting print jobs" +
                      (why && *why ? std::string(" (") + why + ")" : std::string()) + "." +
                      Nothing();
    }
    cupsFreeDests(1, dest);
    return check;
}

JobWatch::JobWatch(const QPrinter& printer) {
    if (!Asked(printer)) return;
    watching_ = true;
    destination_ = Name(printer);
    title_ = printer.docName().toStdString();
    started_ = std::time(nullptr);
    lastJob_ = NewestJob(destination_, std::string(), 0, 0, nullptr);
}

PrintCheck JobWatch::accepted() const {
    PrintCheck check;
    if (!watching_) return check;
    ipp_jstate_t state = IPP_JSTATE_PENDING;
    const int job = NewestJob(destination_, title_, lastJob_, started_, &state);
    if (job == 0) {
        check.ok = false;
        check.error = Unreachable() ? "The print system could not be reached: the printer " +
                                          destination_ + " did not get the job \"" + title_ + "\"."
                                    : "The printer " + destination_ + " refused the print job \"" +
                                          title_ + "\".";
        return check;
    }
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED) {
        check.ok = false;
        check.error = "The print job \"" + title_ + "\" on the printer " + destination_ +
                      (state == IPP_JSTATE_CANCELED ? " was cancelled." : " was aborted.");
    }
    return check;
}

}  // namespace invarro::platform::qt
