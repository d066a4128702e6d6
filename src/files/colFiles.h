// The loaded images, keyed by name without regard to letter case, in the order
// they were added.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/clsFile.h"

namespace kx6000 {

class colFiles {
public:
    using FilePtr = std::shared_ptr<clsFile>;

    // Names the file `strFileName` and adds it; an entry with that key is replaced
    // and the new one goes to the end.
    void Add(FilePtr objNewfile, const std::string& strFileName);
    // By key, or by position from 1; a missing one is a RuntimeFailure (5).
    FilePtr Item(const std::string& strFileName) const;
    FilePtr Item(int32_t position) const;
    int32_t Count() const { return static_cast<int32_t>(files.size()); }
    void Remove(const std::string& strFileName);
    bool Exists(const std::string& strFile) const;

    auto begin() const { return files.begin(); }
    auto end() const { return files.end(); }

private:
    std::vector<FilePtr>::const_iterator Find(const std::string& key) const;

    std::vector<FilePtr> files;
};

}  // namespace kx6000
