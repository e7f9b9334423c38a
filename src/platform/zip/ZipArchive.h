// The backup archive written and read with libzip.
#pragma once

#include "platform/Archive.h"

namespace invarro::platform::zip {

class ZipArchive : public Archive {
  public:
    bool write(const std::string& path, const std::vector<ArchiveSource>& files,
               const std::function<void(const std::string&)>& log, std::string* error) override;
    std::unique_ptr<ArchiveReader> open(const std::string& path, std::string* error) override;
};

}  // namespace invarro::platform::zip
