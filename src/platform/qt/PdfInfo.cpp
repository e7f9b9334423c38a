#include "platform/qt/PdfInfo.h"

#include <sys/stat.h>
#include <unistd.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace invarro::platform::qt {

bool SetPdfInfo(const std::string& path, const output::DocumentInfo& info, std::string* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (error) *error = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        if (error) *error = "Cannot write beside " + path + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.c_str());
        QPDFObjectHandle trailer = pdf.getTrailer();
        QPDFObjectHandle dict = trailer.getKey("/Info");
        if (!dict.isDictionary()) {
            dict = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
            trailer.replaceKey("/Info", dict);
        }
        auto put = [&dict](const char* key, const std::string& value) {
            if (value.empty())
                dict.removeKey(key);
            else
                dict.replaceKey(key, QPDFObjectHandle::newUnicodeString(value));
        };
        put("/Title", info.title);
        put("/Author", info.author);
        put("/Subject", info.subject);
        put("/Producer", info.producer);
        QPDFWriter writer(pdf, temp.c_str());
        writer.write();
    } catch (const std::exception& e) {
        ::unlink(temp.c_str());
        if (error) *error = "Cannot complete " + path + ": " + e.what();
        return false;
    }
    ::chmod(temp.c_str(), st.st_mode & 07777);
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        if (error) *error = "Cannot replace " + path + ": " + std::strerror(err);
        return false;
    }
    return true;
}

}  // namespace invarro::platform::qt
