#include "files/colFiles.h"

#include <algorithm>
#include <cctype>

#include "support/Errors.h"

namespace kx6000 {
namespace {

bool SameKey(const std::string& a, const std::string& b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

}  // namespace

std::vector<colFiles::FilePtr>::const_iterator colFiles::Find(const std::string& key) const {
    return std::ranges::find_if(files, [&key](const FilePtr& file) { return SameKey(file->Name, key); });
}

void colFiles::Add(FilePtr objNewfile, const std::string& strFileName) {
    objNewfile->Name = strFileName;
    if (auto existing = Find(strFileName); existing != files.end()) files.erase(existing);
    files.push_back(std::move(objNewfile));
}

colFiles::FilePtr colFiles::Item(const std::string& strFileName) const {
    auto found = Find(strFileName);
    if (found == files.end()) throw InvalidArgument();
    return *found;
}

colFiles::FilePtr colFiles::Item(int32_t position) const {
    if (position < 1 || position > Count()) throw InvalidArgument();
    return files[static_cast<size_t>(position - 1)];
}

void colFiles::Remove(const std::string& strFileName) {
    auto found = Find(strFileName);
    if (found == files.end()) throw InvalidArgument();
    files.erase(found);
}

bool colFiles::Exists(const std::string& strFile) const {
    return Find(strFile) != files.end();
}

}  // namespace kx6000
